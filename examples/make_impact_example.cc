// Writes the bundled example pair, impact_force.txt and impact_response.txt, in
// the folder given (default: the current one): time in s and force in N, time
// in s and displacement in m, one record a line.
//
//   make_impact_example examples/
#include <cstdio>
#include <string>
#include <vector>

#include "impact_model.h"

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? std::string(argv[1]) + "/" : "";
  using namespace impact_model;
  const coefficients c = discrete_system();
  std::vector<double> x(kRecords), y(kRecords);
  for (int n = 0; n < kRecords; ++n) {
    x[n] = force(n);
    y[n] = (n >= 1 ? c.b1 * x[n - 1] + c.a1 * y[n - 1] : 0.0) + (n >= 2 ? c.a2 * y[n - 2] : 0.0);
  }
  FILE* f = std::fopen((dir + "impact_force.txt").c_str(), "w");
  FILE* r = std::fopen((dir + "impact_response.txt").c_str(), "w");
  if (!f || !r) {
    std::perror("make_impact_example");
    return 1;
  }
  for (int n = 0; n < kRecords; ++n) {
    std::fprintf(f, "%.3f %.9g\n", n * kDt, x[n]);
    std::fprintf(r, "%.3f %.9g\n", n * kDt, y[n]);
  }
  bool ok = std::fclose(f) == 0;
  ok = std::fclose(r) == 0 && ok;
  return ok ? 0 : 1;
}

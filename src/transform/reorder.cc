// The even/odd reorder; see reorder.h.
#include "transform/reorder.h"

namespace qv {
namespace {

// The working copy: up to kScratchSize samples sit in the real halves of
// `scratch`; the largest transform needs every float of it, two samples an entry.
struct working_copy {
  complex_entry* entries;
  bool packed;

  float& operator[](uint32_t e) const {
    if (!packed) return entries[e].re;
    return (e & 1) ? entries[e >> 1].im : entries[e >> 1].re;
  }
};

}  // namespace

void reorder(workspace& ws, console& con) {
  const uint32_t n = ws.n_fft;
  ws.md2 = n / 2;
  say(con, "\n nm1= %ld  md2=%ld  ns=%ld ", ws.nstages, ws.md2, ws.n_read);
  const working_copy c{ws.scratch, n > kScratchSize};
  for (uint32_t stage = 1; stage <= ws.nstages; ++stage) {
    for (uint32_t e = 0; e < n; ++e) c[e] = ws.signal[e].re;
    const uint32_t md2 = ws.md2;
    for (uint32_t b = 0; b < n; b += 2 * md2) {
      for (uint32_t j = b; j < b + md2; ++j) {
        uint32_t e = b + 2 * (j - b);
        ws.signal[j] = {c[e], 0.0f};
        ws.signal[j + md2] = {c[e + 1], 0.0f};
      }
    }
    ws.md2 /= 2;
  }
}

}  // namespace qv

// The impact test behind the bundled example pair: a half-sine force pulse on a
// single-degree-of-freedom system (1 kg, 60 Hz, 3 % damping), sampled at 1 kHz.
// The response is the displacement of the discrete system
//   y[n] = b1 x[n-1] + a1 y[n-1] + a2 y[n-2]
// (impulse-invariant: its impulse response is that of the continuous system at
// the sample times, times dt). The generator and the physical check of the
// tests share these numbers, so the check can compute the exact frequency
// response of what generated the data.
#pragma once

#include <cmath>
#include <complex>

namespace impact_model {

constexpr int kRecords = 4096;
constexpr double kDt = 0.001;          // s
constexpr double kMass = 1.0;          // kg
constexpr double kNaturalHz = 60.0;    // Hz
constexpr double kDamping = 0.03;      // fraction of critical
constexpr double kPulsePeak = 400.0;   // N
constexpr int kPulseStart = 20;        // samples of pre-trigger
constexpr int kPulseLength = 5;        // samples: a 5 ms half-sine

struct coefficients {
  double b1, a1, a2;
};

inline coefficients discrete_system() {
  const double pi = std::atan2(0.0, -1.0);
  const double wn = 2 * pi * kNaturalHz;
  const double wd = wn * std::sqrt(1 - kDamping * kDamping);
  const double r = std::exp(-kDamping * wn * kDt);
  return {kDt * r * std::sin(wd * kDt) / (kMass * wd), 2 * r * std::cos(wd * kDt), -r * r};
}

// Force sample n in N.
inline double force(int n) {
  const double pi = std::atan2(0.0, -1.0);
  const int m = n - kPulseStart;
  if (m < 0 || m > kPulseLength) return 0.0;
  return kPulsePeak * std::sin(pi * m / kPulseLength);
}

// The discrete system's frequency response (m/N) at f Hz.
inline std::complex<double> frequency_response(double f) {
  const double pi = std::atan2(0.0, -1.0);
  const coefficients c = discrete_system();
  const std::complex<double> z1 = std::polar(1.0, -2 * pi * f * kDt);  // z^-1
  return c.b1 * z1 / (1.0 - c.a1 * z1 - c.a2 * z1 * z1);
}

}  // namespace impact_model

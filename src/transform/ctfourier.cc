// The transform and the spectrum files; see ctfourier.h.
#include "transform/ctfourier.h"

#include <cmath>

#include "platform/line_writer.h"

namespace qv {
namespace {

// Stage 1: two-point butterflies, no multiplication.
void first_stage(complex_entry* x, uint32_t n) {
  for (uint32_t k = 0; k < n; k += 2) {
    const complex_entry a = x[k], b = x[k + 1];
    x[k] = {float(double(a.re) + b.re), float(double(a.im) + b.im)};
    x[k + 1] = {float(double(a.re) - b.re), float(double(a.im) - b.im)};
  }
}

// The twiddle table of a stage with blocks of length l: (cos, -sin) of t*tpi/l.
void build_twiddles(complex_entry* w, uint32_t half, uint32_t l, double tpi) {
  for (uint32_t t = 0; t < half; ++t) {
    const double theta = t * tpi / l;
    w[t] = {float(std::cos(theta)), float(-std::sin(theta))};
  }
}

void butterfly_stage(complex_entry* x, const complex_entry* w, uint32_t n, uint32_t half) {
  const uint32_t l = 2 * half;
  for (uint32_t b = 0; b < n; b += l) {
    for (uint32_t t = 0; t < half; ++t) {
      const complex_entry a = x[b + t], v = x[b + t + half], wt = w[t];
      const float tre = float(double(v.re) * wt.re - double(v.im) * wt.im);
      const float tim = float(double(v.re) * wt.im + double(v.im) * wt.re);
      x[b + t] = {float(double(a.re) + tre), float(double(a.im) + tim)};
      x[b + t + half] = {float(double(a.re) - tre), float(double(a.im) - tim)};
    }
  }
}

}  // namespace

void transform_in_place(workspace& ws, console& con) {
  const uint32_t n = ws.n_fft;
  say(con, "\n m= %ld  nstages= %ld \n\n", n, ws.nstages);
  if (n < 2) return;
  first_stage(ws.signal, n);
  for (uint32_t stage = 2; stage <= ws.nstages; ++stage) {
    say(con, "\n i=%ld / %ld ", stage, ws.nstages);
    const uint32_t half = uint32_t(1) << (stage - 1);
    build_twiddles(ws.scratch, half, 2 * half, ws.tpi);
    butterfly_stage(ws.signal, ws.scratch, n, half);
  }
}

void write_spectrum_files(workspace& ws) {
  static constexpr line_format kMagnitudeLine = "%15.6e %15.6e \n";
  const uint32_t n = ws.n_fft;
  const float divisor = float(n);
  out_stream& complex_file = ws.slot(2).out;
  out_stream& two_sided = ws.slot(3).out;
  out_stream& one_sided = ws.slot(4).out;
  // The magnitude files are written by a second thread while this one writes
  // the complex spectrum.
  line_writer magnitudes;
  for (uint32_t p = 0; p < n; ++p) {
    complex_entry& x = ws.signal[p];
    x.re = float(x.re / double(divisor));
    x.im = float(x.im / double(divisor));
    const double f = p * ws.df;
    if (p == 0) x = {0.0f, 0.0f};  // the zero-frequency line is forced to 0
    const double re = x.re, im = x.im;
    complex_file.print("%15.6e %15.6e %15.6e \n", f, re, im);
    const double m = std::sqrt(re * re + im * im);
    magnitudes.print(two_sided, kMagnitudeLine, f, m);
    if (p < n / 2) magnitudes.print(one_sided, kMagnitudeLine, f, p == 0 ? m : 2 * m);
  }
  magnitudes.finish();
}

void ctfourier(workspace& ws, console& con) {
  transform_in_place(ws, con);
  write_spectrum_files(ws);
}

}  // namespace qv

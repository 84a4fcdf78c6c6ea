// The transfer functions and the coherence; see h_functions.h.
#include "cross/h_functions.h"

#include <cmath>

#include "cross/cross_files.h"
#include "platform/line_writer.h"

namespace qv {
namespace {

struct complex_value {
  double re, im;
};

// a / b as the textbook formula writes it; a zero b gives the IEEE quotients.
complex_value divide(complex_value a, complex_value b) {
  const double d = b.re * b.re + b.im * b.im;
  return {(a.re * b.re + a.im * b.im) / d, (a.im * b.re - a.re * b.im) / d};
}

}  // namespace

void h_functions(workspace& ws, console& con) {
  say(con, "\n h_functions ");
  say(con, "\n limit2 = %ld ", ws.limit2);
  static const slot_file files[] = {
      {3, "complex_spectrum_gab.out", open_mode::read},
      {4, "complex_spectrum_gba.out", open_mode::read},
      {5, "complex_spectrum_gaa.out", open_mode::read},
      {6, "complex_spectrum_gbb.out", open_mode::read},
      {7, "H1.out", open_mode::write},
      {8, "H2.out", open_mode::write},
      {9, "coherence.out", open_mode::write},
      {10, "H1_mp.out", open_mode::write},
      {11, "H2_mp.out", open_mode::write},
  };
  if (!open_slot_files(ws, con, files, 9)) return;

  out_stream& h1_file = ws.slot(7).out;
  out_stream& h2_file = ws.slot(8).out;
  out_stream& coherence_file = ws.slot(9).out;
  out_stream& h1_mp_file = ws.slot(10).out;
  out_stream& h2_mp_file = ws.slot(11).out;
  const double degrees = 180 / ws.pi;
  // The transfer-function files are written by a second thread while this one
  // reads the spectra and writes the coherence.
  static constexpr line_format kLine = "%12.5g %12.4g %12.4g \n";
  line_writer lines;
  complex_value gab, gba, gaa, gbb;
  for (int32_t line = 0; line < ws.limit2; ++line) {
    if (!read_columns(ws, 3, ws.freq, gab.re, gab.im) || !read_columns(ws, 4, ws.freq, gba.re, gba.im) ||
        !read_columns(ws, 5, ws.freq, gaa.re, gaa.im) || !read_columns(ws, 6, ws.freq, gbb.re, gbb.im)) {
      break;
    }
    complex_value h1 = divide(gab, gaa);
    complex_value h2 = divide(gbb, gba);
    if (line == 0) h1 = h2 = {0, 0};  // the 0 Hz spectra are zero: 0/0 is not written

    lines.print(h1_file, kLine, ws.freq, h1.re, h1.im);
    lines.print(h2_file, kLine, ws.freq, h2.re, h2.im);
    lines.print(h1_mp_file, kLine, ws.freq, std::sqrt(h1.re * h1.re + h1.im * h1.im),
                std::atan2(h1.im, h1.re) * degrees);
    lines.print(h2_mp_file, kLine, ws.freq, std::sqrt(h2.re * h2.re + h2.im * h2.im),
                std::atan2(h2.im, h2.re) * degrees);

    double coherence = 0;
    if (line != 0) {
      const complex_value c = divide(h1, h2);
      if (std::fabs(c.im) > 0.0001) say(con, "\n Coherence error \n");
      coherence = c.re;
    }
    coherence_file.print("%12.5g %12.4g \n", ws.freq, coherence);
  }
  lines.finish();
  for (int n = 3; n <= 6; ++n) check_read_error(ws, con, n);
  for (int n = 3; n <= 11; ++n) close_slot(ws, con, n);
}

}  // namespace qv

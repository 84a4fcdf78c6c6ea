// The two-sided spectra; see cross_s.h.
#include "cross/cross_s.h"

#include <cmath>

#include "cross/cross_files.h"
#include "platform/line_writer.h"

namespace qv {

void cross_s(workspace& ws, console& con) {
  say(con, "\n\n cross_s \n");
  ws.limit = 0;
  static const slot_file files[] = {
      {1, "fft_1.out", open_mode::read},
      {2, "fft_2.out", open_mode::read},
      {3, "complex_spectrum_sab.out", open_mode::write},
      {4, "complex_spectrum_sba.out", open_mode::write},
      {5, "complex_spectrum_saa.out", open_mode::write},
      {6, "complex_spectrum_sbb.out", open_mode::write},
  };
  if (!open_slot_files(ws, con, files, 6)) return;

  out_stream& sab = ws.slot(3).out;
  out_stream& sba = ws.slot(4).out;
  out_stream& saa = ws.slot(5).out;
  out_stream& sbb = ws.slot(6).out;
  // Three of the four files are written by a second thread while this one
  // reads and writes the fourth.
  static constexpr line_format kLine = "%12.4g %12.4g %12.4g \n";
  line_writer lines;
  double a_re, a_im, b_re, b_im;
  while (read_columns(ws, 1, ws.freq, a_re, a_im) && read_columns(ws, 2, ws.freq2, b_re, b_im)) {
    // Lines at or below 0.01 Hz, the zero-frequency line among them, pass untested.
    if (ws.freq > 0.01 && std::fabs(ws.freq - ws.freq2) / ws.freq > 0.01) {
      say(con, "\n\n Frequency synch error. \n\n");
      break;
    }
    sab.print(kLine, ws.freq, a_re * b_re + a_im * b_im, a_re * b_im - a_im * b_re);
    lines.print(sba, kLine, ws.freq, a_re * b_re + a_im * b_im, a_im * b_re - a_re * b_im);
    lines.print(saa, kLine, ws.freq, a_re * a_re + a_im * a_im, 0.0);
    lines.print(sbb, kLine, ws.freq, b_re * b_re + b_im * b_im, 0.0);
    ++ws.limit;
  }
  lines.finish();
  check_read_error(ws, con, 1);
  check_read_error(ws, con, 2);
  for (int n = 1; n <= 6; ++n) close_slot(ws, con, n);
  if (!ws.failed) say(con, "\n limit = %ld ", ws.limit);
}

}  // namespace qv

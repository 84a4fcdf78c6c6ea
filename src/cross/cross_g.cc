// The one-sided spectra; see cross_g.h.
#include "cross/cross_g.h"

#include "cross/cross_files.h"
#include "platform/line_writer.h"

namespace qv {

void cross_g(workspace& ws, console& con) {
  say(con, "\n cross_g \n");
  ws.limit2 = int32_t(ws.limit * 0.5);
  say(con, "\n limit2 = %ld ", ws.limit2);
  static const slot_file sources[] = {
      {3, "complex_spectrum_sab.out", open_mode::read},
      {4, "complex_spectrum_sba.out", open_mode::read},
      {5, "complex_spectrum_saa.out", open_mode::read},
      {6, "complex_spectrum_sbb.out", open_mode::read},
  };
  static const char* const outputs[] = {"complex_spectrum_gab.out", "complex_spectrum_gba.out",
                                        "complex_spectrum_gaa.out", "complex_spectrum_gbb.out"};
  if (!open_slot_files(ws, con, sources, 4)) return;

  // Each output is written by a second thread while this one reads its source.
  static constexpr line_format kLine = "%12.5g %12.4g %12.4g \n";

  for (int row = 0; row < 4 && !ws.failed; ++row) {
    const int source = 3 + row;
    const slot_file output = {7, outputs[row], open_mode::write};
    if (!open_slot_files(ws, con, &output, 1)) break;
    out_stream& out = ws.slot(7).out;
    line_writer lines;
    double re, im;
    for (int32_t line = 0; line < ws.limit2; ++line) {
      if (!read_columns(ws, source, ws.freq, re, im)) break;
      lines.print(out, kLine, ws.freq, 2 * re, 2 * im);
    }
    lines.finish();
    check_read_error(ws, con, source);
    close_slot(ws, con, source);
    close_slot(ws, con, 7);
  }
  for (int n = 3; n <= 7; ++n) close_slot(ws, con, n);
}

}  // namespace qv

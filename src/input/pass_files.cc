// The files of a pass; see pass_files.h.
#include "input/pass_files.h"

#include <cerrno>

namespace qv {

const char* const* spectrum_file_names(uint32_t pass) {
  static const char* const first[] = {"fft_1.out", "fft_half_1.out", "fft_full_1.out"};
  static const char* const second[] = {"fft_2.out", "fft_half_2.out", "fft_full_2.out"};
  return pass == 1 ? first : second;
}

void open_pass_files(workspace& ws, console& con) {
  if (ws.pass == 1) {
    say(con, "\n\n Please enter the first input filename. (Force) \n");
  } else {
    say(con, "\n\n Please enter the second input filename. (Response) \n");
  }
  const char* const* names = spectrum_file_names(ws.pass);
  for (int n = 2; n <= 4; ++n) set_slot_name(ws, n, names[n - 2]);

  // At the end of input the name stays as it was: empty in pass 1, the first
  // input's name in pass 2.
  bool too_long = false;
  file_slot& input = ws.slot(1);
  scan_word(con.in, input.name, kNameSize, &too_long);

  if (too_long) {
    input.open_error = ENAMETOOLONG;
  } else {
    open_slot(ws, 1, open_mode::read);
  }
  for (int n = 2; n <= 4; ++n) open_slot(ws, n, open_mode::write);

  for (int n = 1; n <= 4; ++n) {
    if (ws.slot(n).is_open()) {
      say(con, " File: %s opened. \n", ws.slot(n).name);
    } else {
      say(con, " Failed to open file: %s \n", ws.slot(n).name);
    }
  }
  for (int n = 1; n <= 4; ++n) {
    const file_slot& s = ws.slot(n);
    if (!s.is_open()) report_file_error(ws, con, "open", s.name, s.open_error);
  }
}

}  // namespace qv

// Shared file handling of the cross-spectral stages; see cross_files.h.
#include "cross/cross_files.h"

namespace qv {

bool open_slot_files(workspace& ws, console& con, const slot_file* files, int count) {
  for (int n = 0; n < count; ++n) {
    set_slot_name(ws, files[n].slot, files[n].name);
    open_slot(ws, files[n].slot, files[n].mode);
  }
  for (int n = 0; n < count; ++n) {
    const file_slot& s = ws.slot(files[n].slot);
    if (!s.is_open()) report_file_error(ws, con, "open", s.name, s.open_error);
  }
  if (!ws.failed) return true;
  for (int n = 0; n < count; ++n) close_slot(ws, con, files[n].slot);
  return false;
}

bool read_columns(workspace& ws, int n, double& freq, double& re, double& im) {
  freq = re = im = 0;
  return scan_columns(ws.slot(n).in, freq, re, im) > 0;
}

void check_read_error(workspace& ws, console& con, int n) {
  const file_slot& s = ws.slot(n);
  if (s.is_open() && !s.writing && s.in.error() != 0) {
    report_file_error(ws, con, "read", s.name, s.in.error());
  }
}

}  // namespace qv

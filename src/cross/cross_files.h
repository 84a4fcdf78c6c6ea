// What the three cross-spectral stages share: opening a set of slots by fixed
// names, and reading one column line.
#pragma once

#include "driver/workspace.h"

namespace qv {

struct slot_file {
  int slot;
  const char* name;
  open_mode mode;
};

// Names and opens the slots in the order given. When one cannot be opened, the
// first failure is reported, every slot of the list is closed again and the
// run is marked failed; returns false then.
bool open_slot_files(workspace& ws, console& con, const slot_file* files, int count);

// One line "%lf %lf %lf" from slot n: false when no field converts. Fields
// that do not convert are 0.
bool read_columns(workspace& ws, int n, double& freq, double& re, double& im);

// A read error of slot n is reported (and ends the run).
void check_read_error(workspace& ws, console& con, int n);

}  // namespace qv

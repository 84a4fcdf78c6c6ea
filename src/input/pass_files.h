// The files of a pass: asks for the input's name, opens it in slot 1 and the
// pass's three spectrum files in slots 2 to 4, and reports each open.
#pragma once

#include "driver/workspace.h"

namespace qv {

// Spectrum file names of a pass (1 or 2), in slot order 2, 3, 4.
const char* const* spectrum_file_names(uint32_t pass);

// A file that cannot be opened ends the run after the four report lines.
void open_pass_files(workspace& ws, console& con);

}  // namespace qv

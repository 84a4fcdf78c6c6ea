// The time-history reader: reads the input in slot 1 twice (a counting read,
// then a read-back of the records the transform uses), sizes the transform to
// the largest power of two not above the count, leaves the amplitudes in the
// real parts of `signal`, prints the time base and statistics, closes slot 1.
#pragma once

#include "driver/workspace.h"

namespace qv {

void read_history(workspace& ws, console& con);

}  // namespace qv

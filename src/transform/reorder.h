// The even/odd reorder: puts the n_fft samples of `signal` into bit-reversed
// order by nstages successive even/odd splits, clearing the imaginary parts,
// for the in-place transform. The working copy of each split lives in `scratch`.
#pragma once

#include "driver/workspace.h"

namespace qv {

void reorder(workspace& ws, console& con);

}  // namespace qv

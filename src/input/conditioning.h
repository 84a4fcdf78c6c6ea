// Conditioning of the samples before the transform, in place on the real parts
// of the first n_fft entries of `signal`: mean removal and the scaled Hanning
// window. Each sample is evaluated in double precision and stored as a float.
#pragma once

#include "driver/workspace.h"

namespace qv {

// Subtracts `ave` from each sample.
void remove_mean(workspace& ws, console& con);

// Multiplies sample k by sqrt(8/3) * sin^2(pi k / n_read), the periodic window
// whose mean square is 1.
void hanning(workspace& ws, console& con);

}  // namespace qv

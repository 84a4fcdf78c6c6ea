// The two-sided spectra: reads fft_1.out and fft_2.out line by line in step,
// checks that each pair of lines belongs to the same frequency, and writes the
// cross spectra S_ab = conj(A) B and S_ba = conj(B) A and the auto spectra
// S_aa = |A|^2 and S_bb = |B|^2; `limit` is the number of lines written.
#pragma once

#include "driver/workspace.h"

namespace qv {

void cross_s(workspace& ws, console& con);

}  // namespace qv

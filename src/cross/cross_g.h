// The one-sided spectra: keeps the first limit2 = limit/2 lines of each
// two-sided spectrum file and doubles their real and imaginary parts, G = 2 S.
#pragma once

#include "driver/workspace.h"

namespace qv {

void cross_g(workspace& ws, console& con);

}  // namespace qv

// The transfer functions and the coherence: from the four one-sided spectra,
// line by line, H1 = G_ab / G_aa and H2 = G_bb / G_ba as real and imaginary
// parts and as magnitude and phase in degrees, and the coherence, the real part
// of H1 / H2. The first (0 Hz) line is all zeros.
#pragma once

#include "driver/workspace.h"

namespace qv {

void h_functions(workspace& ws, console& con);

}  // namespace qv

// The transform of a pass: the radix-2 decimation-in-time transform of the
// n_fft bit-reversed samples in `signal`, in place, divided by n_fft with the
// zero-frequency line forced to 0, and the pass's three spectrum files written
// through slots 2 (complex spectrum), 3 (two-sided magnitude) and 4 (one-sided
// magnitude, lines below n_fft/2).
//
// Every value stored in `signal` or `scratch` is a float; each expression is
// evaluated in double precision and rounded once, when it is stored.
#pragma once

#include "driver/workspace.h"

namespace qv {

// The transform alone, without the normalisation and the files.
void transform_in_place(workspace& ws, console& con);

// Normalises the spectrum and writes the three spectrum files.
void write_spectrum_files(workspace& ws);

// transform_in_place, then write_spectrum_files.
void ctfourier(workspace& ws, console& con);

}  // namespace qv

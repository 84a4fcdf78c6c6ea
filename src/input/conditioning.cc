// Mean removal and the Hanning window; see conditioning.h.
#include "input/conditioning.h"

#include <cmath>

namespace qv {

void remove_mean(workspace& ws, console& con) {
  say(con, "\n mean removal");
  for (uint32_t k = 0; k < ws.n_fft; ++k) {
    ws.signal[k].re = float(double(ws.signal[k].re) - ws.ave);
  }
}

void hanning(workspace& ws, console& con) {
  ws.hanning_scale = std::sqrt(8.0 / 3.0);
  say(con, "\n Hanning window ");
  for (uint32_t k = 0; k < ws.n_fft; ++k) {
    // With nothing read back (n_read = 0) the only entry is k = 0, whose
    // weight is 0 for every record length.
    double s = ws.n_read == 0 ? 0.0 : std::sin(ws.pi * k / ws.n_read);
    double w = ws.hanning_scale * (s * s);
    ws.signal[k].re = float(w * ws.signal[k].re);
  }
}

}  // namespace qv

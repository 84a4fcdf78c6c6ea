// The program driver; see driver.h.
#include "driver/driver.h"

#include <cstring>

#include "cross/cross_g.h"
#include "cross/cross_s.h"
#include "cross/h_functions.h"
#include "input/conditioning.h"
#include "input/pass_files.h"
#include "input/read_history.h"
#include "transform/ctfourier.h"
#include "transform/reorder.h"

namespace qv {
namespace {

void clear_signal(workspace& ws) { std::memset(ws.signal, 0, sizeof ws.signal); }
void clear_scratch(workspace& ws) { std::memset(ws.scratch, 0, sizeof ws.scratch); }

void close_pass_slots(workspace& ws, console& con) {
  for (int n = 1; n <= 4; ++n) close_slot(ws, con, n);
}

// One pass over the current input; false when the run must end.
bool run_pass(workspace& ws, console& con) {
  clear_signal(ws);
  clear_scratch(ws);
  open_pass_files(ws, con);
  if (!ws.failed) read_history(ws, con);
  if (!ws.failed) {
    if (ws.mean_removal == 1) remove_mean(ws, con);
    if (ws.window == 2) hanning(ws, con);
    reorder(ws, con);
    clear_scratch(ws);
    say(con, "\n call function ctfourier ");
    ctfourier(ws, con);
  }
  close_pass_slots(ws, con);
  return !ws.failed;
}

}  // namespace

void opening_dialogue(workspace& ws, console& con) {
  say(con, "\n  quorvid - version 1.2, June 5, 2003 ");
  say(con, "\n  by the quorvid developers ");
  say(con, "\n  questions and reports: see README.md beside the program \n");
  say(con, "\n This program calculates the cross spectrum of two time history files. \n");
  say(con, "\n The input files must have the same sample rate and record length. \n");
  say(con, "\n Each input file must be time(sec) and amplitude(units) ");
  say(con, "\n The format is free, but no header lines allowed.\n");
  say(con, "\n");
  say(con, "\n Mean removal? 1=yes 2=no \n");
  scan_int(con.in, ws.mean_removal);
  say(con, "\n");
  say(con, "\n Window? 1=rectangular 2=Hanning \n");
  scan_int(con.in, ws.window);
}

void closing_summary(console& con) {
  say(con, "\n\n The format for the following output files is: ");
  say(con, "\n  freq (Hz)  real amp(units)  imaginary amp(units)\n");
  say(con, "\n\n Two-sided complex output data written to: \n");
  say(con, "\n complex_spectrum_sab.out ");
  say(con, "\n complex_spectrum_sba.out ");
  say(con, "\n complex_spectrum_saa.out ");
  say(con, "\n complex_spectrum_sbb.out ");
  say(con, "\n\n One-sided complex output data written to: \n");
  say(con, "\n complex_spectrum_gab.out ");
  say(con, "\n complex_spectrum_gba.out ");
  say(con, "\n complex_spectrum_gaa.out ");
  say(con, "\n complex_spectrum_gbb.out \n");
  say(con, "\n H1.out ");
  say(con, "\n H2.out ");
  say(con, "\n\n The format for the following output files is: ");
  say(con, "\n  freq (Hz)  magnitude   phase(deg)\n");
  say(con, "\n H1_mp.out ");
  say(con, "\n H2_mp.out ");
  say(con, "\n\n Additional file: \n");
  say(con, "\n coherence.out \n");
  say(con, "\n\n Please call the output files into your own plotting program.");
  say(con, "\n Press any key to exit.");
}

int run_program(workspace& ws, console& con) {
  opening_dialogue(ws, con);
  for (ws.pass = 1; ws.pass <= 2; ++ws.pass) {
    if (!run_pass(ws, con)) return 1;
  }
  cross_s(ws, con);
  if (!ws.failed) cross_g(ws, con);
  if (!ws.failed) h_functions(ws, con);
  if (ws.failed) return 1;
  closing_summary(con);
  return 0;
}

}  // namespace qv

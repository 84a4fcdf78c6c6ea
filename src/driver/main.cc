// quorvid: cross spectrum, transfer functions and coherence of a force and a
// response time history. The program's parts live in the library; this is the
// entry point that runs them on the console and waits for a key at the end.
#include "driver/driver.h"
#include "driver/workspace.h"
#include "platform/console.h"
#include "platform/key_wait.h"

int main() {
  qv::console con;
  qv::workspace& ws = qv::program_workspace();
  qv::cut_outputs_on_signals();
  int status = qv::run_program(ws, con);
  if (status != 0 && qv::terminal_available()) qv::say(con, "\n Press any key to exit.");
  qv::wait_for_key();
  return status;
}

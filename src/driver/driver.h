// The program driver: the opening dialogue, the two passes and the three
// cross-spectral stages in their fixed order, and the closing summary.
//
//   int status = run_program(program_workspace(), con);  // then the key wait
//
// A run ends early only when a file cannot be opened, read or written (the
// error has been reported); run_program then returns 1 and writes no summary.
#pragma once

#include "driver/workspace.h"
#include "platform/console.h"

namespace qv {

// The whole run up to and including the closing summary; the exit status.
int run_program(workspace& ws, console& con);

// The opening dialogue: banner, the two questions and their answers.
void opening_dialogue(workspace& ws, console& con);

// The closing summary of the output files, ending with the key prompt.
void closing_summary(console& con);

}  // namespace qv

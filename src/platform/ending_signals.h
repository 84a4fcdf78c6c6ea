// The signals that end the program when it does not catch them (Ctrl-C, kill,
// a closed terminal, Ctrl-\), and a handler run on them first: it tidies up
// (puts the terminal back, cuts the open outputs) and then ends the program by
// the same signal with end_by_signal(), so the exit status still tells which.
//
//   struct sigaction saved[kEndingSignalCount];
//   catch_ending_signals(tidy_up_then_end, saved);
//   ...
//   restore_ending_signals(saved);
#pragma once

#include <signal.h>

namespace qv {

constexpr int kEndingSignalCount = 4;

// Installs handler for each ending signal that is not ignored: a signal ignored
// at start (nohup, a background job) stays ignored. The previous actions go to
// saved (kEndingSignalCount entries) unless it is null.
void catch_ending_signals(void (*handler)(int), struct sigaction* saved);

// Puts back the actions that catch_ending_signals() saved.
void restore_ending_signals(const struct sigaction* saved);

// For a handler: the signal's default action, then the signal again.
void end_by_signal(int sig);

}  // namespace qv

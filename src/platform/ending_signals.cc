// The ending signals; see ending_signals.h.
#include "platform/ending_signals.h"

namespace qv {
namespace {

const int kEndingSignals[kEndingSignalCount] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

}  // namespace

void catch_ending_signals(void (*handler)(int), struct sigaction* saved) {
  struct sigaction act = {};
  act.sa_handler = handler;
  sigemptyset(&act.sa_mask);
  for (int n = 0; n < kEndingSignalCount; ++n) {
    struct sigaction old;
    sigaction(kEndingSignals[n], nullptr, &old);
    if (saved != nullptr) saved[n] = old;
    if (old.sa_handler != SIG_IGN) sigaction(kEndingSignals[n], &act, nullptr);
  }
}

void restore_ending_signals(const struct sigaction* saved) {
  for (int n = 0; n < kEndingSignalCount; ++n) sigaction(kEndingSignals[n], &saved[n], nullptr);
}

void end_by_signal(int sig) {
  signal(sig, SIG_DFL);
  raise(sig);
}

}  // namespace qv

// One key from the controlling terminal, unechoed and unbuffered.
#include "platform/key_wait.h"

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ending_signals.h"

namespace qv {
namespace {

// What the signal handler needs to put the terminal back.
int g_tty = -1;
termios g_saved;
volatile sig_atomic_t g_restore = 0;

void restore_and_reraise(int sig) {
  if (g_restore) tcsetattr(g_tty, TCSAFLUSH, &g_saved);
  end_by_signal(sig);
}

}  // namespace

bool terminal_available() {
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

void wait_for_key() {
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return;
  termios saved;
  if (tcgetattr(fd, &saved) != 0) {
    close(fd);
    return;
  }
  g_tty = fd;
  g_saved = saved;
  struct sigaction old[kEndingSignalCount];
  catch_ending_signals(restore_and_reraise, old);

  termios raw = saved;
  raw.c_lflag &= ~tcflag_t(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  g_restore = 1;
  // TCSAFLUSH drops what was typed ahead: only a key pressed now ends the wait.
  if (tcsetattr(fd, TCSAFLUSH, &raw) == 0) {
    char key;
    while (read(fd, &key, 1) < 0 && errno == EINTR) {
    }
  }
  tcsetattr(fd, TCSAFLUSH, &saved);
  g_restore = 0;
  restore_ending_signals(old);
  g_tty = -1;
  close(fd);
}

}  // namespace qv

// The key wait at the end of a run, as a user at a terminal meets it. The
// built quorvid runs with a pseudo-terminal as its controlling terminal and
// standard output, and its standard input redirected from a file or a pipe
// that holds the replies, so the key can only come from the terminal. The
// test plays the user at the terminal's other end.
//
// No timing is asserted beyond "still waiting after half a second" and
// generous deadlines for things that must happen at all.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <initializer_list>
#include <string>
#include <thread>

#include "test_support.h"

using namespace qv_test;

namespace {

using clock_type = std::chrono::steady_clock;

constexpr double kReachPrompt = 60;  // s: the whole run, also under sanitizers
constexpr double kExitPromptly = 10;  // s: from the key to the end of the process
const std::string kPrompt = "\n Press any key to exit.";

void write_pair(const temp_dir& dir) {
  write_file(dir / "force.txt", "0 1\n0.25 2\n0.5 3\n0.75 4\n");
  write_file(dir / "response.txt", "0 4\n0.25 2\n0.5 0\n0.75 6\n");
}

// quorvid on a pseudo-terminal. The test keeps the terminal's slave side open
// too, to read its settings (tcgetattr) whenever it likes.
class terminal_run {
 public:
  // Standard input from the file `stdin_path`, from the terminal itself when
  // it is kFromTerminal, or from a pipe the test writes (send_reply) when it is
  // empty. Signals in `ignored` start out ignored, as under nohup.
  static constexpr const char* kFromTerminal = "<terminal>";
  terminal_run(const std::string& dir, const std::string& stdin_path, std::initializer_list<int> ignored = {}) {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty");
    int in = -1;
    if (stdin_path.empty()) {
      int fds[2];
      if (pipe(fds) != 0) throw std::runtime_error("pipe");
      in = fds[0];
      replies_ = fds[1];
    } else if (stdin_path == kFromTerminal) {
      in = dup(slave_);
    } else {
      in = open(stdin_path.c_str(), O_RDONLY);
      if (in < 0) throw std::runtime_error("open " + stdin_path);
    }
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      // A session of its own with the pseudo-terminal as controlling terminal.
      setsid();
      if (ioctl(slave_, TIOCSCTTY, 0) != 0) _exit(124);
      if (chdir(dir.c_str()) != 0) _exit(125);
      for (int sig : ignored) signal(sig, SIG_IGN);
      dup2(in, 0);
      dup2(slave_, 1);
      dup2(slave_, 2);
      for (int fd : {in, slave_, master_, replies_}) {
        if (fd > 2) close(fd);
      }
      execl(QUORVID_BINARY, "quorvid", static_cast<char*>(nullptr));
      _exit(126);
    }
    close(in);
  }

  ~terminal_run() {
    if (running()) {
      kill(pid_, SIGKILL);
      int ws;
      waitpid(pid_, &ws, 0);
    }
    for (int fd : {master_, slave_, replies_}) {
      if (fd >= 0) close(fd);
    }
  }

  terminal_run(const terminal_run&) = delete;
  terminal_run& operator=(const terminal_run&) = delete;

  pid_t pid() const { return pid_; }
  const std::string& screen() const { return screen_; }

  // Typed at the terminal.
  void type(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }

  // Fed to standard input through the pipe; close_replies() then ends it.
  void send_reply(const std::string& text) {
    ASSERT_EQ(write(replies_, text.data(), text.size()), ssize_t(text.size()));
  }
  void close_replies() {
    close(replies_);
    replies_ = -1;
  }

  // Reads the terminal until `text` has appeared after position `from` of the
  // screen; false at the deadline.
  bool read_until(const std::string& text, double seconds, size_t from = 0) {
    const auto deadline = clock_type::now() + std::chrono::duration<double>(seconds);
    while (screen_.find(text, from) == std::string::npos) {
      if (clock_type::now() > deadline) return false;
      read_some(50);
    }
    return true;
  }

  // The terminal's local modes as the program left them or set them.
  tcflag_t local_modes() const {
    termios t{};
    if (tcgetattr(slave_, &t) != 0) return 0;
    return t.c_lflag;
  }

  // Waits until the terminal is out of line mode, that is until the program
  // has entered its wait; false at the deadline.
  bool wait_for_key_mode(double seconds) {
    const auto deadline = clock_type::now() + std::chrono::duration<double>(seconds);
    while (local_modes() & ICANON) {
      if (clock_type::now() > deadline || !running()) return false;
      read_some(10);
    }
    return true;
  }

  bool running() {
    if (exited_) return false;
    int ws;
    if (waitpid(pid_, &ws, WNOHANG) == pid_) {
      exited_ = true;
      status_ = ws;
    }
    return !exited_;
  }

  // Waits for the end of the process, reading the terminal meanwhile; false
  // at the deadline. The raw wait status is then in status().
  bool wait_exit(double seconds) {
    const auto deadline = clock_type::now() + std::chrono::duration<double>(seconds);
    while (running()) {
      if (clock_type::now() > deadline) return false;
      read_some(10);
    }
    read_some(50);  // whatever is still on its way
    return true;
  }
  int status() const { return status_; }

 private:
  void read_some(int timeout_ms) {
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0 || !(p.revents & POLLIN)) return;
    char buf[4096];
    ssize_t n = read(master_, buf, sizeof buf);
    if (n > 0) screen_.append(buf, size_t(n));
  }

  int master_ = -1, slave_ = -1, replies_ = -1;
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
  std::string screen_;
};

void pause_half_a_second() { std::this_thread::sleep_for(std::chrono::milliseconds(500)); }

}  // namespace

// With every reply (and more text) in a file on standard input, the program
// still waits for a key at the terminal, takes one key without Enter, does not
// echo it, and leaves the terminal in line mode with echo, as it found it. A
// run that ends on an error waits the same way and exits with status 1.
TEST(KeyWait, WaitsForOneUnechoedKeyFromTheTerminal) {
  struct row {
    const char* what;
    const char* replies;
    int status;
  };
  for (const row& c : {row{"complete run", "2 1 force.txt response.txt\nstill more text on stdin\n", 0},
                       row{"input that cannot be opened", "2 1 nothere.txt response.txt\nmore text\n", 1}}) {
    SCOPED_TRACE(c.what);
    temp_dir dir, io;
    write_pair(dir);
    write_file(io / "replies", c.replies);
    terminal_run t(dir.path(), io / "replies");
    ASSERT_TRUE((t.local_modes() & (ICANON | ECHO)) == (ICANON | ECHO)) << "pseudo-terminal not in line mode";

    ASSERT_TRUE(t.read_until(kPrompt, kReachPrompt)) << t.screen();
    const size_t prompt_end = t.screen().find(kPrompt) + kPrompt.size();
    pause_half_a_second();
    ASSERT_TRUE(t.running()) << "ended without a key: " << t.screen();
    ASSERT_TRUE(t.wait_for_key_mode(kReachPrompt));
    EXPECT_EQ(t.local_modes() & (ICANON | ECHO), 0u) << "waiting in line mode or with echo";

    t.type("k");  // one key, no Enter
    ASSERT_TRUE(t.wait_exit(kExitPromptly)) << "did not end after a key";
    ASSERT_TRUE(WIFEXITED(t.status()));
    EXPECT_EQ(WEXITSTATUS(t.status()), c.status);
    EXPECT_EQ(t.screen().substr(prompt_end), "") << "the key was echoed, or more text followed the prompt";
    EXPECT_EQ(t.local_modes() & (ICANON | ECHO), tcflag_t(ICANON | ECHO)) << "terminal settings not restored";
  }
}

// Text typed at the terminal before the wait begins (here a whole line and a
// part of one, typed while the program still reads its replies) does not end
// the wait: only a key pressed during the wait does.
TEST(KeyWait, TextTypedAheadDoesNotEndTheWait) {
  temp_dir dir;
  write_pair(dir);
  terminal_run t(dir.path(), "");
  t.send_reply("2\n1\nforce.txt\n");
  // The terminal shows each line break as CR LF: look for the words only.
  ASSERT_TRUE(t.read_until("Please enter the second input filename. (Response)", kReachPrompt)) << t.screen();

  // The terminal echoes what it has taken in: once the echo is back the text
  // is in its input queue, before the program can reach the wait.
  const size_t before = t.screen().size();
  t.type("typed ahead\npartial");
  ASSERT_TRUE(t.read_until("partial", kReachPrompt, before)) << t.screen();

  t.send_reply("response.txt\n");
  t.close_replies();
  ASSERT_TRUE(t.read_until(kPrompt, kReachPrompt)) << t.screen();
  ASSERT_TRUE(t.wait_for_key_mode(kReachPrompt)) << "ended on the typed-ahead text: " << t.screen();
  pause_half_a_second();
  ASSERT_TRUE(t.running()) << "ended on the typed-ahead text";

  t.type(" ");
  ASSERT_TRUE(t.wait_exit(kExitPromptly));
  ASSERT_TRUE(WIFEXITED(t.status()));
  EXPECT_EQ(WEXITSTATUS(t.status()), 0);
  EXPECT_EQ(t.local_modes() & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
}

// Interrupted during the wait, the program still puts the terminal back in
// line mode with echo. A signal sent to it ends it by that signal; Ctrl-C
// typed at the terminal either interrupts it or counts as the key.
TEST(KeyWait, InterruptedWaitRestoresTheTerminal) {
  struct row {
    const char* what;
    int signal;        // sent with kill(), or 0
    const char* keys;  // typed, when no signal is sent
  };
  for (const row& c : {row{"SIGINT", SIGINT, ""}, row{"SIGTERM", SIGTERM, ""}, row{"Ctrl-C typed", 0, "\x03"}}) {
    SCOPED_TRACE(c.what);
    temp_dir dir, io;
    write_pair(dir);
    write_file(io / "replies", "2 1 force.txt response.txt\n");
    terminal_run t(dir.path(), io / "replies");
    ASSERT_TRUE(t.read_until(kPrompt, kReachPrompt)) << t.screen();
    ASSERT_TRUE(t.wait_for_key_mode(kReachPrompt));

    if (c.signal != 0) {
      ASSERT_EQ(kill(t.pid(), c.signal), 0);
    } else {
      t.type(c.keys);
    }
    ASSERT_TRUE(t.wait_exit(kExitPromptly)) << "still running after the interrupt";
    if (c.signal != 0) {
      ASSERT_TRUE(WIFSIGNALED(t.status())) << "status " << t.status();
      EXPECT_EQ(WTERMSIG(t.status()), c.signal);
    } else {
      EXPECT_TRUE((WIFSIGNALED(t.status()) && WTERMSIG(t.status()) == SIGINT) ||
                  (WIFEXITED(t.status()) && WEXITSTATUS(t.status()) == 0))
          << "status " << t.status();
    }
    EXPECT_EQ(t.local_modes() & (ICANON | ECHO), tcflag_t(ICANON | ECHO)) << "terminal settings not restored";
  }
}

// A signal that was ignored when the program started (nohup, a background job
// of a shell without job control) stays ignored during the wait: the program
// keeps waiting, and a key still ends it normally.
TEST(KeyWait, SignalIgnoredAtStartStaysIgnoredDuringTheWait) {
  temp_dir dir, io;
  write_pair(dir);
  write_file(io / "replies", "2 1 force.txt response.txt\n");
  terminal_run t(dir.path(), io / "replies", {SIGINT, SIGHUP});
  ASSERT_TRUE(t.read_until(kPrompt, kReachPrompt)) << t.screen();
  ASSERT_TRUE(t.wait_for_key_mode(kReachPrompt));
  ASSERT_EQ(kill(t.pid(), SIGINT), 0);
  pause_half_a_second();
  ASSERT_TRUE(t.running()) << "ended by an ignored SIGINT, status " << t.status();
  EXPECT_EQ(t.local_modes() & (ICANON | ECHO), 0u);
  t.type("k");
  ASSERT_TRUE(t.wait_exit(kExitPromptly));
  ASSERT_TRUE(WIFEXITED(t.status()));
  EXPECT_EQ(WEXITSTATUS(t.status()), 0);
  EXPECT_EQ(t.local_modes() & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
}

// The replies typed at the terminal itself, the way most users run it. What
// follows the second name on its line has already been read with that line,
// so it does not end the wait either.
TEST(KeyWait, RepliesTypedAtTheTerminal) {
  temp_dir dir;
  write_pair(dir);
  terminal_run t(dir.path(), terminal_run::kFromTerminal);
  ASSERT_TRUE(t.read_until("Mean removal? 1=yes 2=no", kReachPrompt)) << t.screen();
  t.type("2\n");
  ASSERT_TRUE(t.read_until("Window? 1=rectangular 2=Hanning", kReachPrompt)) << t.screen();
  t.type("1\n");
  ASSERT_TRUE(t.read_until("(Force)", kReachPrompt)) << t.screen();
  t.type("force.txt\n");
  ASSERT_TRUE(t.read_until("(Response)", kReachPrompt)) << t.screen();
  t.type("response.txt and the rest of the line\n");
  ASSERT_TRUE(t.read_until(kPrompt, kReachPrompt)) << t.screen();
  ASSERT_TRUE(t.wait_for_key_mode(kReachPrompt)) << "ended without a key: " << t.screen();
  pause_half_a_second();
  ASSERT_TRUE(t.running());
  EXPECT_NE(t.screen().find(" File: response.txt opened. "), std::string::npos);

  t.type("q");
  ASSERT_TRUE(t.wait_exit(kExitPromptly));
  ASSERT_TRUE(WIFEXITED(t.status()));
  EXPECT_EQ(WEXITSTATUS(t.status()), 0);
  EXPECT_EQ(t.local_modes() & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
  EXPECT_TRUE(file_exists(dir / "coherence.out"));
}

// With no terminal at all (a new session, replies from a file) there is no
// key to wait for: the run ends right after the prompt.
TEST(KeyWait, NoTerminalNoWait) {
  temp_dir dir;
  write_pair(dir);
  run_result r = run_quorvid(dir.path(), "2 1 force.txt response.txt\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(r.output.ends_with(kPrompt));
}

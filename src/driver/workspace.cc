// The workspace and its file slots.
#include "driver/workspace.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/ending_signals.h"

namespace qv {
namespace {

// An output is written over the old file and cut to the new text's length at
// close, instead of being emptied at open: a run repeated in the same folder
// then rewrites the file's cached pages and disk blocks in place rather than
// freeing them and allocating them again (on a file system that discards freed
// blocks, freeing means waiting for the disk). Every path of the run closes its
// outputs; a signal that ends the run cuts the open ones (see
// cut_outputs_on_signals), so no older text is left after the new.
//
// The outputs open now, as descriptor + 1 (0: a free entry), for the handler.
constexpr int kTrackedOutputs = 32;
std::atomic<int> g_open_outputs[kTrackedOutputs];

void track_output(int fd) {
  for (auto& entry : g_open_outputs) {
    int free_entry = 0;
    if (entry.compare_exchange_strong(free_entry, fd + 1)) return;
  }
}

void untrack_output(int fd) {
  for (auto& entry : g_open_outputs) {
    int tracked = fd + 1;
    if (entry.compare_exchange_strong(tracked, 0)) return;
  }
}

// Cuts a regular file at its current offset, the end of what has been written
// to it; 0 or the errno. Async-signal-safe.
int cut_at_offset(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  const off_t end = lseek(fd, 0, SEEK_CUR);
  if (end < 0) return errno;
  if (end != st.st_size && ftruncate(fd, end) != 0) return errno;
  return 0;
}

void cut_outputs_and_reraise(int sig) {
  for (auto& entry : g_open_outputs) {
    const int tracked = entry.load();
    if (tracked > 0) cut_at_offset(tracked - 1);
  }
  end_by_signal(sig);
}

}  // namespace

void cut_outputs_on_signals() { catch_ending_signals(cut_outputs_and_reraise, nullptr); }

workspace& program_workspace() {
  static workspace ws;
  // The run touches the whole record; mapping its pages in one call costs far
  // less than a fault per page. Where the call is not known, pages fault in.
  static const bool populated = [] {
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t first = (reinterpret_cast<uintptr_t>(&ws) + page - 1) & ~(page - 1);
    const uintptr_t last = (reinterpret_cast<uintptr_t>(&ws) + sizeof ws) & ~(page - 1);
    return last > first && madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE) == 0;
  }();
  (void)populated;
  return ws;
}

void set_slot_name(workspace& ws, int n, const char* name) {
  file_slot& s = ws.slot(n);
  std::strncpy(s.name, name, kNameSize - 1);
  s.name[kNameSize - 1] = '\0';
}

bool open_slot(workspace& ws, int n, open_mode mode) {
  file_slot& s = ws.slot(n);
  s.open_error = 0;
  int fd;
  if (mode == open_mode::read) {
    fd = ::open(s.name, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      fd = -1;
      errno = EISDIR;
    }
  } else {
    fd = ::open(s.name, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);  // cut at close
    if (fd >= 0) track_output(fd);
  }
  if (fd < 0) {
    s.open_error = s.name[0] == '\0' ? ENOENT : errno;
    return false;
  }
  s.fd = fd;
  s.writing = mode == open_mode::write;
  if (s.writing) {
    s.out.attach(fd, s.buffer, sizeof s.buffer);
  } else {
    s.in.attach(fd, s.buffer, sizeof s.buffer);
  }
  return true;
}

void close_slot(workspace& ws, console& con, int n) {
  file_slot& s = ws.slot(n);
  if (!s.is_open()) return;
  int err = 0;
  if (s.writing) {
    s.out.flush();
    err = s.out.error();
    s.out.detach();
    const int cut_error = cut_at_offset(s.fd);
    if (err == 0) err = cut_error;
    untrack_output(s.fd);
  } else {
    s.in.detach();
  }
  if (::close(s.fd) != 0 && err == 0 && s.writing) err = errno;
  s.fd = -1;
  s.writing = false;
  if (err != 0) report_file_error(ws, con, "write", s.name, err);
}

void report_file_error(workspace& ws, console& con, const char* what, const char* name, int err) {
  if (ws.failed) return;
  ws.failed = true;
  say(con, "\n Error: cannot %s file %s: %s \n", what, name, std::strerror(err));
}

}  // namespace qv

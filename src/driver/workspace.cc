// The workspace and its file slots.
#include "driver/workspace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qv {

workspace& program_workspace() {
  static workspace ws;
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
    fd = ::open(s.name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
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

// The console over standard input and output, or over memory for tests.
#include "platform/console.h"

#include <unistd.h>

namespace qv {

console::console() {
  in.attach(STDIN_FILENO, in_buffer, sizeof in_buffer);
  out.attach(STDOUT_FILENO, out_buffer, sizeof out_buffer);
}

console::console(const std::string& replies, std::string* transcript) : replies_(replies) {
  in.attach_memory(replies_.data(), replies_.size());
  out.attach_string(transcript, out_buffer, sizeof out_buffer);
}

}  // namespace qv

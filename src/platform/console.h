// The console: replies read from standard input, messages written to standard
// output. Every message is handed to the terminal as soon as it is written, so
// a prompt is visible before the read that answers it and progress is visible
// before long work.
//
//   console con;              // standard input and output
//   say(con, "\n limit = %ld ", limit);
//
// Tests build a console over in-memory replies and a captured transcript.
#pragma once

#include <string>

#include "platform/streams.h"

namespace qv {

struct console {
  in_stream in;
  out_stream out;
  char in_buffer[4096];
  char out_buffer[4096];

  // Standard input and standard output.
  console();
  // Replies from `replies`, messages collected in *transcript.
  console(const std::string& replies, std::string* transcript);
  console(const console&) = delete;
  console& operator=(const console&) = delete;

 private:
  std::string replies_;
};

template <class... Args>
void say(console& con, const format& fmt, const Args&... args) {
  con.out.print(fmt, args...);
  con.out.flush();
}

}  // namespace qv

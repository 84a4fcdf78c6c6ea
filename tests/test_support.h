// Helpers shared by the tests: scratch folders, whole files, the program run as
// a user runs it, and a workspace with a console of its own for in-process
// stage tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "driver/workspace.h"
#include "platform/console.h"

namespace qv_test {

// A fresh folder under /tmp, removed with everything in it at the end of scope.
class temp_dir {
 public:
  temp_dir();
  ~temp_dir();
  temp_dir(const temp_dir&) = delete;
  temp_dir& operator=(const temp_dir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Changes the working directory for the scope (stages open fixed names).
class cwd_guard {
 public:
  explicit cwd_guard(const std::string& dir);
  ~cwd_guard();
  cwd_guard(const cwd_guard&) = delete;
  cwd_guard& operator=(const cwd_guard&) = delete;

 private:
  std::string old_;
};

void write_file(const std::string& path, const std::string& content);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
std::vector<std::string> read_lines(const std::string& path);
size_t count_lines(const std::string& path);

// Splits a line into its blank-separated fields, parsed as doubles.
std::vector<double> fields(const std::string& line);

// A line of column text from the texts of its numbers, each right-aligned in
// 12 characters and followed by a blank: the layout of "%12.4g %12.4g %12.4g \n",
// "%12.5g %12.4g %12.4g \n" and "%12.5g %12.4g \n".
std::string row(const std::string& freq, const std::string& a, const std::string& b);
std::string row(const std::string& freq, const std::string& a);
// Three-column rows, one a line.
std::string rows(const std::vector<std::vector<std::string>>& lines);

// The opening dialogue after the banner's three lines (title, author, contact),
// from the description of the input files to the second question.
extern const std::string kDialogueAfterBanner;

// The closing summary as the console shows it, ending with the key prompt.
extern const std::string kClosingSummary;

struct run_result {
  int status = -1;     // exit status, or 128 + signal
  std::string output;  // standard output
};

// Runs the built quorvid in `dir` with `replies` on standard input, in a new
// session (no controlling terminal, so no key wait), standard output captured.
run_result run_quorvid(const std::string& dir, const std::string& replies);

// True when no file slot of ws holds an open file.
bool all_slots_closed(qv::workspace& ws);

// A workspace and a console of their own: replies in, transcript out.
struct stage_env {
  explicit stage_env(const std::string& replies = "");
  std::unique_ptr<qv::workspace> owned;
  qv::workspace& ws;
  std::string transcript;
  qv::console con;
};

}  // namespace qv_test

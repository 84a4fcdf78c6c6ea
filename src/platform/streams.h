// Buffered byte streams over POSIX file descriptors, and the scanf-like readers
// of the program's text: "%d", "%s", the record " %lf %f " and the column line
// "%lf %lf %lf".
//
// Streams use a buffer that their owner provides (a file slot's, the console's),
// so opening and reading allocate nothing. A read error or a write error is kept
// as the first errno seen; reading then behaves as at end of input, writing
// discards, and the owner reports the error by the file's name.
//
// Numbers follow C strtod's decimal grammar: optional sign, digits with an
// optional point, optional exponent, or inf, infinity, nan in any case; no
// hexadecimal, and as with scanf a NaN's payload in parentheses stays unread.
// The longest prefix that fits is taken; a read that converts nothing consumes
// nothing but the white space before it ("2e x" reads 2 and leaves "e x").
// Values are correctly rounded, a float straight to single precision as strtof
// does; beyond the range they become infinity or zero (or a subnormal) as
// strtod and strtof give them. However long a token is, it is read in a fixed
// amount of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/number_text.h"

namespace qv {

class in_stream {
 public:
  in_stream() = default;
  in_stream(const in_stream&) = delete;
  in_stream& operator=(const in_stream&) = delete;

  // Reads fd through buf (cap bytes, at least 64). The stream does not own fd.
  void attach(int fd, char* buf, size_t cap);
  // Reads a block of memory (tests, in-memory replies).
  void attach_memory(const char* data, size_t len);
  void detach();

  // Makes at least n bytes available unless the input ends first; returns the
  // number available (n is at most cap / 2).
  size_t fill(size_t n);
  const char* cur() const { return buf_ + pos_; }
  size_t available() const { return end_ - pos_; }
  void advance(size_t n) { pos_ += n; }
  // Next byte, or -1 at the end of input.
  int peek() {
    if (pos_ == end_ && fill(1) == 0) return -1;
    return static_cast<unsigned char>(buf_[pos_]);
  }

  // Back to the start of the input, end-of-file and buffer cleared; false (with
  // error() set) when the input cannot be repositioned.
  bool rewind();
  int error() const { return err_; }
  bool attached() const { return buf_ != nullptr; }

 private:
  int fd_ = -1;
  char* buf_ = nullptr;
  size_t cap_ = 0, pos_ = 0, end_ = 0;
  bool eof_ = false;
  bool memory_ = false;
  int err_ = 0;
};

class out_stream {
 public:
  out_stream() = default;
  out_stream(const out_stream&) = delete;
  out_stream& operator=(const out_stream&) = delete;

  // Writes to fd through buf (cap bytes, of which the last kFieldSlack stay
  // free: a field is read back 32 bytes at a time). The stream does not own fd.
  static constexpr size_t kFieldSlack = 32;
  void attach(int fd, char* buf, size_t cap);
  // Collects everything written in *text (tests).
  void attach_string(std::string* text, char* buf, size_t cap);
  void detach();

  // Room for n bytes (n at most the buffer size).
  char* reserve(size_t n) {
    if (cap_ - len_ < n) flush();
    return buf_ + len_;
  }
  void commit(size_t n) { len_ += n; }

  void write(const char* data, size_t n);
  template <class... Args>
  void print(const format& fmt, const Args&... args) {
    const format_arg a[] = {format_arg(args)..., format_arg(0)};
    print_args(fmt, a, static_cast<int>(sizeof...(Args)));
  }
  // As print(), with the arguments in an array.
  void print_args(const format& fmt, const format_arg* args, int nargs) {
    const size_t bound = fmt.has_text() ? format_bound(fmt, args, nargs) : size_t(fmt.numeric_bound());
    if (bound > cap_) return print_long(fmt, args, nargs, bound);
    char* p = reserve(bound);
    commit(format_args_reusing(p, fmt, args, nargs));
  }

  // Hands the buffered bytes to the file; a failure is kept in error().
  void flush();
  int error() const { return err_; }
  bool attached() const { return buf_ != nullptr; }

 private:
  int fd_ = -1;
  std::string* text_ = nullptr;
  char* buf_ = nullptr;
  size_t cap_ = 0, len_ = 0;
  int err_ = 0;

  // A text that may not fit the buffer (a long %s): formatted aside, then written.
  void print_long(const format& fmt, const format_arg* args, int nargs, size_t bound);
};

inline bool is_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Skips white space; returns false at the end of input.
bool skip_space(in_stream& in);

// Conversion results, as scanf gives them.
constexpr int kEndOfInput = -1;

// "%d": 1 when a number converts, 0 when none does (nothing consumed),
// kEndOfInput at the end of input. A number beyond the 32-bit range is consumed
// and stored as 0.
int scan_int(in_stream& in, int32_t& value);

// "%s" into buf (cap bytes, NUL-terminated). The whole word is consumed; a word
// that does not fit keeps its first cap - 1 bytes and sets *too_long.
// Returns 1, or kEndOfInput when no word is left (buf unchanged).
int scan_word(in_stream& in, char* buf, size_t cap, bool* too_long);

// One real number after white space ("%lf", "%f"). Return as scan_int.
int scan_real(in_stream& in, double& value);
int scan_real(in_stream& in, float& value);

// " %lf %f ": the number of fields converted (0, 1, 2) or kEndOfInput.
int scan_record(in_stream& in, double& time, float& amplitude);

// "%lf %lf %lf": the number of fields converted or kEndOfInput. Fields that do
// not convert keep their values.
int scan_columns(in_stream& in, double& a, double& b, double& c);

}  // namespace qv

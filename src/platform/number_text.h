// Formatted number text: the printf-style conversions the program writes.
//
// A `format` is a string literal checked and parsed at compile time; it may hold
// literal text and the conversions %d, %ld, %s, %W.Pe and %W.Pg. Numbers come out
// with the digits of C's printf (correctly rounded), except that every exponent
// is written with its sign and at least three digits (1.500000e+000, 2e-005),
// a NaN is always "nan" and the field width counts the widened text.
//
//   char line[128];
//   size_t n = format_to(line, "%15.6e %15.6e \n", f, m);
//
// format_bound() gives the room a call needs; out_stream (streams.h) uses it to
// format straight into its buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace qv {

struct conversion {
  char type = 0;        // 'd', 's', 'e' or 'g'
  uint8_t width = 0;
  int8_t precision = -1;  // -1: not given
};

class format {
 public:
  static constexpr int kMaxConversions = 8;

  consteval format(const char* text) : text_(text) {  // NOLINT: implicit by design
    int n = 0;
    int len = 0;
    while (text[len] != '\0') ++len;
    length_ = len;
    int lit = 0;
    for (int p = 0; p < len;) {
      if (text[p] != '%') { ++lit; ++p; continue; }
      ++p;
      conversion c;
      int width = 0;
      while (p < len && text[p] >= '0' && text[p] <= '9') width = width * 10 + (text[p++] - '0');
      if (p < len && text[p] == '.') {
        ++p;
        int prec = 0;
        while (p < len && text[p] >= '0' && text[p] <= '9') prec = prec * 10 + (text[p++] - '0');
        c.precision = static_cast<int8_t>(prec);
      }
      if (p < len && text[p] == 'l') ++p;
      if (p >= len) throw "format: conversion without a type";
      char t = text[p++];
      if (t != 'd' && t != 's' && t != 'e' && t != 'g') throw "format: unsupported conversion";
      if (width > 64 || c.precision > 17) throw "format: width or precision out of range";
      c.type = t;
      c.width = static_cast<uint8_t>(width);
      if (n == kMaxConversions) throw "format: too many conversions";
      conv_[n] = c;
      conv_pos_[n] = static_cast<uint16_t>(p);
      ++n;
      // Bound for the numeric conversions: the field, and room past it for the
      // fixed-size copies of the number (sign, 18 digits, point, exponent).
      if (t != 's') lit += width + 32;
      else has_text_ = true;
    }
    count_ = n;
    numeric_bound_ = lit;
  }

  constexpr const char* text() const { return text_; }
  constexpr int length() const { return length_; }
  constexpr int count() const { return count_; }
  constexpr const conversion& conv(int n) const { return conv_[n]; }
  // Offset in text() just past the n-th conversion.
  constexpr int conv_end(int n) const { return conv_pos_[n]; }
  // Room for the literal text and the numeric conversions, strings excluded.
  constexpr int numeric_bound() const { return numeric_bound_; }
  constexpr bool has_text() const { return has_text_; }

 private:
  const char* text_;
  int length_ = 0;
  int count_ = 0;
  int numeric_bound_ = 0;
  bool has_text_ = false;
  conversion conv_[kMaxConversions]{};
  uint16_t conv_pos_[kMaxConversions]{};
};

// One argument of a formatted write.
struct format_arg {
  enum class kind : uint8_t { integer, real, text } k;
  union {
    long long i;
    double d;
    const char* s;
  };
  template <class T>
    requires std::is_integral_v<T>
  format_arg(T v) : k(kind::integer), i(static_cast<long long>(v)) {}  // NOLINT
  format_arg(double v) : k(kind::real), d(v) {}                      // NOLINT
  format_arg(float v) = delete;  // widen explicitly: which value is written matters
  format_arg(const char* v) : k(kind::text), s(v) {}  // NOLINT
};

// Room needed to format `fmt` with `args` (never less than what is written).
size_t format_bound(const format& fmt, const format_arg* args, int nargs);

// Writes the formatted text to dst, which has at least format_bound() bytes;
// returns the number of bytes written (no NUL is added).
size_t format_args(char* dst, const format& fmt, const format_arg* args, int nargs);

// As format_args, for a stream's buffer: an e or g field already written there
// with the same value and conversion is copied instead of converted again (a
// line's frequency column, written to every file of a stage, is converted
// once). The text stays referenced until forget_recent_fields(), which the
// stream calls whenever its buffer's content may change other than by
// appending: at every flush, attach and detach. 32 bytes past any field must
// be readable.
size_t format_args_reusing(char* dst, const format& fmt, const format_arg* args, int nargs);
void forget_recent_fields();

template <class... Args>
size_t format_to(char* dst, const format& fmt, const Args&... args) {
  const format_arg a[] = {format_arg(args)..., format_arg(0)};
  return format_args(dst, fmt, a, static_cast<int>(sizeof...(Args)));
}

// The single conversions, for callers that build text piece by piece and for
// tests. Each writes to dst (at least width + 32 bytes; the bytes past the
// returned length may be overwritten) and returns the length.
size_t format_e(char* dst, double v, int width, int precision);
size_t format_g(char* dst, double v, int width, int precision);
size_t format_d(char* dst, long long v, int width);

}  // namespace qv

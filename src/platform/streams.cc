// Buffered streams and the scanf-like readers; see streams.h.
#include "platform/streams.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace qv {

void in_stream::attach(int fd, char* buf, size_t cap) {
  fd_ = fd;
  buf_ = buf;
  cap_ = cap;
  pos_ = end_ = 0;
  eof_ = memory_ = false;
  err_ = 0;
}

void in_stream::attach_memory(const char* data, size_t len) {
  static char empty[1];
  fd_ = -1;
  buf_ = len ? const_cast<char*>(data) : empty;  // never written in memory mode
  cap_ = len;
  pos_ = 0;
  end_ = len;
  eof_ = memory_ = true;
  err_ = 0;
}

void in_stream::detach() {
  fd_ = -1;
  buf_ = nullptr;
  cap_ = pos_ = end_ = 0;
  eof_ = memory_ = false;
}

size_t in_stream::fill(size_t n) {
  if (end_ - pos_ >= n || eof_) return end_ - pos_;
  if (pos_ > 0) {
    std::memmove(buf_, buf_ + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  while (end_ < n && !eof_) {
    ssize_t got = ::read(fd_, buf_ + end_, cap_ - end_);
    if (got > 0) {
      end_ += size_t(got);
    } else if (got == 0) {
      eof_ = true;
    } else if (errno != EINTR) {
      err_ = errno;
      eof_ = true;
    }
  }
  return end_;
}

bool in_stream::rewind() {
  pos_ = 0;
  if (memory_) return true;
  end_ = 0;
  eof_ = false;
  err_ = 0;
  if (::lseek(fd_, 0, SEEK_SET) < 0) {
    err_ = errno;
    eof_ = true;
    return false;
  }
  return true;
}

void out_stream::attach(int fd, char* buf, size_t cap) {
  forget_recent_fields();
  fd_ = fd;
  text_ = nullptr;
  buf_ = buf;
  cap_ = cap > kFieldSlack ? cap - kFieldSlack : 0;
  len_ = 0;
  err_ = 0;
}

void out_stream::attach_string(std::string* text, char* buf, size_t cap) {
  attach(-1, buf, cap);
  text_ = text;
}

void out_stream::detach() {
  forget_recent_fields();
  fd_ = -1;
  text_ = nullptr;
  buf_ = nullptr;
  cap_ = len_ = 0;
}

void out_stream::write(const char* data, size_t n) {
  if (cap_ == 0) {  // not attached to a file: nothing can be written
    if (err_ == 0) err_ = EBADF;
    return;
  }
  while (n > 0) {
    size_t room = cap_ - len_;
    if (room == 0) {
      flush();
      room = cap_;
    }
    size_t part = n < room ? n : room;
    std::memcpy(buf_ + len_, data, part);
    len_ += part;
    data += part;
    n -= part;
  }
}

void out_stream::print_long(const format& fmt, const format_arg* args, int nargs, size_t bound) {
  std::string text(bound, '\0');
  write(text.data(), format_args(text.data(), fmt, args, nargs));
}

void out_stream::flush() {
  forget_recent_fields();
  if (text_ != nullptr) {
    text_->append(buf_, len_);
    len_ = 0;
    return;
  }
  size_t done = 0;
  while (done < len_ && err_ == 0) {
    ssize_t put = ::write(fd_, buf_ + done, len_ - done);
    if (put >= 0) {
      done += size_t(put);
    } else if (errno != EINTR) {
      err_ = errno;
    }
  }
  len_ = 0;  // after an error the rest is discarded; error() tells
}

namespace {

inline bool is_digit(int c) { return unsigned(c - '0') < 10u; }

// Consumes a run of decimal digits, handing each to sink.
template <class Sink>
void digit_run(in_stream& in, Sink&& sink) {
  for (;;) {
    size_t avail = in.available();
    if (avail == 0 && (avail = in.fill(1)) == 0) return;
    const char* p = in.cur();
    size_t i = 0;
    while (i < avail && is_digit(p[i])) sink(p[i++]);
    in.advance(i);
    if (i < avail) return;
  }
}

// Case-insensitive match of word at p (avail bytes there).
bool matches(const char* p, size_t avail, const char* word) {
  size_t n = std::strlen(word);
  if (avail < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if ((p[i] | 0x20) != word[i]) return false;
  }
  return true;
}

// Significant digits kept; beyond them only whether any is non-zero matters
// (no rounding boundary of a float or double needs more than 767 digits).
constexpr int kMaxDigits = 800;

// Powers of ten that a double holds exactly.
constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Bytes the fast path looks at in one piece; a number that does not end within
// them (or within the buffer) goes the general way.
constexpr size_t kLookahead = 32;

constexpr uint64_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Appends to w the run of up to eight digits at p (eight bytes readable) in a
// few word operations; returns the end of the run.
inline const char* eight_digits_at_most(const char* p, uint64_t& w) {
  uint64_t chunk;
  std::memcpy(&chunk, p, sizeof chunk);
  const uint64_t values = chunk - 0x3030303030303030ull;  // digits become 0..9
  // High bit of each byte that is not a digit: below '0' borrows into bit 7,
  // above '9' carries into it. A carry or borrow only reaches later bytes, so
  // the first byte flagged is the first non-digit.
  const uint64_t shifted = chunk ^ 0x3030303030303030ull;
  const uint64_t flags = ((shifted + 0x7676767676767676ull) | shifted) & 0x8080808080808080ull;
  const int count = flags ? __builtin_ctzll(flags) / 8 : 8;
  if (count == 0) return p;
  // The digits, first one most significant, moved to the top bytes: the
  // classic pairwise combination then gives their value.
  uint64_t v = values << (8 * (8 - count));
  v = (v * 10) + (v >> 8);
  v = (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
       (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
      32;
  w = w * kPow10Int[count] + v;
  return p + count;
}

// The common number, read in place: at most 19 significant digits and an
// exponent of at most 5 digits, wholly in p[0, avail) (`ends`: the input ends
// there). Returns the bytes it takes, or 0 to leave the number to the general
// reader (no number here, inf or nan, a long mantissa, or a token that may go
// on past the bytes at hand).
//
// A mantissa w <= 2^53 and a power of ten up to 10^22 are exact doubles, so one
// multiplication or division gives the correctly rounded double. For a float,
// rounding that double again is exact unless it lies exactly halfway between
// two floats (the only place where two roundings can differ from one); those,
// and all other values, come from from_chars over the same bytes.
template <class T>
[[gnu::always_inline]] inline size_t scan_real_fast(const char* p, size_t avail, bool ends, T& value) {
  const char* const end = p + avail;
  const bool negative = *p == '-';
  const char* const start = p + (*p == '+' || *p == '-');  // from_chars takes no '+'
  const char* q = start;
  while (q < end && *q == '0') ++q;
  const char* const int_digits = q;
  uint64_t w = 0;  // significant digits (wraps past 19 digits; then rejected)
  while (q < end && is_digit(*q)) w = w * 10 + unsigned(*q++ - '0');
  int nd = int(q - int_digits);
  bool any_digit = q > start;
  int exp10 = 0;  // value = w * 10^exp10
  if (q < end && *q == '.') {
    const char* const fraction = ++q;
    if (w == 0) {
      while (q < end && *q == '0') ++q;
    }
    const char* const significant = q;
    if (end - q >= 8) {
      q = eight_digits_at_most(q, w);
    } else {
      while (q < end && is_digit(*q)) w = w * 10 + unsigned(*q++ - '0');
    }
    while (q < end && is_digit(*q)) w = w * 10 + unsigned(*q++ - '0');
    nd += int(q - significant);
    exp10 = -int(q - fraction);
    any_digit = any_digit || q > fraction;
  }
  if (!any_digit || nd > 19) return 0;
  if (q < end && (*q | 0x20) == 'e') {
    const char* t = q + 1;
    const bool exp_negative = t < end && *t == '-';
    if (t < end && (*t == '+' || *t == '-')) ++t;
    if (t == end && !ends) return 0;  // the exponent may go on in the next bytes
    if (t < end && is_digit(*t)) {
      const char* const first = t;
      unsigned e = 0;
      while (t < end && is_digit(*t)) e = e * 10 + unsigned(*t++ - '0');
      if (t - first > 5) return 0;
      exp10 += exp_negative ? -int(e) : int(e);
      q = t;
    }
  }
  if (q == end && !ends) return 0;
  const size_t used = size_t(q - p);
  if (w == 0) {
    value = negative ? T(-0.0) : T(0.0);
    return used;
  }
  if (w <= (uint64_t(1) << 53) && exp10 >= -22 && exp10 <= 22) {
    const double d = exp10 < 0 ? double(w) / kExactPow10[-exp10] : double(w) * kExactPow10[exp10];
    if constexpr (sizeof(T) == sizeof(double)) {
      value = negative ? -d : d;
      return used;
    } else {
      uint64_t bits;
      std::memcpy(&bits, &d, sizeof bits);
      const uint64_t below_float = (uint64_t(1) << 29) - 1;  // bits a float does not keep
      if (d >= 0x1p-126 && d < 0x1p127 && (bits & below_float) != (uint64_t(1) << 28)) {
        const float f = float(d);
        value = negative ? -f : f;
        return used;
      }
    }
  }
  T v;
  auto r = std::from_chars(start, q, v);
  if (r.ptr != q) return 0;
  if (r.ec == std::errc::result_out_of_range) v = exp10 + nd > 0 ? std::numeric_limits<T>::infinity() : T(0);
  value = negative ? -v : v;
  return used;
}

// Any number, at a byte that is not white space, in a fixed amount of memory
// however long it is: the significant digits up to kMaxDigits, whether any
// later digit is non-zero, and the decimal exponent, handed to from_chars.
template <class T>
[[gnu::noinline]] int scan_real_general(in_stream& in, T& value) {
  size_t avail = in.fill(9);
  const char* p = in.cur();
  size_t i = 0;
  bool negative = false;
  if (p[0] == '+' || p[0] == '-') {
    negative = p[0] == '-';
    i = 1;
  }
  if (i < avail && (p[i] | 0x20) == 'i') {
    if (!matches(p + i, avail - i, "inf")) return 0;
    in.advance(i + (matches(p + i, avail - i, "infinity") ? 8 : 3));
    value = negative ? -std::numeric_limits<T>::infinity() : std::numeric_limits<T>::infinity();
    return 1;
  }
  if (i < avail && (p[i] | 0x20) == 'n') {
    if (!matches(p + i, avail - i, "nan")) return 0;
    in.advance(i + 3);
    T nan = std::numeric_limits<T>::quiet_NaN();
    value = negative ? -nan : nan;
    return 1;
  }
  bool digit_first = i < avail && is_digit(p[i]);
  bool point_digit = i + 1 < avail && p[i] == '.' && is_digit(p[i + 1]);
  if (!digit_first && !point_digit) return 0;
  in.advance(i);

  // value = 0.digits * 10^exp10 (then times 10^exponent)
  char text[kMaxDigits + 40] = {'0', '.'};
  char* digits = text + 2;
  int nd = 0;
  bool sticky = false;
  bool nonzero = false;
  long long exp10 = 0;
  auto keep = [&](char c) {
    if (nd < kMaxDigits) digits[nd++] = c;
    else if (c != '0') sticky = true;
  };
  digit_run(in, [&](char c) {
    if (c == '0' && !nonzero) return;
    nonzero = true;
    keep(c);
    ++exp10;
  });
  if (in.peek() == '.') {
    in.advance(1);
    digit_run(in, [&](char c) {
      if (c == '0' && !nonzero) {
        --exp10;
        return;
      }
      nonzero = true;
      keep(c);
    });
  }
  long long exponent = 0;
  avail = in.fill(3);
  const char* q = in.cur();
  if (avail >= 2 && (q[0] | 0x20) == 'e') {
    size_t j = 1;
    bool exp_negative = false;
    if (q[1] == '+' || q[1] == '-') {
      exp_negative = q[1] == '-';
      j = 2;
    }
    if (j < avail && is_digit(q[j])) {
      in.advance(j);
      digit_run(in, [&](char c) {
        if (exponent < 1000000000) exponent = exponent * 10 + (c - '0');
      });
      if (exp_negative) exponent = -exponent;
    }
  }
  if (nd == 0) {
    value = negative ? T(-0.0) : T(0.0);
    return 1;
  }
  long long total = exp10 + exponent;
  if (total > 100000) total = 100000;  // far beyond any finite value either way
  if (total < -100000) total = -100000;
  char* end = digits + nd;
  if (sticky) *end++ = '1';
  *end++ = 'e';
  end = std::to_chars(end, text + sizeof text, total).ptr;
  T v{};
  auto r = std::from_chars(text, end, v);
  if (r.ec == std::errc::result_out_of_range) {
    v = total > 0 ? std::numeric_limits<T>::infinity() : T(0.0);
  }
  value = negative ? -v : v;
  return 1;
}


template <class T>
[[gnu::always_inline]] inline int scan_real_impl(in_stream& in, T& value) {
  // Most numbers, and the blanks before them, lie in the bytes at hand.
  const char* p = in.cur();
  size_t avail = in.available();
  size_t blanks = 0;
  while (blanks < avail && is_space(static_cast<unsigned char>(p[blanks]))) ++blanks;
  if (avail - blanks >= kLookahead) {
    in.advance(blanks);
    if (size_t used = scan_real_fast(p + blanks, avail - blanks, false, value)) {
      in.advance(used);
      return 1;
    }
  }
  if (!skip_space(in)) return kEndOfInput;
  avail = in.fill(kLookahead);
  if (size_t used = scan_real_fast(in.cur(), in.available(), avail < kLookahead, value)) {
    in.advance(used);
    return 1;
  }
  return scan_real_general(in, value);
}

}  // namespace

bool skip_space(in_stream& in) {
  for (;;) {
    size_t avail = in.available();
    if (avail == 0 && (avail = in.fill(1)) == 0) return false;
    const char* p = in.cur();
    size_t i = 0;
    while (i < avail && is_space(static_cast<unsigned char>(p[i]))) ++i;
    in.advance(i);
    if (i < avail) return true;
  }
}

int scan_int(in_stream& in, int32_t& value) {
  if (!skip_space(in)) return kEndOfInput;
  size_t avail = in.fill(2);
  const char* p = in.cur();
  size_t i = 0;
  bool negative = false;
  if (p[0] == '+' || p[0] == '-') {
    negative = p[0] == '-';
    i = 1;
  }
  if (i >= avail || !is_digit(p[i])) return 0;
  in.advance(i);
  uint64_t magnitude = 0;
  bool overflow = false;
  digit_run(in, [&](char c) {
    if (overflow) return;
    magnitude = magnitude * 10 + uint64_t(c - '0');
    if (magnitude > 2147483648ull) overflow = true;
  });
  if (overflow || (!negative && magnitude > 2147483647ull)) {
    value = 0;
  } else {
    value = negative ? int32_t(-int64_t(magnitude)) : int32_t(magnitude);
  }
  return 1;
}

int scan_word(in_stream& in, char* buf, size_t cap, bool* too_long) {
  if (too_long) *too_long = false;
  if (!skip_space(in)) return kEndOfInput;
  size_t len = 0;
  for (;;) {
    size_t avail = in.available();
    if (avail == 0 && (avail = in.fill(1)) == 0) break;
    const char* p = in.cur();
    size_t i = 0;
    while (i < avail && !is_space(static_cast<unsigned char>(p[i]))) ++i;
    size_t keep = len + i < cap - 1 ? i : cap - 1 - len;
    std::memcpy(buf + len, p, keep);
    len += keep;
    if (keep < i && too_long) *too_long = true;
    in.advance(i);
    if (i < avail) break;
  }
  buf[len] = '\0';
  return 1;
}

int scan_real(in_stream& in, double& value) { return scan_real_impl(in, value); }
int scan_real(in_stream& in, float& value) { return scan_real_impl(in, value); }

int scan_record(in_stream& in, double& time, float& amplitude) {
  int r = scan_real(in, time);
  if (r != 1) return r;
  if (scan_real(in, amplitude) != 1) return 1;
  skip_space(in);
  return 2;
}

int scan_columns(in_stream& in, double& a, double& b, double& c) {
  double* field[3] = {&a, &b, &c};
  for (int n = 0; n < 3; ++n) {
    int r = scan_real(in, *field[n]);
    if (r != 1) return n == 0 ? r : n;
  }
  return 3;
}

}  // namespace qv

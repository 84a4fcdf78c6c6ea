// Formatted number text: correctly rounded e and g conversions with a widened
// exponent, and the integer and string conversions.
//
// The digits of a value rounded to n significant figures come from a 128-bit
// scaled product v * 10^k that carries an error bound; when the bound leaves the
// rounding in doubt (an exact tie, or a value within 2^-62 of one), the digits are
// taken from std::to_chars with a precision, which is exact but slower. A
// number's length is known once its digits are, so it is written in place after
// its blanks and never moved.
#include "platform/number_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace qv {
namespace {

__extension__ typedef unsigned __int128 u128;

// 10^k ~= (hi * 2^64 + lo) * 2^exp2, truncated, hi with its top bit set.
struct pow10_entry {
  uint64_t hi, lo;
  int exp2;
};

constexpr int kPowMin = -340;
constexpr int kPowMax = 340;

// Little-endian arbitrary-precision unsigned integer, just enough to build the table.
using big = std::vector<uint32_t>;

void big_mul10(big& a) {
  uint64_t carry = 0;
  for (auto& w : a) {
    uint64_t v = uint64_t(w) * 10 + carry;
    w = uint32_t(v);
    carry = v >> 32;
  }
  if (carry) a.push_back(uint32_t(carry));
}

void big_div10(big& a) {
  uint64_t rem = 0;
  for (size_t n = a.size(); n-- > 0;) {
    uint64_t v = (rem << 32) | a[n];
    a[n] = uint32_t(v / 10);
    rem = v % 10;
  }
  while (!a.empty() && a.back() == 0) a.pop_back();
}

int big_bits(const big& a) {
  if (a.empty()) return 0;
  return int(a.size() - 1) * 32 + (32 - __builtin_clz(a.back()));
}

// Top 128 bits of a (truncated) and the power of two they stand for.
pow10_entry big_top(const big& a, int scale2) {
  int bits = big_bits(a);
  int shift = bits - 128;  // bits dropped at the bottom (may be negative)
  u128 top = 0;
  for (int b = bits - 1; b >= 0 && b >= shift; --b) {
    top = (top << 1) | ((a[b / 32] >> (b % 32)) & 1u);
  }
  if (shift < 0) top <<= -shift;
  return {uint64_t(top >> 64), uint64_t(top), shift + scale2};
}

const pow10_entry* pow10_table() {
  static const std::vector<pow10_entry> table = [] {
    std::vector<pow10_entry> t(kPowMax - kPowMin + 1);
    big p{1};
    for (int k = 0; k <= kPowMax; ++k) {
      t[k - kPowMin] = big_top(p, 0);
      big_mul10(p);
    }
    // floor(2^M / 10^j) for j = 1.., each from the previous one by an exact floor division.
    constexpr int M = 1400;
    big r(M / 32 + 1, 0);
    r[M / 32] = 1u << (M % 32);
    for (int j = 1; j <= -kPowMin; ++j) {
      big_div10(r);
      t[-j - kPowMin] = big_top(r, -M);
    }
    return t;
  }();
  return table.data();
}

constexpr uint64_t kPow10[] = {1ull,
                               10ull,
                               100ull,
                               1000ull,
                               10000ull,
                               100000ull,
                               1000000ull,
                               10000000ull,
                               100000000ull,
                               1000000000ull,
                               10000000000ull,
                               100000000000ull,
                               1000000000000ull,
                               10000000000000ull,
                               100000000000000ull,
                               1000000000000000ull,
                               10000000000000000ull,
                               100000000000000000ull,
                               1000000000000000000ull};

// Exact path: the n significant digits of v (> 0, finite) from to_chars, as
// an integer below 10^n; returns the decimal exponent of the first digit.
int digits_exact(double v, int n, uint64_t& digits) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, n - 1);
  const char* p = buf;
  uint64_t d = 0;
  for (; p < r.ptr && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') d = d * 10 + uint64_t(*p - '0');
  }
  digits = d;
  int exp10 = 0;
  std::from_chars(p + 1 + (p[1] == '+'), r.ptr, exp10);
  return exp10;
}

// Fast path: returns false when the error bound cannot decide the rounding.
bool digits_fast(double v, int n, uint64_t& digits, int& exp10) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  int biased = int(bits >> 52) & 0x7ff;
  if (biased == 0 || n > 17) return false;  // subnormal, or more digits than the bound allows
  uint64_t m = (bits & ((uint64_t(1) << 52) - 1)) | (uint64_t(1) << 52);
  int e = biased - 1075;  // v = m * 2^e
  int E = e + 52;         // 2^E <= v < 2^(E+1)
  int x0 = (E * 78913) >> 18;  // floor(E log10 2), never above floor(log10 v) + 0
  int k = n - 1 - x0;
  if (k < kPowMin || k > kPowMax) return false;
  const pow10_entry& c = pow10_table()[k - kPowMin];
  const int sh = -(e + c.exp2);  // fractional bits of P = m * c
  const int r = sh - 64;
  if (r < 54 || r > 127) return false;  // the error bound below needs r >= 54
  // P = m * c, 192 bits in w2:w1:w0; T = P >> r holds the integer part and
  // 64 bits of the fraction.
  const u128 plo = (u128)m * c.lo;
  const u128 phi = (u128)m * c.hi;
  const uint64_t w0 = uint64_t(plo);
  const u128 mid = (plo >> 64) + uint64_t(phi);
  const uint64_t w1 = uint64_t(mid);
  const uint64_t w2 = uint64_t(phi >> 64) + uint64_t(mid >> 64);
  const u128 hi128 = ((u128)w2 << 64) | w1;
  const u128 t = r < 64 ? (hi128 << (64 - r)) | (w0 >> r) : hi128 >> (r - 64);
  const uint64_t ip = uint64_t(t >> 64);
  const uint64_t f = uint64_t(t);  // the true fraction lies in [f, f + eps) units of 2^-64
  const uint64_t eps = 2;
  if (ip < kPow10[n - 1] || ip >= kPow10[n + 1]) return false;
  // Rounding to n digits. With n + 1 digits in ip the last one and the fraction
  // decide; with n digits the fraction alone. Branch-free: the decision is
  // data-dependent and a mispredicted branch costs more than both sides.
  const bool extra = ip >= kPow10[n];
  const uint64_t tenth = ip / 10;
  const uint64_t rem = ip - tenth * 10;
  const uint64_t half = uint64_t(1) << 63;
  const bool up_extra = (rem > 5) | ((rem == 5) & (f != 0));
  // The computed fraction never exceeds the true one: f > 0 means above.
  const bool doubt_extra = ((rem == 5) & (f == 0)) | ((rem == 4) & (f > ~uint64_t(0) - eps));
  const bool up_plain = f > half;
  const bool doubt_plain = (f > half - eps) & (f <= half);
  if (extra ? doubt_extra : doubt_plain) return false;  // a tie, or too close to one
  uint64_t d = extra ? tenth : ip;
  const bool up = extra ? up_extra : up_plain;
  exp10 = x0 + int(extra);
  d += up;
  if (d == kPow10[n]) {  // 9.9999995 -> 1.000000e+001
    d = kPow10[n - 1];
    ++exp10;
  }
  digits = d;
  return true;
}

// n significant digits of |v| (v finite, not zero) as an integer below 10^n;
// returns the decimal exponent of the first digit.
int significant_digits(double v, int n, uint64_t& digits) {
  int exp10;
  if (digits_fast(v, n, digits, exp10)) return exp10;
  return digits_exact(v, n, digits);
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the n decimal digits of d (below 10^n, leading zeros written) to p.
void write_digits(char* p, uint64_t d, int n) {
  char* q = p + n;
  while (q - p >= 2) {
    q -= 2;
    std::memcpy(q, kDigitPairs + 2 * (d % 100), 2);
    d /= 100;
  }
  if (q > p) *--q = char('0' + d);
}

char* write_exponent(char* p, int exp10) {
  *p++ = 'e';
  if (exp10 < 0) { *p++ = '-'; exp10 = -exp10; } else { *p++ = '+'; }
  if (exp10 >= 1000) *p++ = char('0' + exp10 / 1000);
  *p++ = char('0' + exp10 / 100 % 10);
  std::memcpy(p, kDigitPairs + 2 * (exp10 % 100), 2);
  return p + 2;
}

// Writes a non-finite value; returns the end, or nullptr for a finite one.
char* write_special(char* p, double v) {
  if (std::isnan(v)) {
    std::memcpy(p, "nan", 3);
    return p + 3;
  }
  if (std::isinf(v)) {
    if (v < 0) *p++ = '-';
    std::memcpy(p, "inf", 3);
    return p + 3;
  }
  return nullptr;
}

// Right-aligns the len bytes at dst in a field of `width`.
size_t pad_left(char* dst, size_t len, int width) {
  if (len >= size_t(width)) return len;
  size_t pad = size_t(width) - len;
  std::memmove(dst + pad, dst, len);
  std::memset(dst, ' ', pad);
  return size_t(width);
}

// Blanks before a number of `len` bytes in a field of `width`, written in
// 16-byte pieces (dst has room for width + 16 bytes; the number's own bytes
// then overwrite the excess). Returns the number of blanks.
size_t pad_blanks(char* dst, size_t len, int width) {
  size_t pad = len < size_t(width) ? size_t(width) - len : 0;
  static constexpr char blanks[16] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                      ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  for (size_t i = 0; i < pad; i += 16) std::memcpy(dst + i, blanks, 16);
  return pad;
}

size_t exponent_length(int exp10) { return exp10 <= -1000 || exp10 >= 1000 ? 6 : 5; }

// "nan", "inf" or "-inf", right-aligned.
size_t format_special(char* dst, double v, int width) {
  char* end = write_special(dst, v);
  return pad_left(dst, size_t(end - dst), width);
}

// Writes the `count` digits, the first of them before a point when count > 1.
char* write_mantissa(char* p, uint64_t digits, int count) {
  // The digits go one place to the right; the first then moves before the point.
  write_digits(p + 1, digits, count);
  p[0] = p[1];
  if (count == 1) return p + 1;
  p[1] = '.';
  return p + count + 1;
}

}  // namespace

// The number is laid out once its digits are known, and written in place:
// its length decides the blanks before it.
size_t format_e(char* dst, double v, int width, int precision) {
  if (precision < 0) precision = 6;
  if (!std::isfinite(v)) return format_special(dst, v, width);
  const bool negative = std::signbit(v);
  const int n = precision + 1;
  uint64_t digits = 0;
  int exp10 = 0;
  if (v != 0) exp10 = significant_digits(std::fabs(v), n, digits);
  const size_t len = size_t(negative) + size_t(n > 1 ? n + 1 : 1) + exponent_length(exp10);
  char* p = dst + pad_blanks(dst, len, width);
  if (negative) *p++ = '-';
  p = write_mantissa(p, digits, n);
  return size_t(write_exponent(p, exp10) - dst);
}

size_t format_g(char* dst, double v, int width, int precision) {
  if (precision < 0) precision = 6;
  if (!std::isfinite(v)) return format_special(dst, v, width);
  const bool negative = std::signbit(v);
  const int n = precision == 0 ? 1 : precision;
  if (v == 0) {
    char* p = dst + pad_blanks(dst, 1 + size_t(negative), width);
    if (negative) *p++ = '-';
    *p++ = '0';
    return size_t(p - dst);
  }
  uint64_t digits;
  const int x = significant_digits(std::fabs(v), n, digits);
  int last = n;  // digits kept after dropping trailing zeros
  while (last > 1 && digits % 10 == 0) {
    digits /= 10;
    --last;
  }
  const bool exponent_form = x < -4 || x >= n;
  size_t len;
  if (exponent_form) len = size_t(last > 1 ? last + 1 : 1) + exponent_length(x);
  else if (x >= 0) len = last <= x + 1 ? size_t(x + 1) : size_t(last + 1);
  else len = size_t(2 - x - 1 + last);  // "0.", the zeros after the point, the digits
  len += size_t(negative);
  char* p = dst + pad_blanks(dst, len, width);
  if (negative) *p++ = '-';
  if (exponent_form) {
    p = write_mantissa(p, digits, last);
    return size_t(write_exponent(p, x) - dst);
  }
  if (x >= 0) {
    if (last <= x + 1) {  // an integer: the dropped zeros come back before the point
      write_digits(p, digits, last);
      p += last;
      for (int z = last; z <= x; ++z) *p++ = '0';
      return size_t(p - dst);
    }
    write_digits(p + 1, digits, last);
    for (int i = 0; i <= x; ++i) p[i] = p[i + 1];
    p[x + 1] = '.';
    return size_t(p + last + 1 - dst);
  }
  *p++ = '0';
  *p++ = '.';
  for (int z = 0; z < -x - 1; ++z) *p++ = '0';
  write_digits(p, digits, last);
  return size_t(p + last - dst);
}

size_t format_d(char* dst, long long v, int width) {
  auto r = std::to_chars(dst, dst + 24, v);
  return pad_left(dst, size_t(r.ptr - dst), width);
}

namespace {

// Recently written e and g fields, each by where its text stands in a stream's
// buffer: within a line, and across the files a stage writes line by line, the
// same value recurs in the same conversion (the frequency column of every
// file, the real part that S_ab and S_ba share, a zero imaginary column). The
// text is read back only on a hit, long after it was written. Direct-mapped:
// one comparison decides.
class field_memo {
 public:
  size_t write(char* dst, double v, const conversion& c) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const uint32_t key = uint32_t(uint8_t(c.type)) << 16 | uint32_t(c.width) << 8 | uint8_t(c.precision);
    const uint64_t h = (bits ^ (bits >> 29) ^ key) * 0x9E3779B97F4A7C15ull;
    entry& e = entries_[h >> (64 - kBits)];
    if (e.bits == bits && e.key == key && e.epoch == epoch_) {
      std::memmove(dst, e.text, 32);  // dst has room for width + 32; e.text may be just before it
      return e.len;
    }
    const size_t len = c.type == 'e' ? format_e(dst, v, c.width, c.precision) : format_g(dst, v, c.width, c.precision);
    e = {bits, key, uint32_t(len), epoch_, dst};
    return len;
  }

  void forget() { ++epoch_; }

 private:
  static constexpr int kBits = 4;
  struct entry {
    uint64_t bits = 0;
    uint32_t key = 0;  // 0: empty (no conversion has type 0)
    uint32_t len = 0;
    uint64_t epoch = 0;
    const char* text = nullptr;
  };
  entry entries_[1 << kBits];
  uint64_t epoch_ = 1;
};

constinit thread_local field_memo g_memo;

size_t format_real_field(char* dst, double v, const conversion& c) {
  return c.type == 'e' ? format_e(dst, v, c.width, c.precision) : format_g(dst, v, c.width, c.precision);
}

size_t reuse_real_field(char* dst, double v, const conversion& c) { return g_memo.write(dst, v, c); }

}  // namespace

size_t format_bound(const format& fmt, const format_arg* args, int nargs) {
  size_t bound = size_t(fmt.numeric_bound());
  for (int n = 0; n < nargs && n < fmt.count(); ++n) {
    if (fmt.conv(n).type == 's') bound += std::strlen(args[n].s) + fmt.conv(n).width;
  }
  return bound;
}

namespace {

template <size_t (*real_field)(char*, double, const conversion&)>
size_t format_args_with(char* dst, const format& fmt, const format_arg* args, int nargs) {
  char* p = dst;
  const char* text = fmt.text();
  int pos = 0;
  for (int n = 0; n < fmt.count(); ++n) {
    // Literal text up to this conversion's '%' (a few bytes: no call to memcpy).
    while (text[pos] != '%') *p++ = text[pos++];
    pos = fmt.conv_end(n);
    const conversion& c = fmt.conv(n);
    if (n >= nargs) continue;  // missing argument: the conversion writes nothing
    const format_arg& a = args[n];
    switch (c.type) {
      case 'd':
        p += format_d(p, a.k == format_arg::kind::integer ? a.i : (long long)a.d, c.width);
        break;
      case 'e':
      case 'g':
        p += real_field(p, a.k == format_arg::kind::real ? a.d : double(a.i), c);
        break;
      case 's': {
        const char* s = a.k == format_arg::kind::text ? a.s : "";
        size_t len = std::strlen(s);
        std::memcpy(p, s, len);
        p += pad_left(p, len, c.width);
        break;
      }
    }
  }
  for (int end = fmt.length(); pos < end;) *p++ = text[pos++];
  return size_t(p - dst);
}

}  // namespace

size_t format_args(char* dst, const format& fmt, const format_arg* args, int nargs) {
  return format_args_with<format_real_field>(dst, fmt, args, nargs);
}

size_t format_args_reusing(char* dst, const format& fmt, const format_arg* args, int nargs) {
  return format_args_with<reuse_real_field>(dst, fmt, args, nargs);
}

void forget_recent_fields() { g_memo.forget(); }

}  // namespace qv

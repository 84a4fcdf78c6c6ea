// Formatted number text: correctly rounded e and g conversions with a widened
// exponent, and the integer and string conversions.
//
// The digits of a value rounded to n significant figures come from a 128-bit
// scaled product v * 10^k that carries an error bound; when the bound leaves the
// rounding in doubt (an exact tie, or a value within 2^-62 of one), the digits are
// taken from std::to_chars with a precision, which is exact but slower.
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

// Exact path: the n significant digits of v (> 0, finite) from to_chars.
int digits_exact(double v, int n, char* digits) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, n - 1);
  const char* p = buf;
  int d = 0;
  for (; p < r.ptr && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') digits[d++] = *p;
  }
  int exp10 = 0;
  std::from_chars(p + 1 + (p[1] == '+'), r.ptr, exp10);
  return exp10;
}

// Fast path: returns false when the error bound cannot decide the rounding.
bool digits_fast(double v, int n, char* digits, int& exp10) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  int biased = int(bits >> 52) & 0x7ff;
  if (biased == 0) return false;  // subnormal
  uint64_t m = (bits & ((uint64_t(1) << 52) - 1)) | (uint64_t(1) << 52);
  int e = biased - 1075;  // v = m * 2^e
  int E = e + 52;         // 2^E <= v < 2^(E+1)
  int x0 = (E * 78913) >> 18;  // floor(E log10 2), never above floor(log10 v) + 0
  int k = n - 1 - x0;
  if (k < kPowMin || k > kPowMax) return false;
  const pow10_entry& c = pow10_table()[k - kPowMin];
  // P = m * c, 192 bits in w2:w1:w0.
  u128 plo = (u128)m * c.lo;
  u128 phi = (u128)m * c.hi;
  uint64_t w0 = uint64_t(plo);
  u128 mid = (plo >> 64) + uint64_t(phi);
  uint64_t w1 = uint64_t(mid);
  uint64_t w2 = uint64_t(phi >> 64) + uint64_t(mid >> 64);
  int sh = -(e + c.exp2);  // fractional bits of P
  int r = sh - 64;         // T = P >> r holds the integer part and 64 fraction bits
  if (r < 54 || r > 127) return false;  // the error bound below needs r >= 54
  u128 hi128 = ((u128)w2 << 64) | w1;
  u128 t;
  if (r < 64) {
    t = (hi128 << (64 - r)) | (w0 >> r);
  } else {
    t = hi128 >> (r - 64);
  }
  uint64_t ip = uint64_t(t >> 64);
  uint64_t f = uint64_t(t);  // true fraction lies in [f, f + 2) units of 2^-64
  if (n > 17 || ip < kPow10[n - 1] || ip >= kPow10[n + 1]) return false;
  uint64_t d;
  bool up;
  if (ip >= kPow10[n]) {
    d = ip / 10;
    uint64_t rem = ip % 10;
    if (rem > 5) up = true;
    else if (rem == 5) { if (f == 0) return false; up = true; }
    else if (rem == 4) { if (f == ~uint64_t(0)) return false; up = false; }
    else up = false;
    exp10 = x0 + 1;
  } else {
    d = ip;
    const uint64_t half = uint64_t(1) << 63;
    if (f > half) up = true;
    else if (f < half - 2) up = false;
    else return false;
    exp10 = x0;
  }
  if (up && ++d == kPow10[n]) {
    d = kPow10[n - 1];
    ++exp10;
  }
  for (int p = n - 1; p >= 0; --p) {
    digits[p] = char('0' + d % 10);
    d /= 10;
  }
  return true;
}

// n significant digits of |v| (v finite, not zero) and the decimal exponent.
int significant_digits(double v, int n, char* digits) {
  int exp10;
  if (digits_fast(v, n, digits, exp10)) return exp10;
  return digits_exact(v, n, digits);
}

char* write_exponent(char* p, int exp10) {
  *p++ = 'e';
  if (exp10 < 0) { *p++ = '-'; exp10 = -exp10; } else { *p++ = '+'; }
  if (exp10 >= 1000) *p++ = char('0' + exp10 / 1000);
  *p++ = char('0' + exp10 / 100 % 10);
  *p++ = char('0' + exp10 / 10 % 10);
  *p++ = char('0' + exp10 % 10);
  return p;
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

char* body_e(char* p, double v, int precision) {
  if (char* q = write_special(p, v)) return q;
  if (std::signbit(v)) { *p++ = '-'; v = -v; }
  int n = precision + 1;
  char digits[20];
  int exp10 = 0;
  if (v == 0) std::memset(digits, '0', size_t(n));
  else exp10 = significant_digits(v, n, digits);
  *p++ = digits[0];
  if (precision > 0) {
    *p++ = '.';
    std::memcpy(p, digits + 1, size_t(precision));
    p += precision;
  }
  return write_exponent(p, exp10);
}

char* body_g(char* p, double v, int precision) {
  if (char* q = write_special(p, v)) return q;
  if (std::signbit(v)) { *p++ = '-'; v = -v; }
  int n = precision == 0 ? 1 : precision;
  if (v == 0) {
    *p++ = '0';
    return p;
  }
  char digits[20];
  int x = significant_digits(v, n, digits);
  int last = n;  // digits kept after dropping trailing zeros
  while (last > 1 && digits[last - 1] == '0') --last;
  if (x < -4 || x >= n) {
    *p++ = digits[0];
    if (last > 1) {
      *p++ = '.';
      std::memcpy(p, digits + 1, size_t(last - 1));
      p += last - 1;
    }
    return write_exponent(p, x);
  }
  if (x >= 0) {
    std::memcpy(p, digits, size_t(x + 1));
    p += x + 1;
    if (last > x + 1) {
      *p++ = '.';
      std::memcpy(p, digits + x + 1, size_t(last - x - 1));
      p += last - x - 1;
    }
    return p;
  }
  *p++ = '0';
  *p++ = '.';
  for (int z = 0; z < -x - 1; ++z) *p++ = '0';
  std::memcpy(p, digits, size_t(last));
  return p + last;
}

}  // namespace

size_t format_e(char* dst, double v, int width, int precision) {
  if (precision < 0) precision = 6;
  return pad_left(dst, size_t(body_e(dst, v, precision) - dst), width);
}

size_t format_g(char* dst, double v, int width, int precision) {
  if (precision < 0) precision = 6;
  return pad_left(dst, size_t(body_g(dst, v, precision) - dst), width);
}

size_t format_d(char* dst, long long v, int width) {
  auto r = std::to_chars(dst, dst + 24, v);
  return pad_left(dst, size_t(r.ptr - dst), width);
}

size_t format_bound(const format& fmt, const format_arg* args, int nargs) {
  size_t bound = size_t(fmt.numeric_bound());
  for (int n = 0; n < nargs && n < fmt.count(); ++n) {
    if (fmt.conv(n).type == 's') bound += std::strlen(args[n].s) + fmt.conv(n).width;
  }
  return bound;
}

size_t format_args(char* dst, const format& fmt, const format_arg* args, int nargs) {
  char* p = dst;
  const char* text = fmt.text();
  int pos = 0;
  for (int n = 0; n < fmt.count(); ++n) {
    // Literal text up to this conversion's '%'.
    int pct = pos;
    while (text[pct] != '%') ++pct;
    std::memcpy(p, text + pos, size_t(pct - pos));
    p += pct - pos;
    pos = fmt.conv_end(n);
    const conversion& c = fmt.conv(n);
    if (n >= nargs) continue;  // missing argument: the conversion writes nothing
    const format_arg& a = args[n];
    switch (c.type) {
      case 'd':
        p += format_d(p, a.k == format_arg::kind::integer ? a.i : (long long)a.d, c.width);
        break;
      case 'e':
        p += format_e(p, a.k == format_arg::kind::real ? a.d : double(a.i), c.width, c.precision);
        break;
      case 'g':
        p += format_g(p, a.k == format_arg::kind::real ? a.d : double(a.i), c.width, c.precision);
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
  std::memcpy(p, text + pos, size_t(fmt.length() - pos));
  p += fmt.length() - pos;
  return size_t(p - dst);
}

}  // namespace qv

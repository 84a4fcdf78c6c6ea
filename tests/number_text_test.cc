// The number writer (format_e, format_g, format_d, format_to) against the C
// library's snprintf, whose exponent this file widens to three digits itself:
// known strings first, then edge values at every precision, the points where
// %g switches notation, exact decimal ties, and millions of random values.
// Random cases use fixed generator start values, so a failure reproduces.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/number_text.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kRandomScale = 20;  // the sanitizer build runs a twentieth of the random cases
#else
constexpr int kRandomScale = 1;
#endif

// The C library's text for one conversion, exponent widened to three digits,
// "-nan" written "nan", then right-aligned in `width` (the width counts the
// widened text).
std::string c_text(char type, double v, int width, int precision) {
  char buf[512];
  std::snprintf(buf, sizeof buf, type == 'e' ? "%.*e" : "%.*g", precision, v);
  std::string s = buf;
  if (s == "-nan") s = "nan";
  size_t e = s.find('e');
  if (e != std::string::npos) {
    size_t digits = e + 2;  // past the letter and the sign
    if (s.size() - digits < 3) s.insert(digits, 3 - (s.size() - digits), '0');
  }
  if (s.size() < size_t(width)) s.insert(0, size_t(width) - s.size(), ' ');
  return s;
}

std::string qv_text(char type, double v, int width, int precision) {
  char buf[160];
  size_t n = type == 'e' ? qv::format_e(buf, v, width, precision) : qv::format_g(buf, v, width, precision);
  return std::string(buf, n);
}

std::string describe(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17g (%a)", v, v);
  return buf;
}

// Compares one conversion with the C library; keeps the first few mismatches.
struct comparer {
  long cases = 0;
  long mismatches = 0;
  std::string first;

  void check(char type, double v, int width, int precision) {
    ++cases;
    std::string want = c_text(type, v, width, precision);
    std::string got = qv_text(type, v, width, precision);
    if (got == want) return;
    if (++mismatches <= 10) {
      first += "  %" + std::to_string(width) + "." + std::to_string(precision) + type + " of " + describe(v) +
               ": got \"" + got + "\", want \"" + want + "\"\n";
    }
  }
  // Both notations at every precision the writer takes.
  void check_all_precisions(double v) {
    for (int p = 0; p <= 17; ++p) {
      check('e', v, 0, p);
      check('g', v, 0, p);
    }
  }
};

#define EXPECT_NO_MISMATCH(c) EXPECT_EQ((c).mismatches, 0) << (c).cases << " cases, first mismatches:\n" << (c).first

// The conversions the program writes with.
struct program_format {
  char type;
  int width, precision;
};
constexpr program_format kProgramFormats[] = {{'e', 15, 6}, {'e', 12, 6}, {'g', 12, 4}, {'g', 12, 5},
                                              {'g', 9, 4},  {'g', 10, 5}, {'g', 12, 6}, {'g', 14, 4}};

constexpr uint64_t kPowers[] = {10, 100, 1000, 10000, 100000, 1000000, 10000000, 1000000000};

double parse(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

TEST(NumberText, KnownStrings) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct {
    char type;
    int width, precision;
    double v;
    const char* want;
  } cases[] = {
      {'e', 15, 6, 1.5, "  1.500000e+000"},
      {'g', 12, 4, 2e-5, "      2e-005"},
      {'e', 15, 6, 0.0, "  0.000000e+000"},
      {'e', 15, 6, -0.0, " -0.000000e+000"},
      {'g', 12, 4, 0.0, "           0"},
      {'g', 12, 4, -0.0, "          -0"},
      {'e', 15, 6, -1234.5678, " -1.234568e+003"},
      {'e', 15, 6, 9.99999951, "  1.000000e+001"},
      {'e', 15, 6, 1e100, "  1.000000e+100"},
      {'e', 15, 6, -1e-300, " -1.000000e-300"},
      {'e', 12, 6, DBL_MAX, "1.797693e+308"},  // wider than the field: nothing cut
      {'e', 15, 6, DBL_TRUE_MIN, "  4.940656e-324"},
      {'g', 12, 4, DBL_TRUE_MIN, "  4.941e-324"},
      {'g', 12, 4, 12345.0, "  1.234e+004"},  // exact tie: to even,
      {'g', 12, 5, 12345.0, "       12345"},
      {'g', 12, 4, 9.99951, "          10"},
      {'g', 12, 4, 9.9995, "       9.999"},  // the double lies below the tie,
      {'g', 12, 4, 0.0001, "      0.0001"},
      {'g', 12, 4, 0.00001, "      1e-005"},
      {'g', 12, 4, 1.0 / 3.0, "      0.3333"},
      {'g', 9, 4, 1000.0, "     1000"},
      {'g', 9, 4, 1e4, "   1e+004"},
      {'g', 14, 4, -2.5e-7, "     -2.5e-007"},
      {'e', 15, 6, nan, "            nan"},
      {'e', 15, 6, -nan, "            nan"},  // never "-nan"
      {'g', 12, 4, -nan, "         nan"},
      {'e', 15, 6, inf, "            inf"},
      {'g', 12, 4, -inf, "        -inf"},
      {'e', 0, 0, 2.5, "2e+000"},     // exact tie: to even
      {'e', 0, 0, 3.5, "4e+000"},
      {'e', 0, 1, 0.125, "1.2e-001"},  // exact tie: to even
      {'e', 0, 2, 0.125, "1.25e-001"},
      {'g', 0, 0, 0.5, "0.5"},
      {'g', 0, 1, 0.25, "0.2"},
  };
  for (const auto& c : cases) {
    std::string got = qv_text(c.type, c.v, c.width, c.precision);
    EXPECT_EQ(got, c.want) << "%" << c.width << "." << c.precision << c.type << " of " << describe(c.v);
    // The C library agrees once its exponent is widened.
    EXPECT_EQ(c_text(c.type, c.v, c.width, c.precision), c.want) << describe(c.v);
  }
}

TEST(NumberText, EdgeValuesAtEveryPrecision) {
  std::vector<double> values = {
      0.0, DBL_MIN, DBL_TRUE_MIN, std::nextafter(DBL_MIN, 0.0), 2 * DBL_TRUE_MIN, 3 * DBL_TRUE_MIN,
      DBL_MAX, std::nextafter(DBL_MAX, 0.0), FLT_MAX, FLT_MIN, FLT_TRUE_MIN, 0.125, 2.5, 0.5, 1.5, 0.25,
      0.375, 1e-4, 1e-5, 9.9995, 9.99995, 99995.0, 999950.0, 0.00099995, 9.9999995, 0.1, 0.2, 0.3,
      1.0 / 3.0, 2.0 / 3.0, M_PI, M_E, 1e15, 1e16, 1e17, 1e22, 1e23, 9007199254740992.0,
      9007199254740994.0, 18446744073709551616.0, 9223372036854775808.0, 123456789012345678.0,
      1e308, 1e-308, 1e-320, 4.9e-324, 5e-324, 1e-323, 2.2250738585072009e-308, 1.7976931348623157e308,
      parse("1e-324"), parse("2.4703282292062328e-324"), 0.05, 0.15, 0.35, 1.45, 1.25e-5, 8.5, 9.5,
      1e21, 1e-7, 999999.5, 9999999.5, 0.999999995,
      std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN(),
  };
  comparer c;
  for (double v : values) {
    for (double w : {v, -v, std::nextafter(v, 0.0), std::nextafter(v, INFINITY)}) {
      c.check_all_precisions(w);
      c.check_all_precisions(-w);
    }
  }
  EXPECT_NO_MISMATCH(c);
}

// 10^x, the %g switch point (10^p - 1/2)·10^(x-p) and their neighbours, for
// every decimal exponent of a double and every precision.
TEST(NumberText, PowersOfTenAndNotationSwitchPoints) {
  comparer c;
  for (int x = -330; x <= 310; ++x) {
    std::vector<double> values = {parse("1e" + std::to_string(x))};
    for (int p = 1; p <= 17; ++p) {
      // p nines then a five: the tie between p nines and 10^p at p digits.
      values.push_back(parse("0." + std::string(size_t(p), '9') + "5e" + std::to_string(x)));
    }
    for (double v : values) {
      for (double w : {v, std::nextafter(v, 0.0), std::nextafter(v, INFINITY)}) {
        if (!std::isfinite(w)) continue;
        c.check_all_precisions(w);
      }
    }
  }
  EXPECT_NO_MISMATCH(c);
}

// Values whose exact decimal ends in a 5 just past the kept digits (exact ties,
// rounded to even), and their neighbours, which must round away from the tie.
TEST(NumberText, ExactTiesAndTheirNeighbours) {
  std::mt19937_64 gen(20240611);
  comparer c;
  const int count = 40000 / kRandomScale;
  for (int n = 0; n < count; ++n) {
    double v;
    if (n % 2 == 0) {
      // k·2^-j: an exact binary fraction, whose decimal ends in 5.
      uint64_t k = gen() >> (11 + gen() % 40);
      v = std::ldexp(double(k | 1), -int(gen() % 80));
    } else {
      // A decimal with a final 5, exactly representable when small enough.
      std::string digits = std::to_string(gen() % 100000000000000ull) + "5";
      v = parse(digits + "e" + std::to_string(int(gen() % 40) - 10));
    }
    for (double w : {v, std::nextafter(v, 0.0), std::nextafter(v, INFINITY)}) c.check_all_precisions(w);
  }
  EXPECT_NO_MISMATCH(c);
}

TEST(NumberText, RandomDoublesOverTheWholeRange) {
  std::mt19937_64 gen(1);
  comparer c;
  const int count = 1500000 / kRandomScale;
  for (int n = 0; n < count; ++n) {
    uint64_t bits = gen();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    const program_format& f = kProgramFormats[n % 8];
    c.check(f.type, v, f.width, f.precision);
    c.check(n % 2 ? 'e' : 'g', v, 0, int(gen() % 18));
  }
  EXPECT_NO_MISMATCH(c);
}

TEST(NumberText, RandomFloatsWidenedToDouble) {
  std::mt19937 gen(2);
  comparer c;
  const int count = 1500000 / kRandomScale;
  for (int n = 0; n < count; ++n) {
    uint32_t bits = gen();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    double v = f;
    const program_format& pf = kProgramFormats[n % 8];
    c.check(pf.type, v, pf.width, pf.precision);
    c.check(n % 2 ? 'g' : 'e', v, 0, int(gen() % 18));
  }
  EXPECT_NO_MISMATCH(c);
}

// Numbers as people and spectra write them: few digits, k/10^n.
TEST(NumberText, RandomValuesWithFewDigits) {
  std::mt19937_64 gen(3);
  comparer c;
  const int count = 1000000 / kRandomScale;
  for (int n = 0; n < count; ++n) {
    uint64_t k = gen() % kPowers[gen() % 8];
    int scale = int(gen() % 30) - 8;
    double v = parse(std::to_string(k) + "e" + std::to_string(-scale));
    if (gen() % 2) v = -v;
    const program_format& f = kProgramFormats[n % 8];
    c.check(f.type, v, f.width, f.precision);
    c.check(n % 2 ? 'e' : 'g', v, 0, int(gen() % 18));
  }
  EXPECT_NO_MISMATCH(c);
}

TEST(NumberText, IntegersAndWidths) {
  struct {
    long long v;
    int width;
    const char* want;
  } cases[] = {
      {0, 0, "0"},     {42, 5, "   42"},  {-42, 5, "  -42"}, {123456, 3, "123456"},
      {LLONG_MIN, 0, "-9223372036854775808"}, {LLONG_MAX, 22, "   9223372036854775807"},
  };
  for (const auto& c : cases) {
    char buf[64];
    EXPECT_EQ(std::string(buf, qv::format_d(buf, c.v, c.width)), c.want);
  }
}

TEST(NumberText, FormattedLinesMatchTheCLibrary) {
  std::mt19937_64 gen(4);
  for (int n = 0; n < 20000; ++n) {
    double a = std::ldexp(double(gen() >> 11) / 9007199254740992.0, int(gen() % 80) - 40);
    double b = -float(a * 3.7);
    double c = double(gen() % 1000) / 8;
    char line[256];
    size_t len = qv::format_to(line, "%15.6e %15.6e %15.6e \n", a, b, c);
    EXPECT_EQ(std::string(line, len),
              c_text('e', a, 15, 6) + " " + c_text('e', b, 15, 6) + " " + c_text('e', c, 15, 6) + " \n");
    len = qv::format_to(line, "%12.5g %12.4g %12.4g \n", a, b, c);
    EXPECT_EQ(std::string(line, len),
              c_text('g', a, 12, 5) + " " + c_text('g', b, 12, 4) + " " + c_text('g', c, 12, 4) + " \n");
    if (::testing::Test::HasFailure()) break;
  }
}

TEST(NumberText, IntegerTextAndLiteralConversions) {
  char line[512];
  size_t n = qv::format_to(line, "\n limit = %ld ", 262144L);
  EXPECT_EQ(std::string(line, n), "\n limit = 262144 ");
  n = qv::format_to(line, "[%5d|%d]", -7, 2147483647);
  EXPECT_EQ(std::string(line, n), "[   -7|2147483647]");
  n = qv::format_to(line, " File: %s opened. \n", "fft_1.out");
  EXPECT_EQ(std::string(line, n), " File: fft_1.out opened. \n");
  n = qv::format_to(line, "<%12s>", "abc");
  EXPECT_EQ(std::string(line, n), "<         abc>");
  n = qv::format_to(line, "no conversions at all\n");
  EXPECT_EQ(std::string(line, n), "no conversions at all\n");
  n = qv::format_to(line, "\n dt = %12.4g  sr = %12.4g ", 0.001, 1000.0);
  EXPECT_EQ(std::string(line, n), "\n dt =        0.001  sr =         1000 ");
}

// format_bound() is the room out_stream reserves: it must never be short.
TEST(NumberText, BoundCoversWhatIsWritten) {
  std::mt19937_64 gen(5);
  std::string word(300, 'w');
  for (int n = 0; n < 100000; ++n) {
    uint64_t bits = gen();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    long long i = static_cast<long long>(gen());
    const char* s = word.c_str() + gen() % 300;
    qv::format_arg args[] = {v, i, s, -v};
    constexpr qv::format fmt = "%15.6e|%ld|%s|%14.4g\n";
    size_t bound = qv::format_bound(fmt, args, 4);
    std::vector<char> out(bound);  // exact size: the sanitizer build catches an overrun
    size_t len = qv::format_args(out.data(), fmt, args, 4);
    ASSERT_LE(len, bound);
    constexpr qv::format wide = "%64.17e%64.17g%64d";
    qv::format_arg wide_args[] = {v, -v, i};
    bound = qv::format_bound(wide, wide_args, 3);
    out.assign(bound, 0);
    ASSERT_LE(qv::format_args(out.data(), wide, wide_args, 3), bound);
  }
}

}  // namespace

// The text readers ("%d", "%s", real numbers, the " %lf %f " record and the
// "%lf %lf %lf" line) and the buffered streams under them: values bit for bit
// against strtod and strtof, what each read leaves unread, reads through a small
// file buffer, and bad input (random bytes, NUL bytes, 100 MB tokens and blank
// runs) that must neither crash, hang, overrun a buffer nor grow memory.
// Random cases use fixed generator start values, so a failure reproduces.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
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

#include "platform/streams.h"
#include "test_support.h"

namespace {

using qv::in_stream;
using qv::kEndOfInput;

#if defined(__SANITIZE_ADDRESS__)
constexpr int kRandomScale = 10;            // the sanitizer build runs a tenth of the random cases
constexpr size_t kHugeSize = size_t(8) << 20;  // and its huge tokens are 8 MB
#else
constexpr int kRandomScale = 1;
constexpr size_t kHugeSize = size_t(100) << 20;
#endif

// The text in a heap block of exactly its size, so that the sanitizer build
// catches a read past its end.
struct exact_text {
  std::vector<char> bytes;
  explicit exact_text(const std::string& s) : bytes(s.begin(), s.end()) {}
  const char* data() const { return bytes.data(); }
  size_t size() const { return bytes.size(); }
};

template <class T>
uint64_t bits_of(T v) {
  if constexpr (sizeof(T) == 8) {
    uint64_t b;
    std::memcpy(&b, &v, 8);
    return b;
  } else {
    uint32_t b;
    std::memcpy(&b, &v, 4);
    return b;
  }
}

template <class T>
T c_parse(const char* s, char** end) {
  if constexpr (sizeof(T) == 8) return std::strtod(s, end);
  else return std::strtof(s, end);
}

// Reads one real from `text` with the reader and with the C library, and
// returns a description of the first difference (value bits, result or what
// is left unread), or "" when they agree. Hexadecimal input and NaN payloads
// in parentheses are read by strtod but are not part of the program's grammar;
// callers keep them out of the texts they compare.
template <class T>
std::string compare_with_c(const std::string& text) {
  exact_text t(text);
  in_stream in;
  in.attach_memory(t.data(), t.size());
  T got = T(-12345);
  int r = qv::scan_real(in, got);
  size_t used = size_t(in.cur() - t.data());

  std::string z = text;  // NUL-terminated copy for the C library
  char* end = nullptr;
  T want = c_parse<T>(z.c_str(), &end);
  size_t want_used = size_t(end - z.c_str());
  size_t blanks = 0;
  while (blanks < text.size() && qv::is_space(static_cast<unsigned char>(text[blanks]))) ++blanks;

  std::string why;
  if (want_used == 0) {  // nothing converts: only the blanks go
    int want_r = blanks == text.size() ? kEndOfInput : 0;
    if (r != want_r) why = "result " + std::to_string(r) + ", want " + std::to_string(want_r);
    else if (used != blanks) why = "consumed " + std::to_string(used) + ", want " + std::to_string(blanks);
    else if (got != T(-12345)) why = "value written although nothing converts";
  } else if (r != 1) {
    why = "result " + std::to_string(r) + ", want 1";
  } else if (used != want_used) {
    why = "consumed " + std::to_string(used) + ", want " + std::to_string(want_used);
  } else if (bits_of(got) != bits_of(want)) {
    char a[64], b[64];
    std::snprintf(a, sizeof a, "%a", double(got));
    std::snprintf(b, sizeof b, "%a", double(want));
    why = std::string("value ") + a + ", want " + b;
  }
  if (why.empty()) return why;
  std::string shown = text.size() > 200 ? text.substr(0, 120) + "...(" + std::to_string(text.size()) + " bytes)" : text;
  return (sizeof(T) == 8 ? "double \"" : "float \"") + shown + "\": " + why;
}

struct differ {
  long cases = 0, mismatches = 0;
  std::string first;
  template <class T>
  void check(const std::string& text) {
    ++cases;
    std::string why = compare_with_c<T>(text);
    if (!why.empty() && ++mismatches <= 8) first += "  " + why + "\n";
  }
  void check_both(const std::string& text) {
    check<double>(text);
    check<float>(text);
  }
};

#define EXPECT_NO_MISMATCH(d) EXPECT_EQ((d).mismatches, 0) << (d).cases << " cases, first mismatches:\n" << (d).first

std::string digits(std::mt19937_64& gen, size_t n) {
  std::string s(n, '0');
  for (auto& c : s) c = char('0' + gen() % 10);
  return s;
}

// A decimal in the grammar: sign, mantissa of 1 to 1200 digits with or without
// a point, exponent near the double range, far out, or absurdly long.
std::string random_decimal(std::mt19937_64& gen) {
  std::string s;
  switch (gen() % 4) {
    case 0: s += '-'; break;
    case 1: s += '+'; break;
    default: break;
  }
  size_t n;
  switch (gen() % 6) {
    case 0: n = 1 + gen() % 3; break;
    case 1:
    case 2: n = 1 + gen() % 20; break;
    case 3: n = 17 + gen() % 10; break;
    case 4: n = 20 + gen() % 100; break;
    default: n = 100 + gen() % 1100; break;
  }
  std::string m = digits(gen, n);
  if (gen() % 4 == 0) m = std::string(gen() % 30, '0') + m;  // leading zeros
  if (gen() % 5 == 0) m += std::string(gen() % 30, '0');     // trailing zeros
  size_t point = gen() % (m.size() + 2);
  if (point <= m.size()) {
    if (point == 0 && gen() % 2) s += "0";
    m.insert(point, ".");
  }
  s += m;
  int int_digits = int(point <= m.size() ? point : m.size());
  switch (gen() % 8) {
    case 0: return s;
    case 1: s += gen() % 2 ? "e" : "E"; s += std::to_string(int(gen() % 61) - 30); return s;
    case 2: s += "e+" + std::to_string(gen() % 400); return s;
    case 3: s += "e-" + std::string(gen() % 3, '0') + std::to_string(gen() % 400); return s;
    case 4: s += "e" + std::to_string(int(gen() % 200001) - 100000); return s;
    case 5: s += gen() % 2 ? "e99999999999999999999" : "e-99999999999999999999"; return s;
    default: {
      // Aim at the double and float ranges, their ends and the subnormals.
      int target = int(gen() % 680) - 355;
      s += "e" + std::to_string(target - int_digits);
      return s;
    }
  }
}

// The exact decimal of x (a binary value), digits only, as "d.ddd...e±x".
std::string exact_decimal(long double x) {
  char buf[1200];
  std::snprintf(buf, sizeof buf, "%.1000Le", x);
  std::string s = buf;
  size_t e = s.find('e');
  size_t last = s.find_last_not_of('0', e - 1);
  return s.substr(0, last + 1) + s.substr(e);
}

// The exact decimal text of a tie, and texts a hair above and below it (the
// last digit of an exact binary fraction is a 5, so it can be lowered by one).
// Ties need up to 767 significant digits; the texts go past 1000.
std::vector<std::string> tie_texts(long double mid) {
  std::string exact = exact_decimal(mid);
  size_t e = exact.find('e');
  std::string mantissa = exact.substr(0, e), exponent = exact.substr(e);
  std::string below = mantissa;
  below.back() = char(below.back() - 1);
  // The hair above once more with its non-zero digit past the 1000th.
  std::string far_above = mantissa + std::string(1100 - mantissa.size(), '0') + "1" + exponent;
  return {exact, mantissa + "00000000000000000000000000000001" + exponent, below + "99999999999999999999" + exponent,
          far_above};
}

TEST(ScanReal, PrefixesAndWhatStaysUnread) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct {
    const char* text;
    int result;
    double value;      // when result is 1; NaN compares by NaN-ness and sign
    const char* rest;  // the text left for the next read
  } cases[] = {
      {"1e", 1, 1, "e"},
      {"1e+", 1, 1, "e+"},
      {"1e-x", 1, 1, "e-x"},
      {"2e x", 1, 2, "e x"},
      {"1.5e3.5", 1, 1500, ".5"},
      {"1.e5", 1, 1e5, ""},
      {"1.", 1, 1, ""},
      {".5", 1, 0.5, ""},
      {"-.5x", 1, -0.5, "x"},
      {"00012", 1, 12, ""},
      {"-0", 1, -0.0, ""},
      {"0e999999999999", 1, 0, ""},
      {"1e999999999999999999", 1, inf, ""},
      {"1e-999999999999999999", 1, 0, ""},
      {" \t\n\v\f\r7 ", 1, 7, " "},
      {".e1", 0, 0, ".e1"},
      {"-.", 0, 0, "-."},
      {"+-1", 0, 0, "+-1"},
      {"-", 0, 0, "-"},
      {".", 0, 0, "."},
      {"e5", 0, 0, "e5"},
      {"  x1", 0, 0, "x1"},
      {"infinit", 1, inf, "init"},
      {"infinity", 1, inf, ""},
      {"INFINITYx", 1, inf, "x"},
      {"-Inf", 1, -inf, ""},
      {"in", 0, 0, "in"},
      {"-in", 0, 0, "-in"},
      {"nanx", 1, nan, "x"},
      {"NaN", 1, nan, ""},
      {"-nan", 1, -nan, ""},
      {"na", 0, 0, "na"},
      {"nan(", 1, nan, "("},
      {"nan(1)", 1, nan, "(1)"},  // as the C library's scanf: the payload stays unread
      {"0x1p3", 1, 0, "x1p3"},    // no hexadecimal: the 0 converts
      {"", kEndOfInput, 0, ""},
      {" \n\t ", kEndOfInput, 0, ""},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    exact_text t(text);
    in_stream in;
    in.attach_memory(t.data(), t.size());
    double v = -12345;
    int r = qv::scan_real(in, v);
    EXPECT_EQ(r, c.result) << "\"" << text << "\"";
    EXPECT_EQ(std::string(in.cur(), in.available()), c.rest) << "\"" << text << "\"";
    if (r == 1) {
      if (std::isnan(c.value)) {
        EXPECT_TRUE(std::isnan(v)) << text;
        EXPECT_EQ(std::signbit(v), std::signbit(c.value)) << text;
      } else {
        EXPECT_EQ(bits_of(v), bits_of(c.value)) << "\"" << text << "\" read " << v;
      }
    } else {
      EXPECT_EQ(v, -12345) << "\"" << text << "\": target written although nothing converts";
    }
  }
}

TEST(ScanReal, RangeEndsAgreeWithTheCLibrary) {
  differ d;
  for (const char* text :
       {"1e400", "-1e400", "1e-400", "-1e-400", "1e-310", "4.9e-324", "5e-324", "2.4703282292062327e-324",
        "2.4703282292062328e-324", "2.470328229206232720882e-324", "1.7976931348623157e308",
        "1.7976931348623158e308", "1.797693134862315807e308", "1.7976931348623159e308", "2.2250738585072011e-308",
        "2.2250738585072012e-308", "3.4028234e38", "3.40282357e38", "3.4028236e38", "1.17549435e-38", "1e-45",
        "1.4e-45", "7.006e-46", "7.0064923216240854e-46", "7.0064923216240862e-46", "1e-46", "0.5e-45",
        "123456789012345678901234567890", "0.000000000000000000000000000001", "1e23", "8.5e-1", "9007199254740993",
        "9007199254740993.0000000000000000000000001", "1.00000005960464477539062500000000001",
        "1.000000059604644775390625", "0.1", "3.14159265358979323846264338327950288"}) {
    d.check_both(text);
    d.check_both(std::string("-") + text);
  }
  EXPECT_NO_MISMATCH(d);
}

TEST(ScanReal, RandomDecimalsAgreeWithTheCLibrary) {
  std::mt19937_64 gen(11);
  differ d;
  const int count = 300000 / kRandomScale;
  for (int n = 0; n < count; ++n) d.check_both(random_decimal(gen) + (n % 3 ? "" : " 1"));
  EXPECT_NO_MISMATCH(d);
}

// Exact midpoints between neighbouring doubles and between neighbouring floats,
// and texts a hair above and below them. A float read through a double
// would round such a hair-above text to the midpoint and then to even.
TEST(ScanReal, TiesBetweenNeighboursAgreeWithTheCLibrary) {
  static_assert(std::numeric_limits<long double>::digits >= 64, "a double midpoint needs a wider type");
  std::mt19937_64 gen(12);
  differ d;
  const int count = 20000 / kRandomScale;
  for (int n = 0; n < count; ++n) {
    uint64_t b = gen();
    if (n % 4 == 0) b &= 0x000fffffffffffffull;  // subnormals
    double a;
    std::memcpy(&a, &b, 8);
    a = std::fabs(a);
    if (!std::isfinite(a) || a == DBL_MAX) continue;
    long double mid = (static_cast<long double>(a) + std::nextafter(a, INFINITY)) / 2;
    for (const auto& text : tie_texts(mid)) d.check<double>(text);

    uint32_t fb = uint32_t(gen());
    if (n % 4 == 1) fb &= 0x007fffffu;
    float f;
    std::memcpy(&f, &fb, 4);
    f = std::fabs(f);
    if (!std::isfinite(f) || f == FLT_MAX) continue;
    double fmid = (double(f) + std::nextafter(f, INFINITY)) / 2;  // exact in a double
    for (const auto& text : tie_texts(fmid)) d.check<float>(text);
  }
  // Half the largest finite value's step beyond it: the overflow threshold.
  for (const auto& text : tie_texts((static_cast<long double>(DBL_MAX) + std::ldexp(1.0L, 1024)) / 2)) {
    d.check<double>(text);
  }
  for (const auto& text : tie_texts((double(FLT_MAX) + std::ldexp(1.0, 128)) / 2)) d.check<float>(text);
  EXPECT_NO_MISMATCH(d);
}

// Random texts from the characters of numbers, read at every offset.
TEST(ScanReal, NumberLikeNoiseAgreesWithTheCLibrary) {
  std::mt19937_64 gen(13);
  const char alphabet[] = "0123456789012345.+-eEeinfatyINFATYn \t\n";
  differ d;
  const int count = 20000 / kRandomScale;
  for (int n = 0; n < count; ++n) {
    std::string text(1 + gen() % 24, ' ');
    for (auto& c : text) c = alphabet[gen() % (sizeof alphabet - 1)];
    for (size_t at = 0; at < text.size(); ++at) d.check_both(text.substr(at));
  }
  EXPECT_NO_MISMATCH(d);
}

TEST(ScanInt, Table) {
  struct {
    const char* text;
    int result;
    int32_t value;  // the target after the read (it starts at 77)
    const char* rest;
  } cases[] = {
      {"  42x", 1, 42, "x"},
      {"\n+12abc", 1, 12, "abc"},
      {"-7 2", 1, -7, " 2"},
      {"-0", 1, 0, ""},
      {"1.5", 1, 1, ".5"},
      {"2147483647", 1, 2147483647, ""},
      {"-2147483648", 1, INT32_MIN, ""},
      {"2147483648 9", 1, 0, " 9"},
      {"-2147483649", 1, 0, ""},
      {"99999999999999999999999999", 1, 0, ""},
      {"00000000000000000000000042", 1, 42, ""},
      {"-x", 0, 77, "-x"},
      {"+", 0, 77, "+"},
      {"  abc", 0, 77, "abc"},
      {"--1", 0, 77, "--1"},
      {"", kEndOfInput, 77, ""},
      {" \r\n ", kEndOfInput, 77, ""},
  };
  for (const auto& c : cases) {
    exact_text t(c.text);
    in_stream in;
    in.attach_memory(t.data(), t.size());
    int32_t v = 77;
    EXPECT_EQ(qv::scan_int(in, v), c.result) << "\"" << c.text << "\"";
    EXPECT_EQ(v, c.value) << "\"" << c.text << "\"";
    EXPECT_EQ(std::string(in.cur(), in.available()), c.rest) << "\"" << c.text << "\"";
  }
}

// The two answers of the dialogue, read one after the other as a user types them.
TEST(ScanInt, SuccessiveReadsTakeWhatTheLastLeft) {
  exact_text t(std::string("1\n2 fft.txt\n"));
  in_stream in;
  in.attach_memory(t.data(), t.size());
  int32_t a = 0, b = 0;
  EXPECT_EQ(qv::scan_int(in, a), 1);
  EXPECT_EQ(qv::scan_int(in, b), 1);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  char word[16];
  EXPECT_EQ(qv::scan_word(in, word, sizeof word, nullptr), 1);
  EXPECT_STREQ(word, "fft.txt");
  EXPECT_EQ(qv::scan_int(in, a), kEndOfInput);
}

TEST(ScanWord, Table) {
  struct {
    std::string text;
    size_t cap;
    int result;
    std::string word;
    bool too_long;
    std::string rest;
  } cases[] = {
      {"  abc def", 16, 1, "abc", false, " def"},
      {"\r\nname.txt\n", 16, 1, "name.txt", false, "\n"},
      {"abcdefghij", 11, 1, "abcdefghij", false, ""},  // exactly fits with its NUL
      {"abcdefghijk x", 11, 1, "abcdefghij", true, " x"},
      {std::string(5000, 'w') + " next", 260, 1, std::string(259, 'w'), true, " next"},
      {std::string("a\0b c", 5), 16, 1, std::string("a\0b", 3), false, " c"},  // a NUL is no blank
      {"x", 1, 1, "", true, ""},
      {"", 16, kEndOfInput, "unchanged", false, ""},
      {" \t\n", 16, kEndOfInput, "unchanged", false, ""},
  };
  for (const auto& c : cases) {
    exact_text t(c.text);
    in_stream in;
    in.attach_memory(t.data(), t.size());
    std::vector<char> buf(c.cap);
    std::string before = "unchanged";
    std::memcpy(buf.data(), before.c_str(), std::min(buf.size(), before.size() + 1));
    bool too_long = !c.too_long;
    EXPECT_EQ(qv::scan_word(in, buf.data(), buf.size(), &too_long), c.result) << c.text.substr(0, 40);
    if (c.result == 1) {
      size_t len = c.word.size();
      EXPECT_EQ(std::string(buf.data(), len), c.word) << c.text.substr(0, 40);
      EXPECT_EQ(buf[len], '\0') << c.text.substr(0, 40);
    } else if (c.cap > before.size()) {
      EXPECT_STREQ(buf.data(), "unchanged");
    }
    EXPECT_EQ(too_long, c.too_long) << c.text.substr(0, 40);
    EXPECT_EQ(std::string(in.cur(), in.available()), c.rest) << c.text.substr(0, 40);
  }
}

TEST(ScanRecord, Table) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct {
    const char* text;
    int result;
    double time;
    float amplitude;  // both start at -1
    const char* rest;
  } cases[] = {
      {"0.001 2.5\n0.002 3", 2, 0.001, 2.5f, "0.002 3"},
      {"  1e-3\t-4.25e+1 \r\n", 2, 1e-3, -42.5f, ""},
      {"0,5 1", 1, 0, -1, ",5 1"},
      {"7", 1, 7, -1, ""},
      {"7 \n", 1, 7, -1, ""},
      {"7 x", 1, 7, -1, "x"},
      {"7 -", 1, 7, -1, "-"},
      {"x 1", 0, -1, -1, "x 1"},
      {"nan inf", 2, nan, HUGE_VALF, ""},
      {"1 1e39", 2, 1, HUGE_VALF, ""},  // beyond the float range
      {"1 1e-50", 2, 1, 0.0f, ""},
      {"", kEndOfInput, -1, -1, ""},
      {"\n\n", kEndOfInput, -1, -1, ""},
      // Through a double this text would tie to even and give 1; strtof rounds up.
      {"1 1.00000005960464477539062500000000001", 2, 1, 1.00000012f, ""},
  };
  for (const auto& c : cases) {
    exact_text t(std::string(c.text));
    in_stream in;
    in.attach_memory(t.data(), t.size());
    double time = -1;
    float amplitude = -1;
    EXPECT_EQ(qv::scan_record(in, time, amplitude), c.result) << "\"" << c.text << "\"";
    if (std::isnan(c.time)) {
      EXPECT_TRUE(std::isnan(time));
    } else {
      EXPECT_EQ(time, c.time) << "\"" << c.text << "\"";
    }
    EXPECT_EQ(bits_of(amplitude), bits_of(c.amplitude)) << "\"" << c.text << "\" read " << amplitude;
    EXPECT_EQ(std::string(in.cur(), in.available()), c.rest) << "\"" << c.text << "\"";
  }
}

TEST(ScanColumns, Table) {
  struct {
    const char* text;
    int result;
    double a, b, c;  // all start at -1
    const char* rest;
  } cases[] = {
      {"  1.500000e+000 -2.5e-005 0\n", 3, 1.5, -2.5e-5, 0, "\n"},
      {"1 2 x", 2, 1, 2, -1, "x"},
      {"1 2", 2, 1, 2, -1, ""},
      {"1", 1, 1, -1, -1, ""},
      {"1 e", 1, 1, -1, -1, "e"},
      {"x", 0, -1, -1, -1, "x"},
      {"", kEndOfInput, -1, -1, -1, ""},
      {"1 2 3 4", 3, 1, 2, 3, " 4"},
      {"1\n2\n3", 3, 1, 2, 3, ""},  // line ends are white space like any other
  };
  for (const auto& c : cases) {
    exact_text t(std::string(c.text));
    in_stream in;
    in.attach_memory(t.data(), t.size());
    double a = -1, b = -1, cc = -1;
    EXPECT_EQ(qv::scan_columns(in, a, b, cc), c.result) << "\"" << c.text << "\"";
    EXPECT_EQ(a, c.a) << c.text;
    EXPECT_EQ(b, c.b) << c.text;
    EXPECT_EQ(cc, c.c) << c.text;
    EXPECT_EQ(std::string(in.cur(), in.available()), c.rest) << "\"" << c.text << "\"";
  }
}

// Everything the readers do, as a log of results, values and positions, so two
// ways of reading the same bytes can be compared.
std::string read_all(in_stream& in, size_t total, uint64_t order) {
  std::mt19937_64 gen(order);
  std::string log;
  size_t steps = 0;
  char line[96];
  for (;;) {
    if (++steps > total * 4 + 16) return log + "\nno progress: the readers loop";
    int r = 0;
    switch (gen() % 5) {
      case 0: {
        double v = 0;
        r = qv::scan_real(in, v);
        std::snprintf(line, sizeof line, "real %d %a\n", r, v);
        break;
      }
      case 1: {
        int32_t v = 0;
        r = qv::scan_int(in, v);
        std::snprintf(line, sizeof line, "int %d %d\n", r, v);
        break;
      }
      case 2: {
        double t = 0;
        float a = 0;
        r = qv::scan_record(in, t, a);
        std::snprintf(line, sizeof line, "record %d %a %a\n", r, t, double(a));
        break;
      }
      case 3: {
        double a = 0, b = 0, c = 0;
        r = qv::scan_columns(in, a, b, c);
        std::snprintf(line, sizeof line, "columns %d %a %a %a\n", r, a, b, c);
        break;
      }
      default: {
        char word[40];
        bool too_long = false;
        r = qv::scan_word(in, word, sizeof word, &too_long);
        std::snprintf(line, sizeof line, "word %d %d %zu\n", r, int(too_long), r == 1 ? std::strlen(word) : 0);
        break;
      }
    }
    log += line;
    if (r == kEndOfInput) return log;
    if (r == 0) {
      // Nothing converted and nothing was consumed: step over the word, as a
      // caller that gives up on it would.
      char word[8];
      if (qv::scan_word(in, word, sizeof word, nullptr) == kEndOfInput) return log + "end in word\n";
    }
  }
}

// A temporary file holding `text`, open for reading.
struct temp_input {
  qv_test::temp_dir dir;
  int fd = -1;
  explicit temp_input(const std::string& text) {
    qv_test::write_file(dir / "input.txt", text);
    fd = ::open((dir / "input.txt").c_str(), O_RDONLY);
  }
  ~temp_input() { ::close(fd); }
};

std::string read_all_memory(const std::string& text, uint64_t order) {
  exact_text t(text);
  in_stream in;
  in.attach_memory(t.data(), t.size());
  return read_all(in, text.size(), order);
}

std::string read_all_file(const std::string& text, size_t cap, uint64_t order) {
  temp_input file(text);
  std::vector<char> buf(cap);  // exact size: the sanitizer build catches an overrun
  in_stream in;
  in.attach(file.fd, buf.data(), buf.size());
  return read_all(in, text.size(), order);
}

// Tokens longer than the buffer cross its refills; the results must be those
// of reading the same bytes from memory in one piece.
TEST(Streams, SmallFileBufferReadsAsMemoryDoes) {
  std::mt19937_64 gen(21);
  for (int n = 0; n < 60 / (kRandomScale > 1 ? 6 : 1); ++n) {
    std::string text;
    while (text.size() < 20000) {
      switch (gen() % 4) {
        case 0: text += random_decimal(gen); break;
        case 1: text += std::string(gen() % 200, 'w'); break;
        case 2: text += std::to_string(int64_t(gen() % 5000000000ull) - 2500000000ll); break;
        default: text += "1e"; break;
      }
      text += std::string(1 + gen() % 3, " \n\t"[gen() % 3]);
    }
    uint64_t order = gen();
    std::string want = read_all_memory(text, order);
    EXPECT_EQ(read_all_file(text, 64, order), want) << "buffer of 64 bytes, text " << n;
    EXPECT_EQ(read_all_file(text, 1000, order), want) << "buffer of 1000 bytes, text " << n;
  }
}

TEST(Streams, RewindStartsOver) {
  std::string text = "0 1.5\n0.5 2.5\n1 3.5\n";
  temp_input file(text);
  char buf[64];
  in_stream in;
  in.attach(file.fd, buf, sizeof buf);
  double t = 0;
  float a = 0;
  while (qv::scan_record(in, t, a) == 2) {
  }
  EXPECT_EQ(t, 1.0);
  ASSERT_TRUE(in.rewind());
  EXPECT_EQ(qv::scan_record(in, t, a), 2);
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(a, 1.5f);

  exact_text m(text);
  in.attach_memory(m.data(), m.size());
  EXPECT_EQ(qv::scan_record(in, t, a), 2);
  EXPECT_EQ(qv::scan_record(in, t, a), 2);
  ASSERT_TRUE(in.rewind());
  EXPECT_EQ(qv::scan_record(in, t, a), 2);
  EXPECT_EQ(a, 1.5f);
}

TEST(Streams, ReadErrorActsAsEndOfInput) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  char buf[64];
  in_stream in;
  in.attach(fds[1], buf, sizeof buf);  // the write end cannot be read
  double v = 3;
  EXPECT_EQ(qv::scan_real(in, v), kEndOfInput);
  EXPECT_EQ(v, 3);
  EXPECT_NE(in.error(), 0);
  ::close(fds[0]);
  ::close(fds[1]);
}

// Lines and a string longer than the buffer itself pass through a 100-byte
// buffer whole and in order.
TEST(Streams, OutputThroughASmallBuffer) {
  qv_test::temp_dir dir;
  std::string path = dir / "out.txt";
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  char buf[100];
  qv::out_stream out;
  out.attach(fd, buf, sizeof buf);
  for (int p = 0; p < 200; ++p) out.print("%15.6e %15.6e \n", p * 0.5, -p * 0.25);
  std::string name(300, 'n');
  out.print(" File: %s opened. \n", name.c_str());
  out.write("end\n", 4);
  out.flush();
  ::close(fd);
  EXPECT_EQ(out.error(), 0);
  std::vector<std::string> lines = qv_test::read_lines(path);
  ASSERT_EQ(lines.size(), 202u);
  EXPECT_EQ(lines[0], "  0.000000e+000   0.000000e+000 ");
  EXPECT_EQ(lines[199], "  9.950000e+001  -4.975000e+001 ");
  for (int p = 0; p < 200; ++p) {
    EXPECT_EQ(qv_test::fields(lines[size_t(p)]), (std::vector<double>{p * 0.5, -p * 0.25})) << p;
  }
  EXPECT_EQ(lines[200], " File: " + name + " opened. ");
  EXPECT_EQ(lines[201], "end");

  std::string text;
  qv::out_stream collect;
  collect.attach_string(&text, buf, sizeof buf);
  collect.print("<%s>", name.c_str());
  collect.flush();
  EXPECT_EQ(text, "<" + name + ">");
}

TEST(Streams, WriteErrorIsKeptAndTheRestDiscarded) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  char buf[64];
  qv::out_stream out;
  out.attach(fds[0], buf, sizeof buf);  // the read end cannot be written
  for (int p = 0; p < 100; ++p) out.print("%15.6e %15.6e \n", 1.0, 2.0);
  out.flush();
  EXPECT_NE(out.error(), 0);
  ::close(fds[0]);
  ::close(fds[1]);
}

// Random bytes, NUL bytes included: every reader ends at the end of input in
// a bounded number of steps, from memory and through a small file buffer alike.
// A field already written is copied rather than converted again; whatever
// the order of values, streams and flushes, the text is what a fresh
// conversion gives: repeats within a line (neighbouring fields), across two
// streams written in turn, and across flushes of a small buffer.
TEST(Streams, RepeatedFieldsReadBackAsConverted) {
  std::mt19937_64 gen(7);
  const double pool[] = {0.0, -0.0, 1.0, 0.125, 6.667, -1.5e-7, 12345.678, 1e300, 2.5e-5, 100.0};
  std::string got_a, got_b, want_a, want_b;
  char buf_a[160], buf_b[4096];
  qv::out_stream a, b;
  a.attach_string(&got_a, buf_a, sizeof buf_a);
  b.attach_string(&got_b, buf_b, sizeof buf_b);
  char line[256];
  for (int n = 0; n < 5000; ++n) {
    const double x = pool[gen() % 10], y = pool[gen() % 10], z = pool[gen() % 10];
    a.print("%12.4g %12.4g %12.4g \n", x, y, z);
    want_a.append(line, qv::format_to(line, "%12.4g %12.4g %12.4g \n", x, y, z));
    b.print("%15.6e %15.6e %12.5g \n", y, y, x);
    want_b.append(line, qv::format_to(line, "%15.6e %15.6e %12.5g \n", y, y, x));
    if (gen() % 7 == 0) b.flush();
  }
  a.flush();
  b.flush();
  EXPECT_EQ(got_a, want_a);
  EXPECT_EQ(got_b, want_b);
}

// A stream with no file behind it (a slot whose open failed) takes nothing
// and says so; it must neither loop nor write through a null buffer.
TEST(Streams, WritingWithoutAFileIsAnErrorNotAHang) {
  qv::out_stream out;
  out.print("%15.6e %15.6e %15.6e \n", 1.0, 2.0, 3.0);
  out.write("text", 4);
  out.flush();
  EXPECT_EQ(out.error(), EBADF);
}

TEST(BadInput, RandomBytes) {
  std::mt19937_64 gen(31);
  for (int n = 0; n < 300 / kRandomScale; ++n) {
    std::string text(1 + gen() % 4000, '\0');
    int mode = n % 3;
    for (auto& c : text) {
      uint64_t r = gen();
      if (mode == 0) c = char(r);                                  // any byte
      else if (mode == 1) c = "0123456789.eE+-\0 \n"[r % 18];      // number bytes and NULs
      else c = r % 4 ? char('0' + r % 10) : "\0\xff\x80 i-n."[r % 8];  // long digit runs
    }
    uint64_t order = gen();
    std::string want = read_all_memory(text, order);
    EXPECT_EQ(want.find("no progress"), std::string::npos) << "text " << n;
    EXPECT_EQ(read_all_file(text, 64, order), want) << "text " << n;
  }
}

long max_rss_kb() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// A file of `size` bytes made of `head`, a run of `fill`, and `tail`, written
// in pieces so that the test itself holds no copy of it.
struct huge_file {
  qv_test::temp_dir dir;
  std::string path = dir / "huge.txt";
  int fd = -1;
  huge_file(const std::string& head, char fill, size_t size, const std::string& tail) {
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(head.data(), 1, head.size(), f);
    std::string piece(size_t(1) << 20, fill);
    for (size_t done = 0; done < size; done += piece.size()) {
      std::fwrite(piece.data(), 1, std::min(piece.size(), size - done), f);
    }
    std::fwrite(tail.data(), 1, tail.size(), f);
    std::fclose(f);
    fd = ::open(path.c_str(), O_RDONLY);
  }
  ~huge_file() { ::close(fd); }
};

// 100 MB without a blank, and 100 MB of blanks: each read goes through a fixed
// 64 KB buffer in one pass, consumes what the grammar says, and the process
// does not grow by anything near the token's size.
TEST(BadInput, HugeTokensReadInFixedMemory) {
  const long rss_before = max_rss_kb();
  std::vector<char> buf(size_t(1) << 16);
  in_stream in;
  const std::string zeros_exponent = "e-" + std::to_string(kHugeSize);
  struct {
    const char* what;
    std::string head;
    char fill;
    std::string tail;
  } files[] = {
      {"digits", "1", '7', ""},
      {"letters", "", 'q', ""},
      {"blanks", "", ' ', ""},
      {"blanks then a number", "", ' ', "5"},
      {"1 and zeros, scaled back", "1", '0', zeros_exponent},
      {"0. and zeros then 15", "0.", '0', "15e" + std::to_string(kHugeSize + 1)},
      {"a record with a huge amplitude", "1 ", '9', ""},
      {"a huge word of NULs", "", '\0', " 3"},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.what);
    huge_file file(f.head, f.fill, kHugeSize, f.tail);
    ASSERT_GE(file.fd, 0);
    auto start = [&] {
      EXPECT_EQ(::lseek(file.fd, 0, SEEK_SET), 0);
      in.attach(file.fd, buf.data(), buf.size());
    };
    double v = -1;
    int32_t i = -1;
    char word[260];
    bool too_long = false;
    if (f.fill == '7') {
      start();
      EXPECT_EQ(qv::scan_real(in, v), 1);
      EXPECT_EQ(v, std::numeric_limits<double>::infinity());
      EXPECT_EQ(in.peek(), -1);
      start();
      EXPECT_EQ(qv::scan_int(in, i), 1);
      EXPECT_EQ(i, 0);
      EXPECT_EQ(in.peek(), -1);
      start();
      EXPECT_EQ(qv::scan_word(in, word, sizeof word, &too_long), 1);
      EXPECT_TRUE(too_long);
      EXPECT_EQ(std::string(word), "1" + std::string(258, '7'));
      EXPECT_EQ(in.peek(), -1);
    } else if (f.fill == 'q') {
      start();
      EXPECT_EQ(qv::scan_real(in, v), 0);
      EXPECT_EQ(qv::scan_int(in, i), 0);
      EXPECT_EQ(in.peek(), 'q');
      EXPECT_EQ(qv::scan_word(in, word, sizeof word, &too_long), 1);
      EXPECT_TRUE(too_long);
      EXPECT_EQ(qv::scan_word(in, word, sizeof word, &too_long), kEndOfInput);
    } else if (f.fill == ' ') {
      start();
      double t = -1, b = -1, c = -1;
      if (f.tail.empty()) {
        EXPECT_EQ(qv::scan_columns(in, t, b, c), kEndOfInput);
        start();
        EXPECT_EQ(qv::scan_word(in, word, sizeof word, &too_long), kEndOfInput);
      } else {
        EXPECT_EQ(qv::scan_columns(in, t, b, c), 1);
        EXPECT_EQ(t, 5);
      }
    } else if (f.fill == '0') {
      start();
      EXPECT_EQ(qv::scan_real(in, v), 1);
      EXPECT_EQ(v, f.head == "1" ? 1.0 : 1.5);
      EXPECT_EQ(in.peek(), -1);
    } else if (f.fill == '9') {
      start();
      double t = -1;
      float a = -1;
      EXPECT_EQ(qv::scan_record(in, t, a), 2);
      EXPECT_EQ(t, 1);
      EXPECT_EQ(a, std::numeric_limits<float>::infinity());
      EXPECT_EQ(in.peek(), -1);
    } else {
      start();
      EXPECT_EQ(qv::scan_real(in, v), 0);
      EXPECT_EQ(qv::scan_word(in, word, sizeof word, &too_long), 1);
      EXPECT_TRUE(too_long);
      EXPECT_EQ(qv::scan_int(in, i), 1);
      EXPECT_EQ(i, 3);
    }
    EXPECT_EQ(in.error(), 0);
  }
  // The files were written and read in pieces: the process grew by far less
  // than one file's size. (The sanitizer build checks the bounds instead; its
  // allocator keeps freed memory back, which would drown this small a file.)
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(max_rss_kb() - rss_before, long(kHugeSize / 1024 / 4)) << "KB grown";
#else
  (void)rss_before;
#endif
}

}  // namespace

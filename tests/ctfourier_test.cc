// Tests of the transform stage: the console header and stage lines, the three
// spectrum files (line counts, frequency column, exact line format), known
// signals whose spectrum is known (impulses, cosines, sines, constants, two
// samples by hand), the accuracy against a double-precision transform up to the
// largest size, and a bit-for-bit comparison with an independent loop that
// makes the same roundings, so that any change of a rounding shows.
//
// The samples are put into bit-reversed order by the test itself, so these
// tests do not depend on the reorder stage.
#include "transform/ctfourier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

using namespace qv_test;

namespace {

using cfloat = std::complex<float>;
using cdouble = std::complex<double>;

const double kTpi = std::atan2(0.0, -1.0) + std::atan2(0.0, -1.0);
const double kUnitRoundoff = std::ldexp(1.0, -24);  // float: 24-bit significand

uint32_t bit_reversed(uint32_t j, uint32_t bits) {
  uint32_t r = 0;
  for (uint32_t b = 0; b < bits; ++b) r |= ((j >> b) & 1u) << (bits - 1 - b);
  return r;
}

// "%15.6e" as the program writes it, built on the C library's conversion: the
// same digits, with the exponent widened to a sign and three digits.
std::string e15(double v) {
  char c_text[64];
  const int len = std::snprintf(c_text, sizeof c_text, "%.6e", v);
  const char* e = std::strchr(c_text, 'e');
  std::string s(c_text, size_t(e - c_text) + 2);  // mantissa, 'e' and the sign
  if (c_text + len - (e + 2) < 3) s += '0';         // two exponent digits: widen
  s += e + 2;
  return std::string(s.size() < 15 ? 15 - s.size() : 0, ' ') + s;
}

// Uniform values in [-1, 1) from a linear congruential generator with a fixed
// start value, so every run sees the same data.
class uniform {
 public:
  explicit uniform(uint32_t start) : state_(start) {}
  float next() {
    state_ = state_ * 1664525u + 1013904223u;
    return float(int32_t(state_ >> 8) - (1 << 23)) * float(kUnitRoundoff) * 2.0f;
  }

 private:
  uint32_t state_;
};

// A workspace ready for ctfourier: N, nstages and df set, and slots 2 to 4 open
// for writing, either on files in a scratch folder or all on /dev/null.
class transform_run {
 public:
  enum files { kept, discarded };

  transform_run(uint32_t stages, double df, files where = kept) : n(1u << stages) {
    ws.n_fft = n;
    ws.nstages = stages;
    ws.df = df;
    const char* names[] = {"fft_1.out", "fft_half_1.out", "fft_full_1.out"};
    for (int s = 2; s <= 4; ++s) {
      const std::string path = where == kept ? dir / names[s - 2] : "/dev/null";
      qv::set_slot_name(ws, s, path.c_str());
      EXPECT_TRUE(qv::open_slot(ws, s, qv::open_mode::write)) << path;
    }
  }

  // Places sample m of z (natural order) into entry rev(m), as the reorder does.
  void load(const std::vector<cfloat>& z) {
    for (uint32_t m = 0; m < n; ++m) ws.signal[bit_reversed(m, ws.nstages)] = {z[m].real(), z[m].imag()};
  }

  // Runs the stage and closes its files, as the driver does after it.
  void run() {
    qv::ctfourier(ws, env.con);
    for (int s = 2; s <= 4; ++s) qv::close_slot(ws, env.con, s);
  }

  cdouble line(uint32_t p) const { return {ws.signal[p].re, ws.signal[p].im}; }
  std::string complex_file() const { return read_file(dir / "fft_1.out"); }
  std::string two_sided_file() const { return read_file(dir / "fft_half_1.out"); }
  std::string one_sided_file() const { return read_file(dir / "fft_full_1.out"); }
  std::vector<std::string> complex_lines() const { return read_lines(dir / "fft_1.out"); }
  std::vector<std::string> two_sided_lines() const { return read_lines(dir / "fft_half_1.out"); }
  std::vector<std::string> one_sided_lines() const { return read_lines(dir / "fft_full_1.out"); }

  temp_dir dir;
  stage_env env;
  qv::workspace& ws = env.ws;
  const uint32_t n;
};

// The expected text of the three files when value column(s) are given per line.
std::string complex_line(double f, double re, double im) { return e15(f) + " " + e15(re) + " " + e15(im) + " \n"; }
std::string magnitude_line(double f, double m) { return e15(f) + " " + e15(m) + " \n"; }

// The transform as a plain loop nest over separate real and imaginary arrays:
// stage 1 adds and subtracts in double and stores floats; each later stage takes
// every twiddle as (cos, -sin) of t*tpi/L rounded to float, forms the product in
// double and stores it as a float, then adds and subtracts in double and stores
// floats; last, every line is divided by N (as a float) and line 0 is set to 0.
// The butterflies of a stage are independent, so the loops run in another order
// than the program's (position in the block outside, block inside).
void rounding_reference(std::vector<float>& re, std::vector<float>& im, uint32_t stages) {
  const uint32_t n = uint32_t(re.size());
  std::vector<float> r(n), i(n);
  for (uint32_t m = 0; m < n; ++m) {
    r[bit_reversed(m, stages)] = re[m];
    i[bit_reversed(m, stages)] = im[m];
  }
  for (uint32_t m = 0; m + 1 < n; m += 2) {
    const double ar = r[m], ai = i[m], br = r[m + 1], bi = i[m + 1];
    r[m] = float(ar + br);
    i[m] = float(ai + bi);
    r[m + 1] = float(ar - br);
    i[m + 1] = float(ai - bi);
  }
  for (uint32_t s = 2; s <= stages; ++s) {
    const uint32_t l = 1u << s, h = l / 2;
    for (uint32_t t = 0; t < h; ++t) {
      const double theta = double(t) * kTpi / double(l);
      const float wr = float(std::cos(theta)), wi = float(-std::sin(theta));
      for (uint32_t b = 0; b < n; b += l) {
        const uint32_t top = b + t, bottom = b + t + h;
        const float tr = float(double(r[bottom]) * double(wr) - double(i[bottom]) * double(wi));
        const float ti = float(double(r[bottom]) * double(wi) + double(i[bottom]) * double(wr));
        const double ar = r[top], ai = i[top];
        r[top] = float(ar + double(tr));
        i[top] = float(ai + double(ti));
        r[bottom] = float(ar - double(tr));
        i[bottom] = float(ai - double(ti));
      }
    }
  }
  const double divisor = double(float(n));
  for (uint32_t p = 0; p < n; ++p) {
    re[p] = p == 0 ? 0.0f : float(double(r[p]) / divisor);
    im[p] = p == 0 ? 0.0f : float(double(i[p]) / divisor);
  }
}

// The forward transform divided by N in double precision, line 0 set to 0.
// Every twiddle comes from one table of exp(-2*pi*i*k/N), k = 0..N-1, so each
// is the correctly rounded value of an exact fraction of a turn.
class double_transform {
 public:
  explicit double_transform(uint32_t n) : n_(n), table_(n) {
    for (uint32_t k = 0; k < n; ++k) {
      const double theta = kTpi * double(k) / double(n);
      table_[k] = {std::cos(theta), -std::sin(theta)};
    }
  }

  // Direct sum, N^2 products: the definition itself, for small N.
  std::vector<cdouble> direct(const std::vector<cfloat>& z) const {
    std::vector<cdouble> x(n_);
    for (uint32_t p = 1; p < n_; ++p) {
      cdouble sum = 0;
      for (uint32_t m = 0; m < n_; ++m) sum += cdouble(z[m]) * table_[uint64_t(p) * m % n_];
      x[p] = sum / double(n_);
    }
    return x;
  }

  // Recursive radix-2 split in double, N log N products, for large N.
  std::vector<cdouble> fast(const std::vector<cfloat>& z) const {
    std::vector<cdouble> in(z.begin(), z.end()), x(n_);
    split(in.data(), 1, x.data(), n_);
    for (auto& v : x) v /= double(n_);
    x[0] = 0;
    return x;
  }

 private:
  void split(const cdouble* in, uint32_t stride, cdouble* out, uint32_t len) const {
    if (len == 1) {
      out[0] = in[0];
      return;
    }
    const uint32_t h = len / 2;
    split(in, 2 * stride, out, h);
    split(in + stride, 2 * stride, out + h, h);
    for (uint32_t k = 0; k < h; ++k) {
      const cdouble a = out[k], t = table_[k * (n_ / len)] * out[k + h];
      out[k] = a + t;
      out[k + h] = a - t;
    }
  }

  uint32_t n_;
  std::vector<cdouble> table_;
};

double norm2(const std::vector<cdouble>& v) {
  double s = 0;
  for (const auto& x : v) s += std::norm(x);
  return std::sqrt(s);
}

std::vector<cfloat> random_samples(uint32_t n, uint32_t start, bool complex_data) {
  uniform u(start);
  std::vector<cfloat> z(n);
  for (auto& v : z) v = {u.next(), complex_data ? u.next() : 0.0f};
  return z;
}

}  // namespace

// The header once, with N and nstages, then one line per stage from 2 on; the
// first stage prints nothing, and N = 1 only the header.
TEST(Ctfourier, ConsoleHeaderAndStageLines) {
  struct row {
    uint32_t stages;
    std::string transcript;
  };
  std::string largest = "\n m= 262144  nstages= 18 \n\n";
  for (int s = 2; s <= 18; ++s) largest += "\n i=" + std::to_string(s) + " / 18 ";
  const std::vector<row> rows = {
      {0, "\n m= 1  nstages= 0 \n\n"},
      {1, "\n m= 2  nstages= 1 \n\n"},
      {2, "\n m= 4  nstages= 2 \n\n\n i=2 / 2 "},
      {3, "\n m= 8  nstages= 3 \n\n\n i=2 / 3 \n i=3 / 3 "},
      {18, largest},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.stages);
    transform_run t(r.stages, 1.0, transform_run::discarded);
    t.run();
    EXPECT_EQ(t.env.transcript, r.transcript);
  }
}

// N = 1 (an input with fewer than two records): one line for p = 0, all zero,
// in the complex spectrum and the two-sided magnitude files, none in the
// one-sided file; the sample itself becomes 0.
TEST(Ctfourier, SingleSampleWritesOneZeroLine) {
  transform_run t(0, 4.0);
  t.ws.signal[0] = {5.0f, 3.0f};
  t.run();
  EXPECT_EQ(t.complex_file(), "  0.000000e+000   0.000000e+000   0.000000e+000 \n");
  EXPECT_EQ(t.two_sided_file(), "  0.000000e+000   0.000000e+000 \n");
  EXPECT_EQ(t.one_sided_file(), "");
  EXPECT_EQ(t.line(0), cdouble(0, 0));
}

// N = 2 by hand: line 1 holds (x0 - x1)/2 at df; the one-sided file only line 0.
TEST(Ctfourier, TwoSamplesByHand) {
  transform_run t(1, 0.5);
  t.load({{3.0f, 0.0f}, {-1.5f, 0.0f}});
  t.run();
  EXPECT_EQ(t.complex_file(),
            "  0.000000e+000   0.000000e+000   0.000000e+000 \n"
            "  5.000000e-001   2.250000e+000   0.000000e+000 \n");
  EXPECT_EQ(t.two_sided_file(),
            "  0.000000e+000   0.000000e+000 \n"
            "  5.000000e-001   2.250000e+000 \n");
  EXPECT_EQ(t.one_sided_file(), "  0.000000e+000   0.000000e+000 \n");
}

// A unit impulse on the first sample: exactly 1/N and 0 on every line from 1
// on, zeros on line 0, in the array and in the files.
TEST(Ctfourier, ImpulseOnFirstSampleIsFlat) {
  for (uint32_t stages : {1u, 3u, 10u, 18u}) {
    SCOPED_TRACE(stages);
    transform_run t(stages, 0.25);
    std::vector<cfloat> z(t.n);
    z[0] = 1.0f;
    t.load(z);
    t.run();
    const float level = 1.0f / float(t.n);
    uint32_t wrong = 0;
    for (uint32_t p = 1; p < t.n; ++p) {
      if (t.ws.signal[p].re != level || t.ws.signal[p].im != 0.0f) ++wrong;
    }
    EXPECT_EQ(wrong, 0u);
    const auto lines = t.complex_lines(), two = t.two_sided_lines(), one = t.one_sided_lines();
    ASSERT_EQ(lines.size(), t.n);
    ASSERT_EQ(two.size(), t.n);
    ASSERT_EQ(one.size(), t.n / 2);
    EXPECT_EQ(lines[0] + "\n", complex_line(0, 0, 0));
    EXPECT_EQ(two[0] + "\n", magnitude_line(0, 0));
    EXPECT_EQ(one[0] + "\n", magnitude_line(0, 0));
    uint32_t wrong_text = 0;
    for (uint32_t p = 1; p < t.n; ++p) {
      const double f = p * 0.25;
      if (lines[p] + "\n" != complex_line(f, level, 0)) ++wrong_text;
      if (two[p] + "\n" != magnitude_line(f, level)) ++wrong_text;
      if (p < t.n / 2 && one[p] + "\n" != magnitude_line(f, 2.0 * level)) ++wrong_text;
    }
    EXPECT_EQ(wrong_text, 0u) << "line 1: " << lines[1];
  }
}

// N = 4, unit impulse on the second sample: line 1 is -0.25i, and its real part
// is the quarter-turn twiddle's cosine (6.1232343e-17 as a float) divided by 4,
// not 0. Lines 2 and 3 are -0.25 and +0.25i.
TEST(Ctfourier, ImpulseOnSecondSampleShowsTheQuarterTurnCosine) {
  transform_run t(2, 0.25);
  t.load({0.0f, 1.0f, 0.0f, 0.0f});
  t.run();
  EXPECT_EQ(t.ws.signal[1].re, float(float(std::cos(kTpi / 4)) / 4.0));
  EXPECT_NEAR(t.ws.signal[1].re, 1.5308e-17, 1e-21);
  EXPECT_EQ(t.complex_file(),
            "  0.000000e+000   0.000000e+000   0.000000e+000 \n"
            "  2.500000e-001   1.530809e-017  -2.500000e-001 \n"
            "  5.000000e-001  -2.500000e-001   0.000000e+000 \n"
            "  7.500000e-001  -1.530809e-017   2.500000e-001 \n");
  EXPECT_EQ(t.two_sided_file(),
            "  0.000000e+000   0.000000e+000 \n"
            "  2.500000e-001   2.500000e-001 \n"
            "  5.000000e-001   2.500000e-001 \n"
            "  7.500000e-001   2.500000e-001 \n");
  EXPECT_EQ(t.one_sided_file(),
            "  0.000000e+000   0.000000e+000 \n"
            "  2.500000e-001   5.000000e-001 \n");
}

// A cosine of amplitude A at line q gives A/2 at lines q and N - q (imaginary
// part ~0), A/2 in the two-sided and A in the one-sided magnitude file; a sine
// gives -A/2 i at q and +A/2 i at N - q. All other lines are ~0. The tolerance
// covers the seven digits of the file and the transform's rounding (the bound
// of AccuracyAgainstDoublePrecision).
TEST(Ctfourier, CosineAndSineLandOnTheirLines) {
  struct row {
    uint32_t stages, q;
    double amplitude;
    bool sine;
  };
  const std::vector<row> rows = {
      {4, 3, 2.0, false}, {4, 3, 2.0, true}, {10, 100, 0.75, false},
      {10, 511, 0.75, true}, {18, 12345, 5.0, false}, {18, 1, 5.0, true},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << "2^" << r.stages << " q=" << r.q << (r.sine ? " sine" : " cosine"));
    const double df = 0.5;
    transform_run t(r.stages, df);
    std::vector<cfloat> z(t.n);
    for (uint32_t m = 0; m < t.n; ++m) {
      const double theta = kTpi * double(uint64_t(r.q) * m % t.n) / double(t.n);
      z[m] = float(r.amplitude * (r.sine ? std::sin(theta) : std::cos(theta)));
    }
    t.load(z);
    t.run();
    const double tol = r.amplitude * (1e-6 + 3.0 * r.stages * kUnitRoundoff);
    const double half = r.amplitude / 2;
    const cdouble at_q = r.sine ? cdouble(0, -half) : cdouble(half, 0);
    const cdouble at_mirror = r.sine ? cdouble(0, half) : cdouble(half, 0);

    const auto lines = t.complex_lines(), two = t.two_sided_lines(), one = t.one_sided_lines();
    ASSERT_EQ(lines.size(), t.n);
    ASSERT_EQ(two.size(), t.n);
    ASSERT_EQ(one.size(), t.n / 2);
    uint32_t stray = 0;
    for (uint32_t p = 0; p < t.n; ++p) {
      const auto c = fields(lines[p]), m = fields(two[p]);
      ASSERT_EQ(c.size(), 3u);
      ASSERT_EQ(m.size(), 2u);
      const cdouble value(c[1], c[2]);
      if (p == r.q || p == t.n - r.q) {
        const cdouble want = p == r.q ? at_q : at_mirror;
        EXPECT_NEAR(value.real(), want.real(), tol) << "line " << p;
        EXPECT_NEAR(value.imag(), want.imag(), tol) << "line " << p;
        EXPECT_NEAR(m[1], half, tol) << "line " << p;
      } else if (std::abs(value) > tol || m[1] > tol) {
        ++stray;
      }
      if (p < t.n / 2) {
        const auto o = fields(one[p]);
        ASSERT_EQ(o.size(), 2u);
        if (p == r.q) {
          EXPECT_NEAR(o[1], r.amplitude, 2 * tol);
        } else if (o[1] > 2 * tol) {
          ++stray;
        }
      }
    }
    EXPECT_EQ(stray, 0u);
  }
}

// Equal samples, however large their mean: every value column of every file is
// exactly 0 (written as a positive zero), only the frequency column is not.
TEST(Ctfourier, ConstantRecordGivesExactZeros) {
  for (float level : {7.25f, -1000.1f}) {
    SCOPED_TRACE(level);
    const double df = 0.1;
    transform_run t(9, df);
    t.load(std::vector<cfloat>(t.n, level));
    t.run();
    std::string complex_text, two_text, one_text;
    for (uint32_t p = 0; p < t.n; ++p) {
      complex_text += complex_line(p * df, 0, 0);
      two_text += magnitude_line(p * df, 0);
      if (p < t.n / 2) one_text += magnitude_line(p * df, 0);
    }
    EXPECT_EQ(t.complex_file(), complex_text);
    EXPECT_EQ(t.two_sided_file(), two_text);
    EXPECT_EQ(t.one_sided_file(), one_text);
  }
}

// Line counts N, N and N/2; line p of each file carries p*df and the values of
// line p as stored, in "%15.6e" fields separated by one blank with one blank
// before the newline: the complex file (re, im), the two-sided file the
// magnitude, the one-sided file twice the magnitude from line 1 on.
TEST(Ctfourier, FilesCarryTheStoredLinesInTheirFormat) {
  const double df = 0.37;
  transform_run t(6, df);
  t.load(random_samples(t.n, 7u, false));
  t.run();
  std::string complex_text, two_text, one_text;
  for (uint32_t p = 0; p < t.n; ++p) {
    const double f = p * df, re = t.ws.signal[p].re, im = t.ws.signal[p].im;
    const double m = std::sqrt(re * re + im * im);
    complex_text += complex_line(f, re, im);
    two_text += magnitude_line(f, m);
    if (p < t.n / 2) one_text += magnitude_line(f, p == 0 ? m : 2 * m);
  }
  EXPECT_EQ(t.complex_lines().size(), 64u);
  EXPECT_EQ(t.two_sided_lines().size(), 64u);
  EXPECT_EQ(t.one_sided_lines().size(), 32u);
  EXPECT_EQ(t.complex_file(), complex_text);
  EXPECT_EQ(t.two_sided_file(), two_text);
  EXPECT_EQ(t.one_sided_file(), one_text);
  // The last line of each file, written out, as a check on the helper above.
  EXPECT_EQ(t.complex_lines()[63].substr(0, 16), "  2.331000e+001 ");
  EXPECT_EQ(t.one_sided_lines()[31].substr(0, 16), "  1.147000e+001 ");
  EXPECT_EQ(t.complex_lines()[63].size(), 48u);
  EXPECT_EQ(t.one_sided_lines()[31].size(), 32u);
}

// Against the transform in double precision of the same float samples (real and
// imaginary parts random), at sizes up to the largest.
//
// Error bound. With u = 2^-24, a stage multiplies the vector norm by sqrt(2)
// (each butterfly pair is sqrt(2) times a rotation) and adds, per butterfly:
// the twiddle error |w' - w| <= u (each part rounded), the rounding of the
// stored product T <= u|T|, both on |B|, and the rounding of A +- T <= u|A +- T|.
// Summed over the stage that is at most (2u + sqrt(2)u)|x| ~ 2.5u times the
// stage's output norm; later stages carry it like the signal. So, to first
// order, |error|_2 <= 2.5 log2(N) u |X|_2 over the whole spectrum (Higham,
// "Accuracy and Stability of Numerical Algorithms", 24.1, gives the same
// form). The division by N is exact. The test allows 3 log2(N) u; typical
// errors are far below (they add like a random walk), but a lost rounding
// digit anywhere, a twiddle of the wrong angle or a wrong sign goes far above.
TEST(Ctfourier, AccuracyAgainstDoublePrecision) {
  // First the double-precision reference itself: its fast form agrees with the
  // direct sum of the definition.
  {
    const double_transform d(512);
    const auto z = random_samples(512, 3u, true);
    const auto fast = d.fast(z), direct = d.direct(z);
    std::vector<cdouble> diff(512);
    for (uint32_t p = 0; p < 512; ++p) diff[p] = fast[p] - direct[p];
    EXPECT_LT(norm2(diff), 1e-13 * norm2(direct));
  }
  for (uint32_t stages : {1u, 2u, 5u, 10u, 14u, 18u}) {
    SCOPED_TRACE(stages);
    transform_run t(stages, 1.0, transform_run::discarded);
    const auto z = random_samples(t.n, 11u + stages, true);
    t.load(z);
    t.run();
    const double_transform d(t.n);
    const auto want = stages <= 10 ? d.direct(z) : d.fast(z);
    std::vector<cdouble> err(t.n);
    for (uint32_t p = 0; p < t.n; ++p) err[p] = t.line(p) - want[p];
    const double relative = norm2(err) / norm2(want);
    EXPECT_LE(relative, 3.0 * stages * kUnitRoundoff);
    EXPECT_EQ(t.line(0), cdouble(0, 0));
  }
}

// Bit for bit against rounding_reference on random complex samples: any change
// of a rounding (an expression evaluated in float, a product stored in double, a
// twiddle taken at another angle or special-cased, a fused multiply-add) shows
// as a differing bit. The transform does not read `scratch` before writing it,
// so the test fills it with other values first; on return it holds the last
// stage's table in its first N/2 entries and the rest is untouched.
TEST(Ctfourier, SameRoundingsAsAPlainLoop) {
  for (uint32_t stages : {1u, 2u, 3u, 6u, 12u, 18u}) {
    SCOPED_TRACE(stages);
    transform_run t(stages, 1.0, transform_run::discarded);
    const auto z = random_samples(t.n, 101u + stages, true);
    t.load(z);
    for (auto& e : t.ws.scratch) e = {-3.0f, 5.0f};
    t.run();

    std::vector<float> re(t.n), im(t.n);
    for (uint32_t m = 0; m < t.n; ++m) {
      re[m] = z[m].real();
      im[m] = z[m].imag();
    }
    rounding_reference(re, im, stages);
    uint32_t differing = 0, first = t.n;
    for (uint32_t p = 0; p < t.n; ++p) {
      if (std::memcmp(&t.ws.signal[p].re, &re[p], sizeof(float)) != 0 ||
          std::memcmp(&t.ws.signal[p].im, &im[p], sizeof(float)) != 0) {
        if (differing++ == 0) first = p;
      }
    }
    EXPECT_EQ(differing, 0u) << "first differing line " << first;

    const uint32_t table = stages >= 2 ? t.n / 2 : 0;
    uint32_t wrong_scratch = 0;
    for (uint32_t e = 0; e < qv::kScratchSize; ++e) {
      qv::complex_entry want{-3.0f, 5.0f};
      if (e < table) {
        const double theta = double(e) * kTpi / double(t.n);
        want = {float(std::cos(theta)), float(-std::sin(theta))};
      }
      if (std::memcmp(&t.ws.scratch[e], &want, sizeof want) != 0) ++wrong_scratch;
    }
    EXPECT_EQ(wrong_scratch, 0u);
  }
}

// Through the program: an input with a single record gives N = 1; the reorder
// line, the driver's line and the header follow each other, the complex and
// two-sided files hold one zero line and the one-sided file none.
TEST(Ctfourier, SingleRecordInputThroughTheProgram) {
  temp_dir dir;
  write_file(dir / "one.txt", "0.0 2.5\n");
  const run_result r = run_quorvid(dir.path(), "2 1\none.txt\none.txt\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("\n nm1= 0  md2=0  ns=1 \n call function ctfourier \n m= 1  nstages= 0 \n\n"),
            std::string::npos)
      << r.output;
  for (const char* pass : {"1", "2"}) {
    EXPECT_EQ(read_file(dir / (std::string("fft_") + pass + ".out")), "  0.000000e+000   0.000000e+000   0.000000e+000 \n");
    EXPECT_EQ(read_file(dir / (std::string("fft_half_") + pass + ".out")), "  0.000000e+000   0.000000e+000 \n");
    EXPECT_TRUE(file_exists(dir / (std::string("fft_full_") + pass + ".out")));
    EXPECT_EQ(read_file(dir / (std::string("fft_full_") + pass + ".out")), "");
  }
}

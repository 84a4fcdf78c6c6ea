// The whole run as a user meets it: the built quorvid started in a scratch
// folder, the replies on standard input, no terminal. Each test checks the
// console transcript and the output files against answers worked out without
// the program: a hand-computed 4-record pair (expected files in
// tests/data/four_records), tones whose spectra and statistics are known in
// closed form, and broken or mismatched inputs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

using namespace qv_test;

namespace {

const double kPi = std::atan2(0.0, -1.0);

// Every file a complete run writes in its working folder.
const std::vector<std::string> kPassFiles = {"fft_1.out",      "fft_half_1.out", "fft_full_1.out",
                                             "fft_2.out",      "fft_half_2.out", "fft_full_2.out"};
const std::vector<std::string> kTwoSided = {"complex_spectrum_sab.out", "complex_spectrum_sba.out",
                                            "complex_spectrum_saa.out", "complex_spectrum_sbb.out"};
const std::vector<std::string> kOneSided = {"complex_spectrum_gab.out", "complex_spectrum_gba.out",
                                            "complex_spectrum_gaa.out", "complex_spectrum_gbb.out"};
const std::vector<std::string> kResults = {"H1.out", "H2.out", "H1_mp.out", "H2_mp.out", "coherence.out"};

std::vector<std::string> all_output_files() {
  std::vector<std::string> all = kPassFiles;
  for (const auto* group : {&kTwoSided, &kOneSided, &kResults}) all.insert(all.end(), group->begin(), group->end());
  return all;
}

// The transcript after the banner's first three lines (the title, then the
// author and contact lines, whose wording is free; the contact line ends the
// banner with a line break). Fails the test when the title is missing.
std::string after_banner(const std::string& transcript) {
  const std::string title = "\n  quorvid - version 1.2, June 5, 2003 ";
  EXPECT_EQ(transcript.compare(0, title.size(), title), 0) << transcript.substr(0, 80);
  const size_t at = transcript.find(kDialogueAfterBanner);
  if (at == std::string::npos) return transcript;
  // Author and contact line: each begins with a line break and two blanks.
  const std::string lines = transcript.substr(title.size(), at - title.size());
  EXPECT_EQ(lines.compare(0, 3, "\n  "), 0) << lines;
  EXPECT_NE(lines.find("\n  ", 3), std::string::npos) << lines;
  EXPECT_TRUE(lines.ends_with("\n")) << lines;
  return transcript.substr(at);
}

std::string text(const char* fmt, long a, long b = 0, long c = 0) {
  char buf[256];
  std::snprintf(buf, sizeof buf, fmt, a, b, c);
  return buf;
}

// The prompt and the four report lines of a pass whose files all open.
std::string pass_opening(int pass, const std::string& input) {
  const std::string n = std::to_string(pass);
  return std::string(pass == 1 ? "\n\n Please enter the first input filename. (Force) \n"
                               : "\n\n Please enter the second input filename. (Response) \n") +
         " File: " + input + " opened. \n" + " File: fft_" + n + ".out opened. \n" + " File: fft_half_" + n +
         ".out opened. \n" + " File: fft_full_" + n + ".out opened. \n";
}

// The reorder line, the transform's announcement and its per-stage lines.
std::string transform_lines(long n_fft, long nstages, long n_read) {
  std::string s = text("\n nm1= %ld  md2=%ld  ns=%ld ", nstages, n_fft / 2, n_read);
  s += "\n call function ctfourier ";
  s += text("\n m= %ld  nstages= %ld \n\n", n_fft, nstages);
  for (long stage = 2; stage <= nstages; ++stage) s += text("\n i=%ld / %ld ", stage, nstages);
  return s;
}

std::string cross_lines(long limit) {
  return text("\n\n cross_s \n\n limit = %ld ", limit) + text("\n cross_g \n\n limit2 = %ld ", limit / 2) +
         text("\n h_functions \n limit2 = %ld ", limit / 2);
}

// A time history of `records` records, time n*dt and amplitude amplitude(n).
void write_history(const std::string& path, int records, double dt, const std::function<double(int)>& amplitude) {
  std::string s;
  char line[64];
  for (int n = 0; n < records; ++n) {
    std::snprintf(line, sizeof line, "%.9g %.9g\n", n * dt, amplitude(n));
    s += line;
  }
  write_file(path, s);
}

// Broadband samples in [-1, 1) from a fixed linear congruential sequence.
std::function<double(int)> noise(unsigned start) {
  auto values = std::make_shared<std::vector<double>>();
  unsigned state = start;
  for (int n = 0; n < 4096; ++n) {
    state = state * 1664525u + 1013904223u;
    values->push_back((state >> 8) / double(1 << 23) - 1);
  }
  return [values](int n) { return (*values)[n % values->size()]; };
}

// The tones of the typical run: period 8 samples (125 Hz at 1 kHz), so their
// means and moments are exact over 512 samples and over all 1,000 records alike.
// A dither of 1e-5 keeps every spectral line off exact zero (a pure tone's
// empty lines can come out exactly 0, and 0/0 in H2 is nan) while changing no
// printed statistic and no tone line beyond the tolerances below.
double force_tone(int n) {
  static const auto dither = noise(1);
  return 3 + 2 * std::cos(2 * kPi * n / 8) + 1e-5 * dither(n);
}
double response_tone(int n) {
  static const auto dither = noise(2);
  return 1 + 3 * std::cos(2 * kPi * n / 8 - kPi / 3) + 1e-5 * dither(n);
}

void expect_no_nan_or_inf(const std::string& dir) {
  for (const auto& name : all_output_files()) {
    if (!file_exists(dir + "/" + name)) continue;
    std::string content = read_file(dir + "/" + name);
    for (char& ch : content) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_EQ(content.find("nan"), std::string::npos) << name;
    EXPECT_EQ(content.find("inf"), std::string::npos) << name;
  }
}

// Digits from `at`; returns how many.
size_t digits_at(const std::string& s, size_t at) {
  size_t n = 0;
  while (at + n < s.size() && std::isdigit(static_cast<unsigned char>(s[at + n]))) ++n;
  return n;
}

// A number as "%15.6e" writes it, blanks before: -?d.dddddde[+-]ddd.
bool is_e_field(const std::string& field) {
  size_t p = field.find_first_not_of(' ');
  if (p == std::string::npos) return false;
  if (field[p] == '-') ++p;
  if (digits_at(field, p) != 1 || field.compare(p + 1, 1, ".") != 0 || digits_at(field, p + 2) != 6) return false;
  p += 8;
  return field.size() == p + 5 && field[p] == 'e' && (field[p + 1] == '+' || field[p + 1] == '-') &&
         digits_at(field, p + 2) == 3;
}

// A number as "%12.4g" or "%12.5g" writes it, blanks before: -?d+(.d+)?, then
// e[+-]ddd if in exponent form.
bool is_g_field(const std::string& field) {
  size_t p = field.find_first_not_of(' ');
  if (p == std::string::npos) return false;
  if (field[p] == '-') ++p;
  size_t n = digits_at(field, p);
  if (n == 0) return false;
  p += n;
  if (p < field.size() && field[p] == '.') {
    n = digits_at(field, p + 1);
    if (n == 0) return false;
    p += 1 + n;
  }
  if (p == field.size()) return true;
  return field.size() == p + 5 && field[p] == 'e' && (field[p + 1] == '+' || field[p + 1] == '-') &&
         digits_at(field, p + 2) == 3;
}

// Every line of a file is `columns` fields of the writer's width ("%15.6e"
// fields, or "%12.Ng" ones), each followed by one blank, exponents with three
// digits.
void expect_line_format(const std::string& path, int columns, bool exponent_form) {
  const size_t width = exponent_form ? 15 : 12;
  for (const auto& line : read_lines(path)) {
    ASSERT_EQ(line.size(), columns * (width + 1)) << path << ": [" << line << "]";
    for (int c = 0; c < columns; ++c) {
      const std::string field = line.substr(c * (width + 1), width);
      ASSERT_TRUE(exponent_form ? is_e_field(field) : is_g_field(field)) << path << ": [" << line << "]";
      ASSERT_EQ(line[c * (width + 1) + width], ' ') << path << ": [" << line << "]";
    }
  }
}

// Field `column` of every line of a file.
std::vector<double> column(const std::string& path, int col) {
  std::vector<double> v;
  for (const auto& line : read_lines(path)) v.push_back(fields(line).at(col));
  return v;
}

struct run_in_folder {
  temp_dir dir;
  run_result run;
  std::string file(const std::string& name) const { return dir / name; }
};

}  // namespace

// A 4-record pair whose spectra are worked out by hand (see
// tests/data/four_records/README.md): every output file byte for byte, and
// the whole console transcript.
TEST(EndToEnd, FourRecordPairMatchesTheHandComputedFilesAndTranscript) {
  run_in_folder r;
  write_file(r.file("force.txt"), "0 1\n0.25 2\n0.5 3\n0.75 4\n");
  write_file(r.file("response.txt"), "0 4\n0.25 2\n0.5 0\n0.75 6\n");
  r.run = run_quorvid(r.dir.path(), "2\n1\nforce.txt\nresponse.txt\n");
  ASSERT_EQ(r.run.status, 0) << r.run.output;

  const std::string expected_dir = std::string(QUORVID_SOURCE_DIR) + "/tests/data/four_records/";
  for (const auto& name : all_output_files()) {
    ASSERT_TRUE(file_exists(expected_dir + name)) << name;
    EXPECT_EQ(read_file(r.file(name)), read_file(expected_dir + name)) << name;
  }

  const std::string expected =
      kDialogueAfterBanner + pass_opening(1, "force.txt") +
      "\n\n reading time history "
      "\n\n  4 samples will be used for FFT\n"
      "\n samples= 4 "
      "\n dt =       0.25 sec  sr= 4.000000e+000 samples/sec"
      "\n\n time span=            0 sec to         0.75 sec"
      "\n\n  ave=       2.5 G    std dev =     1.118 G   rms=     2.739 G"
      "\n kurtosis=     56.64"
      "\n"
      "\n delta f=          1.333 " +
      transform_lines(4, 2, 4) + pass_opening(2, "response.txt") +
      "\n\n reading time history "
      "\n\n  4 samples will be used for FFT\n"
      "\n samples= 4 "
      "\n dt =       0.25 sec  sr= 4.000000e+000 samples/sec"
      "\n\n time span=            0 sec to         0.75 sec"
      "\n\n  ave=         3 G    std dev =     2.236 G   rms=     3.742 G"
      "\n kurtosis=     15.68"
      "\n"
      "\n delta f=          1.333 " +
      transform_lines(4, 2, 4) + cross_lines(4) + kClosingSummary;
  EXPECT_EQ(after_banner(r.run.output), expected);
}

// The typical run: answers 1 (mean removal) and 2 (Hanning), 1,000 records
// every 0.001 s. The force is 3 + 2 cos(2 pi n / 8), the response
// 1 + 3 cos(2 pi n / 8 - 60 deg): with the mean removed and the periodic
// Hanning window w = s sin^2(pi n / 512) = s/2 (1 - cos(2 pi n / 512)),
// s = sqrt(8/3), a cosine A cos(2 pi 64 n / 512 + phi) has X[64] = s A / 4
// e^(i phi), X[63] = X[65] = -s A / 8 e^(i phi), X[448..450] their conjugates,
// and nothing else; so H1 = 1.5 e^(-i 60 deg) on lines 63 to 65.
TEST(EndToEnd, TypicalRunWritesEveryFileAndTheTranscriptInOrder) {
  run_in_folder r;
  write_history(r.file("force.txt"), 1000, 0.001, force_tone);
  write_history(r.file("response.txt"), 1000, 0.001, response_tone);
  r.run = run_quorvid(r.dir.path(), "1\n2\nforce.txt\nresponse.txt\n");
  ASSERT_EQ(r.run.status, 0) << r.run.output;

  // Statistics by hand: for a + b cos with the moments of a whole number of
  // periods, ave = a, sd = b / sqrt 2, rms = sqrt(a^2 + b^2 / 2) and
  // kurtosis = (a^4 + 3 a^2 b^2 + 3 b^4 / 8) / sd^4: 195 / 4 = 48.75 for the
  // force, 58.375 / 20.25 = 2.883 for the response.
  const std::string time_base =
      "\n\n  512 samples will be used for FFT\n"
      "\n samples= 512 "
      "\n dt =      0.001 sec  sr= 1.000000e+003 samples/sec"
      "\n\n time span=            0 sec to        0.511 sec";
  const std::string expected =
      kDialogueAfterBanner + pass_opening(1, "force.txt") + "\n\n reading time history " + time_base +
      "\n\n  ave=         3 G    std dev =     1.414 G   rms=     3.317 G"
      "\n kurtosis=     48.75"
      "\n"
      "\n delta f=          1.957 "
      "\n mean removal"
      "\n Hanning window " +
      transform_lines(512, 9, 512) + pass_opening(2, "response.txt") + "\n\n reading time history " + time_base +
      "\n\n  ave=         1 G    std dev =     2.121 G   rms=     2.345 G"
      "\n kurtosis=     2.883"
      "\n"
      "\n delta f=          1.957 "
      "\n mean removal"
      "\n Hanning window " +
      transform_lines(512, 9, 512) + cross_lines(512) + kClosingSummary;
  EXPECT_EQ(after_banner(r.run.output), expected);

  // Line counts and line forms of every file.
  for (const char* pass : {"1", "2"}) {
    const std::string n = pass;
    EXPECT_EQ(count_lines(r.file("fft_" + n + ".out")), 512u);
    EXPECT_EQ(count_lines(r.file("fft_half_" + n + ".out")), 512u);
    EXPECT_EQ(count_lines(r.file("fft_full_" + n + ".out")), 256u);
    expect_line_format(r.file("fft_" + n + ".out"), 3, true);
    expect_line_format(r.file("fft_half_" + n + ".out"), 2, true);
    expect_line_format(r.file("fft_full_" + n + ".out"), 2, true);
  }
  for (const auto& name : kTwoSided) {
    EXPECT_EQ(count_lines(r.file(name)), 512u) << name;
    expect_line_format(r.file(name), 3, false);
  }
  for (const auto& name : kOneSided) {
    EXPECT_EQ(count_lines(r.file(name)), 256u) << name;
    expect_line_format(r.file(name), 3, false);
  }
  for (const auto& name : kResults) {
    EXPECT_EQ(count_lines(r.file(name)), 256u) << name;
    expect_line_format(r.file(name), name == "coherence.out" ? 2 : 3, false);
  }
  expect_no_nan_or_inf(r.dir.path());

  // Line p carries p * df, df = 1 / 0.511 s.
  const std::vector<double> freq = column(r.file("fft_1.out"), 0);
  for (size_t p = 0; p < freq.size(); ++p) EXPECT_NEAR(freq[p], p / 0.511, 5e-7 * (p / 0.511)) << p;

  // The spectra hold the tone and nothing else.
  const double s = std::sqrt(8.0 / 3.0);
  struct tone {
    std::string pass;
    double amplitude, phase;
  };
  for (const tone& t : {tone{"1", 2, 0}, tone{"2", 3, -kPi / 3}}) {
    const auto lines = read_lines(r.file("fft_" + t.pass + ".out"));
    for (size_t p = 0; p < lines.size(); ++p) {
      const std::vector<double> v = fields(lines[p]);
      double gain = 0, sign = 1;  // X[p] = gain * A * e^(i sign phi)
      if (p == 64 || p == 448) gain = s / 4;
      if (p == 63 || p == 65 || p == 447 || p == 449) gain = -s / 8;
      if (p > 256) sign = -1;
      EXPECT_NEAR(v[1], gain * t.amplitude * std::cos(sign * t.phase), 3e-6) << "fft_" << t.pass << " " << p;
      EXPECT_NEAR(v[2], gain * t.amplitude * std::sin(sign * t.phase), 3e-6) << "fft_" << t.pass << " " << p;
    }
    const std::vector<double> full = column(r.file("fft_full_" + t.pass + ".out"), 1);
    EXPECT_NEAR(full[64], s * t.amplitude / 2, 3e-6);
    EXPECT_NEAR(full[63], s * t.amplitude / 4, 3e-6);
    const std::vector<double> half = column(r.file("fft_half_" + t.pass + ".out"), 1);
    EXPECT_NEAR(half[64], s * t.amplitude / 4, 3e-6);
    EXPECT_NEAR(half[448], s * t.amplitude / 4, 3e-6);
  }

  // The one-sided files double the lower half of the two-sided ones.
  for (int k = 0; k < 4; ++k) {
    const auto two = read_lines(r.file(kTwoSided[k])), one = read_lines(r.file(kOneSided[k]));
    for (size_t p = 0; p < one.size(); ++p) {
      const std::vector<double> a = fields(two[p]), b = fields(one[p]);
      EXPECT_EQ(b[0], a[0]);
      EXPECT_NEAR(b[1], 2 * a[1], 5e-4 * std::fabs(2 * a[1]));
      EXPECT_NEAR(b[2], 2 * a[2], 5e-4 * std::fabs(2 * a[2]));
    }
  }

  // The transfer function and the coherence where the tone is.
  const auto h1 = read_lines(r.file("H1.out")), h1_mp = read_lines(r.file("H1_mp.out"));
  const auto h2_mp = read_lines(r.file("H2_mp.out")), coherence = read_lines(r.file("coherence.out"));
  for (size_t p : {63u, 64u, 65u}) {
    EXPECT_NEAR(fields(h1_mp[p])[0], p / 0.511, 0.05) << p;
    EXPECT_NEAR(fields(h1[p])[1], 0.75, 2e-3) << p;
    EXPECT_NEAR(fields(h1[p])[2], -1.299, 2e-3) << p;
    EXPECT_NEAR(fields(h1_mp[p])[1], 1.5, 3e-3) << p;
    EXPECT_NEAR(fields(h1_mp[p])[2], -60, 0.2) << p;
    EXPECT_NEAR(fields(h2_mp[p])[1], 1.5, 3e-3) << p;
    EXPECT_NEAR(fields(h2_mp[p])[2], -60, 0.2) << p;
    EXPECT_NEAR(fields(coherence[p])[1], 1, 5e-3) << p;
  }
  for (const auto& name : kResults) {
    for (double v : fields(read_lines(r.file(name))[0])) EXPECT_EQ(v, 0) << name << " line 0";
  }
}

// The same file as force and as response: the cross spectra equal the auto
// spectra, so on every line after the first H1 = H2 = 1 + 0i, both
// magnitudes are 1, both phases 0 and the coherence 1, with no message.
TEST(EndToEnd, SameFileAsForceAndResponseGivesUnitTransferAndCoherence) {
  run_in_folder r;
  write_history(r.file("both.txt"), 1000, 0.001, noise(7));
  r.run = run_quorvid(r.dir.path(), "1\n2\nboth.txt\nboth.txt\n");
  ASSERT_EQ(r.run.status, 0) << r.run.output;
  EXPECT_EQ(r.run.output.find("Coherence error"), std::string::npos);
  EXPECT_EQ(r.run.output.find("synch"), std::string::npos);
  EXPECT_EQ(read_file(r.file("fft_1.out")), read_file(r.file("fft_2.out")));

  const auto sab = read_lines(r.file("complex_spectrum_sab.out")), sba = read_lines(r.file("complex_spectrum_sba.out"));
  const auto saa = read_lines(r.file("complex_spectrum_saa.out")), sbb = read_lines(r.file("complex_spectrum_sbb.out"));
  ASSERT_EQ(sab.size(), 512u);
  for (size_t p = 0; p < sab.size(); ++p) {
    EXPECT_EQ(sab[p], saa[p]) << p;
    EXPECT_EQ(sba[p], saa[p]) << p;
    EXPECT_EQ(sbb[p], saa[p]) << p;
  }

  const std::vector<std::pair<std::string, std::string>> unit_tail = {
      {"H1.out", "            1            0 "},
      {"H2.out", "            1            0 "},
      {"H1_mp.out", "            1            0 "},
      {"H2_mp.out", "            1            0 "},
      {"coherence.out", "            1 "}};
  for (const auto& [name, tail] : unit_tail) {
    const auto lines = read_lines(r.file(name));
    ASSERT_EQ(lines.size(), 256u) << name;
    for (size_t p = 1; p < lines.size(); ++p) {
      ASSERT_GE(lines[p].size(), tail.size());
      EXPECT_EQ(lines[p].substr(lines[p].size() - tail.size()), tail) << name << " line " << p;
    }
  }
  expect_no_nan_or_inf(r.dir.path());
}

// A response sampled at 0.002 s against a force at 0.001 s: line 1 is 1.957 Hz
// in one file and 0.978 Hz in the other. The mismatch is reported once, only
// the 0 Hz line is kept, and the run still ends with the full summary.
TEST(EndToEnd, FrequencyMismatchKeepsOnlyTheZeroLine) {
  run_in_folder r;
  write_history(r.file("force.txt"), 1000, 0.001, force_tone);
  write_history(r.file("response.txt"), 1000, 0.002, response_tone);
  r.run = run_quorvid(r.dir.path(), "1\n2\nforce.txt\nresponse.txt\n");
  EXPECT_EQ(r.run.status, 0);

  const std::string tail =
      "\n\n cross_s \n"
      "\n\n Frequency synch error. \n\n"
      "\n limit = 1 "
      "\n cross_g \n"
      "\n limit2 = 0 "
      "\n h_functions "
      "\n limit2 = 0 " +
      kClosingSummary;
  ASSERT_GE(r.run.output.size(), tail.size());
  EXPECT_EQ(r.run.output.substr(r.run.output.size() - tail.size()), tail);

  for (const auto& name : kTwoSided) {
    EXPECT_EQ(read_file(r.file(name)), "           0            0            0 \n") << name;
  }
  for (const auto* group : {&kOneSided, &kResults}) {
    for (const auto& name : *group) {
      EXPECT_TRUE(file_exists(r.file(name))) << name;
      EXPECT_EQ(read_file(r.file(name)), "") << name;
    }
  }
}

// Inputs of different lengths. Records beyond the largest power of two are
// not used, so 1,000 and 600 records give the same 512-line transform; a
// 256-record response over the same 0.511 s span has the same frequency step
// and the cross stages stop at its end without a message; a 300-record
// response at the same time step has a step twice as coarse and mismatches.
TEST(EndToEnd, InputsOfDifferentLength) {
  struct row {
    int response_records;
    double response_dt;
    size_t response_lines;
    long limit;
    bool mismatch;
  };
  for (const row& c : {row{600, 0.001, 512, 512, false}, row{256, 0.511 / 255, 256, 256, false},
                       row{300, 0.001, 256, 1, true}}) {
    SCOPED_TRACE(c.response_records);
    run_in_folder r;
    write_history(r.file("force.txt"), 1000, 0.001, noise(3));
    write_history(r.file("response.txt"), c.response_records, c.response_dt, noise(11));
    r.run = run_quorvid(r.dir.path(), "1\n2\nforce.txt\nresponse.txt\n");
    EXPECT_EQ(r.run.status, 0);
    EXPECT_EQ(count_lines(r.file("fft_1.out")), 512u);
    EXPECT_EQ(count_lines(r.file("fft_2.out")), c.response_lines);
    EXPECT_EQ(count_lines(r.file("fft_full_2.out")), c.response_lines / 2);
    EXPECT_EQ(r.run.output.find("Frequency synch error") != std::string::npos, c.mismatch);
    EXPECT_NE(r.run.output.find(text("\n limit = %ld \n cross_g \n\n limit2 = %ld ", c.limit, c.limit / 2)),
              std::string::npos);
    for (const auto& name : kTwoSided) EXPECT_EQ(count_lines(r.file(name)), size_t(c.limit)) << name;
    for (const auto& name : kOneSided) EXPECT_EQ(count_lines(r.file(name)), size_t(c.limit / 2)) << name;
    for (const auto& name : kResults) EXPECT_EQ(count_lines(r.file(name)), size_t(c.limit / 2)) << name;
    EXPECT_TRUE(r.run.output.ends_with(kClosingSummary));
  }
}

// All four replies typed on one line give the same run as one reply a line.
TEST(EndToEnd, AllRepliesOnOneLineGiveTheSameRun) {
  run_in_folder a, b;
  for (run_in_folder* r : {&a, &b}) {
    write_history(r->file("force.txt"), 1000, 0.001, noise(5));
    write_history(r->file("response.txt"), 1000, 0.001, response_tone);
  }
  a.run = run_quorvid(a.dir.path(), "1\n2\nforce.txt\nresponse.txt\n");
  b.run = run_quorvid(b.dir.path(), "1 2 force.txt response.txt\n");
  ASSERT_EQ(a.run.status, 0);
  EXPECT_EQ(b.run.status, 0);
  EXPECT_EQ(b.run.output, a.run.output);
  EXPECT_NE(b.run.output.find("\n mean removal\n Hanning window "), std::string::npos);
  for (const auto& name : all_output_files()) {
    EXPECT_EQ(read_file(b.file(name)), read_file(a.file(name))) << name;
  }
}

// An input that cannot be opened: the four report lines of its pass, then the
// error, and nothing after it; exit status 1. The pass's spectrum files are
// still created, and nothing of the cross stages is written.
TEST(EndToEnd, MissingInputStopsTheRunAfterTheReport) {
  struct row {
    int pass;
    const char* replies;
  };
  for (const row& c : {row{1, "1\n2\nnothere.txt\nresponse.txt\n"}, row{2, "1\n2\nforce.txt\nnothere.txt\n"}}) {
    SCOPED_TRACE(c.pass);
    run_in_folder r;
    write_history(r.file("force.txt"), 1000, 0.001, force_tone);
    write_history(r.file("response.txt"), 1000, 0.001, response_tone);
    r.run = run_quorvid(r.dir.path(), c.replies);
    EXPECT_EQ(r.run.status, 1);
    const std::string n = std::to_string(c.pass);
    const std::string tail =
        std::string(c.pass == 1 ? "\n\n Please enter the first input filename. (Force) \n"
                                : "\n\n Please enter the second input filename. (Response) \n") +
        " Failed to open file: nothere.txt \n" + " File: fft_" + n + ".out opened. \n" + " File: fft_half_" + n +
        ".out opened. \n" + " File: fft_full_" + n + ".out opened. \n" +
        "\n Error: cannot open file nothere.txt: No such file or directory \n";
    ASSERT_GE(r.run.output.size(), tail.size());
    EXPECT_EQ(r.run.output.substr(r.run.output.size() - tail.size()), tail);
    for (const char* stem : {"fft_", "fft_half_", "fft_full_"}) {
      EXPECT_TRUE(file_exists(r.file(stem + n + ".out"))) << stem;
      EXPECT_EQ(read_file(r.file(stem + n + ".out")), "") << stem;
    }
    if (c.pass == 2) {
      EXPECT_EQ(count_lines(r.file("fft_1.out")), 512u);
    }
    for (const auto* group : {&kTwoSided, &kOneSided, &kResults}) {
      for (const auto& name : *group) EXPECT_FALSE(file_exists(r.file(name))) << name;
    }
  }
}

// Inputs too short for a time step: the reader says so and the run goes on to
// the full summary, with no nan or inf in any file.
TEST(EndToEnd, ShortInputIsReportedAndTheRunGoesOn) {
  struct row {
    const char* what;
    bool response;  // which input is the short one
    std::string content;
    std::string report;
  };
  const std::string no_record = "\n\n reading time history \n fscanf error \n\n  1 samples will be used for FFT\n\n  dt error ";
  const std::string one_record = "\n\n reading time history \n\n  1 samples will be used for FFT\n\n  dt error ";
  for (const row& c : {row{"empty response", true, "", no_record}, row{"empty force", false, "", no_record},
                       row{"response with a header line", true, "time amplitude\n0 1\n0.001 2\n", no_record},
                       row{"one-record response", true, "0 1\n", one_record}}) {
    SCOPED_TRACE(c.what);
    run_in_folder r;
    write_history(r.file("full.txt"), 1000, 0.001, noise(9));
    write_file(r.file("short.txt"), c.content);
    r.run = run_quorvid(r.dir.path(), c.response ? "1\n2\nfull.txt\nshort.txt\n" : "1\n2\nshort.txt\nfull.txt\n");
    EXPECT_EQ(r.run.status, 0);
    const std::string opening = pass_opening(c.response ? 2 : 1, "short.txt");
    const size_t short_pass = r.run.output.find(opening);
    ASSERT_NE(short_pass, std::string::npos) << r.run.output;
    EXPECT_EQ(r.run.output.find(c.report, short_pass), short_pass + opening.size());
    // No statistics for the short input.
    const size_t pass_end = r.run.output.find(c.response ? "\n\n cross_s \n" : "\n\n Please enter the second");
    ASSERT_NE(pass_end, std::string::npos);
    EXPECT_EQ(r.run.output.substr(short_pass, pass_end - short_pass).find("samples= "), std::string::npos);
    EXPECT_NE(r.run.output.find("\n\n cross_s \n"), std::string::npos);
    EXPECT_TRUE(r.run.output.ends_with(kClosingSummary));
    for (const auto& name : all_output_files()) EXPECT_TRUE(file_exists(r.file(name))) << name;
    expect_no_nan_or_inf(r.dir.path());
  }
}

// A run in a folder that holds the longer files of an earlier run: outputs are
// written over the old files, so each must end where the new text ends. Every
// file equals that of the same run in an empty folder, the empty ones of a
// frequency mismatch included.
TEST(EndToEnd, RunOverAnEarlierLongerRunLeavesNoOldText) {
  struct row {
    const char* what;
    int response_records;
    double response_dt;
  };
  for (const row& c : {row{"shorter inputs", 300, 0.001}, row{"frequency mismatch", 300, 0.002}}) {
    SCOPED_TRACE(c.what);
    run_in_folder again, fresh;
    write_history(again.file("force.txt"), 1000, 0.001, noise(3));
    write_history(again.file("response.txt"), 1000, 0.001, noise(11));
    ASSERT_EQ(run_quorvid(again.dir.path(), "1\n2\nforce.txt\nresponse.txt\n").status, 0);
    ASSERT_EQ(count_lines(again.file("H1.out")), 256u);

    for (run_in_folder* r : {&again, &fresh}) {
      write_history(r->file("force.txt"), 300, 0.001, noise(5));
      write_history(r->file("response.txt"), c.response_records, c.response_dt, noise(7));
      r->run = run_quorvid(r->dir.path(), "1\n2\nforce.txt\nresponse.txt\n");
      ASSERT_EQ(r->run.status, 0);
    }
    for (const auto& name : all_output_files()) {
      EXPECT_EQ(read_file(again.file(name)), read_file(fresh.file(name))) << name;
    }
  }
}

// A failed run cuts the outputs it opened, as an open that empties them would:
// no text of an earlier run is left in them.
TEST(EndToEnd, FailedRunLeavesItsOpenedOutputsEmpty) {
  run_in_folder r;
  for (const char* name : {"fft_1.out", "fft_half_1.out", "fft_full_1.out", "H1.out"}) {
    write_file(r.file(name), "old text of an earlier run\n");
  }
  r.run = run_quorvid(r.dir.path(), "1\n2\nnothere.txt\nresponse.txt\n");
  EXPECT_EQ(r.run.status, 1);
  for (const char* name : {"fft_1.out", "fft_half_1.out", "fft_full_1.out"}) {
    EXPECT_EQ(read_file(r.file(name)), "") << name;
  }
  EXPECT_EQ(read_file(r.file("H1.out")), "old text of an earlier run\n");  // never opened
}

// A run ended by a signal while its outputs are open: the force input is a
// pipe that delivers nothing, so the program waits in its first read with the
// pass's three spectrum files open. SIGINT, SIGTERM and SIGHUP end it by that
// signal, and the open outputs hold no text of the earlier run.
TEST(EndToEnd, SignalDuringTheRunCutsTheOpenOutputs) {
  const std::vector<std::string> outputs = {"fft_1.out", "fft_half_1.out", "fft_full_1.out"};
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    run_in_folder r;
    for (const auto& name : outputs) write_file(r.file(name), std::string(5000, 'x') + "\n");
    ASSERT_EQ(mkfifo(r.file("force.pipe").c_str(), 0600), 0);
    write_file(r.file("replies"), "1\n2\nforce.pipe\nresponse.txt\n");

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      setsid();
      signal(sig, SIG_DFL);  // as a shell starts it, even where this test runs with the signal ignored
      int in = open(r.file("replies").c_str(), O_RDONLY);
      int out = open("/dev/null", O_WRONLY);
      if (in < 0 || out < 0 || chdir(r.dir.path().c_str()) != 0) _exit(125);
      dup2(in, 0);
      dup2(out, 1);
      execl(QUORVID_BINARY, "quorvid", static_cast<char*>(nullptr));
      _exit(126);
    }
    // Opening the pipe's writing end waits for the program to open the input;
    // then wait until it holds the last spectrum file too.
    const int pipe_end = open(r.file("force.pipe").c_str(), O_WRONLY);
    ASSERT_GE(pipe_end, 0);
    auto holds = [&](const std::string& path) {
      const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
      for (int fd = 3; fd < 16; ++fd) {
        char target[512];
        const ssize_t n = readlink((fds + "/" + std::to_string(fd)).c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, size_t(n)) == path) return true;
      }
      return false;
    };
    for (int tries = 0; tries < 1000 && !holds(r.file("fft_full_1.out")); ++tries) usleep(10000);
    EXPECT_TRUE(holds(r.file("fft_full_1.out")));
    kill(pid, sig);
    int wstatus = 0;
    pid_t ended = 0;
    for (int tries = 0; tries < 1000 && (ended = waitpid(pid, &wstatus, WNOHANG)) == 0; ++tries) usleep(10000);
    if (ended != pid) {
      ADD_FAILURE() << "the program outlived the signal";
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
    }
    close(pipe_end);
    ASSERT_TRUE(WIFSIGNALED(wstatus));
    EXPECT_EQ(WTERMSIG(wstatus), sig);
    for (const auto& name : outputs) EXPECT_EQ(read_file(r.file(name)), "") << name;
  }
}

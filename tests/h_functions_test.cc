// Tests of h_functions, the transfer functions H1 = G_ab / G_aa and
// H2 = G_bb / G_ba and the coherence Re(H1 / H2). Each test writes the four
// one-sided files by hand, sets `limit2` as cross_g would leave it and runs the
// stage in-process; the last test runs the three cross stages as a chain on one
// spectrum given as force and as response. Expected lines are worked out by hand.
#include "cross/h_functions.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cross/cross_g.h"
#include "cross/cross_s.h"
#include "test_support.h"

using namespace qv_test;

namespace {

const char* const kResults[] = {"H1.out", "H2.out", "H1_mp.out", "H2_mp.out", "coherence.out"};
const char* const kOneSided[] = {"complex_spectrum_gab.out", "complex_spectrum_gba.out",
                                 "complex_spectrum_gaa.out", "complex_spectrum_gbb.out"};

struct stage_result {
  std::string transcript;
  bool failed = false;
  bool slots_closed = false;
};

// Runs h_functions in dir with `limit2` as cross_g would have left it.
stage_result run_h_functions(const temp_dir& dir, int32_t limit2) {
  cwd_guard cwd(dir.path());
  stage_env env;
  env.ws.limit2 = limit2;
  qv::h_functions(env.ws, env.con);
  return {env.transcript, env.ws.failed, all_slots_closed(env.ws)};
}

std::string announced(int limit2) { return "\n h_functions \n limit2 = " + std::to_string(limit2) + " "; }

constexpr const char* kCoherenceError = "\n Coherence error \n";

// One line of the four one-sided files: the frequency and the real and
// imaginary texts of G_ab, G_ba, G_aa, G_bb.
struct spectra_line {
  const char* freq;
  const char *gab_re, *gab_im, *gba_re, *gba_im, *gaa_re, *gaa_im, *gbb_re, *gbb_im;
};

void write_sources(const temp_dir& dir, const std::vector<spectra_line>& lines) {
  std::string gab, gba, gaa, gbb;
  for (const spectra_line& l : lines) {
    gab += row(l.freq, l.gab_re, l.gab_im);
    gba += row(l.freq, l.gba_re, l.gba_im);
    gaa += row(l.freq, l.gaa_re, l.gaa_im);
    gbb += row(l.freq, l.gbb_re, l.gbb_im);
  }
  write_file(dir / "complex_spectrum_gab.out", gab);
  write_file(dir / "complex_spectrum_gba.out", gba);
  write_file(dir / "complex_spectrum_gaa.out", gaa);
  write_file(dir / "complex_spectrum_gbb.out", gbb);
}

}  // namespace

// Known quotients line by line: the 0 Hz line all zeros, H1 = -1 at 180
// degrees, -i at -90, general values, and the zero denominators of lines after
// the first, which give the IEEE quotients (written nan, inf, -inf) and no
// coherence message; the lines after them are computed as usual.
TEST(HFunctions, TransferFunctionsAndCoherenceOfKnownSpectra) {
  struct known_line {
    spectra_line in;
    const char *h1_re, *h1_im, *h2_re, *h2_im, *h1_mag, *h1_phase, *h2_mag, *h2_phase, *coherence;
  };
  const std::vector<known_line> lines = {
      // {freq, G_ab, G_ba, G_aa, G_bb}, H1, H2, |H1|, phase of H1, |H2|, phase of H2, coherence
      {{"0", "0", "0", "0", "0", "0", "0", "0", "0"}, "0", "0", "0", "0", "0", "0", "0", "0", "0"},
      // (2+2i)/2 = 1+i; 8/(2-2i) = 2+2i; (1+i)/(2+2i) = 0.5
      {{"1", "2", "2", "2", "-2", "2", "0", "8", "0"}, "1", "1", "2", "2", "1.414", "45", "2.828", "45", "0.5"},
      // -1/1 and -1/1
      {{"2", "-1", "0", "1", "0", "1", "0", "-1", "0"}, "-1", "0", "-1", "0", "1", "180", "1", "180", "1"},
      // -i/1 and -i/1
      {{"3", "0", "-1", "1", "0", "1", "0", "0", "-1"}, "0", "-1", "0", "-1", "1", "-90", "1", "-90", "1"},
      // (3+4i)/5 = 0.6+0.8i at 53.13 degrees; 10/(3-4i) = 1.2+1.6i; ratio 0.5
      {{"12350", "3", "4", "3", "-4", "5", "0", "10", "0"}, "0.6", "0.8", "1.2", "1.6", "1", "53.13", "2", "53.13",
       "0.5"},
      // G_aa = 0: H1 = 0/0
      {{"5", "1", "0", "1", "0", "0", "0", "1", "0"}, "nan", "nan", "1", "0", "nan", "nan", "1", "0", "nan"},
      // G_bb = 0: H2 = 0, so the coherence is 0/0
      {{"6", "1", "0", "1", "0", "1", "0", "0", "0"}, "1", "0", "0", "0", "1", "0", "0", "0", "nan"},
      // |G_aa|^2 and |G_ba|^2 underflow to 0: -1e-200/0 = -inf, 1e-200/0 = inf
      {{"7", "-1", "0", "1e-200", "0", "1e-200", "0", "1", "0"}, "-inf", "nan", "inf", "nan", "nan", "nan", "nan",
       "nan", "nan"},
      // 2/(1-i) = 1+i
      {{"1.5e+005", "1", "1", "1", "-1", "1", "0", "2", "0"}, "1", "1", "1", "1", "1.414", "45", "1.414", "45", "1"},
  };
  temp_dir dir;
  std::vector<spectra_line> sources;
  for (const known_line& l : lines) sources.push_back(l.in);
  write_sources(dir, sources);
  stage_result r = run_h_functions(dir, int32_t(lines.size()));

  EXPECT_EQ(r.transcript, announced(int(lines.size())));
  EXPECT_FALSE(r.failed);
  EXPECT_TRUE(r.slots_closed);
  std::string h1, h2, h1_mp, h2_mp, coherence;
  for (const known_line& k : lines) {
    const char* freq = k.in.freq;
    h1 += row(freq, k.h1_re, k.h1_im);
    h2 += row(freq, k.h2_re, k.h2_im);
    h1_mp += row(freq, k.h1_mag, k.h1_phase);
    h2_mp += row(freq, k.h2_mag, k.h2_phase);
    coherence += row(freq, k.coherence);
  }
  EXPECT_EQ(read_file(dir / "H1.out"), h1);
  EXPECT_EQ(read_file(dir / "H2.out"), h2);
  EXPECT_EQ(read_file(dir / "H1_mp.out"), h1_mp);
  EXPECT_EQ(read_file(dir / "H2_mp.out"), h2_mp);
  EXPECT_EQ(read_file(dir / "coherence.out"), coherence);
  EXPECT_EQ(read_lines(dir / "H1_mp.out").at(2), "           2            1          180 ");
  EXPECT_EQ(read_lines(dir / "coherence.out").at(7), "           7          nan ");
}

// The coherence test |c_im| > 0.0001 is strict: with H2 = 1, c_im is the
// imaginary part of G_ab read from the file (0.0001 reads as the same double as
// the threshold). A failing line prints the message once, before the clean line
// after it, and its coherence is written all the same.
TEST(HFunctions, CoherenceMessageOnlyBeyondTheThreshold) {
  struct threshold_case {
    const char* gab_im;
    bool message;
  } cases[] = {{"0.0001", false}, {"-0.0001", false}, {"9.999e-005", false},
               {"0.0001001", true}, {"-0.0001001", true}, {"0.5", true}};
  for (const threshold_case& c : cases) {
    SCOPED_TRACE(c.gab_im);
    temp_dir dir;
    write_sources(dir, {{"0", "0", "0", "0", "0", "0", "0", "0", "0"},
                        {"1", "1", c.gab_im, "1", "0", "1", "0", "1", "0"},
                        {"2", "1", "0", "1", "0", "1", "0", "1", "0"}});
    stage_result r = run_h_functions(dir, 3);

    EXPECT_EQ(r.transcript, announced(3) + (c.message ? kCoherenceError : ""));
    EXPECT_EQ(read_file(dir / "coherence.out"), row("0", "0") + row("1", "1") + row("2", "1"));
    EXPECT_EQ(read_lines(dir / "H1.out").at(1) + "\n", row("1", "1", c.gab_im));
  }
}

// The first line is written as zeros whatever its values (here they would give
// H1 = i and a coherence message), and the frequency written on every line is
// the one read last, from complex_spectrum_gbb.out.
TEST(HFunctions, FirstLineIsZeroAndFrequencyComesFromGbb) {
  temp_dir dir;
  write_file(dir / "complex_spectrum_gab.out", "5 0 1\n11 2 0\n");
  write_file(dir / "complex_spectrum_gba.out", "6 1 0\n12 1 0\n");
  write_file(dir / "complex_spectrum_gaa.out", "7 1 0\n13 1 0\n");
  write_file(dir / "complex_spectrum_gbb.out", "2.5 1 0\n14 3 0\n");
  stage_result r = run_h_functions(dir, 2);

  EXPECT_EQ(r.transcript, announced(2));
  // H1 = 2, H2 = 3, coherence 2/3.
  EXPECT_EQ(read_file(dir / "H1.out"), row("2.5", "0", "0") + row("14", "2", "0"));
  EXPECT_EQ(read_file(dir / "H2.out"), row("2.5", "0", "0") + row("14", "3", "0"));
  EXPECT_EQ(read_file(dir / "H1_mp.out"), row("2.5", "0", "0") + row("14", "2", "0"));
  EXPECT_EQ(read_file(dir / "H2_mp.out"), row("2.5", "0", "0") + row("14", "3", "0"));
  EXPECT_EQ(read_file(dir / "coherence.out"), row("2.5", "0") + row("14", "0.6667"));
}

// A source that ends before limit2 lines ends all five results at the same line;
// limit2 = 0 creates them empty.
TEST(HFunctions, ShortSourceEndsAllFiveResultsTogether) {
  auto source = [](int lines, const char* values) {
    std::string text;
    for (int p = 0; p < lines; ++p) text += std::to_string(p) + " " + values + "\n";
    return text;
  };
  struct short_case {
    int short_source;  // index into kOneSided, or -1
    int short_lines;
    int32_t limit2;
    size_t written;
  } cases[] = {{-1, 0, 0, 0}, {0, 2, 4, 2}, {1, 1, 4, 1}, {2, 3, 4, 3}, {3, 0, 4, 0}, {-1, 0, 4, 4}};
  for (const short_case& c : cases) {
    SCOPED_TRACE("short source " + std::to_string(c.short_source) + ", limit2 " + std::to_string(c.limit2));
    temp_dir dir;
    const char* values[] = {"2 0", "2 0", "1 0", "2 0"};  // H1 = 2, H2 = 1
    for (int n = 0; n < 4; ++n) {
      write_file(dir / kOneSided[n], source(n == c.short_source ? c.short_lines : 4, values[n]));
    }
    stage_result r = run_h_functions(dir, c.limit2);

    EXPECT_EQ(r.transcript, announced(c.limit2));
    EXPECT_FALSE(r.failed);
    EXPECT_TRUE(r.slots_closed);
    for (const char* name : kResults) {
      EXPECT_TRUE(file_exists(dir / name)) << name;
      EXPECT_EQ(count_lines(dir / name), c.written) << name;
    }
    if (c.written > 1) {
      EXPECT_EQ(read_lines(dir / "H1.out").back() + "\n", row(std::to_string(c.written - 1), "2", "0"));
    }
  }
}

// A line from which only some fields convert counts as read, with 0 for the
// missing fields (not the previous line's values); the text that stopped the
// conversion then ends the loop.
TEST(HFunctions, PartlyConvertingLineCountsWithZeroForMissingFields) {
  temp_dir dir;
  write_file(dir / "complex_spectrum_gab.out", "0 0 0\n1 2 2\n2 2 x\n3 2 2\n");
  write_file(dir / "complex_spectrum_gba.out", "0 0 0\n1 2 -2\n2 2 0\n3 2 -2\n");
  write_file(dir / "complex_spectrum_gaa.out", "0 0 0\n1 1 0\n2 1 0\n3 1 0\n");
  write_file(dir / "complex_spectrum_gbb.out", "0 0 0\n1 8 0\n2 2 0\n3 8 0\n");
  stage_result r = run_h_functions(dir, 4);

  EXPECT_EQ(r.transcript, announced(4));  // with G_ab = 2 + 2i kept, line 2 would fail the test
  // Line 1: H1 = 2+2i, H2 = 8/(2-2i) = 2+2i; line 2: G_ab = 2, H1 = 2, H2 = 1.
  EXPECT_EQ(read_file(dir / "H1.out"), row("0", "0", "0") + row("1", "2", "2") + row("2", "2", "0"));
  EXPECT_EQ(read_file(dir / "H2.out"), row("0", "0", "0") + row("1", "2", "2") + row("2", "1", "0"));
  EXPECT_EQ(read_file(dir / "coherence.out"), row("0", "0") + row("1", "1") + row("2", "2"));
  EXPECT_EQ(count_lines(dir / "H2_mp.out"), 3u);
}

// A file of the stage that cannot be opened ends the run with a message naming
// it, and no slot stays open.
TEST(HFunctions, FileThatCannotBeOpenedEndsTheRun) {
  struct open_case {
    const char* name;
    bool make_folder;
    const char* reason;
  } cases[] = {{"complex_spectrum_gbb.out", false, "No such file or directory"},
               {"complex_spectrum_gab.out", true, "Is a directory"},
               {"H2_mp.out", true, "Is a directory"}};
  for (const open_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    for (const char* name : kOneSided) write_file(dir / name, "0 0 0\n1 1 0\n");
    std::remove((dir / c.name).c_str());
    if (c.make_folder) {
      ASSERT_EQ(mkdir((dir / c.name).c_str(), 0755), 0);
    }
    stage_result r = run_h_functions(dir, 2);

    EXPECT_TRUE(r.failed);
    EXPECT_TRUE(r.slots_closed);
    EXPECT_EQ(r.transcript,
              announced(2) + "\n Error: cannot open file " + c.name + ": " + c.reason + " \n");
    for (const char* name : kResults) {
      if (name != std::string(c.name) && file_exists(dir / name)) {
        EXPECT_EQ(read_file(dir / name), "") << name;
      }
    }
  }
}

// One spectrum given as force and as response, through the three stages: the
// cross spectra equal the auto spectra with zero imaginary parts, H1 = H2 = 1 at
// phase 0 and the coherence is 1 on every line after the first, with no message;
// the 0 Hz line is zero in every file.
TEST(HFunctions, SameSpectrumAsForceAndResponseGivesUnitResults) {
  // N = 8, df = 125 Hz: line p and line 8 - p are conjugate, as for a real record.
  const std::string spectrum =
      "  0.000000e+000   0.000000e+000   0.000000e+000 \n"
      "  1.250000e+002   2.500000e-001  -5.000000e-001 \n"
      "  2.500000e+002   1.000000e-001   2.000000e-001 \n"
      "  3.750000e+002  -1.500000e+000   0.000000e+000 \n"
      "  5.000000e+002   7.500000e-001   0.000000e+000 \n"
      "  6.250000e+002  -1.500000e+000   0.000000e+000 \n"
      "  7.500000e+002   1.000000e-001  -2.000000e-001 \n"
      "  8.750000e+002   2.500000e-001   5.000000e-001 \n";
  temp_dir dir;
  write_file(dir / "fft_1.out", spectrum);
  write_file(dir / "fft_2.out", spectrum);
  cwd_guard cwd(dir.path());
  stage_env env;
  qv::cross_s(env.ws, env.con);
  qv::cross_g(env.ws, env.con);
  qv::h_functions(env.ws, env.con);

  EXPECT_EQ(env.transcript,
            "\n\n cross_s \n\n limit = 8 \n cross_g \n\n limit2 = 4 \n h_functions \n limit2 = 4 ");
  EXPECT_FALSE(env.ws.failed);
  EXPECT_TRUE(all_slots_closed(env.ws));
  // |A|^2: 0.3125, 0.05, 2.25, 0.5625, 2.25, 0.05, 0.3125; the same in all four.
  const std::string two_sided = row("0", "0", "0") + row("125", "0.3125", "0") + row("250", "0.05", "0") +
                                row("375", "2.25", "0") + row("500", "0.5625", "0") + row("625", "2.25", "0") +
                                row("750", "0.05", "0") + row("875", "0.3125", "0");
  for (const char* name : {"complex_spectrum_sab.out", "complex_spectrum_sba.out", "complex_spectrum_saa.out",
                           "complex_spectrum_sbb.out"}) {
    EXPECT_EQ(read_file(name), two_sided) << name;
  }
  const std::string one_sided =
      row("0", "0", "0") + row("125", "0.625", "0") + row("250", "0.1", "0") + row("375", "4.5", "0");
  for (const char* name : kOneSided) EXPECT_EQ(read_file(name), one_sided) << name;
  const std::string unit = row("0", "0", "0") + row("125", "1", "0") + row("250", "1", "0") + row("375", "1", "0");
  for (const char* name : {"H1.out", "H2.out", "H1_mp.out", "H2_mp.out"}) EXPECT_EQ(read_file(name), unit) << name;
  EXPECT_EQ(read_file("coherence.out"), row("0", "0") + row("125", "1") + row("250", "1") + row("375", "1"));
}

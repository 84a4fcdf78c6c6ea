// Tests of cross_s, the two-sided spectra. Each test builds fft_1.out and
// fft_2.out by hand in a scratch folder and runs the stage in-process there;
// the expected lines are worked out by hand from the complex products
// S_ab = conj(A) B, S_ba = conj(B) A, S_aa = |A|^2, S_bb = |B|^2.
#include "cross/cross_s.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cross/cross_g.h"
#include "cross/h_functions.h"
#include "test_support.h"

using namespace qv_test;

namespace {

const char* const kTwoSided[] = {"complex_spectrum_sab.out", "complex_spectrum_sba.out",
                                 "complex_spectrum_saa.out", "complex_spectrum_sbb.out"};

struct stage_result {
  std::string transcript;
  int32_t limit = -1;
  bool failed = false;
  bool slots_closed = false;
};

// Runs cross_s in dir, on whatever fft_1.out and fft_2.out it holds.
stage_result run_cross_s(const temp_dir& dir) {
  cwd_guard cwd(dir.path());
  stage_env env;
  env.ws.limit = 12345;  // a stale count: the stage starts from 0
  qv::cross_s(env.ws, env.con);
  return {env.transcript, env.ws.limit, env.ws.failed, all_slots_closed(env.ws)};
}

stage_result run_cross_s(const temp_dir& dir, const std::string& fft1, const std::string& fft2) {
  write_file(dir / "fft_1.out", fft1);
  write_file(dir / "fft_2.out", fft2);
  return run_cross_s(dir);
}

std::string counted(int limit) { return "\n\n cross_s \n\n limit = " + std::to_string(limit) + " "; }

}  // namespace

// Products of known spectrum values, written as the passes write them
// ("%15.6e"): every column rounded to 4 digits, three-digit exponents, the
// frequency from the force file.
TEST(CrossS, ProductsOfKnownSpectraInFourDigitColumns) {
  temp_dir dir;
  const std::string fft1 =
      "  0.000000e+000   0.000000e+000   0.000000e+000 \n"
      "  1.000000e+000   1.000000e+000   2.000000e+000 \n"   // A = 1 + 2i
      "  2.000000e+000   5.000000e-001  -2.500000e-001 \n"   // A = 0.5 - 0.25i
      "  3.141590e+000   3.000000e+002   4.000000e+002 \n"   // A = 300 + 400i
      "  1.234600e+004   1.000000e-003   2.000000e-003 \n";  // A = 0.001 + 0.002i
  const std::string fft2 =
      "  0.000000e+000   0.000000e+000   0.000000e+000 \n"
      "  1.000000e+000   3.000000e+000   4.000000e+000 \n"   // B = 3 + 4i
      "  2.000000e+000  -2.000000e+000   3.000000e+000 \n"   // B = -2 + 3i
      "  3.141590e+000   1.000000e+002   0.000000e+000 \n"   // B = 100
      "  1.234600e+004   3.000000e-003  -1.000000e-003 \n";  // B = 0.003 - 0.001i
  stage_result r = run_cross_s(dir, fft1, fft2);

  EXPECT_EQ(r.transcript, counted(5));
  EXPECT_EQ(r.limit, 5);
  EXPECT_FALSE(r.failed);
  EXPECT_TRUE(r.slots_closed);
  // (1 - 2i)(3 + 4i) = 11 - 2i, byte for byte.
  EXPECT_EQ(read_lines(dir / "complex_spectrum_sab.out").at(1), "           1           11           -2 ");
  EXPECT_EQ(read_file(dir / "complex_spectrum_sab.out"), rows({{"0", "0", "0"},
                                                               {"1", "11", "-2"},
                                                               {"2", "-1.75", "1"},
                                                               {"3.142", "3e+004", "-4e+004"},
                                                               {"1.235e+004", "1e-006", "-7e-006"}}));
  // S_ba = conj(S_ab): the same real column, the imaginary column negated.
  EXPECT_EQ(read_file(dir / "complex_spectrum_sba.out"), rows({{"0", "0", "0"},
                                                               {"1", "11", "2"},
                                                               {"2", "-1.75", "-1"},
                                                               {"3.142", "3e+004", "4e+004"},
                                                               {"1.235e+004", "1e-006", "7e-006"}}));
  EXPECT_EQ(read_file(dir / "complex_spectrum_saa.out"), rows({{"0", "0", "0"},
                                                               {"1", "5", "0"},
                                                               {"2", "0.3125", "0"},
                                                               {"3.142", "2.5e+005", "0"},
                                                               {"1.235e+004", "5e-006", "0"}}));
  EXPECT_EQ(read_file(dir / "complex_spectrum_sbb.out"), rows({{"0", "0", "0"},
                                                               {"1", "25", "0"},
                                                               {"2", "13", "0"},
                                                               {"3.142", "1e+004", "0"},
                                                               {"1.235e+004", "1e-005", "0"}}));
}

// The relative frequency difference |freq - freq2| / freq may be 0.01 but not
// more; lines at or below 0.01 Hz are not tested. A failing line is written
// nowhere and ends the loop; the line after it (200 Hz) is not reached.
TEST(CrossS, FrequencySynchronisationBoundaries) {
  struct sync_case {
    const char* what;
    const char* freq;   // force file, also the printed frequency
    const char* freq2;  // response file
    bool passes;
  } cases[] = {
      {"exactly 1% above", "100", "101", true},
      {"exactly 1% below", "100", "99", true},
      {"1.5% above", "100", "101.5", false},
      {"1.5% below", "100", "98.5", false},
      {"the force frequency is the denominator: 1/99 fails, 1/100 would pass", "99", "100", false},
      {"0 Hz is not tested", "0", "7", true},
      {"0.01 Hz is not tested", "0.01", "5", true},
      {"the first line above 0.01 Hz is tested", "0.02", "0.03", false},
  };
  for (const sync_case& c : cases) {
    SCOPED_TRACE(c.what);
    temp_dir dir;
    stage_result r = run_cross_s(dir, std::string("0 0 0\n") + c.freq + " 1 1\n200 1 1\n",
                                 std::string("0 0 0\n") + c.freq2 + " 1 1\n200 1 1\n");
    EXPECT_FALSE(r.failed);
    EXPECT_TRUE(r.slots_closed);
    if (c.passes) {
      EXPECT_EQ(r.transcript, counted(3));
      EXPECT_EQ(r.limit, 3);
      // (1 - i)(1 + i) = |1 + i|^2 = 2 in all four, at the force file's frequency.
      for (const char* name : kTwoSided) {
        EXPECT_EQ(read_file(dir / name), rows({{"0", "0", "0"}, {c.freq, "2", "0"}, {"200", "2", "0"}})) << name;
      }
    } else {
      EXPECT_EQ(r.transcript, "\n\n cross_s \n\n\n Frequency synch error. \n\n\n limit = 1 ");
      EXPECT_EQ(r.limit, 1);
      for (const char* name : kTwoSided) EXPECT_EQ(read_file(dir / name), row("0", "0", "0")) << name;
    }
  }
}

// Inputs of equal frequency step and different length: the loop ends quietly at
// the end of the shorter one; an empty input gives empty outputs.
TEST(CrossS, EndsQuietlyAtTheShorterInput) {
  auto spectrum = [](int lines) {
    std::string text;
    for (int p = 0; p < lines; ++p) text += p == 0 ? "0 0 0\n" : std::to_string(p) + " 0.5 -0.25\n";
    return text;
  };
  struct length_case {
    int force_lines, response_lines, limit;
  } cases[] = {{6, 4, 4}, {4, 6, 4}, {0, 3, 0}, {3, 0, 0}, {0, 0, 0}};
  for (const length_case& c : cases) {
    SCOPED_TRACE(std::to_string(c.force_lines) + " and " + std::to_string(c.response_lines) + " lines");
    temp_dir dir;
    stage_result r = run_cross_s(dir, spectrum(c.force_lines), spectrum(c.response_lines));
    EXPECT_EQ(r.transcript, counted(c.limit));
    EXPECT_EQ(r.limit, c.limit);
    EXPECT_TRUE(r.slots_closed);
    for (const char* name : kTwoSided) {
      EXPECT_TRUE(file_exists(dir / name)) << name;
      EXPECT_EQ(count_lines(dir / name), size_t(c.limit)) << name;
    }
    if (c.limit > 0) {  // |0.5 - 0.25i|^2 = 0.3125
      EXPECT_EQ(read_lines(dir / "complex_spectrum_saa.out").back() + "\n",
                row(std::to_string(c.limit - 1), "0.3125", "0"));
    }
  }
}

// Spectra of different frequency steps (1 Hz and 0.5 Hz): the 0 Hz line is
// written, the 1 Hz line fails, limit is 1; the later stages then find
// limit2 = 0 and create their files empty.
TEST(CrossS, DifferentFrequencyStepsLeaveOnlyTheZeroLine) {
  temp_dir dir;
  write_file(dir / "fft_1.out", "0 0 0\n1 1 1\n2 1 1\n3 1 1\n");
  write_file(dir / "fft_2.out", "0 0 0\n0.5 1 1\n1 1 1\n1.5 1 1\n");
  cwd_guard cwd(dir.path());
  stage_env env;
  qv::cross_s(env.ws, env.con);
  qv::cross_g(env.ws, env.con);
  qv::h_functions(env.ws, env.con);

  EXPECT_EQ(env.ws.limit, 1);
  EXPECT_EQ(env.ws.limit2, 0);
  EXPECT_FALSE(env.ws.failed);
  EXPECT_EQ(env.transcript,
            "\n\n cross_s \n\n\n Frequency synch error. \n\n\n limit = 1 "
            "\n cross_g \n\n limit2 = 0 "
            "\n h_functions \n limit2 = 0 ");
  for (const char* name : kTwoSided) EXPECT_EQ(read_file(name), row("0", "0", "0")) << name;
  for (const char* name : {"complex_spectrum_gab.out", "complex_spectrum_gba.out", "complex_spectrum_gaa.out",
                           "complex_spectrum_gbb.out", "H1.out", "H2.out", "H1_mp.out", "H2_mp.out",
                           "coherence.out"}) {
    EXPECT_TRUE(file_exists(name)) << name;
    EXPECT_EQ(read_file(name), "") << name;
  }
}

// A line from which only one or two fields convert counts as read, with 0 for
// the missing fields (not the previous line's values); the text that stopped
// the conversion then ends the loop.
TEST(CrossS, PartlyConvertingLineCountsWithZeroForMissingFields) {
  struct partial_case {
    const char* what;
    const char* fft1;
    const char* fft2;
    std::vector<std::string> sab, saa, sbb;  // line 2
  } cases[] = {
      {"force imaginary part missing: A = 2", "0 0 0\n1 1 5\n2 2 x\n", "0 0 0\n1 1 0\n2 3 4\n3 1 1\n",
       {"2", "6", "8"}, {"2", "4", "0"}, {"2", "25", "0"}},
      {"force real and imaginary parts missing: A = 0", "0 0 0\n1 1 5\n2 x\n", "0 0 0\n1 1 0\n2 3 4\n3 1 1\n",
       {"2", "0", "0"}, {"2", "0", "0"}, {"2", "25", "0"}},
      {"response imaginary part missing: B = 3", "0 0 0\n1 1 0\n2 1 1\n3 1 1\n", "0 0 0\n1 1 5\n2 3 x\n",
       {"2", "3", "-3"}, {"2", "2", "0"}, {"2", "9", "0"}},
  };
  for (const partial_case& c : cases) {
    SCOPED_TRACE(c.what);
    temp_dir dir;
    stage_result r = run_cross_s(dir, c.fft1, c.fft2);
    EXPECT_EQ(r.transcript, counted(3));
    EXPECT_TRUE(r.slots_closed);
    ASSERT_EQ(count_lines(dir / "complex_spectrum_sab.out"), 3u);
    EXPECT_EQ(read_lines(dir / "complex_spectrum_sab.out")[2] + "\n", row(c.sab[0], c.sab[1], c.sab[2]));
    EXPECT_EQ(read_lines(dir / "complex_spectrum_saa.out")[2] + "\n", row(c.saa[0], c.saa[1], c.saa[2]));
    EXPECT_EQ(read_lines(dir / "complex_spectrum_sbb.out")[2] + "\n", row(c.sbb[0], c.sbb[1], c.sbb[2]));
  }
}

// A file of the stage that cannot be opened: the error names the file and the
// reason, the run is marked failed, nothing is written and no slot stays open.
TEST(CrossS, FileThatCannotBeOpenedEndsTheRun) {
  struct open_case {
    const char* name;
    bool make_folder;  // else the file is missing
    const char* reason;
  } cases[] = {
      {"fft_1.out", false, "No such file or directory"},
      {"fft_2.out", false, "No such file or directory"},
      {"fft_2.out", true, "Is a directory"},
      {"complex_spectrum_saa.out", true, "Is a directory"},
  };
  for (const open_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    write_file(dir / "fft_1.out", "0 0 0\n1 1 2\n");
    write_file(dir / "fft_2.out", "0 0 0\n1 3 4\n");
    std::remove((dir / c.name).c_str());
    if (c.make_folder) {
      ASSERT_EQ(mkdir((dir / c.name).c_str(), 0755), 0);
    }
    stage_result r = run_cross_s(dir);

    EXPECT_TRUE(r.failed);
    EXPECT_TRUE(r.slots_closed);
    const std::string message = std::string("\n Error: cannot open file ") + c.name + ": " + c.reason + " \n";
    ASSERT_NE(r.transcript.find(message), std::string::npos) << r.transcript;
    EXPECT_EQ(r.transcript.find("Error"), r.transcript.rfind("Error")) << "one error only";
    for (const char* name : kTwoSided) {
      if (file_exists(dir / name) && name != std::string(c.name)) {
        EXPECT_EQ(read_file(dir / name), "") << name;
      }
    }
  }
}

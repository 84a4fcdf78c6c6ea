// Tests of cross_g, the one-sided spectra. Each test writes the four two-sided
// files by hand (in the format cross_s writes), sets `limit` as cross_s would
// leave it and runs the stage in-process; the doubled lines expected are worked
// out by hand.
#include "cross/cross_g.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

using namespace qv_test;

namespace {

const char* const kTwoSided[] = {"complex_spectrum_sab.out", "complex_spectrum_sba.out",
                                 "complex_spectrum_saa.out", "complex_spectrum_sbb.out"};
const char* const kOneSided[] = {"complex_spectrum_gab.out", "complex_spectrum_gba.out",
                                 "complex_spectrum_gaa.out", "complex_spectrum_gbb.out"};

struct stage_result {
  std::string transcript;
  int32_t limit2 = -1;
  bool failed = false;
  bool slots_closed = false;
};

// Runs cross_g in dir with `limit` as cross_s would have left it.
stage_result run_cross_g(const temp_dir& dir, int32_t limit) {
  cwd_guard cwd(dir.path());
  stage_env env;
  env.ws.limit = limit;
  qv::cross_g(env.ws, env.con);
  return {env.transcript, env.ws.limit2, env.ws.failed, all_slots_closed(env.ws)};
}

std::string announced(int limit2) { return "\n cross_g \n\n limit2 = " + std::to_string(limit2) + " "; }

}  // namespace

// limit2 = limit / 2 rounded down; each one-sided file holds the first limit2
// lines of its source, doubled, and the lines after them are not used.
TEST(CrossG, KeepsTheLowerHalfOfTheLines) {
  const std::vector<std::vector<std::string>> source = {
      {"0", "0", "0"},        {"1", "0.5", "-0.25"}, {"2", "1", "-0.5"},  {"3", "1.5", "-0.75"},
      {"4", "2", "-1"},       {"5", "2.5", "-1.25"}, {"6", "3", "-1.5"},  {"7", "3.5", "-1.75"}};
  const std::vector<std::vector<std::string>> doubled = {
      {"0", "0", "0"}, {"1", "1", "-0.5"}, {"2", "2", "-1"}, {"3", "3", "-1.5"}};
  struct halving_case {
    int32_t limit, limit2;
  } cases[] = {{8, 4}, {7, 3}, {1, 0}, {0, 0}};
  for (const halving_case& c : cases) {
    SCOPED_TRACE("limit " + std::to_string(c.limit));
    temp_dir dir;
    const std::string text = rows({source.begin(), source.begin() + c.limit});
    for (const char* name : kTwoSided) write_file(dir / name, text);
    stage_result r = run_cross_g(dir, c.limit);

    EXPECT_EQ(r.limit2, c.limit2);
    EXPECT_EQ(r.transcript, announced(c.limit2));
    EXPECT_FALSE(r.failed);
    EXPECT_TRUE(r.slots_closed);
    const std::string expected = rows({doubled.begin(), doubled.begin() + c.limit2});
    for (const char* name : kOneSided) {
      EXPECT_TRUE(file_exists(dir / name)) << name;
      EXPECT_EQ(read_file(dir / name), expected) << name;
    }
  }
}

// Each source goes to its own output; the doubled values are rounded to four
// digits again, the frequency gets five, and exponents have three digits.
TEST(CrossG, DoublesEachSourceIntoItsOwnFile) {
  temp_dir dir;
  const std::vector<std::string> dropped = {"4 9 9\n", "5 9 9\n", "6 9 9\n", "7 9 9\n"};
  auto source = [&](std::vector<std::vector<std::string>> kept) {
    std::string text = rows(kept);
    for (const auto& line : dropped) text += line;
    return text;
  };
  write_file(dir / "complex_spectrum_sab.out", source({{"0", "0", "0"},
                                                       {"1", "0.3", "-0.125"},
                                                       {"1.235e+004", "6.667", "5e-006"},
                                                       {"1.5e+005", "-1", "-1"}}));
  write_file(dir / "complex_spectrum_sba.out", source({{"0", "0", "0"},
                                                       {"1", "0.3", "0.125"},
                                                       {"1.235e+004", "6.667", "-5e-006"},
                                                       {"1.5e+005", "-1", "1"}}));
  write_file(dir / "complex_spectrum_saa.out", source({{"0", "0", "0"},
                                                       {"1", "0.25", "0"},
                                                       {"1.235e+004", "1.5e+005", "0"},
                                                       {"1.5e+005", "2", "0"}}));
  write_file(dir / "complex_spectrum_sbb.out", source({{"0", "0", "0"},
                                                       {"1", "2.5e-005", "0"},
                                                       {"1.235e+004", "4.444e+004", "0"},
                                                       {"1.5e+005", "0.5", "0"}}));
  stage_result r = run_cross_g(dir, 8);

  EXPECT_EQ(r.transcript, announced(4));
  EXPECT_TRUE(r.slots_closed);
  // Twice 6.667 is 13.334, written 13.33; 1.235e+004 Hz is written 12350.
  EXPECT_EQ(read_lines(dir / "complex_spectrum_gab.out").at(2), "       12350        13.33       1e-005 ");
  EXPECT_EQ(read_file(dir / "complex_spectrum_gab.out"), rows({{"0", "0", "0"},
                                                               {"1", "0.6", "-0.25"},
                                                               {"12350", "13.33", "1e-005"},
                                                               {"1.5e+005", "-2", "-2"}}));
  EXPECT_EQ(read_file(dir / "complex_spectrum_gba.out"), rows({{"0", "0", "0"},
                                                               {"1", "0.6", "0.25"},
                                                               {"12350", "13.33", "-1e-005"},
                                                               {"1.5e+005", "-2", "2"}}));
  EXPECT_EQ(read_file(dir / "complex_spectrum_gaa.out"), rows({{"0", "0", "0"},
                                                               {"1", "0.5", "0"},
                                                               {"12350", "3e+005", "0"},
                                                               {"1.5e+005", "4", "0"}}));
  EXPECT_EQ(read_file(dir / "complex_spectrum_gbb.out"), rows({{"0", "0", "0"},
                                                               {"1", "5e-005", "0"},
                                                               {"12350", "8.888e+004", "0"},
                                                               {"1.5e+005", "1", "0"}}));
}

// Sources with fewer readable lines than limit2: every conversion ends at its
// first read that converts no field; a line with one or two fields counts, with
// 0 for the missing ones, and the text that stopped it ends that conversion.
TEST(CrossG, ShortSourceEndsOnlyItsOwnConversion) {
  temp_dir dir;
  write_file(dir / "complex_spectrum_sab.out", "0 0 0\n1 1 1\n2 2 2\n3 3 3\n4 4 4\n5 5 5\n6 6 6\n7 7 7\n");
  write_file(dir / "complex_spectrum_sba.out", "0 0 0\n1 1 -1\n");
  write_file(dir / "complex_spectrum_saa.out", "0 0 0\n1 7 0\n2 3 x\n3 5 0\n");
  write_file(dir / "complex_spectrum_sbb.out", "");
  stage_result r = run_cross_g(dir, 8);

  EXPECT_EQ(r.transcript, announced(4));
  EXPECT_FALSE(r.failed);
  EXPECT_TRUE(r.slots_closed);
  EXPECT_EQ(read_file(dir / "complex_spectrum_gab.out"),
            rows({{"0", "0", "0"}, {"1", "2", "2"}, {"2", "4", "4"}, {"3", "6", "6"}}));
  EXPECT_EQ(read_file(dir / "complex_spectrum_gba.out"), rows({{"0", "0", "0"}, {"1", "2", "-2"}}));
  EXPECT_EQ(read_file(dir / "complex_spectrum_gaa.out"), rows({{"0", "0", "0"}, {"1", "14", "0"}, {"2", "6", "0"}}));
  EXPECT_TRUE(file_exists(dir / "complex_spectrum_gbb.out"));
  EXPECT_EQ(read_file(dir / "complex_spectrum_gbb.out"), "");
}

// A file of the stage that cannot be opened ends the run with a message naming
// it; the conversions after it are not made and no slot stays open.
TEST(CrossG, FileThatCannotBeOpenedEndsTheRun) {
  struct open_case {
    const char* name;
    bool make_folder;  // else the file is missing
    const char* reason;
    int outputs_made;  // one-sided files converted before the failure
  } cases[] = {
      {"complex_spectrum_sbb.out", false, "No such file or directory", 0},
      {"complex_spectrum_sab.out", true, "Is a directory", 0},
      {"complex_spectrum_gba.out", true, "Is a directory", 1},
  };
  for (const open_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    for (const char* name : kTwoSided) write_file(dir / name, "0 0 0\n1 1 1\n");
    std::remove((dir / c.name).c_str());
    if (c.make_folder) {
      ASSERT_EQ(mkdir((dir / c.name).c_str(), 0755), 0);
    }
    stage_result r = run_cross_g(dir, 2);

    EXPECT_TRUE(r.failed);
    EXPECT_TRUE(r.slots_closed);
    const std::string message = std::string("\n Error: cannot open file ") + c.name + ": " + c.reason + " \n";
    EXPECT_EQ(r.transcript, announced(1) + message);
    for (int n = 0; n < 4; ++n) {
      if (n < c.outputs_made) {
        EXPECT_EQ(read_file(dir / kOneSided[n]), row("0", "0", "0")) << kOneSided[n];
      } else if (kOneSided[n] != std::string(c.name)) {
        EXPECT_FALSE(file_exists(dir / kOneSided[n])) << kOneSided[n];
      }
    }
  }
}

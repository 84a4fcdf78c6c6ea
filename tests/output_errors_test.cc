// Tests of the handling of output files that cannot be written or opened: the
// first such error is reported by the file's name and reason and ends the run
// with exit status 1 and no closing summary. Write errors are made by pointing
// an output name at /dev/full through a symbolic link; open errors by a folder
// in place of the file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "cross/cross_g.h"
#include "cross/cross_s.h"
#include "cross/h_functions.h"
#include "test_support.h"

using namespace qv_test;

namespace {

constexpr const char* kNoSpace = "No space left on device";

size_t occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

void link_to_dev_full(const temp_dir& dir, const std::string& name) {
  ASSERT_EQ(symlink("/dev/full", (dir / name).c_str()), 0) << name;
}

std::string write_error(const std::string& name, const char* reason = kNoSpace) {
  return "\n Error: cannot write file " + name + ": " + reason + " \n";
}

// Eight samples, 1 ms apart, for the force and the response.
void write_histories(const temp_dir& dir) {
  write_file(dir / "force.txt", "0.000 1\n0.001 0\n0.002 -1\n0.003 0\n0.004 1\n0.005 0\n0.006 -1\n0.007 0\n");
  write_file(dir / "response.txt", "0.000 0\n0.001 2\n0.002 0\n0.003 -2\n0.004 0\n0.005 2\n0.006 0\n0.007 -3\n");
}

const char* const kSummaryStart = "\n\n The format for the following output files is: ";
const char* const kKeyPrompt = "\n Press any key to exit.";

}  // namespace

// A whole run with one output of a pass or of a cross stage on a full device:
// the error is reported once, the stages after it do not run, the program
// exits 1 and shows neither the summary nor the key prompt. The run without a
// broken file shows that the same inputs otherwise run through.
TEST(OutputErrors, WriteErrorEndsTheWholeRun) {
  struct run_case {
    const char* full_file;  // nullptr: none
    const char* first_stage_not_run;
  } cases[] = {
      {nullptr, nullptr},
      {"fft_1.out", "Please enter the second input filename."},
      {"fft_full_2.out", "\n\n cross_s \n"},
      {"complex_spectrum_sab.out", "\n cross_g \n"},
      {"complex_spectrum_gaa.out", "\n h_functions "},
      {"H2_mp.out", nullptr},
  };
  for (const run_case& c : cases) {
    SCOPED_TRACE(c.full_file ? c.full_file : "no broken file");
    temp_dir dir;
    write_histories(dir);
    if (c.full_file) link_to_dev_full(dir, c.full_file);
    run_result r = run_quorvid(dir.path(), "2 1\nforce.txt\nresponse.txt\n");

    if (!c.full_file) {
      EXPECT_EQ(r.status, 0);
      EXPECT_NE(r.output.find(kSummaryStart), std::string::npos);
      EXPECT_EQ(occurrences(r.output, "Error"), 0u);
      EXPECT_EQ(count_lines(dir / "coherence.out"), 4u);
      continue;
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(write_error(c.full_file)), std::string::npos) << r.output;
    EXPECT_EQ(occurrences(r.output, "Error"), 1u) << r.output;
    EXPECT_EQ(r.output.find(kSummaryStart), std::string::npos);
    EXPECT_EQ(r.output.find(kKeyPrompt), std::string::npos);
    if (c.first_stage_not_run) {
      EXPECT_EQ(r.output.find(c.first_stage_not_run), std::string::npos) << r.output;
    }
  }
}

// Several broken outputs, two of them closed by the same stage: only the first
// one met is reported.
TEST(OutputErrors, OnlyTheFirstWriteErrorIsReported) {
  temp_dir dir;
  write_histories(dir);
  link_to_dev_full(dir, "complex_spectrum_sba.out");
  link_to_dev_full(dir, "complex_spectrum_sbb.out");
  link_to_dev_full(dir, "H1.out");
  run_result r = run_quorvid(dir.path(), "2 1\nforce.txt\nresponse.txt\n");

  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find(write_error("complex_spectrum_sba.out")), std::string::npos) << r.output;
  EXPECT_EQ(occurrences(r.output, "Error"), 1u) << r.output;
  EXPECT_EQ(r.output.find(kKeyPrompt), std::string::npos);
}

// A file of a cross stage that cannot be opened ends the whole run the same
// way: the message names the file and the reason, the exit status is 1.
TEST(OutputErrors, OpenErrorOfACrossStageEndsTheWholeRun) {
  for (const char* name : {"complex_spectrum_sba.out", "complex_spectrum_gbb.out", "coherence.out"}) {
    SCOPED_TRACE(name);
    temp_dir dir;
    write_histories(dir);
    ASSERT_EQ(mkdir((dir / name).c_str(), 0755), 0);
    run_result r = run_quorvid(dir.path(), "2 1\nforce.txt\nresponse.txt\n");

    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(std::string("\n Error: cannot open file ") + name + ": Is a directory \n"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(occurrences(r.output, "Error"), 1u);
    EXPECT_EQ(r.output.find(kSummaryStart), std::string::npos);
    EXPECT_EQ(r.output.find(kKeyPrompt), std::string::npos);
  }
}

// In-process, each cross stage reports a write error of its outputs, marks the
// run failed and leaves no slot open. cross_s writes enough lines that the
// error arises while the loop still runs, not only when the file is closed.
TEST(OutputErrors, EachCrossStageReportsItsWriteError) {
  std::string long_spectrum = "0 0 0\n";
  for (int p = 1; p < 3000; ++p) long_spectrum += std::to_string(p) + " 0.5 -0.25\n";
  const std::string short_spectrum = "0 0 0\n1 1 0\n2 1 0\n3 1 0\n";

  struct stage_case {
    const char* what;
    const char* full_file;
    const std::string* source;  // fft_1.out, fft_2.out and every later source
  } cases[] = {
      {"cross_s, error during the loop", "complex_spectrum_sbb.out", &long_spectrum},
      {"cross_s, error when closing", "complex_spectrum_sab.out", &short_spectrum},
      {"cross_g", "complex_spectrum_gba.out", &short_spectrum},
      {"h_functions", "coherence.out", &short_spectrum},
  };
  for (const stage_case& c : cases) {
    SCOPED_TRACE(c.what);
    temp_dir dir;
    link_to_dev_full(dir, c.full_file);
    std::vector<std::string> sources = {"fft_1.out", "fft_2.out", "complex_spectrum_sab.out",
                                        "complex_spectrum_sba.out", "complex_spectrum_saa.out",
                                        "complex_spectrum_sbb.out"};
    if (c.what != std::string("cross_g")) {
      for (const char* name : {"complex_spectrum_gab.out", "complex_spectrum_gba.out", "complex_spectrum_gaa.out",
                               "complex_spectrum_gbb.out"}) {
        sources.push_back(name);
      }
    }
    for (const std::string& name : sources) {
      if (name != c.full_file) write_file(dir / name, *c.source);
    }
    cwd_guard cwd(dir.path());
    stage_env env;
    const std::string stage = c.what;
    if (stage.starts_with("cross_s")) {
      qv::cross_s(env.ws, env.con);
    } else if (stage == "cross_g") {
      env.ws.limit = 4;
      qv::cross_g(env.ws, env.con);
    } else {
      env.ws.limit2 = 2;
      qv::h_functions(env.ws, env.con);
    }

    EXPECT_TRUE(env.ws.failed);
    EXPECT_TRUE(all_slots_closed(env.ws));
    EXPECT_NE(env.transcript.find(write_error(c.full_file)), std::string::npos) << env.transcript;
    EXPECT_EQ(occurrences(env.transcript, "Error"), 1u) << env.transcript;
    if (stage == "cross_g") {  // the run ends: the conversions after the broken file are not made
      EXPECT_FALSE(file_exists("complex_spectrum_gaa.out"));
      EXPECT_FALSE(file_exists("complex_spectrum_gbb.out"));
    }
  }
}

// Tests of the pass files: the prompt, the typed input name, the four opens in
// slots 1 to 4 and their report lines, and every way an open can fail (which
// ends the run with the reason after the four report lines).
//
// Each test works in a scratch folder as the working directory and runs
// open_pass_files in-process with its replies.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <string>

#include "input/pass_files.h"
#include "test_support.h"

using namespace qv_test;

namespace {

const std::string kPrompt1 = "\n\n Please enter the first input filename. (Force) \n";
const std::string kPrompt2 = "\n\n Please enter the second input filename. (Response) \n";

std::string opened(const std::string& name) { return " File: " + name + " opened. \n"; }
std::string failed(const std::string& name) { return " Failed to open file: " + name + " \n"; }
std::string error(const std::string& name, const std::string& reason) {
  return "\n Error: cannot open file " + name + ": " + reason + " \n";
}

void run_pass_files(stage_env& env, uint32_t pass) {
  env.ws.pass = pass;
  qv::open_pass_files(env.ws, env.con);
}

void close_pass_slots(stage_env& env) {
  for (int n = 1; n <= 4; ++n) qv::close_slot(env.ws, env.con, n);
}

void make_folder(const std::string& path) { ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path; }

}  // namespace

TEST(PassFiles, OpensTheInputAndThePassSpectrumFiles) {
  struct pass_case {
    uint32_t pass;
    std::string prompt;
    const char* names[3];
    const char* other_pass_file;
  };
  const pass_case cases[] = {
      {1, kPrompt1, {"fft_1.out", "fft_half_1.out", "fft_full_1.out"}, "fft_2.out"},
      {2, kPrompt2, {"fft_2.out", "fft_half_2.out", "fft_full_2.out"}, "fft_1.out"},
  };
  for (const pass_case& c : cases) {
    SCOPED_TRACE(c.pass);
    temp_dir dir;
    cwd_guard cwd(dir.path());
    write_file("force.txt", "0 1\n1 2\n");
    write_file(c.names[1], "old contents\n");
    write_file(c.other_pass_file, "the other pass's spectrum\n");
    stage_env env(" \n\t force.txt\n");
    run_pass_files(env, c.pass);
    EXPECT_EQ(env.transcript, c.prompt + opened("force.txt") + opened(c.names[0]) + opened(c.names[1]) +
                                  opened(c.names[2]));
    EXPECT_FALSE(env.ws.failed);
    EXPECT_STREQ(env.ws.slot(1).name, "force.txt");
    for (int n = 1; n <= 4; ++n) EXPECT_TRUE(env.ws.slot(n).is_open()) << n;
    for (int n = 2; n <= 4; ++n) EXPECT_STREQ(env.ws.slot(n).name, c.names[n - 2]);
    close_pass_slots(env);
    // An existing spectrum file of this pass is emptied; the other pass's stays.
    for (const char* name : c.names) EXPECT_EQ(read_file(name), "") << name;
    EXPECT_EQ(read_file(c.other_pass_file), "the other pass's spectrum\n");
  }
}

// All four report lines are written, every open is made, and the first file
// that failed is named with its reason; the run is marked as ended.
TEST(PassFiles, FailedOpenReportsAllFourThenTheReason) {
  const std::string long_name(300, 'a');
  const std::string long_kept(259, 'a');
  struct failure_case {
    const char* name;
    std::function<void()> setup;
    std::string replies;
    uint32_t pass;
    int failed_slot;
    std::string transcript;
  };
  const failure_case cases[] = {
      {"missing_input", [] {}, "nosuch.txt", 1, 1,
       kPrompt1 + failed("nosuch.txt") + opened("fft_1.out") + opened("fft_half_1.out") + opened("fft_full_1.out") +
           error("nosuch.txt", "No such file or directory")},
      {"folder_as_input", [] { make_folder("data"); }, "data", 1, 1,
       kPrompt1 + failed("data") + opened("fft_1.out") + opened("fft_half_1.out") + opened("fft_full_1.out") +
           error("data", "Is a directory")},
      {"input_in_missing_folder", [] {}, "no/such/force.txt", 2, 1,
       kPrompt2 + failed("no/such/force.txt") + opened("fft_2.out") + opened("fft_half_2.out") +
           opened("fft_full_2.out") + error("no/such/force.txt", "No such file or directory")},
      {"spectrum_file_is_a_folder", [] { make_folder("fft_half_1.out"); }, "force.txt", 1, 3,
       kPrompt1 + opened("force.txt") + opened("fft_1.out") + failed("fft_half_1.out") + opened("fft_full_1.out") +
           error("fft_half_1.out", "Is a directory")},
      {"second_pass_spectrum_file_is_a_folder", [] { make_folder("fft_full_2.out"); }, "force.txt", 2, 4,
       kPrompt2 + opened("force.txt") + opened("fft_2.out") + opened("fft_half_2.out") + failed("fft_full_2.out") +
           error("fft_full_2.out", "Is a directory")},
      // Standard input ends before the first name: the name is empty.
      {"no_name_left", [] {}, "  \n", 1, 1,
       kPrompt1 + failed("") + opened("fft_1.out") + opened("fft_half_1.out") + opened("fft_full_1.out") +
           error("", "No such file or directory")},
      // A name that does not fit the 260-byte buffer is refused, shown cut to 259.
      {"name_too_long", [] {}, long_name, 1, 1,
       kPrompt1 + failed(long_kept) + opened("fft_1.out") + opened("fft_half_1.out") + opened("fft_full_1.out") +
           error(long_kept, "File name too long")},
  };
  for (const failure_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    cwd_guard cwd(dir.path());
    write_file("force.txt", "0 1\n1 2\n");
    c.setup();
    stage_env env(c.replies);
    run_pass_files(env, c.pass);
    EXPECT_EQ(env.transcript, c.transcript);
    EXPECT_TRUE(env.ws.failed);
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(env.ws.slot(n).is_open(), n != c.failed_slot) << n;
    close_pass_slots(env);
    // The spectrum files that could be opened were created.
    const char* const* names = qv::spectrum_file_names(c.pass);
    for (int n = 2; n <= 4; ++n) {
      if (n != c.failed_slot) {
        EXPECT_TRUE(file_exists(names[n - 2])) << names[n - 2];
      }
    }
  }
}

// 259 characters fit the name buffer and open; 260 are refused, even though the
// first 259 of them name an existing file. The refused word is consumed whole.
TEST(PassFiles, LongestNameOpensOneMoreIsRefused) {
  temp_dir dir;
  cwd_guard cwd(dir.path());
  std::string folders;
  for (int level = 0; level < 4; ++level) {
    folders += std::string(50, char('a' + level)) + "/";
    make_folder(folders);
  }
  const std::string fits = folders + std::string(259 - folders.size(), 'f');
  const std::string too_long = fits + "g";
  ASSERT_EQ(fits.size(), 259u);
  write_file(fits, "0 1\n");
  write_file(too_long, "0 1\n");

  stage_env fitting(fits + " next");
  run_pass_files(fitting, 1);
  EXPECT_FALSE(fitting.ws.failed);
  EXPECT_TRUE(fitting.ws.slot(1).is_open());
  EXPECT_STREQ(fitting.ws.slot(1).name, fits.c_str());
  close_pass_slots(fitting);

  stage_env refused(too_long + " next");
  run_pass_files(refused, 1);
  EXPECT_TRUE(refused.ws.failed);
  EXPECT_FALSE(refused.ws.slot(1).is_open());
  EXPECT_STREQ(refused.ws.slot(1).name, fits.c_str());
  EXPECT_NE(refused.transcript.find(failed(fits) + opened("fft_1.out")), std::string::npos);
  EXPECT_NE(refused.transcript.find(error(fits, "File name too long")), std::string::npos);
  close_pass_slots(refused);
  char word[qv::kNameSize];
  ASSERT_EQ(qv::scan_word(refused.con.in, word, sizeof word, nullptr), 1);
  EXPECT_STREQ(word, "next");
}

// A name typed with a blank in it: the first word is this pass's name, the
// second is taken at once as the next pass's name.
TEST(PassFiles, NameWithABlankGivesTwoNames) {
  temp_dir dir;
  cwd_guard cwd(dir.path());
  write_file("my", "0 1\n");
  write_file("file.txt", "0 2\n");
  stage_env env("my file.txt\n");
  run_pass_files(env, 1);
  EXPECT_STREQ(env.ws.slot(1).name, "my");
  EXPECT_FALSE(env.ws.failed);
  close_pass_slots(env);
  env.transcript.clear();
  run_pass_files(env, 2);
  EXPECT_STREQ(env.ws.slot(1).name, "file.txt");
  EXPECT_EQ(env.transcript, kPrompt2 + opened("file.txt") + opened("fft_2.out") + opened("fft_half_2.out") +
                                opened("fft_full_2.out"));
  close_pass_slots(env);
}

// Standard input ends after the first name: the second pass keeps slot 1's
// name and opens the force file again.
TEST(PassFiles, EndOfInputInTheSecondPassReopensTheFirstInput) {
  temp_dir dir;
  cwd_guard cwd(dir.path());
  write_file("force.txt", "0 1\n");
  stage_env env("force.txt\n");
  run_pass_files(env, 1);
  close_pass_slots(env);
  env.transcript.clear();
  run_pass_files(env, 2);
  EXPECT_FALSE(env.ws.failed);
  EXPECT_TRUE(env.ws.slot(1).is_open());
  EXPECT_EQ(env.transcript, kPrompt2 + opened("force.txt") + opened("fft_2.out") + opened("fft_half_2.out") +
                                opened("fft_full_2.out"));
  close_pass_slots(env);
}

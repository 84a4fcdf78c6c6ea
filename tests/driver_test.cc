// Tests of the program driver: the opening dialogue and the closing summary
// text, how the replies are taken (answers, names, input that ends early), the
// order of the stages of a pass, the exit status of runs that reach the summary
// and of runs that end at a file that cannot be opened, and that no file slot
// is left open.
//
// Dialogue and replies run in-process (run_program on a workspace of the
// test's own, in a scratch working directory); exit status and the files of a
// whole run come from the built program run as a user runs it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "test_support.h"

using namespace qv_test;

namespace {

const std::string kFirstLine = "\n  quorvid - version 1.2, June 5, 2003 ";

const std::string kPrompt1 = "\n\n Please enter the first input filename. (Force) \n";
const std::string kPrompt2 = "\n\n Please enter the second input filename. (Response) \n";

// Eight records every 0.5 s: a force pulse and a response that rings.
const std::string kForce = "0 0\n0.5 1\n1 3\n1.5 1\n2 0\n2.5 0\n3 0\n3.5 0\n";
const std::string kResponse = "0 0\n0.5 0.5\n1 2\n1.5 2.5\n2 0.5\n2.5 -1\n3 -0.5\n3.5 0.25\n";

size_t occurrences(const std::string& text, const std::string& word) {
  size_t n = 0;
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + word.size())) ++n;
  return n;
}

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The banner's author and contact lines are free text: each begins with a line
// break and two blanks, and the contact line ends with a line break. Checks
// that shape and replaces the two lines by markers.
std::string mark_author_and_contact(const std::string& text) {
  if (text.compare(0, kFirstLine.size(), kFirstLine) != 0) return text;
  const std::string rest = text.substr(kFirstLine.size());
  if (rest.compare(0, 3, "\n  ") != 0) return text;
  const size_t author_end = rest.find('\n', 1);
  if (author_end == std::string::npos || rest.compare(author_end, 3, "\n  ") != 0) return text;
  const size_t contact_end = rest.find('\n', author_end + 1);
  if (contact_end == std::string::npos) return text;
  return kFirstLine + "<author><contact>" + rest.substr(contact_end + 1);
}

// The names of the two inputs as the report lines show them, in pass order.
std::vector<std::string> opened_inputs(const std::string& transcript) {
  std::vector<std::string> names;
  for (const std::string& prompt : {kPrompt1, kPrompt2}) {
    const size_t at = transcript.find(prompt);
    if (at == std::string::npos) continue;
    const size_t start = at + prompt.size() + std::string(" File: ").size();
    names.push_back(transcript.substr(start, transcript.find(" opened. \n", start) - start));
  }
  return names;
}

// True when no field of the file is an infinity or a NaN.
bool all_finite(const std::string& path) {
  std::string text = read_file(path);
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text.find("inf") == std::string::npos && text.find("nan") == std::string::npos;
}

const char* const kAllOutputs[] = {
    "fft_1.out", "fft_half_1.out", "fft_full_1.out", "fft_2.out", "fft_half_2.out", "fft_full_2.out",
    "complex_spectrum_sab.out", "complex_spectrum_sba.out", "complex_spectrum_saa.out",
    "complex_spectrum_sbb.out", "complex_spectrum_gab.out", "complex_spectrum_gba.out",
    "complex_spectrum_gaa.out", "complex_spectrum_gbb.out", "H1.out", "H2.out", "H1_mp.out", "H2_mp.out",
    "coherence.out"};

}  // namespace

TEST(Driver, OpeningDialogueText) {
  stage_env env("1 2");
  qv::opening_dialogue(env.ws, env.con);
  EXPECT_EQ(mark_author_and_contact(env.transcript), kFirstLine + "<author><contact>" + kDialogueAfterBanner);
  EXPECT_EQ(env.ws.mean_removal, 1);
  EXPECT_EQ(env.ws.window, 2);
}

TEST(Driver, ClosingSummaryText) {
  stage_env env;
  qv::closing_summary(env.con);
  EXPECT_EQ(env.transcript, kClosingSummary);
}

// How the replies are taken: "%d" answers, then one word per input name, all
// from one stream whatever the lines.
TEST(Driver, RepliesTable) {
  struct replies_case {
    const char* name;
    std::string replies;
    int32_t mean_removal, window;
    const char* first_input;
    const char* second_input;
  };
  const replies_case cases[] = {
      {"both_chosen", "1\n2\nforce.txt\nresponse.txt\n", 1, 2, "force.txt", "response.txt"},
      {"all_on_one_line", "1 2 force.txt response.txt", 1, 2, "force.txt", "response.txt"},
      {"two_and_one", "2\n1\nforce.txt\nresponse.txt\n", 2, 1, "force.txt", "response.txt"},
      {"zero_and_three", "0\n3\nforce.txt\nresponse.txt\n", 0, 3, "force.txt", "response.txt"},
      {"minus_one_both", "-1 -1 force.txt response.txt", -1, -1, "force.txt", "response.txt"},
      {"plus_signed", "+1 +2 force.txt response.txt", 1, 2, "force.txt", "response.txt"},
      // Beyond the 32-bit range: consumed, and the option is 0 (not 1 by wrapping).
      {"beyond_32_bits", "4294967297 2 force.txt response.txt", 0, 2, "force.txt", "response.txt"},
      {"below_32_bits", "1 -4294967294 force.txt response.txt", 1, 0, "force.txt", "response.txt"},
      // A letter as first answer: both options stay 0, the word is the first name.
      {"letter_first", "y response.txt\n", 0, 0, "y", "response.txt"},
      {"letter_second", "1 y response.txt\n", 1, 0, "y", "response.txt"},
      // A name with a blank in it: two names.
      {"name_with_blank", "1 2\nmy force.txt\n", 1, 2, "my", "force.txt"},
      // Input ends before the second name: the force file is read again.
      {"no_second_name", "1 2 force.txt\n", 1, 2, "force.txt", "force.txt"},
  };
  for (const replies_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    cwd_guard cwd(dir.path());
    for (const char* name : {"force.txt", "y", "my"}) write_file(name, kForce);
    write_file("response.txt", kResponse);
    stage_env env(c.replies);
    EXPECT_EQ(qv::run_program(env.ws, env.con), 0);
    EXPECT_EQ(env.ws.mean_removal, c.mean_removal);
    EXPECT_EQ(env.ws.window, c.window);
    EXPECT_EQ(opened_inputs(env.transcript), (std::vector<std::string>{c.first_input, c.second_input}));
    // Mean removal on 1 only, the Hanning window on 2 only, in both passes.
    EXPECT_EQ(occurrences(env.transcript, "\n mean removal"), c.mean_removal == 1 ? 2u : 0u);
    EXPECT_EQ(occurrences(env.transcript, "\n Hanning window "), c.window == 2 ? 2u : 0u);
    EXPECT_TRUE(ends_with(env.transcript, kClosingSummary));
    if (std::string(c.first_input) == c.second_input) {
      EXPECT_EQ(read_file("fft_1.out"), read_file("fft_2.out"));
    }
    for (int n = 1; n <= qv::kSlots; ++n) EXPECT_FALSE(env.ws.slot(n).is_open()) << n;
  }
}

// The stages of a pass announce themselves in their fixed order, mean removal
// before the window, in both passes.
TEST(Driver, StagesOfAPassInOrder) {
  temp_dir dir;
  cwd_guard cwd(dir.path());
  write_file("force.txt", kForce);
  write_file("response.txt", kResponse);
  stage_env env("1 2 force.txt response.txt");
  ASSERT_EQ(qv::run_program(env.ws, env.con), 0);
  const std::vector<std::string> order = {
      "\n Window? 1=rectangular 2=Hanning \n",
      kPrompt1, " File: force.txt opened. \n", " File: fft_full_1.out opened. \n", "\n\n reading time history ",
      "\n\n  8 samples will be used for FFT\n", "\n delta f= ", "\n mean removal", "\n Hanning window ",
      "\n nm1= ", "\n call function ctfourier ",
      kPrompt2, " File: response.txt opened. \n", " File: fft_full_2.out opened. \n",
      "\n\n reading time history ", "\n mean removal", "\n Hanning window ", "\n nm1= ",
      "\n call function ctfourier ", "\n\n cross_s \n", "\n cross_g \n", "\n h_functions ",
      "\n\n The format for the following output files is: "};
  size_t at = 0;
  for (const std::string& line : order) {
    const size_t found = env.transcript.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line;
    at = found + line.size();
  }
}

// Each way a file of a pass cannot be opened: the four report lines, the
// reason, and the run ends there with status 1, no later stage, no summary.
TEST(Driver, FileThatCannotBeOpenedEndsTheRun) {
  const std::string long_name(300, 'n');
  const std::string long_kept(259, 'n');
  auto lines = [](const std::string& prompt, const std::vector<std::string>& report, const std::string& name,
                  const std::string& reason) {
    std::string text = prompt;
    for (const std::string& line : report) text += line;
    return text + "\n Error: cannot open file " + name + ": " + reason + " \n";
  };
  const std::string ok1[] = {" File: fft_1.out opened. \n", " File: fft_half_1.out opened. \n",
                             " File: fft_full_1.out opened. \n"};
  struct failure_case {
    const char* name;
    std::function<void()> setup;
    std::string replies;
    size_t passes_read;
    std::string tail;
  };
  const failure_case cases[] = {
      {"missing_force", [] {}, "1 2 nosuch.txt response.txt", 0,
       lines(kPrompt1, {" Failed to open file: nosuch.txt \n", ok1[0], ok1[1], ok1[2]}, "nosuch.txt",
             "No such file or directory")},
      {"missing_response", [] {}, "1 2 force.txt nosuch.txt", 1,
       lines(kPrompt2,
             {" Failed to open file: nosuch.txt \n", " File: fft_2.out opened. \n", " File: fft_half_2.out opened. \n",
              " File: fft_full_2.out opened. \n"},
             "nosuch.txt", "No such file or directory")},
      {"folder_as_force", [] { mkdir("inputs", 0755); }, "1 2 inputs response.txt", 0,
       lines(kPrompt1, {" Failed to open file: inputs \n", ok1[0], ok1[1], ok1[2]}, "inputs", "Is a directory")},
      {"spectrum_file_is_a_folder", [] { mkdir("fft_half_1.out", 0755); }, "1 2 force.txt response.txt", 0,
       lines(kPrompt1,
             {" File: force.txt opened. \n", ok1[0], " Failed to open file: fft_half_1.out \n", ok1[2]},
             "fft_half_1.out", "Is a directory")},
      {"second_pass_spectrum_file_is_a_folder", [] { mkdir("fft_2.out", 0755); }, "2 1 force.txt response.txt", 1,
       lines(kPrompt2,
             {" File: response.txt opened. \n", " Failed to open file: fft_2.out \n",
              " File: fft_half_2.out opened. \n", " File: fft_full_2.out opened. \n"},
             "fft_2.out", "Is a directory")},
      {"name_too_long", [] {}, "1 2 " + long_name + " response.txt", 0,
       lines(kPrompt1, {" Failed to open file: " + long_kept + " \n", ok1[0], ok1[1], ok1[2]}, long_kept,
             "File name too long")},
      // Replies end before the first name: the empty name cannot be opened.
      {"no_name_at_all", [] {}, "1 2\n", 0,
       lines(kPrompt1, {" Failed to open file:  \n", ok1[0], ok1[1], ok1[2]}, "", "No such file or directory")},
  };
  for (const failure_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    write_file(dir / "force.txt", kForce);
    write_file(dir / "response.txt", kResponse);
    {
      cwd_guard cwd(dir.path());
      c.setup();
    }
    run_result r = run_quorvid(dir.path(), c.replies);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(ends_with(r.output, c.tail)) << r.output;
    EXPECT_EQ(occurrences(r.output, "\n\n reading time history "), c.passes_read);
    EXPECT_EQ(r.output.find("\n\n cross_s \n"), std::string::npos);
    EXPECT_EQ(r.output.find("Press any key"), std::string::npos);
    EXPECT_FALSE(file_exists(dir / "complex_spectrum_sab.out"));
  }
}

// The same ending in-process: no slot is left open and the summary is not written.
TEST(Driver, EndedRunLeavesNoSlotOpen) {
  temp_dir dir;
  cwd_guard cwd(dir.path());
  write_file("force.txt", kForce);
  mkdir("fft_full_2.out", 0755);
  stage_env env("1 2 force.txt force.txt");
  EXPECT_EQ(qv::run_program(env.ws, env.con), 1);
  EXPECT_TRUE(ends_with(env.transcript, "\n Error: cannot open file fft_full_2.out: Is a directory \n"));
  for (int n = 1; n <= qv::kSlots; ++n) EXPECT_FALSE(env.ws.slot(n).is_open()) << n;
}

// Data reports ("fscanf error", "dt error", a zero time span) are not failures:
// the run reaches the summary with status 0, and no infinity or NaN reaches a
// spectrum file of the passes.
TEST(Driver, DataReportsDoNotEndTheRun) {
  struct data_case {
    const char* name;
    std::string force, response;
    std::vector<std::string> messages;
  };
  const data_case cases[] = {
      {"typical", kForce, kResponse, {}},
      {"empty_force", "", kResponse, {"\n fscanf error ", "\n  dt error "}},
      {"header_line_response", kForce, "time response\n0 1\n", {"\n fscanf error ", "\n  dt error "}},
      {"one_record_force", "0 1\n", kResponse, {"\n  dt error "}},
      {"zero_span_both",
       "2 1\n2 -1\n2 3\n2 0.5\n",
       "2 0.5\n2 1\n2 -2\n2 1\n",
       {"\n  dt error: zero or non-finite time span, time base and statistics not computed "}},
      {"zero_span_response",
       kForce,
       "1 1\n1 2\n1 -3\n1 0\n1 1\n1 5\n1 0\n1 2\n",
       {"\n  dt error: zero or non-finite time span, time base and statistics not computed "}},
      {"infinite_span_force",
       "0 1\ninf 2\n",
       kResponse,
       {"\n  dt error: zero or non-finite time span, time base and statistics not computed "}},
  };
  for (const data_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    write_file(dir / "force.txt", c.force);
    write_file(dir / "response.txt", c.response);
    run_result r = run_quorvid(dir.path(), "1 2 force.txt response.txt\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(ends_with(r.output, kClosingSummary));
    for (const std::string& message : c.messages) EXPECT_NE(r.output.find(message), std::string::npos) << message;
    for (const char* name : {"fft_1.out", "fft_half_1.out", "fft_full_1.out", "fft_2.out", "fft_half_2.out",
                             "fft_full_2.out"}) {
      EXPECT_TRUE(file_exists(dir / name)) << name;
      EXPECT_TRUE(all_finite(dir / name)) << name << ":\n" << read_file(dir / name);
    }
    for (const char* name : kAllOutputs) EXPECT_TRUE(file_exists(dir / name)) << name;
  }
}

// A response whose time base fails keeps the force's: the frequency column of
// its spectrum is the force's, line for line.
TEST(Driver, SecondPassKeepsTheFirstPassTimeBase) {
  temp_dir dir;
  write_file(dir / "force.txt", kForce);
  write_file(dir / "response.txt", "1 1\n1 2\n1 -3\n1 0\n1 1\n1 5\n1 0\n1 2\n");
  run_result r = run_quorvid(dir.path(), "2 1 force.txt response.txt");
  ASSERT_EQ(r.status, 0);
  const std::vector<std::string> force = read_lines(dir / "fft_1.out");
  const std::vector<std::string> response = read_lines(dir / "fft_2.out");
  ASSERT_EQ(force.size(), 8u);
  ASSERT_EQ(response.size(), 8u);
  for (size_t p = 0; p < 8; ++p) {
    EXPECT_EQ(fields(response[p]).at(0), fields(force[p]).at(0)) << p;
    EXPECT_NEAR(fields(force[p]).at(0), p / 3.5, 1e-6) << p;  // written with 7 digits
  }
}

// Each pass starts from cleared arrays: a shorter, all-zero response has an
// all-zero spectrum, with nothing left over from the force's pass.
TEST(Driver, ShorterResponseLeavesNothingOfTheForce) {
  temp_dir dir;
  write_file(dir / "force.txt", kForce);
  write_file(dir / "response.txt", "0 0\n0.5 0\n1 0\n1.5 0\n");
  run_result r = run_quorvid(dir.path(), "2 1 force.txt response.txt");
  ASSERT_EQ(r.status, 0);
  const std::vector<std::string> response = read_lines(dir / "fft_2.out");
  ASSERT_EQ(response.size(), 4u);
  for (const std::string& line : response) {
    const std::vector<double> v = fields(line);
    ASSERT_EQ(v.size(), 3u) << line;
    EXPECT_EQ(v[1], 0.0) << line;
    EXPECT_EQ(v[2], 0.0) << line;
  }
}

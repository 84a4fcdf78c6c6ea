// Tests of the time-history reader: the counting read and the read-back, the
// sizing of the transform, the time base and statistics, the console report,
// the failure paths, and that slot 1 is closed whatever happens.
//
// Each test writes a small time-history file, opens it in slot 1 of a fresh
// workspace and runs read_history in-process.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "input/conditioning.h"
#include "input/read_history.h"
#include "test_support.h"

using namespace qv_test;

namespace {

// Writes `text` as the input file, opens it in slot 1 and runs the reader.
void read_text(stage_env& env, const temp_dir& dir, const std::string& text) {
  const std::string path = dir / "history.txt";
  write_file(path, text);
  qv::set_slot_name(env.ws, 1, path.c_str());
  ASSERT_TRUE(qv::open_slot(env.ws, 1, qv::open_mode::read));
  qv::read_history(env.ws, env.con);
}

// `count` records, one to a line, each line made by `line(k)`.
std::string records(uint32_t count, const std::function<std::string(uint32_t)>& line) {
  std::string text;
  text.reserve(size_t(count) * 16);
  for (uint32_t k = 0; k < count; ++k) text += line(k);
  return text;
}

// Record k at time k (whole seconds), amplitude k mod 5.
std::string whole_second_records(uint32_t count) {
  return records(count, [](uint32_t k) { return std::to_string(k) + " " + std::to_string(k % 5) + "\n"; });
}

// Record k at time k * 0.001 s written with three decimals, amplitude 1, -1, 1, ...
std::string millisecond_records(uint32_t count) {
  return records(count, [](uint32_t k) {
    char line[48];
    std::snprintf(line, sizeof line, "%u.%03u %s\n", k / 1000, k % 1000, k % 2 == 0 ? "1" : "-1");
    return std::string(line);
  });
}

// `text` right-aligned in a field of `width` characters, as a printf width does.
std::string pad(size_t width, const std::string& text) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

// The reader's full report after the usage line, built from its formats.
std::string report(const std::string& samples, const std::string& dt, const std::string& sr,
                   const std::string& t_first, const std::string& t_last, const std::string& ave,
                   const std::string& sd, const std::string& rms, const std::string& kurtosis,
                   const std::string& df) {
  return "\n samples= " + samples + " " +                                          //
         "\n dt = " + pad(10, dt) + " sec  sr= " + pad(12, sr) + " samples/sec" +  //
         "\n\n time span= " + pad(12, t_first) + " sec to " + pad(12, t_last) + " sec" +
         "\n\n  ave= " + pad(9, ave) + " G    std dev = " + pad(9, sd) + " G   rms= " + pad(9, rms) + " G" +
         "\n kurtosis= " + pad(9, kurtosis) + "\n" + "\n delta f= " + pad(14, df) + " ";
}

const std::string kAnnounce = "\n\n reading time history ";
std::string usage(const std::string& n_fft) { return "\n\n  " + n_fft + " samples will be used for FFT\n"; }

}  // namespace

// How many records are read, used and counted, for files from empty to beyond
// the 262,144-record cap.
struct sizing_case {
  const char* name;
  std::function<std::string()> text;
  uint32_t n_fft, nstages, n_read;
  bool fscanf_error;
};

class ReaderSizing : public testing::TestWithParam<sizing_case> {};

TEST_P(ReaderSizing, CountsSizesAndClosesTheInput) {
  const sizing_case& c = GetParam();
  temp_dir dir;
  stage_env env;
  read_text(env, dir, c.text());
  EXPECT_EQ(env.ws.n_fft, c.n_fft);
  EXPECT_EQ(env.ws.nstages, c.nstages);
  EXPECT_EQ(env.ws.n_read, c.n_read);
  EXPECT_EQ(env.transcript.find("\n fscanf error ") != std::string::npos, c.fscanf_error);
  EXPECT_NE(env.transcript.find(usage(std::to_string(c.n_fft))), std::string::npos);
  // Fewer than two records read back: no time base, the dt error line instead.
  EXPECT_EQ(env.transcript.find("\n  dt error ") != std::string::npos, c.n_read < 2);
  EXPECT_EQ(env.transcript.find("\n samples= ") != std::string::npos, c.n_read >= 2);
  EXPECT_FALSE(env.ws.slot(1).is_open());
  EXPECT_FALSE(env.ws.failed);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReaderSizing,
    testing::Values(
        sizing_case{"empty", [] { return std::string(); }, 1, 0, 0, true},
        sizing_case{"header_line", [] { return std::string("time force\n0 1\n0.5 2\n1 3\n"); }, 1, 0, 0, true},
        sizing_case{"one_record", [] { return std::string("0 1.5\n"); }, 1, 0, 1, false},
        sizing_case{"two_records", [] { return std::string("0 1\n0.5 -1\n"); }, 2, 1, 2, false},
        sizing_case{"three_records", [] { return std::string("0 1\n1 2\n2 3\n"); }, 2, 1, 2, false},
        sizing_case{"records_1000", [] { return millisecond_records(1000); }, 512, 9, 512, false},
        sizing_case{"records_1024", [] { return millisecond_records(1024); }, 1024, 10, 1024, false},
        sizing_case{"records_262143", [] { return whole_second_records(262143); }, 131072, 17, 131072, false},
        sizing_case{"records_262144", [] { return whole_second_records(262144); }, 262144, 18, 262144, false},
        sizing_case{"records_300000", [] { return whole_second_records(300000); }, 262144, 18, 262144, false}),
    [](const testing::TestParamInfo<sizing_case>& info) { return std::string(info.param.name); });

TEST(Reader, ExactConsoleReports) {
  struct report_case {
    const char* name;
    std::string text;
    std::string transcript;
  };
  const report_case cases[] = {
      {"empty", "", kAnnounce + "\n fscanf error " + usage("1") + "\n  dt error "},
      {"header_line", "t a\n0 1\n1 2\n", kAnnounce + "\n fscanf error " + usage("1") + "\n  dt error "},
      {"one_record", "0.25 3\n", kAnnounce + usage("1") + "\n  dt error "},
      {"two_records", "0 1\n0.5 -1\n",
       kAnnounce + usage("2") + report("2", "0.5", "2.000000e+000", "0", "0.5", "0", "1", "1", "1", "2")},
      {"one_two_three_four", "0 1\n1 2\n2 3\n3 4\n",
       kAnnounce + usage("4") +
           report("4", "1", "1.000000e+000", "0", "3", "2.5", "1.118", "2.739", "56.64", "0.3333")},
      // Exponents come out with a sign and three digits.
      {"tens_of_microseconds", "0 1\n2e-5 -1\n4e-5 1\n6e-5 -1\n",
       kAnnounce + usage("4") +
           report("4", "2e-005", "5.000000e+004", "0", "6e-005", "0", "1", "1", "1", "1.667e+004")},
      {"records_1000", millisecond_records(1000),
       kAnnounce + usage("512") + "\n samples= 512 " + "\n dt =      0.001 sec  sr= 1.000000e+003 samples/sec" +
           "\n\n time span=            0 sec to        0.511 sec" +
           "\n\n  ave=         0 G    std dev =         1 G   rms=         1 G" + "\n kurtosis=         1" +
           "\n" + "\n delta f=          1.957 "},
  };
  for (const report_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    stage_env env;
    read_text(env, dir, c.text);
    EXPECT_EQ(env.transcript, c.transcript);
  }
}

TEST(Reader, TimeBaseOfRegularRecords) {
  struct time_case {
    const char* name;
    std::string text;
    double t_last, span, dt, sr, df;
  };
  const time_case cases[] = {
      {"two_records", "0 1\n0.5 -1\n", 0.5, 0.5, 0.5, 2, 2},
      // 1,000 records: only the first 512 are used, so the span ends at 0.511 s.
      {"records_1000", millisecond_records(1000), 0.511, 0.511, 0.511 / 511, 511 / 0.511, 1 / 0.511},
      // df is the reciprocal of the time from the first to the last used sample.
      {"records_1024", millisecond_records(1024), 1.023, 1.023, 1.023 / 1023, 1023 / 1.023, 1 / 1.023},
      // Irregular times between the first and the last record change nothing.
      {"irregular_times", "0 1\n0.1 2\n2.9 3\n3 4\n", 3, 3, 1, 1, 1.0 / 3},
  };
  for (const time_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    stage_env env;
    read_text(env, dir, c.text);
    EXPECT_EQ(env.ws.t_first, 0.0);
    EXPECT_EQ(env.ws.t_last, c.t_last);
    EXPECT_EQ(env.ws.span, c.span);
    EXPECT_DOUBLE_EQ(env.ws.dt, c.dt);
    EXPECT_DOUBLE_EQ(env.ws.sr, c.sr);
    EXPECT_DOUBLE_EQ(env.ws.df, c.df);
  }
}

TEST(Reader, StatisticsOfKnownRecords) {
  struct stats_case {
    const char* name;
    std::string text;
    double ave, rms, sd, kurtosis;
  };
  const stats_case cases[] = {
      {"alternating", "0 1\n1 -1\n2 1\n3 -1\n", 0, 1, 1, 1},
      // The fourth moment is taken about zero, not about the mean.
      {"one_two_three_four", "0 1\n1 2\n2 3\n3 4\n", 2.5, std::sqrt(7.5), std::sqrt(1.25), 56.64},
      {"alternating_1024", millisecond_records(1024), 0, 1, 1, 1},
  };
  for (const stats_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    stage_env env;
    read_text(env, dir, c.text);
    EXPECT_DOUBLE_EQ(env.ws.ave, c.ave);
    EXPECT_DOUBLE_EQ(env.ws.rms, c.rms);
    EXPECT_NEAR(env.ws.sd, c.sd, 1e-14);
    EXPECT_NEAR(env.ws.kurtosis, c.kurtosis, 1e-12);
  }
}

TEST(Reader, StatisticsSumTheStoredFloatsInIndexOrder) {
  temp_dir dir;
  stage_env env;
  read_text(env, dir, "0 0.1\n1 0.2\n2 0.3\n3 0.4\n");
  const float x[] = {0.1f, 0.2f, 0.3f, 0.4f};
  double s1 = 0, s2 = 0;
  for (float v : x) {
    s1 += double(v);
    s2 += double(v) * double(v);
  }
  for (int k = 0; k < 4; ++k) EXPECT_EQ(env.ws.signal[k].re, x[k]);
  EXPECT_EQ(env.ws.ave, s1 / 4);
  EXPECT_EQ(env.ws.rms, std::sqrt(s2 / 4));
  EXPECT_EQ(env.ws.sd, std::sqrt(env.ws.rms * env.ws.rms - env.ws.ave * env.ws.ave));
}

TEST(Reader, ConstantRecordHasNoNaNSpread) {
  // rms^2 - ave^2 can round a hair either side of zero for a constant record:
  // below zero it must give 0, not the square root of a negative number.
  for (const char* amplitude : {"3", "0.1", "-7.7", "1e-20", "0.3"}) {
    SCOPED_TRACE(amplitude);
    temp_dir dir;
    stage_env env;
    read_text(env, dir, records(1024, [&](uint32_t k) { return std::to_string(k) + " " + amplitude + "\n"; }));
    const double x = std::strtof(amplitude, nullptr);
    EXPECT_EQ(env.ws.ave, x);
    EXPECT_FALSE(std::isnan(env.ws.sd));
    EXPECT_LE(env.ws.sd, 1e-7 * std::fabs(x));
  }
  // Short records of whole numbers sum exactly: the spread is exactly 0.
  temp_dir dir;
  stage_env env;
  read_text(env, dir, "0 3\n1 3\n2 3\n3 3\n");
  EXPECT_EQ(env.ws.sd, 0.0);
}

// The statistics cover the n_fft samples read back, so mean removal leaves the
// analysed block with zero mean even when the file holds more records.
TEST(Reader, StatisticsCoverTheUsedSamplesOnly) {
  temp_dir dir;
  stage_env env;
  read_text(env, dir, records(1000, [](uint32_t k) { return std::to_string(k) + " " + std::to_string(k) + "\n"; }));
  EXPECT_NE(env.transcript.find("\n samples= 512 "), std::string::npos);
  EXPECT_EQ(env.ws.ave, 255.5);  // the mean of 0 .. 511, not of 0 .. 999
  double s2 = 0;
  for (int k = 0; k < 512; ++k) s2 += double(k) * k;
  EXPECT_EQ(env.ws.rms, std::sqrt(s2 / 512));
  // The records beyond 511 were counted but are not part of the block.
  qv::remove_mean(env.ws, env.con);
  double sum = 0;
  for (int k = 0; k < 512; ++k) sum += env.ws.signal[k].re;
  EXPECT_EQ(sum, 0.0);
}

// White space of any kind and any placement reads the same as one record to a line.
TEST(Reader, LayoutOfTheRecordsDoesNotMatter) {
  const std::string reference = "0 1.5\n0.5 -2\n1 2.25\n1.5 4\n";
  struct layout_case {
    const char* name;
    std::string text;
  };
  const layout_case cases[] = {
      {"cr_lf", "0 1.5\r\n0.5 -2\r\n1 2.25\r\n1.5 4\r\n"},
      {"several_per_line", "0 1.5 0.5 -2\n1 2.25 1.5 4\n"},
      {"all_on_one_line", "0 1.5 0.5 -2 1 2.25 1.5 4"},
      {"one_value_per_line", "0\n1.5\n0.5\n-2\n1\n2.25\n1.5\n4\n"},
      {"tabs_and_blank_lines", "\n\t0\t1.5\n\n  0.5   -2 \t\n1\n\n2.25 1.5 4"},
      {"no_final_line_break", "0 1.5\n0.5 -2\n1 2.25\n1.5 4"},
  };
  temp_dir ref_dir;
  stage_env ref;
  read_text(ref, ref_dir, reference);
  ASSERT_EQ(ref.ws.n_read, 4u);
  for (const layout_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    stage_env env;
    read_text(env, dir, c.text);
    EXPECT_EQ(env.transcript, ref.transcript);
    EXPECT_EQ(env.ws.n_read, 4u);
    EXPECT_EQ(env.ws.t_first, 0.0);
    EXPECT_EQ(env.ws.t_last, 1.5);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(env.ws.signal[k].re, ref.ws.signal[k].re) << k;
  }
}

TEST(Reader, RecordsThatEndEarly) {
  struct early_case {
    const char* name;
    std::string text;
    uint32_t n_fft, n_read;
    double t_last;
    float amplitudes[4];
  };
  const early_case cases[] = {
      // A final time with nothing after it is one more record, of amplitude 0.
      {"final_time_alone", "0 1\n1 2\n2 3\n3", 4, 4, 3, {1, 2, 3, 0}},
      // A non-number amplitude: that record counts with amplitude 0, then reading ends.
      {"non_number_amplitude", "0 1\n1 2\n2 3\n3 x\n4 5\n5 6\n6 7\n7 8\n", 4, 4, 3, {1, 2, 3, 0}},
      // A non-number time ends the reading; the records before it are used.
      {"non_number_time", "0 1\n1 2\n? 3\n3 4\n", 2, 2, 1, {1, 2, 0, 0}},
  };
  for (const early_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    stage_env env;
    read_text(env, dir, c.text);
    EXPECT_EQ(env.ws.n_fft, c.n_fft);
    EXPECT_EQ(env.ws.n_read, c.n_read);
    EXPECT_EQ(env.ws.t_last, c.t_last);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(env.ws.signal[k].re, c.amplitudes[k]) << k;
    for (int k = 4; k < 8; ++k) EXPECT_EQ(env.ws.signal[k].re, 0.0f) << k;
    for (int k = 0; k < 8; ++k) EXPECT_EQ(env.ws.signal[k].im, 0.0f) << k;
    EXPECT_EQ(env.transcript.find("fscanf error"), std::string::npos);
  }
}

// The counting read stops at the cap: record 262,144 is never stored, so the
// entry just past `signal` (the start of `scratch`) keeps its value.
TEST(Reader, RecordsBeyondTheCapAreNeverRead) {
  temp_dir dir;
  stage_env env;
  env.ws.scratch[0] = {-123.0f, -456.0f};
  read_text(env, dir, records(262150, [](uint32_t k) {
              return std::to_string(k) + (k >= 262144 ? " 99\n" : " 1\n");
            }));
  EXPECT_EQ(env.ws.n_fft, 262144u);
  EXPECT_EQ(env.ws.n_read, 262144u);
  EXPECT_EQ(env.ws.t_last, 262143.0);
  EXPECT_EQ(env.ws.signal[262143].re, 1.0f);
  EXPECT_EQ(env.ws.scratch[0].re, -123.0f);
  EXPECT_EQ(env.ws.scratch[0].im, -456.0f);
  EXPECT_EQ(env.ws.ave, 1.0);
}

// Without a usable time base the time base and statistics keep their previous
// values (those of the first pass, here stood in for by marks).
TEST(Reader, DtErrorKeepsThePreviousTimeBaseAndStatistics) {
  const std::string zero_span = "\n  dt error: zero or non-finite time span, time base and statistics not computed ";
  struct dt_case {
    const char* name;
    std::string text;
    std::string transcript;
  };
  const dt_case cases[] = {
      {"empty", "", kAnnounce + "\n fscanf error " + usage("1") + "\n  dt error "},
      {"one_record", "4 2\n", kAnnounce + usage("1") + "\n  dt error "},
      {"all_times_equal", "5 1\n5 2\n5 3\n5 4\n", kAnnounce + usage("4") + zero_span},
      {"first_time_nan", "nan 1\n1 2\n", kAnnounce + usage("2") + zero_span},
      {"last_time_infinite", "0 1\ninf 2\n", kAnnounce + usage("2") + zero_span},
      {"span_overflows", "-1e308 1\n1e308 2\n", kAnnounce + usage("2") + zero_span},
      // A subnormal span: the frequency step would be infinite.
      {"span_too_small", "0 1\n1e-320 2\n", kAnnounce + usage("2") + zero_span},
  };
  for (const dt_case& c : cases) {
    SCOPED_TRACE(c.name);
    temp_dir dir;
    stage_env env;
    qv::workspace& ws = env.ws;
    ws.span = 1.5;
    ws.dt = 0.5;
    ws.sr = 2;
    ws.df = 1 / 1.5;
    ws.ave = 0.25;
    ws.sd = 0.75;
    ws.rms = 0.8;
    ws.kurtosis = 3.5;
    read_text(env, dir, c.text);
    EXPECT_EQ(env.transcript, c.transcript);
    EXPECT_EQ(ws.span, 1.5);
    EXPECT_EQ(ws.dt, 0.5);
    EXPECT_EQ(ws.sr, 2.0);
    EXPECT_EQ(ws.df, 1 / 1.5);
    EXPECT_EQ(ws.ave, 0.25);
    EXPECT_EQ(ws.sd, 0.75);
    EXPECT_EQ(ws.rms, 0.8);
    EXPECT_EQ(ws.kurtosis, 3.5);
    EXPECT_FALSE(ws.slot(1).is_open());
    EXPECT_FALSE(ws.failed);
  }
}

// Two passes on one workspace: a second input of one record leaves the first
// input's time base and statistics in place, and takes its own t_first.
TEST(Reader, SecondPassKeepsTheFirstPassTimeBaseOnDtError) {
  temp_dir dir;
  stage_env env;
  qv::workspace& ws = env.ws;
  read_text(env, dir, "0 1\n0.5 -1\n1 1\n1.5 -1\n");
  const double dt = ws.dt, sr = ws.sr, df = ws.df, span = ws.span, ave = ws.ave, sd = ws.sd, rms = ws.rms,
               kurtosis = ws.kurtosis;
  ASSERT_EQ(dt, 0.5);
  std::memset(ws.signal, 0, sizeof ws.signal);
  env.transcript.clear();
  read_text(env, dir, "7 2\n");
  EXPECT_NE(env.transcript.find("\n  dt error "), std::string::npos);
  EXPECT_EQ(ws.n_fft, 1u);
  EXPECT_EQ(ws.n_read, 1u);
  EXPECT_EQ(ws.t_first, 7.0);
  EXPECT_EQ(ws.t_last, 7.0);
  EXPECT_EQ(ws.signal[0].re, 2.0f);
  EXPECT_EQ(ws.dt, dt);
  EXPECT_EQ(ws.sr, sr);
  EXPECT_EQ(ws.df, df);
  EXPECT_EQ(ws.span, span);
  EXPECT_EQ(ws.ave, ave);
  EXPECT_EQ(ws.sd, sd);
  EXPECT_EQ(ws.rms, rms);
  EXPECT_EQ(ws.kurtosis, kurtosis);
}

// An input that opens but cannot be read ends the run with the reason; the
// slot is closed all the same.
TEST(Reader, ReadErrorIsReportedAndTheInputClosed) {
  stage_env env;
  qv::set_slot_name(env.ws, 1, "/proc/self/mem");  // reading at offset 0 fails with EIO
  if (!qv::open_slot(env.ws, 1, qv::open_mode::read)) GTEST_SKIP() << "/proc/self/mem cannot be opened here";
  qv::read_history(env.ws, env.con);
  // The first record did not convert, so the counting read reports that first.
  EXPECT_EQ(env.transcript, kAnnounce + "\n fscanf error \n Error: cannot read file /proc/self/mem: Input/output error \n");
  EXPECT_TRUE(env.ws.failed);
  EXPECT_FALSE(env.ws.slot(1).is_open());
}

// Tests of the conditioning stages, mean removal and the scaled Hanning window,
// on short known records: exact weights, double-precision evaluation rounded to
// float on store, the order of the two stages, and that nothing outside the
// first n_fft real parts is touched.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "input/conditioning.h"
#include "test_support.h"

using namespace qv_test;

namespace {

const double kScale = std::sqrt(8.0 / 3.0);

// Puts `samples` in the real parts of the first entries, sets n_fft = n_read to
// their number, and marks the next four entries so that a write there shows.
void load(qv::workspace& ws, const std::vector<float>& samples) {
  for (size_t k = 0; k < samples.size(); ++k) ws.signal[k] = {samples[k], 0.0f};
  for (size_t k = samples.size(); k < samples.size() + 4; ++k) ws.signal[k] = {-9.5f, 4.25f};
  ws.n_fft = ws.n_read = uint32_t(samples.size());
}

void expect_rest_untouched(const qv::workspace& ws) {
  for (uint32_t k = 0; k < ws.n_fft; ++k) EXPECT_EQ(ws.signal[k].im, 0.0f) << k;
  for (uint32_t k = ws.n_fft; k < ws.n_fft + 4; ++k) {
    EXPECT_EQ(ws.signal[k].re, -9.5f) << k;
    EXPECT_EQ(ws.signal[k].im, 4.25f) << k;
  }
}

}  // namespace

TEST(Hanning, FourOnesGiveZeroHalfFullHalf) {
  stage_env env;
  load(env.ws, {1, 1, 1, 1});
  qv::hanning(env.ws, env.con);
  EXPECT_EQ(env.transcript, "\n Hanning window ");
  EXPECT_EQ(env.ws.hanning_scale, kScale);
  EXPECT_NEAR(env.ws.hanning_scale, 1.632993161855452, 1e-15);
  EXPECT_EQ(env.ws.signal[0].re, 0.0f);
  EXPECT_EQ(env.ws.signal[1].re, float(kScale / 2));
  EXPECT_EQ(env.ws.signal[2].re, float(kScale));
  EXPECT_EQ(env.ws.signal[3].re, float(kScale / 2));
  expect_rest_untouched(env.ws);
}

// The periodic window (divisor n, not n - 1): its mean is s/2 and its mean
// square 1, the last weight is small but not 0, and the peak sits at n/2.
TEST(Hanning, PeriodicWindowOfUnitMeanSquare) {
  for (uint32_t n : {4u, 16u, 1024u}) {
    SCOPED_TRACE(n);
    stage_env env;
    load(env.ws, std::vector<float>(n, 1.0f));
    qv::hanning(env.ws, env.con);
    double sum = 0, sum_sq = 0;
    for (uint32_t k = 0; k < n; ++k) {
      const double w = env.ws.signal[k].re;
      sum += w;
      sum_sq += w * w;
    }
    EXPECT_NEAR(sum / n, kScale / 2, 1e-6);
    EXPECT_NEAR(sum_sq / n, 1.0, 1e-6);
    EXPECT_EQ(env.ws.signal[n / 2].re, float(kScale));
    EXPECT_GT(env.ws.signal[n - 1].re, 0.0f);
    expect_rest_untouched(env.ws);
  }
}

TEST(Hanning, WeighsEachSample) {
  stage_env env;
  load(env.ws, {7, -3, 0.1f, 1e30f});
  qv::hanning(env.ws, env.con);
  EXPECT_EQ(env.ws.signal[0].re, 0.0f);
  EXPECT_EQ(env.ws.signal[1].re, float(kScale / 2 * -3.0));
  EXPECT_EQ(env.ws.signal[2].re, float(kScale * double(0.1f)));
  EXPECT_EQ(env.ws.signal[3].re, float(kScale / 2 * double(1e30f)));
}

// One sample read (n_read 1) or none (n_read 0, the first record did not
// convert): the single entry gets weight 0, never a division by zero.
TEST(Hanning, SingleEntryBecomesZero) {
  for (uint32_t n_read : {1u, 0u}) {
    SCOPED_TRACE(n_read);
    stage_env env;
    load(env.ws, {5});
    env.ws.n_read = n_read;
    qv::hanning(env.ws, env.con);
    EXPECT_EQ(env.ws.signal[0].re, 0.0f);
    EXPECT_FALSE(std::signbit(env.ws.signal[0].re));
    expect_rest_untouched(env.ws);
  }
}

TEST(RemoveMean, SubtractsTheMeanFromTheUsedSamples) {
  struct mean_case {
    const char* name;
    std::vector<float> samples;
    double ave;
    std::vector<float> expected;
  };
  const mean_case cases[] = {
      {"alternating", {3, 5, 3, 5}, 4, {-1, 1, -1, 1}},
      {"constant", std::vector<float>(8, 2.5f), 2.5, std::vector<float>(8, 0.0f)},
      {"single_entry", {7}, 2, {5}},
      // A dt error left the previous pass's mean: it is subtracted all the same.
      {"mean_left_from_before", {1, 1}, -0.5, {1.5, 1.5}},
      // The difference is taken in double precision, then rounded: in single
      // precision 0.1f - float(0.1) would be 0.
      {"double_precision_difference", {0.1f, 1}, 0.1, {float(double(0.1f) - 0.1), float(1 - 0.1)}},
  };
  for (const mean_case& c : cases) {
    SCOPED_TRACE(c.name);
    stage_env env;
    load(env.ws, c.samples);
    env.ws.ave = c.ave;
    qv::remove_mean(env.ws, env.con);
    EXPECT_EQ(env.transcript, "\n mean removal");
    for (size_t k = 0; k < c.expected.size(); ++k) EXPECT_EQ(env.ws.signal[k].re, c.expected[k]) << k;
    expect_rest_untouched(env.ws);
  }
}

// Both chosen: the window multiplies the samples that mean removal has shifted.
TEST(Conditioning, MeanRemovalThenWindow) {
  stage_env env;
  load(env.ws, {3, 5, 3, 5});
  env.ws.ave = 4;
  qv::remove_mean(env.ws, env.con);
  qv::hanning(env.ws, env.con);
  EXPECT_EQ(env.transcript, "\n mean removal\n Hanning window ");
  EXPECT_EQ(env.ws.signal[0].re, 0.0f);
  EXPECT_EQ(env.ws.signal[1].re, float(kScale / 2));
  EXPECT_EQ(env.ws.signal[2].re, float(-kScale));
  EXPECT_EQ(env.ws.signal[3].re, float(kScale / 2));
  expect_rest_untouched(env.ws);
}

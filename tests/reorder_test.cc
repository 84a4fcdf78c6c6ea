// Tests of the even/odd reorder: the order after each split, the bit-reversed
// result for the indices themselves at every size up to the largest transform,
// the cleared imaginary parts, the untouched tail of `signal`, and the console
// line.
#include "transform/reorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

using namespace qv_test;

namespace {

// j with its `bits` low bits in reverse order.
uint32_t bit_reversed(uint32_t j, uint32_t bits) {
  uint32_t r = 0;
  for (uint32_t b = 0; b < bits; ++b) r |= ((j >> b) & 1u) << (bits - 1 - b);
  return r;
}

// Sample m holds the value m (exact in a float up to 2^24) and a non-zero
// imaginary part that the reorder must discard.
void load_indices(qv::workspace& ws, uint32_t n) {
  for (uint32_t m = 0; m < n; ++m) ws.signal[m] = {float(m), -float(m) - 0.5f};
}

std::vector<float> real_parts(const qv::complex_entry* x, uint32_t n) {
  std::vector<float> v(n);
  for (uint32_t m = 0; m < n; ++m) v[m] = x[m].re;
  return v;
}

}  // namespace

// The splits are observed one at a time by running fewer stages than log2 N
// (the stage count comes from nstages alone): stage 1 sends the even samples to
// the first half and the odd ones to the second, stage 2 does the same in each
// half, and stage 3 changes nothing.
TEST(Reorder, EightSamplesAfterEachSplit) {
  const std::vector<std::vector<float>> after_stage = {
      {0, 2, 4, 6, 1, 3, 5, 7},
      {0, 4, 2, 6, 1, 5, 3, 7},
      {0, 4, 2, 6, 1, 5, 3, 7},
  };
  for (uint32_t stages = 1; stages <= 3; ++stages) {
    SCOPED_TRACE(stages);
    stage_env env;
    env.ws.n_fft = 8;
    env.ws.nstages = stages;
    load_indices(env.ws, 8);
    qv::reorder(env.ws, env.con);
    EXPECT_EQ(real_parts(env.ws.signal, 8), after_stage[stages - 1]);
  }
}

// The working copy of the last split is left in the real halves of `scratch`,
// one sample per entry, so a full run shows the order before stage 3 there;
// the imaginary halves of `scratch` are not written.
TEST(Reorder, WorkingCopyOfTheLastSplitSitsInScratch) {
  stage_env env;
  env.ws.n_fft = 8;
  env.ws.nstages = 3;
  load_indices(env.ws, 8);
  for (auto& e : env.ws.scratch) e.im = 42.0f;
  qv::reorder(env.ws, env.con);
  EXPECT_EQ(real_parts(env.ws.scratch, 8), (std::vector<float>{0, 4, 2, 6, 1, 5, 3, 7}));
  EXPECT_EQ(real_parts(env.ws.signal, 8), (std::vector<float>{0, 4, 2, 6, 1, 5, 3, 7}));
  for (uint32_t e = 0; e < 8; ++e) EXPECT_EQ(env.ws.scratch[e].im, 42.0f) << e;
}

TEST(Reorder, SixteenSamples) {
  stage_env env;
  env.ws.n_fft = 16;
  env.ws.nstages = 4;
  load_indices(env.ws, 16);
  qv::reorder(env.ws, env.con);
  EXPECT_EQ(real_parts(env.ws.signal, 16),
            (std::vector<float>{0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15}));
}

// x[m] = m gives rev(j) in entry j, with imaginary part 0, at every size from 2
// to the largest transform (whose working copy fills every float of scratch);
// entries from N on keep what they held; the console line shows nstages, N/2
// and n_read.
TEST(Reorder, IndicesComeOutBitReversedAtEverySize) {
  const qv::complex_entry tail{1234.5f, -7.25f};
  for (uint32_t stages = 1; stages <= 18; ++stages) {
    const uint32_t n = 1u << stages;
    SCOPED_TRACE(n);
    stage_env env;
    env.ws.n_fft = n;
    env.ws.nstages = stages;
    env.ws.n_read = n + 3;  // a count that differs from N shows which value is printed
    load_indices(env.ws, n);
    for (uint32_t m = n; m < qv::kSignalSize; ++m) env.ws.signal[m] = tail;
    qv::reorder(env.ws, env.con);

    uint32_t wrong = 0, first_wrong = n;
    for (uint32_t j = 0; j < n; ++j) {
      const qv::complex_entry& e = env.ws.signal[j];
      if (e.re != float(bit_reversed(j, stages)) || e.im != 0.0f || std::signbit(e.im)) {
        if (wrong++ == 0) first_wrong = j;
      }
    }
    EXPECT_EQ(wrong, 0u) << "first wrong entry " << first_wrong;
    uint32_t tail_changed = 0;
    for (uint32_t m = n; m < qv::kSignalSize; ++m) {
      if (env.ws.signal[m].re != tail.re || env.ws.signal[m].im != tail.im) ++tail_changed;
    }
    EXPECT_EQ(tail_changed, 0u);
    EXPECT_EQ(env.transcript, "\n nm1= " + std::to_string(stages) + "  md2=" + std::to_string(n / 2) +
                                  "  ns=" + std::to_string(n + 3) + " ");
    EXPECT_EQ(env.ws.md2, 0u);  // halved after every stage, down from N/2
  }
}

// Samples that are not small integers move unchanged, bit for bit, at the
// largest size, and the working copy of 262,144 real parts stays inside
// `scratch`: the members that follow it in the workspace keep their values.
TEST(Reorder, LargestTransformMovesValuesBitForBit) {
  constexpr uint32_t stages = 18, n = 1u << stages;
  stage_env env;
  env.ws.n_fft = n;
  env.ws.nstages = stages;
  env.ws.df = 0.125;
  const double tpi = env.ws.tpi;
  uint32_t state = 12345u;  // linear congruential generator, fixed start value
  std::vector<float> x(n);
  for (uint32_t m = 0; m < n; ++m) {
    state = state * 1664525u + 1013904223u;
    x[m] = (float(state >> 8) - 8388608.0f) * 1.1920929e-7f * 3.3f;
    env.ws.signal[m] = {x[m], 1.0f};
  }
  x[5] = -0.0f;
  env.ws.signal[5].re = -0.0f;
  qv::reorder(env.ws, env.con);
  uint32_t wrong = 0;
  for (uint32_t j = 0; j < n; ++j) {
    const float want = x[bit_reversed(j, stages)];
    if (std::memcmp(&env.ws.signal[j].re, &want, sizeof want) != 0) ++wrong;
  }
  EXPECT_EQ(wrong, 0u);
  EXPECT_EQ(env.ws.tpi, tpi);
  EXPECT_EQ(env.ws.df, 0.125);
  EXPECT_EQ(env.ws.n_fft, n);
}

// N = 2: both samples stay where they are and lose their imaginary parts.
TEST(Reorder, TwoSamplesStayInPlace) {
  stage_env env;
  env.ws.n_fft = 2;
  env.ws.nstages = 1;
  env.ws.n_read = 2;
  env.ws.signal[0] = {3.5f, 1.0f};
  env.ws.signal[1] = {-2.0f, 7.0f};
  qv::reorder(env.ws, env.con);
  EXPECT_EQ(env.transcript, "\n nm1= 1  md2=1  ns=2 ");
  EXPECT_EQ(env.ws.signal[0].re, 3.5f);
  EXPECT_EQ(env.ws.signal[0].im, 0.0f);
  EXPECT_EQ(env.ws.signal[1].re, -2.0f);
  EXPECT_EQ(env.ws.signal[1].im, 0.0f);
}

// N = 1 (an input with fewer than two records): only the message, with md2=0;
// neither array is touched.
TEST(Reorder, OneSamplePrintsOnlyTheMessage) {
  stage_env env;
  env.ws.n_fft = 1;
  env.ws.nstages = 0;
  env.ws.n_read = 1;
  env.ws.signal[0] = {3.5f, 1.0f};
  env.ws.signal[1] = {-2.0f, 7.0f};
  env.ws.scratch[0] = {9.0f, 8.0f};
  qv::reorder(env.ws, env.con);
  EXPECT_EQ(env.transcript, "\n nm1= 0  md2=0  ns=1 ");
  EXPECT_EQ(env.ws.signal[0].re, 3.5f);
  EXPECT_EQ(env.ws.signal[0].im, 1.0f);
  EXPECT_EQ(env.ws.signal[1].re, -2.0f);
  EXPECT_EQ(env.ws.signal[1].im, 7.0f);
  EXPECT_EQ(env.ws.scratch[0].re, 9.0f);
  EXPECT_EQ(env.ws.scratch[0].im, 8.0f);
}

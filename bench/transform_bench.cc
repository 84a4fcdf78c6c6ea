// Speed of the transform stage at the largest size (262,144 samples): the
// reorder, the transform without the files, the writing of the three spectrum
// files, and the whole stage; plus the cost of the twiddle tables' cosines and
// sines alone, to see what share of the transform they take.
//
//   cmake --build BUILD --target transform_bench && BUILD/transform_bench
//
// The workspace (~4 MB) is allocated once, outside the timed loops; the console
// writes into a string that is emptied every pass. Each benchmark reports
// `allocs`, the number of heap allocations made inside the timed calls per pass,
// counted by the malloc family below, which forwards to the C library's own.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/workspace.h"
#include "platform/console.h"
#include "platform/number_text.h"
#include "transform/ctfourier.h"
#include "transform/reorder.h"

// Allocation counter: every malloc, calloc and realloc of the process (operator
// new included, which calls malloc) goes through here.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
}

namespace {
std::atomic<uint64_t> allocations{0};
}

extern "C" void* malloc(size_t n) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t count, size_t n) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, n);
}
extern "C" void* realloc(void* p, size_t n) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(p, n);
}
extern "C" void free(void* p) { __libc_free(p); }

namespace {

constexpr uint32_t kStages = 18;
constexpr uint32_t kSamples = 1u << kStages;

// A workspace holding a random record of the largest size, with a console whose
// transcript the benchmarks empty each pass.
struct bench_env {
  std::unique_ptr<qv::workspace> owned = std::make_unique<qv::workspace>();
  qv::workspace& ws = *owned;
  std::string transcript;
  qv::console con{"", &transcript};
  std::vector<qv::complex_entry> record;

  bench_env() : record(kSamples) {
    uint32_t state = 2003u;  // linear congruential generator, fixed start value
    for (auto& e : record) {
      state = state * 1664525u + 1013904223u;
      e = {float(int32_t(state >> 8) - (1 << 23)) / float(1 << 23), 0.0f};
    }
    ws.n_fft = kSamples;
    ws.nstages = kStages;
    ws.n_read = kSamples;
    ws.df = 1000.0 / kSamples;
    transcript.reserve(4096);
    restore();
    // The number formatter builds its table of powers of ten on first use, once
    // per process (a one-time allocation); build it here, outside the timing.
    char text[64];
    benchmark::DoNotOptimize(qv::format_e(text, 1.5, 15, 6));
  }

  void restore() { std::memcpy(ws.signal, record.data(), kSamples * sizeof(qv::complex_entry)); }

  // Slots 2 to 4 opened for writing on `dir` files, or all on /dev/null.
  void open_files(const char* dir) {
    const char* names[] = {"fft_1.out", "fft_half_1.out", "fft_full_1.out"};
    for (int s = 2; s <= 4; ++s) {
      const std::string path = dir ? std::string(dir) + "/" + names[s - 2] : "/dev/null";
      qv::set_slot_name(ws, s, path.c_str());
      qv::open_slot(ws, s, qv::open_mode::write);
    }
  }
  void close_files() {
    for (int s = 2; s <= 4; ++s) qv::close_slot(ws, con, s);
  }
};

// The reorder is a permutation whose cost does not depend on the data, so it
// runs again and again on the same array.
void BM_Reorder(benchmark::State& state) {
  bench_env env;
  uint64_t allocs = 0;
  for (auto _ : state) {
    const uint64_t before = allocations.load(std::memory_order_relaxed);
    qv::reorder(env.ws, env.con);
    allocs += allocations.load(std::memory_order_relaxed) - before;
    env.transcript.clear();
    benchmark::DoNotOptimize(env.ws.signal[1].re);
  }
  state.counters["allocs"] = benchmark::Counter(double(allocs), benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_Reorder)->Unit(benchmark::kMillisecond);

// The butterflies and the twiddle tables, without the normalisation and the
// files; the record is put back (untimed) before every pass so the values stay
// those of a real record.
void BM_TransformInPlace(benchmark::State& state) {
  bench_env env;
  uint64_t allocs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    env.restore();
    env.transcript.clear();
    state.ResumeTiming();
    const uint64_t before = allocations.load(std::memory_order_relaxed);
    qv::transform_in_place(env.ws, env.con);
    allocs += allocations.load(std::memory_order_relaxed) - before;
    benchmark::DoNotOptimize(env.ws.signal[1].re);
  }
  state.counters["allocs"] = benchmark::Counter(double(allocs), benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_TransformInPlace)->Unit(benchmark::kMillisecond);

// The twiddle tables alone: one cosine and one sine per entry, N - 2 entries
// over the 17 stages from 2 on, with the program's roundings, into `scratch`.
void BM_TwiddleTablesOnly(benchmark::State& state) {
  bench_env env;
  for (auto _ : state) {
    for (uint32_t s = 2; s <= kStages; ++s) {
      const uint32_t l = 1u << s, h = l / 2;
      for (uint32_t t = 0; t < h; ++t) {
        const double theta = t * env.ws.tpi / l;
        env.ws.scratch[t] = {float(std::cos(theta)), float(-std::sin(theta))};
      }
    }
    benchmark::DoNotOptimize(env.ws.scratch[1].re);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (kSamples - 2));
}
BENCHMARK(BM_TwiddleTablesOnly)->Unit(benchmark::kMillisecond);

// Normalisation and the three files (262,144 + 262,144 + 131,072 lines, about
// 25 MB of text), up to and including the final flush when the slots close.
// Arg 0: all three on /dev/null (formatting alone); arg 1: real files in /tmp.
// The transformed record is put back and the files reopened, untimed, each pass.
void BM_WriteSpectrumFiles(benchmark::State& state) {
  bench_env env;
  qv::transform_in_place(env.ws, env.con);
  const std::vector<qv::complex_entry> spectrum(env.ws.signal, env.ws.signal + kSamples);
  char dir_template[] = "/tmp/quorvid-bench.XXXXXX";
  const char* dir = state.range(0) == 1 ? mkdtemp(dir_template) : nullptr;
  uint64_t allocs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(env.ws.signal, spectrum.data(), kSamples * sizeof(qv::complex_entry));
    env.open_files(dir);
    state.ResumeTiming();
    const uint64_t before = allocations.load(std::memory_order_relaxed);
    qv::write_spectrum_files(env.ws);
    env.close_files();
    allocs += allocations.load(std::memory_order_relaxed) - before;
  }
  if (dir) {
    for (const char* name : {"fft_1.out", "fft_half_1.out", "fft_full_1.out"}) {
      std::remove((std::string(dir) + "/" + name).c_str());
    }
    std::remove(dir);
  }
  state.counters["allocs"] = benchmark::Counter(double(allocs), benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_WriteSpectrumFiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The whole stage as the driver calls it, after the reorder, files on /dev/null.
void BM_Ctfourier(benchmark::State& state) {
  bench_env env;
  uint64_t allocs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    env.restore();
    env.transcript.clear();
    env.open_files(nullptr);
    state.ResumeTiming();
    const uint64_t before = allocations.load(std::memory_order_relaxed);
    qv::reorder(env.ws, env.con);
    qv::ctfourier(env.ws, env.con);
    env.close_files();
    allocs += allocations.load(std::memory_order_relaxed) - before;
  }
  state.counters["allocs"] = benchmark::Counter(double(allocs), benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations() * kSamples);
}
BENCHMARK(BM_Ctfourier)->Unit(benchmark::kMillisecond);

}  // namespace

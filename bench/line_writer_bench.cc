// Speed of handing result lines to the writer thread: the four two-sided
// spectrum files of the largest run (262,144 lines of "%12.4g %12.4g %12.4g \n"
// each, to /dev/null), written all on this thread, and with three of the four
// queued to the writer while this thread writes the fourth, as the cross
// stages do. The values are precomputed, so the figures show the conversions,
// the queue and the writes only.
//
//   cmake --build BUILD --target line_writer_bench && BUILD/line_writer_bench
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "platform/line_writer.h"
#include "platform/streams.h"

namespace {

constexpr int kLines = 262144;
constexpr size_t kBuffer = 1 << 16;
constexpr qv::line_format kLine = "%12.4g %12.4g %12.4g \n";

struct spectrum_lines {
  std::vector<double> freq, re, im;
  spectrum_lines() {
    std::mt19937_64 rng(3);
    std::normal_distribution<double> gauss;
    for (int p = 0; p < kLines; ++p) {
      freq.push_back(p * 0.038147);
      re.push_back(gauss(rng) * std::exp(-p * 1e-5));
      im.push_back(gauss(rng) * 1e-3);
    }
  }
};

const spectrum_lines& lines() {
  static const spectrum_lines data;
  return data;
}

// Four streams on /dev/null with buffers of their own.
struct four_files {
  int fd = ::open("/dev/null", O_WRONLY);
  std::unique_ptr<char[]> buffers{new char[4 * kBuffer]};
  qv::out_stream out[4];
  four_files() {
    for (int n = 0; n < 4; ++n) out[n].attach(fd, buffers.get() + n * kBuffer, kBuffer);
  }
  ~four_files() {
    for (auto& o : out) {
      o.flush();
      o.detach();
    }
    ::close(fd);
  }
};

void BM_FourFilesOnOneThread(benchmark::State& state) {
  const spectrum_lines& d = lines();
  four_files files;
  for (auto _ : state) {
    for (int p = 0; p < kLines; ++p) {
      files.out[0].print(kLine, d.freq[p], d.re[p], d.im[p]);
      files.out[1].print(kLine, d.freq[p], d.re[p], -d.im[p]);
      files.out[2].print(kLine, d.freq[p], d.re[p] * d.re[p], 0.0);
      files.out[3].print(kLine, d.freq[p], d.im[p] * d.im[p], 0.0);
    }
  }
  state.SetItemsProcessed(state.iterations() * kLines * 4);
}
BENCHMARK(BM_FourFilesOnOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ThreeFilesQueuedToTheWriter(benchmark::State& state) {
  const spectrum_lines& d = lines();
  four_files files;
  for (auto _ : state) {
    qv::line_writer writer;
    for (int p = 0; p < kLines; ++p) {
      files.out[0].print(kLine, d.freq[p], d.re[p], d.im[p]);
      writer.print(files.out[1], kLine, d.freq[p], d.re[p], -d.im[p]);
      writer.print(files.out[2], kLine, d.freq[p], d.re[p] * d.re[p], 0.0);
      writer.print(files.out[3], kLine, d.freq[p], d.im[p] * d.im[p], 0.0);
    }
    writer.finish();
  }
  state.SetItemsProcessed(state.iterations() * kLines * 4);
}
BENCHMARK(BM_ThreeFilesQueuedToTheWriter)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

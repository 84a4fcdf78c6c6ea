// Throughput of the number text layer beside the C library on the same numbers:
// the writer against snprintf plus the widening of its exponents to three
// digits, the readers against fscanf over fmemopen and over a file.
//
//   number_text_bench --benchmark_min_time=1
//
// Each pair shares its data; items are numbers, so items_per_second compares
// directly. At start-up the widened snprintf text is checked to be the
// writer's text byte for byte, so both sides do the same work.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/number_text.h"
#include "platform/streams.h"

namespace {

constexpr int kLines = 4096;

struct triple {
  double a, b, c;
};

// Spectrum lines as the transform writes them: float values widened to double,
// magnitudes spread over many decades, either sign.
const std::vector<triple>& spectrum_lines() {
  static const std::vector<triple> lines = [] {
    std::mt19937_64 gen(7);
    std::uniform_real_distribution<double> decade(-9, 3);
    auto value = [&] {
      float v = float(std::pow(10.0, decade(gen)));
      return double(gen() % 2 ? -v : v);
    };
    std::vector<triple> t(kLines);
    for (int p = 0; p < kLines; ++p) t[size_t(p)] = {p * 1.953125, value(), value()};
    return t;
  }();
  return lines;
}

// Cross-spectrum lines: products of such values, full double precision.
const std::vector<triple>& cross_lines() {
  static const std::vector<triple> lines = [] {
    std::vector<triple> t = spectrum_lines();
    for (auto& l : t) {
      double re = l.b * l.c + l.c * 0.37, im = l.b * 0.61 - l.c * l.b;
      l = {l.a, re, im};
    }
    return t;
  }();
  return lines;
}

// Widens every two-digit exponent of a line of right-aligned fields to three
// digits, taking the room from the field's padding (every field here has some).
size_t widen_exponents(const char* in, size_t len, char* out) {
  size_t o = 0;
  size_t blanks = 0;
  bool first = true;
  for (size_t i = 0; i < len;) {
    char c = in[i];
    if (c == ' ' || c == '\n') {
      out[o++] = c;
      blanks = c == ' ' ? blanks + 1 : 0;
      ++i;
      continue;
    }
    size_t j = i;
    while (j < len && in[j] != ' ' && in[j] != '\n') ++j;
    bool two_digits = j - i >= 4 && in[j - 4] == 'e';
    if (two_digits && blanks > (first ? 0u : 1u)) --o;
    for (; i < j; ++i) {
      out[o++] = in[i];
      if (two_digits && i == j - 3) out[o++] = '0';
    }
    first = false;
    blanks = 0;
  }
  return o;
}

template <class Write>
std::string whole_text(const std::vector<triple>& lines, Write write) {
  std::string text;
  char line[256];
  for (const auto& l : lines) text.append(line, write(line, l));
  return text;
}

size_t qv_e_line(char* out, const triple& l) { return qv::format_to(out, "%15.6e %15.6e %15.6e \n", l.a, l.b, l.c); }
size_t qv_g_line(char* out, const triple& l) { return qv::format_to(out, "%12.4g %12.4g %12.4g \n", l.a, l.b, l.c); }
size_t c_e_line(char* out, const triple& l) {
  char raw[128];
  int n = std::snprintf(raw, sizeof raw, "%15.6e %15.6e %15.6e \n", l.a, l.b, l.c);
  return widen_exponents(raw, size_t(n), out);
}
size_t c_g_line(char* out, const triple& l) {
  char raw[128];
  int n = std::snprintf(raw, sizeof raw, "%12.4g %12.4g %12.4g \n", l.a, l.b, l.c);
  return widen_exponents(raw, size_t(n), out);
}

// The two sides of each writer pair must produce the same text.
bool same_text_checked = [] {
  if (whole_text(spectrum_lines(), qv_e_line) != whole_text(spectrum_lines(), c_e_line) ||
      whole_text(cross_lines(), qv_g_line) != whole_text(cross_lines(), c_g_line)) {
    std::fprintf(stderr, "number_text_bench: the widened snprintf text differs from the writer's\n");
    std::exit(1);
  }
  return true;
}();

template <size_t (*Write)(char*, const triple&)>
void write_lines(benchmark::State& state, const std::vector<triple>& lines) {
  char line[256];
  size_t bytes = 0;
  for (auto _ : state) {
    for (const auto& l : lines) {
      size_t n = Write(line, l);
      benchmark::DoNotOptimize(line);
      bytes += n;
    }
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(lines.size()) * 3);
  state.SetBytesProcessed(int64_t(bytes));
}

void BM_write_e_quorvid(benchmark::State& s) { write_lines<qv_e_line>(s, spectrum_lines()); }
void BM_write_e_snprintf_widened(benchmark::State& s) { write_lines<c_e_line>(s, spectrum_lines()); }
void BM_write_g_quorvid(benchmark::State& s) { write_lines<qv_g_line>(s, cross_lines()); }
void BM_write_g_snprintf_widened(benchmark::State& s) { write_lines<c_g_line>(s, cross_lines()); }
BENCHMARK(BM_write_e_quorvid);
BENCHMARK(BM_write_e_snprintf_widened);
BENCHMARK(BM_write_g_quorvid);
BENCHMARK(BM_write_g_snprintf_widened);

// Reader texts: a time history of time/amplitude records, and the column files
// of the transform ("%15.6e") and of the cross stages ("%12.4g").
const std::string& history_text() {
  static const std::string text = [] {
    std::mt19937_64 gen(8);
    std::normal_distribution<double> noise(0, 3);
    std::string t;
    char line[64];
    for (int n = 0; n < 3 * kLines; ++n) {
      t.append(line, size_t(std::snprintf(line, sizeof line, "%.4f %.7g\n", n * 0.001, noise(gen))));
    }
    return t;
  }();
  return text;
}
const std::string& e_columns_text() {
  static const std::string text = whole_text(spectrum_lines(), qv_e_line);
  return text;
}
const std::string& g_columns_text() {
  static const std::string text = whole_text(cross_lines(), qv_g_line);
  return text;
}

int count_numbers_record(const std::string& text) { return int(std::count(text.begin(), text.end(), '\n')) * 2; }
int count_numbers_columns(const std::string& text) { return int(std::count(text.begin(), text.end(), '\n')) * 3; }

// The C library side: fscanf until it converts nothing.
void fscanf_records(FILE* f, double& sum) {
  double t;
  float a;
  while (std::fscanf(f, " %lf %f ", &t, &a) > 0) sum += t + a;
}
void fscanf_columns(FILE* f, double& sum) {
  double a, b, c;
  while (std::fscanf(f, "%lf %lf %lf", &a, &b, &c) > 0) sum += a + b + c;
}
void qv_records(qv::in_stream& in, double& sum) {
  double t;
  float a;
  while (qv::scan_record(in, t, a) > 0) sum += t + a;
}
void qv_columns(qv::in_stream& in, double& sum) {
  double a, b, c;
  while (qv::scan_columns(in, a, b, c) > 0) sum += a + b + c;
}

template <void (*Read)(FILE*, double&)>
void c_memory(benchmark::State& state, const std::string& text, int numbers) {
  double sum = 0;
  for (auto _ : state) {
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    Read(f, sum);
    std::fclose(f);
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(int64_t(state.iterations()) * numbers);
  state.SetBytesProcessed(int64_t(state.iterations() * text.size()));
}

template <void (*Read)(qv::in_stream&, double&)>
void qv_memory(benchmark::State& state, const std::string& text, int numbers) {
  double sum = 0;
  qv::in_stream in;
  for (auto _ : state) {
    in.attach_memory(text.data(), text.size());
    Read(in, sum);
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(int64_t(state.iterations()) * numbers);
  state.SetBytesProcessed(int64_t(state.iterations() * text.size()));
}

// A file holding the text for the duration of the program.
struct bench_file {
  std::string path;
  explicit bench_file(const std::string& text) {
    char name[] = "/tmp/number_text_bench_XXXXXX";
    int fd = ::mkstemp(name);
    path = name;
    if (fd < 0 || ::write(fd, text.data(), text.size()) != ssize_t(text.size())) std::exit(1);
    ::close(fd);
  }
  ~bench_file() { ::unlink(path.c_str()); }
};

void BM_read_records_fscanf_file(benchmark::State& state) {
  static bench_file file(history_text());
  double sum = 0;
  FILE* f = std::fopen(file.path.c_str(), "rb");
  for (auto _ : state) {
    std::rewind(f);
    fscanf_records(f, sum);
  }
  std::fclose(f);
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(int64_t(state.iterations()) * count_numbers_record(history_text()));
  state.SetBytesProcessed(int64_t(state.iterations() * history_text().size()));
}

void BM_read_records_quorvid_file(benchmark::State& state) {
  static bench_file file(history_text());
  double sum = 0;
  int fd = ::open(file.path.c_str(), O_RDONLY);
  static char buffer[1 << 16];  // a file slot's buffer
  qv::in_stream in;
  in.attach(fd, buffer, sizeof buffer);
  for (auto _ : state) {
    in.rewind();
    qv_records(in, sum);
  }
  ::close(fd);
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(int64_t(state.iterations()) * count_numbers_record(history_text()));
  state.SetBytesProcessed(int64_t(state.iterations() * history_text().size()));
}

void BM_read_records_fscanf_fmemopen(benchmark::State& s) {
  c_memory<fscanf_records>(s, history_text(), count_numbers_record(history_text()));
}
void BM_read_records_quorvid_memory(benchmark::State& s) {
  qv_memory<qv_records>(s, history_text(), count_numbers_record(history_text()));
}
void BM_read_e_columns_fscanf_fmemopen(benchmark::State& s) {
  c_memory<fscanf_columns>(s, e_columns_text(), count_numbers_columns(e_columns_text()));
}
void BM_read_e_columns_quorvid_memory(benchmark::State& s) {
  qv_memory<qv_columns>(s, e_columns_text(), count_numbers_columns(e_columns_text()));
}
void BM_read_g_columns_fscanf_fmemopen(benchmark::State& s) {
  c_memory<fscanf_columns>(s, g_columns_text(), count_numbers_columns(g_columns_text()));
}
void BM_read_g_columns_quorvid_memory(benchmark::State& s) {
  qv_memory<qv_columns>(s, g_columns_text(), count_numbers_columns(g_columns_text()));
}
BENCHMARK(BM_read_records_fscanf_file);
BENCHMARK(BM_read_records_quorvid_file);
BENCHMARK(BM_read_records_fscanf_fmemopen);
BENCHMARK(BM_read_records_quorvid_memory);
BENCHMARK(BM_read_e_columns_fscanf_fmemopen);
BENCHMARK(BM_read_e_columns_quorvid_memory);
BENCHMARK(BM_read_g_columns_fscanf_fmemopen);
BENCHMARK(BM_read_g_columns_quorvid_memory);

}  // namespace

// Lines of numbers formatted and written on a second thread, so that a stage's
// reading and arithmetic run beside the number text and the file writes of its
// outputs. The text and its order within each stream are exactly those of
// out_stream::print; only the thread that produces them differs.
//
//   static constexpr line_format kLine = "%12.4g %12.4g %12.4g \n";
//   line_writer lines;                  // starts the writer thread
//   lines.print(out, kLine, f, re, im);  // queued; returns at once
//   lines.finish();                      // every queued line is in `out` now
//
// Rules of use:
// - From the first print() to a stream until finish(), only the writer thread
//   touches that stream: no print, flush, error() or close from the caller.
// - Formats are static `line_format` objects: they are used after print()
//   returns, and hold two or three e/g conversions (checked when compiled).
// - One line_writer at a time; a second one, or one whose thread cannot be
//   started, formats each line at once on the caller's thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "platform/number_text.h"
#include "platform/streams.h"

namespace qv {

// A format of two or three real numbers, as the result files' lines are.
class line_format : public format {
 public:
  consteval line_format(const char* text) : format(text) {  // NOLINT: implicit by design
    if (count() < 2 || count() > 3) throw "line_format: two or three conversions";
    for (int n = 0; n < count(); ++n) {
      if (conv(n).type != 'e' && conv(n).type != 'g') throw "line_format: e and g conversions only";
    }
  }
};

struct queued_line {
  out_stream* out;
  const line_format* fmt;
  double value[3];
};

class line_writer {
 public:
  line_writer();
  ~line_writer() { finish(); }
  line_writer(const line_writer&) = delete;
  line_writer& operator=(const line_writer&) = delete;

  void print(out_stream& out, const line_format& fmt, double a, double b) { print(out, fmt, a, b, 0.0); }
  void print(out_stream& out, const line_format& fmt, double a, double b, double c) {
    if (ring_ == nullptr) return print_now(out, fmt, a, b, c);
    if (head_ == room_end_) wait_for_room();
    // The ring's lines were last read on the writer's core: ask for them early,
    // and for writing, or each store waits for the line to change hands
    // (prefetchw runs as a no-op on processors without it).
#if defined(__x86_64__)
    asm volatile("prefetchw %0" : : "m"(ring_[(head_ + kPrefetch) & kMask]));
#else
    __builtin_prefetch(&ring_[(head_ + kPrefetch) & kMask], 1);
#endif
    ring_[head_ & kMask] = {&out, &fmt, {a, b, c}};
    if ((++head_ & (kChunk - 1)) == 0) publish();
  }

  // Waits until every queued line has been written to its stream's buffer and
  // ends the thread; later print() calls format at once.
  void finish();

  // Whether lines go to the writer thread (false: formatted at once).
  bool threaded() const { return ring_ != nullptr; }

  static constexpr uint32_t kRing = 8192;   // queued lines, a power of two
  static constexpr uint32_t kMask = kRing - 1;
  static constexpr uint32_t kChunk = 256;   // lines handed over at a time
  static constexpr uint32_t kWake = 2048;   // a waiting side waits for this many
  static constexpr uint32_t kPrefetch = 48;  // lines ahead that are fetched early

 private:
  static void print_now(out_stream& out, const line_format& fmt, double a, double b, double c);
  void publish();
  void wait_for_room();
  void run();

  // Caller's side, no lock needed; a cache line of its own, as the caller
  // writes head_ for every line.
  alignas(64) queued_line* ring_ = nullptr;
  uint32_t head_ = 0;      // lines queued
  uint32_t room_end_ = 0;  // head_ may grow to this before waiting
  // Shared, under mutex_.
  alignas(64) std::mutex mutex_;
  std::condition_variable writer_wakes_, caller_wakes_;
  uint32_t head_shared_ = 0;  // lines the writer may take
  uint32_t tail_shared_ = 0;  // lines the writer has written
  bool writer_waiting_ = false, caller_waiting_ = false, stopping_ = false;
  std::thread thread_;
};

}  // namespace qv

// The writer thread and its queue; see line_writer.h.
//
// The queue is a ring of lines. The caller hands lines over a chunk at a time
// and the writer reports progress a chunk at a time, both under one mutex; a
// side that has to wait sleeps until kWake lines (or free places) are ready, so
// the threads wake each other a few hundred times per million lines, not per
// chunk.
#include "platform/line_writer.h"

#include <atomic>
#include <system_error>

namespace qv {
namespace {

queued_line g_ring[line_writer::kRing];
std::atomic<bool> g_ring_in_use{false};

}  // namespace

line_writer::line_writer() {
  // Text this thread wrote before may be in a stream the writer appends to and
  // flushes; this thread must not copy it back from there.
  forget_recent_fields();
  if (g_ring_in_use.exchange(true)) return;
  ring_ = g_ring;
  room_end_ = kRing;
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    ring_ = nullptr;
    g_ring_in_use = false;
  }
}

void line_writer::print_now(out_stream& out, const line_format& fmt, double a, double b, double c) {
  const format_arg args[] = {a, b, c};
  out.print_args(fmt, args, fmt.count());
}

void line_writer::publish() {
  std::lock_guard<std::mutex> lock(mutex_);
  head_shared_ = head_;
  room_end_ = tail_shared_ + kRing;
  if (writer_waiting_ && head_shared_ - tail_shared_ >= kWake) writer_wakes_.notify_one();
}

void line_writer::wait_for_room() {
  std::unique_lock<std::mutex> lock(mutex_);
  head_shared_ = head_;
  if (writer_waiting_) writer_wakes_.notify_one();
  room_end_ = tail_shared_ + kRing;
  if (head_ != room_end_) return;
  caller_waiting_ = true;
  caller_wakes_.wait(lock, [this] { return head_ - tail_shared_ <= kRing - kWake; });
  caller_waiting_ = false;
  room_end_ = tail_shared_ + kRing;
}

void line_writer::finish() {
  if (ring_ == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    head_shared_ = head_;
    stopping_ = true;
    writer_wakes_.notify_one();
  }
  thread_.join();
  ring_ = nullptr;
  g_ring_in_use = false;
}

void line_writer::run() {
  const queued_line* const ring = g_ring;
  uint32_t tail = 0, head = 0;
  for (;;) {
    while (tail != head) {
      __builtin_prefetch(&ring[(tail + kPrefetch) & kMask], 0);
      const queued_line& line = ring[tail & kMask];
      const format_arg args[] = {line.value[0], line.value[1], line.value[2]};
      line.out->print_args(*line.fmt, args, line.fmt->count());
      if ((++tail & (kChunk - 1)) == 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        tail_shared_ = tail;
        head = head_shared_;
        if (caller_waiting_ && head_shared_ - tail <= kRing - kWake) caller_wakes_.notify_one();
      }
    }
    std::unique_lock<std::mutex> lock(mutex_);
    tail_shared_ = tail;
    if (caller_waiting_) caller_wakes_.notify_one();
    head = head_shared_;
    if (head != tail) continue;
    if (stopping_) return;
    writer_waiting_ = true;
    writer_wakes_.wait(lock, [&] { return stopping_ || head_shared_ - tail >= kWake; });
    writer_waiting_ = false;
    head = head_shared_;
  }
}

}  // namespace qv

// Lines written by the second thread: the text in each stream must be exactly
// what out_stream::print writes for the same calls, in the same order, however
// the lines of several streams interleave, however often the queue fills and
// the buffers flush, and when a stream passes from the caller to the writer
// and back.
#include "platform/line_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using qv::line_format;
using qv::line_writer;
using qv::out_stream;

constexpr line_format kThree = "%12.5g %12.4g %12.4g \n";
constexpr line_format kTwo = "%15.6e %15.6e \n";

// A stream that collects its text, through a buffer of `cap` bytes.
struct collected {
  explicit collected(size_t cap) : buffer(new char[cap]) { out.attach_string(&text, buffer.get(), cap); }
  std::string done() {
    out.flush();
    return text;
  }
  std::string text;
  std::unique_ptr<char[]> buffer;
  out_stream out;
};

// Values that exercise the conversions: ordinary, repeated (a field copied
// back from the buffer), rounding to a new exponent, zero of both signs,
// infinities and NaN.
double value(std::mt19937_64& rng, int n) {
  switch (rng() % 8) {
    case 0: return n * 0.5;  // the same value for several lines in a row
    case 1: return 9.99995;
    case 2: return -0.0;
    case 3: return std::numeric_limits<double>::infinity() * ((n & 1) ? 1 : -1);
    case 4: return std::numeric_limits<double>::quiet_NaN();
    default: return std::ldexp(double(rng() >> 11), int(rng() % 200) - 150) * ((rng() & 1) ? 1 : -1);
  }
}

// Three streams of different buffer sizes, far more lines than the queue
// holds, both formats, against the same calls made directly.
TEST(LineWriter, InterleavedStreamsMatchDirectPrinting) {
  const size_t caps[] = {100, 4096, 1 << 16};
  collected queued[3] = {collected(caps[0]), collected(caps[1]), collected(caps[2])};
  collected direct[3] = {collected(caps[0]), collected(caps[1]), collected(caps[2])};
  std::mt19937_64 rng(7);
  const int lines = 5 * int(line_writer::kRing) + 123;  // wraps the ring, ends in a partial chunk
  {
    line_writer writer;
    EXPECT_TRUE(writer.threaded());
    for (int n = 0; n < lines; ++n) {
      const int s = int(rng() % 3);
      const double f = value(rng, n / 3), a = value(rng, n), b = value(rng, n);
      if (s == 2) {
        writer.print(queued[s].out, kTwo, f, a);
        direct[s].out.print(kTwo, f, a);
      } else {
        writer.print(queued[s].out, kThree, f, a, b);
        direct[s].out.print(kThree, f, a, b);
      }
    }
    writer.finish();
  }
  for (int s = 0; s < 3; ++s) {
    SCOPED_TRACE(s);
    const std::string want = direct[s].done();
    EXPECT_GT(want.size(), 10000u);
    EXPECT_EQ(queued[s].done(), want);
  }
}

// A stream written by the caller, then by the writer, then by the caller
// again, with a buffer that flushes every few lines. The caller must not copy
// a field back from where the writer has since put other text.
TEST(LineWriter, StreamPassesToTheWriterAndBack) {
  collected stream(256 + out_stream::kFieldSlack);
  std::string expected;  // built without the stream's field reuse
  auto expect = [&](double f, double a) {
    char line[64];
    expected.append(line, qv::format_to(line, kTwo, f, a));
  };
  for (int round = 0; round < 50; ++round) {
    stream.out.print(kTwo, 1.5, double(round));  // the caller writes 1.5's field
    expect(1.5, round);
    {
      line_writer writer;
      for (int n = 0; n < round % 11; ++n) {
        writer.print(stream.out, kTwo, 2.5 + n, -n);
        expect(2.5 + n, -n);
      }
    }  // the destructor waits for the writer
    stream.out.print(kTwo, 1.5, double(-round));  // 1.5 again: its earlier field has been flushed
    expect(1.5, -round);
  }
  EXPECT_EQ(stream.done(), expected);
}

// A second line_writer while one is active, and print() after finish(),
// format at once on the caller's thread; the text is the same.
TEST(LineWriter, WithoutTheThreadLinesAreFormattedAtOnce) {
  collected first(4096), second(4096), expected_first(4096), expected_second(4096);
  line_writer writer;
  ASSERT_TRUE(writer.threaded());
  line_writer nested;
  EXPECT_FALSE(nested.threaded());
  for (int n = 0; n < 1000; ++n) {
    writer.print(first.out, kThree, n, n * 0.1, -n * 0.1);
    expected_first.out.print(kThree, n, n * 0.1, -n * 0.1);
    nested.print(second.out, kTwo, n, 1.0 / (n + 1));
    expected_second.out.print(kTwo, n, 1.0 / (n + 1));
  }
  // Formatted at once: the caller may flush it while the writer still runs.
  second.out.flush();
  expected_second.out.flush();
  EXPECT_EQ(second.text, expected_second.text);
  writer.finish();
  writer.finish();  // a second finish() does nothing
  EXPECT_FALSE(writer.threaded());
  writer.print(first.out, kTwo, 1.0, 2.0);
  expected_first.out.print(kTwo, 1.0, 2.0);
  EXPECT_EQ(first.done(), expected_first.done());
  EXPECT_EQ(second.done(), expected_second.done());

  line_writer after;  // the ring is free again once the first has finished
  EXPECT_TRUE(after.threaded());
}

// A write error met by the writer thread is the stream's error after finish().
TEST(LineWriter, WriteErrorIsKeptInTheStream) {
  char buf[256];
  out_stream unattached;
  unattached.attach(-1, buf, sizeof buf);  // no file behind it
  line_writer writer;
  for (int n = 0; n < 100; ++n) writer.print(unattached, kThree, n, n, n);
  writer.finish();
  unattached.flush();
  EXPECT_EQ(unattached.error(), EBADF);
}

}  // namespace

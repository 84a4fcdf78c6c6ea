// The workspace: the one record that holds every piece of state of a run, the
// sample arrays, the options, the counts and statistics of the current input,
// the eleven numbered file slots and the loop counters.
//
// The program's own record is allocated statically (program_workspace()); every
// stage takes a workspace by reference, so a test can run a stage on a record of
// its own (allocate it with std::make_unique<workspace>(): it is ~4 MB).
#pragma once

#include <cmath>
#include <cstdint>

#include "platform/console.h"
#include "platform/streams.h"

namespace qv {

// A complex entry of `signal` or `scratch`: single precision, real part first.
struct complex_entry {
  float re;
  float im;
};

constexpr uint32_t kSignalSize = 262144;   // 2^18: the most samples read from an input
constexpr uint32_t kScratchSize = 131072;  // 2^17: the twiddle table of the largest transform
constexpr int kNameSize = 260;             // a name of at most 259 characters and its NUL
constexpr int kSlots = 11;

enum class open_mode { read, write };

// A numbered file slot: a name buffer and an open file or none. Files are always
// opened by the name in the buffer.
struct file_slot {
  char name[kNameSize];
  int fd = -1;
  bool writing = false;
  int open_error = 0;  // errno of the last failed open
  in_stream in;
  out_stream out;
  char buffer[1 << 16];

  bool is_open() const { return fd >= 0; }
};

struct workspace {
  complex_entry signal[kSignalSize];
  complex_entry scratch[kScratchSize];

  // Set before main runs, tpi after pi.
  double pi = std::atan2(0.0, -1.0);
  double tpi = pi + pi;

  int32_t mean_removal;
  int32_t window;
  uint32_t pass;
  uint32_t n_read;
  uint32_t n_fft;
  uint32_t nstages;
  double t_first, t_last;
  double span, dt, sr, df;
  double ave, sd, rms, kurtosis;
  double hanning_scale;
  double freq, freq2;
  int32_t limit;
  int32_t limit2;
  uint32_t md2;

  file_slot slots[kSlots + 1];  // slots[1] .. slots[11]; slots[0] unused

  uint32_t i, j, k;

  // Set when the run cannot deliver its results (a file that cannot be opened,
  // read or written); the error has been reported and the run ends.
  bool failed;

  file_slot& slot(int n) { return slots[n]; }
};

// The program's statically allocated record.
workspace& program_workspace();

// Copies name into slot n's buffer.
void set_slot_name(workspace& ws, int n, const char* name);

// Opens slot n by the name in its buffer ("rb" or "w"); false when the file
// cannot be opened (a folder given for reading included), with the reason in
// open_error. A slot whose open failed holds no file. An output is written
// over its old text, which close_slot() cuts off: after the close the file
// holds exactly what was written, as if it had been emptied at open.
bool open_slot(workspace& ws, int n, open_mode mode);

// Closes slot n; a slot that holds no file is left alone. A write, cut or
// close error of an output is reported (the first of the run) and ends the run.
void close_slot(workspace& ws, console& con, int n);

// From now on SIGINT, SIGTERM, SIGHUP and SIGQUIT, unless ignored, cut the open
// outputs at what has been written before the program ends, as close_slot()
// would; the program's entry point calls it once.
void cut_outputs_on_signals();

// Reports that a file of the run failed ("open", "read", "write") and marks
// the run as failed; only the first failure of a run is reported.
void report_file_error(workspace& ws, console& con, const char* what, const char* name, int err);

}  // namespace qv

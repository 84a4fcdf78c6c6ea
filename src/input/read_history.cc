// The time-history reader and statistics; see read_history.h.
#include "input/read_history.h"

#include <cmath>

namespace qv {
namespace {

// Reads record `index` through " %lf %f "; the amplitude goes to the real part
// of signal[index]. True when at least the time converted.
bool read_record(workspace& ws, in_stream& in, double& time, uint32_t index) {
  return scan_record(in, time, ws.signal[index].re) > 0;
}

// The counting read: the number of records, at most kSignalSize.
uint32_t count_records(workspace& ws, console& con, in_stream& in) {
  if (!read_record(ws, in, ws.t_first, 0)) say(con, "\n fscanf error ");
  uint32_t count = 1;
  double scratch_time;
  while (read_record(ws, in, scratch_time, count)) {
    if (++count == kSignalSize) break;
  }
  return count;
}

// The read-back of the first n_fft records; the number read.
uint32_t read_back(workspace& ws, in_stream& in) {
  uint32_t count = 0;
  while (read_record(ws, in, ws.t_last, count)) {
    if (++count == ws.n_fft) break;
  }
  return count;
}

void size_transform(workspace& ws) {
  uint32_t e = 1;
  while (e <= 18 && (uint32_t(1) << e) <= ws.n_read) ++e;
  ws.nstages = e - 1;
  ws.n_fft = uint32_t(1) << ws.nstages;
}

// Time base and statistics of the n_read samples read back; false (nothing
// changed) when the time span gives no finite time step and frequency step.
bool time_base_and_statistics(workspace& ws) {
  double span = ws.t_last - ws.t_first;
  double dt = span / (ws.n_read - 1);
  double sr = 1 / dt;
  double df = 1 / span;
  if (span == 0 || !std::isfinite(span) || !std::isfinite(sr) || !std::isfinite(df)) return false;
  ws.span = span;
  ws.dt = dt;
  ws.sr = sr;
  ws.df = df;

  double s1 = 0, s2 = 0, s4 = 0;
  for (uint32_t k = 0; k < ws.n_read; ++k) {
    double x = ws.signal[k].re;
    double x2 = x * x;  // exact: a float squared fits a double
    s1 += x;
    s2 += x2;
    s4 += x2 * x2;  // x^4 correctly rounded
  }
  double n = ws.n_read;
  ws.ave = s1 / n;
  ws.rms = std::sqrt(s2 / n);
  // Rounding can leave rms^2 a hair below ave^2 for a constant record: that
  // spread is 0, not the square root of a negative number.
  double variance = ws.rms * ws.rms - ws.ave * ws.ave;
  ws.sd = std::sqrt(variance > 0 ? variance : 0.0);
  ws.kurtosis = s4 / (n * std::pow(ws.sd, 4.0));
  return true;
}

}  // namespace

void read_history(workspace& ws, console& con) {
  say(con, "\n\n reading time history ");
  file_slot& input = ws.slot(1);
  in_stream& in = input.in;

  ws.n_read = count_records(ws, con, in);
  if (in.error() != 0) {
    report_file_error(ws, con, "read", input.name, in.error());
    close_slot(ws, con, 1);
    return;
  }
  size_transform(ws);
  if (!in.rewind()) {
    report_file_error(ws, con, "read", input.name, in.error());
    close_slot(ws, con, 1);
    return;
  }
  ws.n_read = read_back(ws, in);
  if (in.error() != 0) {
    report_file_error(ws, con, "read", input.name, in.error());
    close_slot(ws, con, 1);
    return;
  }

  say(con, "\n\n  %ld samples will be used for FFT\n", ws.n_fft);
  if (ws.n_read < 2) {
    say(con, "\n  dt error ");
  } else if (!time_base_and_statistics(ws)) {
    say(con, "\n  dt error: zero or non-finite time span, time base and statistics not computed ");
  } else {
    say(con, "\n samples= %ld ", ws.n_read);
    say(con, "\n dt = %10.5g sec  sr= %12.6e samples/sec", ws.dt, ws.sr);
    say(con, "\n\n time span= %12.6g sec to %12.6g sec", ws.t_first, ws.t_last);
    say(con, "\n\n  ave= %9.4g G    std dev = %9.4g G   rms= %9.4g G", ws.ave, ws.sd, ws.rms);
    say(con, "\n kurtosis= %9.4g", ws.kurtosis);
    say(con, "\n");
    say(con, "\n delta f= %14.4g ", ws.df);
  }
  close_slot(ws, con, 1);
}

}  // namespace qv

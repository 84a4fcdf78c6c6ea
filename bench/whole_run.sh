#!/usr/bin/env bash
# Speed and memory of the whole program at its largest input: two records of
# 262,144 samples at dt = 1e-4 s (a noise force in N and the displacement in m
# of a 250 Hz, 2 % damped oscillator driven by it), answers 1 (mean removal)
# and 2 (Hanning), replies piped, no terminal (a new session, so no key wait).
#
#   bench/whole_run.sh [BUILD_DIR]      # default build/release; RUNS=10
#
# It measures, in one hyperfine invocation side by side:
#   whole_run   the program, in a scratch folder;
#   byte_floor  the bytes the run cannot avoid moving: both inputs read twice,
#               every output byte written once (a copy of the run's output
#               files), and the cross stages' inputs read once (fft_1.out,
#               fft_2.out, the four two-sided and four one-sided files).
# The program uses two threads (the result files are formatted and written by
# a second one), so whole_run's CPU time exceeds its elapsed time.
# Target: whole_run within 4 times byte_floor. It then reports the peak
# resident memory (/usr/bin/time -v; limit 16 MB), the time per stage from the
# console's progress lines (each timestamped as it arrives) and, where perf
# works, the functions that take the time.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${1:-$root/build/release}
program=$build/quorvid
[[ $program == /* ]] || program=$PWD/$program
runs=${RUNS:-10}
if [[ ! -x $program ]]; then
  echo "no quorvid in $build; build it first:" >&2
  echo "  cmake -S $root -B $build -DCMAKE_BUILD_TYPE=Release && cmake --build $build --target quorvid" >&2
  exit 2
fi

need_package() {  # command, Debian package
  if ! command -v "$1" >/dev/null 2>&1 && [[ ! -x $1 ]]; then
    echo "installing $2 ..." >&2
    local log
    log=$(mktemp)
    export DEBIAN_FRONTEND=noninteractive
    { apt-get install -y -q "$2" || { apt-get update -q && apt-get install -y -q "$2"; }; } >"$log" 2>&1 || {
      cat "$log" >&2
      exit 2
    }
    rm -f "$log"
  fi
}
need_package hyperfine hyperfine
need_package /usr/bin/time time

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quorvid-whole-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/run" "$scratch/floor"
cd "$scratch"

# --- Inputs -----------------------------------------------------------------
# Force: roughly Gaussian noise of 50 N standard deviation (sum of four uniform
# numbers), fixed random generator start value. Response: the displacement of
# 1 kg on a 250 Hz, 2 % damped spring, y[n] = b1 x[n-1] + a1 y[n-1] + a2 y[n-2].
awk -v records=262144 -v dt=1e-4 'BEGIN {
  srand(20030605)
  pi = atan2(0, -1); wn = 2 * pi * 250; zeta = 0.02
  wd = wn * sqrt(1 - zeta * zeta); r = exp(-zeta * wn * dt)
  b1 = dt * r * sin(wd * dt) / wd; a1 = 2 * r * cos(wd * dt); a2 = -r * r
  x1 = 0; y1 = 0; y2 = 0
  for (n = 0; n < records; n++) {
    x = 50 * sqrt(3) * (rand() + rand() + rand() + rand() - 2)
    y = b1 * x1 + a1 * y1 + a2 * y2
    printf "%.4f %.7e\n", n * dt, x > "force.txt"
    printf "%.4f %.7e\n", n * dt, y > "response.txt"
    x1 = x; y2 = y1; y1 = y
  }
}'
printf '1\n2\n%s\n%s\n' "$scratch/force.txt" "$scratch/response.txt" > replies

# --- One checked run ----------------------------------------------------------
(cd run && setsid -w "$program" < ../replies > console.txt) || {
  echo "the run failed:" >&2
  tail -5 run/console.txt >&2
  exit 1
}
for f in H1.out coherence.out complex_spectrum_gab.out; do
  lines=$(wc -l < "run/$f")
  [[ $lines -eq 131072 ]] || { echo "run/$f has $lines lines, expected 131072" >&2; exit 1; }
done
output_bytes=$(cat run/*.out | wc -c)
input_bytes=$(cat force.txt response.txt | wc -c)

# --- Side by side -------------------------------------------------------------
cross_inputs="run/fft_1.out run/fft_2.out run/complex_spectrum_s??.out run/complex_spectrum_g??.out"
whole_run="cd $scratch/run && setsid -w $program < ../replies > console.txt"
byte_floor="cd $scratch && cat force.txt force.txt response.txt response.txt > /dev/null \
&& cat run/*.out > floor/all.out && cat $cross_inputs > /dev/null"
hyperfine --style basic --warmup 1 --runs "$runs" --export-csv timing.csv \
  -n whole_run "$whole_run" -n byte_floor "$byte_floor" > hyperfine.txt 2>&1 || {
  cat hyperfine.txt >&2
  exit 1
}

# --- Peak memory --------------------------------------------------------------
(cd run && setsid -w /usr/bin/time -v -o ../memory.txt "$program" < ../replies > /dev/null)
peak_kb=$(awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }' memory.txt)

# --- Time per stage, from the console -------------------------------------------
# A progress line is complete when the next message's line break arrives, so
# the time between a line and the one before it is the work that followed the
# line's announcement; it is booked to the stage last announced.
stamp_lines() {
  while IFS= read -r line; do printf '%s\t%s\n' "$EPOCHREALTIME" "$line"; done
}
start=$EPOCHREALTIME
(cd run && setsid -w "$program" < ../replies | stamp_lines > ../stamped.txt)
stages=$(awk -F'\t' -v start="$start" '
  function book(name) { if (!(name in took)) order[++count] = name; took[name] += $1 - last }
  {
    text = $2
    if (text ~ /Please enter the first/) { pass = 1; stage = "pass 1 prompt and opens" }
    else if (text ~ /Please enter the second/) { pass = 2; stage = "pass 2 prompt and opens" }
    else if (text ~ /reading time history/) stage = "pass " pass " read_history (two reads, statistics)"
    else if (text ~ /mean removal/) stage = "pass " pass " remove_mean"
    else if (text ~ /Hanning window/) stage = "pass " pass " hanning"
    else if (text ~ /nm1=/) stage = "pass " pass " reorder"
    else if (text ~ / m= /) stage = "pass " pass " ctfourier stage 1"
    else if (text ~ / i=/) {
      split(text, f, /[=\/ ]+/)
      stage = (f[3] == f[4]) ? "pass " pass " ctfourier last stage + normalise + write 3 spectrum files" \
                             : "pass " pass " ctfourier stages 2 to " (f[4] - 1)
    }
    else if (text ~ /cross_s/) stage = "cross_s (two-sided files)"
    else if (text ~ /cross_g/) stage = "cross_g (one-sided files)"
    else if (text ~ /h_functions/) stage = "h_functions (H1, H2, coherence)"
    else if (text ~ /The format for the following/ && stage !~ /summary/) stage = "closing summary"
    if (NR == 1) { last = start; stage = "process start, to the first message" }
    book(stage)
    if (NR == 1) stage = "dialogue, then clearing the arrays"
    last = $1
  }
  END {
    total = last - start
    for (n = 1; n <= count; n++)
      if (took[order[n]] >= 0.0005 || n == 1)
        printf "  %-70s %7.3f s %5.1f %%\n", order[n], took[order[n]], 100 * took[order[n]] / total
    printf "  %-70s %7.3f s\n", "total (one run, console through a pipe)", total
  }' stamped.txt)

# --- Functions, where perf can sample -------------------------------------------
functions=""
groups=""
if command -v perf >/dev/null 2>&1 &&
   (cd run && setsid -w perf record -q -e cpu-clock -F 5000 -o ../perf.data "$program" < ../replies > /dev/null 2>&1); then
  perf report -i perf.data --stdio --no-children --sort symbol 2>/dev/null | awk '/^ +[0-9.]+%/' > perf.txt || true
  functions=$(awk 'n < 15 { sub(/\[[.k]\] /, ""); sub(/[ -]+$/, ""); printf "  %s\n", $0; n++ }' perf.txt)
  # The same samples in groups: what the time is spent on.
  groups=$(awk '
    {
      share = $1 + 0
      if ($2 == "[k]") group = "kernel (file reads and writes, page cache)"
      else if ($0 ~ /format_|significant_digits|digits_|write_mantissa|write_exponent|pad_blanks|out_stream/)
        group = "number text out (printf-style conversions)"
      else if ($0 ~ /scan_|from_chars|strto|skip_space|in_stream/) group = "number text in (scanf-style reads)"
      else if ($0 ~ /reorder|transform_in_place|butterfly|first_stage|twiddle|sin|cos|hanning|remove_mean/)
        group = "reorder, transform, window (arithmetic)"
      else if ($0 ~ /mem(set|move|cpy)/) group = "memset/memmove (clearing, buffers)"
      else if ($0 ~ /line_writer|pthread|futex|condvar|lll_lock/) group = "handing lines to the writer thread"
      else group = "other (stage loops, start-up)"
      if (!(group in took)) order[++count] = group
      took[group] += share
    }
    END { for (n = 1; n <= count; n++) printf "  %6.2f%%  %s\n", took[order[n]], order[n] }' perf.txt | sort -rn)
fi

# --- Summary --------------------------------------------------------------------
read -r whole_mean whole_sd < <(awk -F, '$1 == "whole_run" { print $2, $3 }' timing.csv)
read -r floor_mean floor_sd < <(awk -F, '$1 == "byte_floor" { print $2, $3 }' timing.csv)
awk -v wm="$whole_mean" -v ws="$whole_sd" -v fm="$floor_mean" -v fs="$floor_sd" -v kb="$peak_kb" \
    -v ib="$input_bytes" -v ob="$output_bytes" -v runs="$runs" 'BEGIN {
  ratio = wm / fm
  printf "quorvid whole run, 2 x 262,144 records (inputs %.1f MB, outputs %.1f MB), %d runs each\n", \
    ib / 1e6, ob / 1e6, runs
  printf "  whole_run   %8.3f s +- %.3f\n", wm, ws
  printf "  byte_floor  %8.3f s +- %.3f\n", fm, fs
  printf "  ratio       %8.2f x   (target <= 4 x: %s)\n", ratio, ratio <= 4 ? "met" : "NOT MET"
  printf "  peak RSS    %8d kB  (limit 16384 kB: %s)\n", kb, kb < 16384 ? "met" : "NOT MET"
}'
echo "time per stage (console timestamps):"
echo "$stages"
if [[ -n $functions ]]; then
  echo "where the CPU time goes (perf, cpu-clock samples):"
  echo "$groups"
  echo "top functions:"
  echo "$functions"
fi

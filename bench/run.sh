#!/usr/bin/env bash
# Runs the benchmarks of uartattach, fifoattach and the uartport objects on
# the simulated drivers and prints the figures; "make bench" builds the
# modules in release mode first.
#   bench/run.sh [build folder]        (default: build-bench)
# The modules print to the process's standard output, which goes to /dev/null
# here; the figures are written to files under <build>/bench/results and
# printed from there.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-bench}" && pwd)
results="$build/bench/results"
rm -rf "$results"
mkdir -p "$results/callgrind"

octave=(octave-cli -q -H --norc)
paths="addpath('$build/mex', '$build/bench', '$root/bench')"
for f in "$build/mex/uartattach.mex" "$build/mex/fifoattach.mex" "$build/mex/ftdiport_io.mex" \
         "$build/bench/null_mex.mex" "$build/bench/null_result.mex" "$build/bench/cgmark.mex" \
         "$build/bench/fifo_fill" "$build/bench/copy_baseline" \
         "$build/testtools/hwy_timer_shim.so"; do
  [[ -f "$f" ]] || { echo "bench: $f is missing; run 'make bench'" >&2; exit 1; }
done

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
echo "Benchmarks of uartattach, fifoattach, uartport and fifoport on the simulated drivers"
echo "  $(date -u '+%Y-%m-%d %H:%M UTC'), nproc $(nproc), CPU: ${cpu:-unknown}," \
     "load average $(cut -d ' ' -f 1-3 /proc/loadavg)"
echo "  $("${octave[@]}" --version | head -n 1), $(valgrind --version)," \
     "build $(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")"
echo

# Wall clock and resident memory.
"${octave[@]}" --eval "$paths; bench_time('$results/time.txt', '$results/time.values')" \
  > /dev/null
cat "$results/time.txt"
echo

# The simulated FIFO far end, natively: no Octave in the way.
"$build/bench/fifo_fill" "$build/mex"
echo

# uartport against instrument-control's serialport. The peer runs on a pty
# that socat makes, with `cat` behind it echoing every byte back; without
# socat or the package, that half is skipped and said so.
tty=""
skipped=""
if ! command -v socat > /dev/null; then
  skipped="socat is not installed (Debian package socat)"
elif ! "${octave[@]}" --eval "pkg load instrument-control; exit (exist ('serialport') == 0)" \
       > /dev/null 2>&1; then
  skipped="instrument-control is not installed (Debian package octave-instrument-control)"
else
  ptydir=$(mktemp -d)
  socat PTY,link="$ptydir/tty",raw,echo=0 EXEC:cat 2> "$ptydir/socat.log" &
  socat_pid=$!
  trap 'kill "$socat_pid" 2> /dev/null; rm -rf "$ptydir"' EXIT
  for _ in $(seq 50); do [[ -e "$ptydir/tty" ]] && break; sleep 0.1; done
  if [[ -e "$ptydir/tty" ]]; then
    tty="$ptydir/tty"
  else
    skipped="socat made no pty ($(tr '\n' ' ' < "$ptydir/socat.log"))"
  fi
fi
# A stalled echo must not hold the run up for ever.
BENCH_TTY="$tty" BENCH_SKIPPED="$skipped" timeout -s KILL 600 "${octave[@]}" --eval \
  "$paths; bench_uart('$results/uart.txt', '$results/uart.values', getenv('BENCH_TTY'), getenv('BENCH_SKIPPED'))" \
  > /dev/null
cat "$results/uart.txt"
echo

# fifoport against memcpy of the same sizes, measured natively.
"$build/bench/copy_baseline" > "$results/copy.values"
"${octave[@]}" --eval \
  "$paths; bench_fifo('$results/fifo.txt', '$results/fifo.values', '$results/copy.values')" \
  > /dev/null
cat "$results/fifo.txt"
echo

# Instructions: a short run under callgrind, instrumented only from
# cgmark('start') on, each window dumped to its own profile file. Where
# valgrind dies on an instruction of libhwy before Octave starts, one
# function of it is replaced (tests/memory/hwy_timer_shim.cpp).
preload=()
# (The subshell's second command keeps bash's report of the signal quiet.)
if ! (valgrind -q --log-file=/dev/null "${octave[@]}" --eval "exit (0)"; exit $?) \
     > /dev/null 2>&1; then
  echo "(valgrind cannot start octave-cli here; preloading hwy_timer_shim.so)"
  echo
  preload=(env "LD_PRELOAD=$build/testtools/hwy_timer_shim.so")
fi
"${preload[@]}" valgrind --tool=callgrind --instr-atstart=no \
  --callgrind-out-file="$results/callgrind/callgrind.out.%p" \
  "${octave[@]}" --eval "$paths; bench_callgrind('$results/callgrind/plan.txt')" \
  > /dev/null 2> "$results/callgrind/valgrind.log" ||
  { cat "$results/callgrind/valgrind.log" >&2; exit 1; }
for f in "$results"/callgrind/callgrind.out.*; do
  awk -f "$root/bench/callgrind_split.awk" "$f"
done > "$results/callgrind/split.tsv"
awk -F'\t' -v values="$results/callgrind.values" -f "$root/bench/callgrind_report.awk" \
  "$results/callgrind/plan.txt" "$results/callgrind/split.tsv" > "$results/callgrind.txt"
cat "$results/callgrind.txt"
echo

# The goals.
cat "$results/time.values" "$results/uart.values" "$results/fifo.values" \
    "$results/callgrind.values" | awk '
  { v[$1] = $2 }
  function verdict(ok) { return ok ? "met" : "NOT MET" }
  END {
    print "Goals"
    print "  The module'"'"'s own code (without driver and output) costs less than one null MEX"
    print "  call per attach (instructions, one device of one):"
    for (m = 1; m <= 2; m++) {
      mod = m == 1 ? "uart" : "fifo"
      own = v["ir_" mod "_module"]; wide = v["ir_" mod "_module_with_octave_libc"]
      printf "    %sattach: %.0f Ir against %.0f Ir of a null call (%.1f%%): %s\n",
        mod, own, v["ir_null"], 100 * own / v["ir_null"], verdict(own < v["ir_null"])
      printf "      (with what it asks of Octave, libc and libstdc++, printing included: %.0f Ir, %s)\n",
        wide, wide < v["ir_null"] ? "still below" : "above"
    }
    print "  The per-entry cost at 1,000 entries is within 1.5x of the one at 16 (wall clock):"
    for (m = 1; m <= 2; m++) {
      mod = m == 1 ? "uart" : "fifo"
      r = v["entry_ratio_" mod]
      printf "    %sattach: %.3f: %s (in instructions: %.3f; cost of one more entry\n", mod, r,
        verdict(r <= 1.5), v["ir_entry_ratio_" mod]
      printf "      near 1,000 / near 16: %.3f)\n", v["ir_marginal_ratio_" mod]
    }
    print "  uartport (simulated D2XX, loopback) against serialport (pty echo), wall clock per call:"
    split("write1 read1 available", ops, " ")
    split("write, 1 byte|read, 1 byte already there|NumBytesAvailable", names, "|")
    for (k = 1; k <= 3; k++) {
      u = v["time_uartport_" ops[k] "_us"]; s = v["time_serialport_" ops[k] "_us"]
      bound = ops[k] == "available" ? 3 : 1
      want = bound == 1 ? "at or below serialport" : "within 3x of serialport"
      if (s == "") printf "    %s %s: not measured (serialport skipped)\n", names[k], want
      else printf "    %s %s: %.2f us against %.2f us (%.2fx): %s\n", names[k], want, u, s,
        u / s, verdict(u <= bound * s)
    }
    m = v["mbps_uartport_1mib"]
    printf "  1 MiB written and read through the loopback at 100 MB/s or more: %.0f MB/s: %s\n",
      m, verdict(m >= 100)
    print "  The gateway and hub'"'"'s own code under one null MEX call (instructions per call):"
    split("write1 read1 available roundtrip", ops, " ")
    split("write, 1 byte|read, 1 byte|NumBytesAvailable|write 1, read 1", names, "|")
    for (k = 1; k <= 4; k++) {
      own = v["ir_" ops[k] "_own"]
      printf "    uartport %s: %.0f Ir against %.0f Ir (%.1f%%): %s\n", names[k], own,
        v["ir_null"], 100 * own / v["ir_null"], verdict(own < v["ir_null"])
    }
    print "  fifoport (simulated D3XX, unpaced):"
    worst = 0
    for (d = 1; d <= 2; d++) {
      w = d == 1 ? "readn" : "writen"
      for (b = 1048576; b <= 16777216; b *= 16) {
        x = v["ir_" w "_" b "_gateway_per_byte"]
        if (x > worst) worst = x
      }
    }
    printf "    the module adds no copy of its own: the gateway runs or asks of Octave, libc\n"
    printf "      and libstdc++ at most %.4f Ir per byte of a 1 or 16 MiB read or write\n", worst
    printf "      (a copy costs 0.06 or more): %s\n", verdict(worst < 0.06)
    r = v["fifo_read_1048576_mbps"]; c = v["copy_fresh_1048576_mbps"]
    printf "    1 MiB read at least 80%% of memcpy into fresh pages: %.0f MB/s against %.0f (%.0f%%): %s\n",
      r, c, 100 * r / c, verdict(r >= 0.8 * c)
    printf "    1 MiB read at least 4x an FT601'"'"'s 400 MB/s: %.0f MB/s (%.2fx): %s\n", r, r / 400,
      verdict(r >= 1600)
    for (d = 1; d <= 2; d++) {
      w = d == 1 ? "read" : "write"
      x = v["fifo_" w "_1024_null_calls"]
      printf "    1 KiB %s at most 4 null MEX calls (wall clock): %.2f: %s (in instructions: %.2f)\n",
        w, x, verdict(x <= 4), v["ir_" w "n_1024_total"] / v["ir_null"]
    }
    print "    the gateway and hub'"'"'s own code under one null MEX call (instructions per call):"
    for (d = 1; d <= 2; d++) {
      w = d == 1 ? "readn" : "writen"
      for (b = 1024; b <= 16777216; b *= 1024) {
        own = v["ir_" w "_" b "_own"]
        printf "      %s %s: %.0f Ir (%.1f%%): %s\n", d == 1 ? "read" : "write",
          b == 1024 ? "1 KiB" : "1 MiB", own, 100 * own / v["ir_null"], verdict(own < v["ir_null"])
      }
    }
  }'

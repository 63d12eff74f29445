#!/usr/bin/env bash
# Runs the benchmarks of uartattach and fifoattach on the simulated drivers and
# prints the figures; "make bench" builds the modules in release mode first.
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
for f in "$build/mex/uartattach.mex" "$build/mex/fifoattach.mex" \
         "$build/bench/null_mex.mex" "$build/bench/cgmark.mex" "$build/bench/fifo_fill"; do
  [[ -f "$f" ]] || { echo "bench: $f is missing; run 'make bench'" >&2; exit 1; }
done

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
echo "Benchmarks of uartattach and fifoattach on the simulated drivers"
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

# Instructions: a short run under callgrind, instrumented only from
# cgmark('start') on, each window dumped to its own profile file.
valgrind --tool=callgrind --instr-atstart=no \
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
cat "$results/time.values" "$results/callgrind.values" | awk '
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
  }'

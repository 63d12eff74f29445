#!/usr/bin/env bash
# valgrind memcheck of octave-cli through the given test suites (by default
# both modules' main and failure paths: the flow and hostile-input suites):
# fails on any invalid access or definitely lost block whose stack passes
# through the project's code. Octave's own leaks at exit are not ours and are
# left out.
#   memcheck.sh MODULE_DIR TOOL_DIR [SUITE...]
set -uo pipefail
moddir=$1
tooldir=$2
shift 2
suites=("$@")
if [[ ${#suites[@]} -eq 0 ]]; then
  suites=(uart_flow_test fifo_flow_test hostile_input_test)
fi
suite_list=$(printf "'%s', " "${suites[@]}")
suite_list="{${suite_list%, }}"
here=$(cd "$(dirname "$0")" && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Where valgrind dies on an instruction of libhwy before Octave starts, the
# run goes on with that one function replaced (see hwy_timer_shim.cpp).
preload=()
if ! valgrind -q --log-file=/dev/null octave-cli -q -H --norc --eval "exit (0)" 2>/dev/null; then
  echo "memcheck: valgrind cannot start octave-cli here; preloading $tooldir/hwy_timer_shim.so"
  preload=(env "LD_PRELOAD=$tooldir/hwy_timer_shim.so")
fi

"${preload[@]}" valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
  --errors-for-leak-kinds=definite --num-callers=40 --log-file="$log" \
  octave-cli -q -H --norc --eval \
  "cd('$here/../octave'); run_suite($suite_list, '$moddir', '$tooldir')"
status=$?

# One valgrind record per blank-line-separated block; keep those that name
# the project's objects.
ours='uartattach\.mex|fifoattach\.mex|ftdisim\.mex|ftdiport_io\.mex|libftdi_hub\.so|libd2xx_sim\.so|libd3xx_sim\.so'
reports=$(awk -v ours="$ours" '
  /^==[0-9]+== $/ { if (block ~ ours && block ~ /(Invalid|uninitialised|definitely lost|Mismatched|overlap)/) print block; block = ""; next }
  { block = block $0 "\n" }
  END { if (block ~ ours && block ~ /(Invalid|uninitialised|definitely lost|Mismatched|overlap)/) print block }' "$log")

grep -E "ERROR SUMMARY|definitely lost:" "$log" | sed 's/^==[0-9]*== /valgrind (all of octave-cli): /'
if [[ -n "$reports" ]]; then
  echo "memcheck: reports from the project's code:"
  echo "$reports"
  exit 1
fi
echo "memcheck: no invalid access and no definitely lost block from the project's code"
exit $status

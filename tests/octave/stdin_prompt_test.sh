#!/usr/bin/env bash
# The prompt through the interpreter's real "input", answered on standard
# input as a user at a pipe would: the whole standard output of octave-cli
# is compared byte for byte.
#   stdin_prompt_test.sh MODULE_DIR
set -u
moddir=$1
passed=0
failed=0

setup="addpath('$moddir'); ftdisim('d2xx','reset'); ftdisim('d2xx','add','Dev A'); ftdisim('d2xx','add','Dev B');"
report="printf('RESULT %d %d %s OPEN %d\n', ok, h, d, numel(ftdisim('d2xx','open')));"
listing=$'Number of FT2 devices found: 2 \n\t(1) Dev A\n\t(2) Dev B\n'
prompt="Please select device from list ('0') to quit):  "
attached=$'Connecting to device 2... \nConnected!\n\t Driver version = 2.12.28\n'

check() {  # name, stdin text, octave code, expected stdout
  local actual
  actual=$(printf '%s' "$2" | octave-cli -q -H --norc --eval "$setup $3" 2>/dev/null; echo x)
  actual=${actual%x}
  if [[ "$actual" == "$4" ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $1"
    echo "  expected: $(printf '%q' "$4")"
    echo "  actual:   $(printf '%q' "$actual")"
  fi
}

call="[ok,h,d] = uartattach('x'); $report"
guarded="try, [ok,h,d] = uartattach('x'); catch e, printf('ERROR %s\n', e.message); end, printf('OPEN %d\n', numel(ftdisim('d2xx','open'))); [ok,h,d] = uartattach('Dev A'); $report"
recognized=$'Number of FT2 devices found: 2 \n\t(1) Dev A\n\t     --> Device recognized!\n\t(2) Dev B\nConnecting to device 1... \nConnected!\n\t Driver version = 2.12.28\n'

check "a number attaches" $'2\n' "$call" \
  "$listing$prompt${attached}RESULT 1 4096 Dev B OPEN 1"$'\n'
check "zero quits" $'0\n' "$call" \
  "$listing${prompt}RESULT 0 0 <none> OPEN 0"$'\n'
check "Enter alone selects nothing" $'\n' "$call" \
  "$listing${prompt}RESULT 0 0 <none> OPEN 0"$'\n'
check "an expression is evaluated" $'1+1\n' "$call" \
  "$listing$prompt${attached}RESULT 1 4096 Dev B OPEN 1"$'\n'
check "stdin at EOF raises, nothing opened, next call works" "" "$guarded" \
  "$listing${prompt}ERROR input: reading user-input failed!"$'\n'"OPEN 0"$'\n'"${recognized}RESULT 1 4096 Dev A OPEN 1"$'\n'
check "an undefined name raises" $'nosuchname\n' "$guarded" \
  "$listing${prompt}ERROR 'nosuchname' undefined near line 1, column 1"$'\n'"OPEN 0"$'\n'"${recognized}RESULT 1 4096 Dev A OPEN 1"$'\n'

echo "stdin_prompt_test: $passed passed, $failed failed"
[[ $failed -eq 0 ]]

#!/usr/bin/env bash
# Ctrl-C at a real terminal (tmux) while a uartport read, readline or write
# waits on a simulated device (Timeout 60, nothing arriving, or the line held
# by flow control), and while a fifoport reads 1 GiB from a 20 MB/s source:
# the prompt comes back within a bound (the time measured is printed), and
# the object still works: what arrived before and after comes out of the
# next read, in order, NumBytesAvailable counts it, delete closes.
#   interrupt_in_terminal_test.sh MODULE_DIR
set -u
moddir=$1
session="attach-interrupt-$$"
workdir=$(mktemp -d)
bound_ms=2000   # generous: the object waits in slices of at most 40 ms
passed=0
failed=0
prompt=0        # the number of the prompt the last line typed leads to
trap 'tmux kill-session -t "$session" 2>/dev/null; rm -rf "$workdir"' EXIT

screen() { tmux capture-pane -p -t "$session" -S -500; }

wait_for() {  # text [tenths of a second]: wait for it to show on the screen
  for _ in $(seq "${2:-300}"); do
    screen | grep -qF -- "$1" && return 0
    sleep 0.1
  done
  return 1
}

pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL $1; the screen:"
  screen | grep -v '^ *$' | tail -25 | sed 's/^/  | /'
}

check() {  # name, text that must show (within 10 s: what it checks is quick)
  if wait_for "$2" 100; then pass; else fail "$1: \"$2\" did not show"; fi
}

# One line at the prompt. A trailing space keeps tmux from reading a final
# ';' as its own separator.
type_line() {
  tmux send-keys -t "$session" -l "$1 "
  tmux send-keys -t "$session" Enter
  prompt=$((prompt + 1))
}

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# name, the line that waits: types it, lets it wait a second, sends Ctrl-C
# and measures until the next prompt shows.
interrupt() {
  local name=$1 line=$2
  type_line "$line"
  sleep 1
  if screen | grep -qF "octave:$prompt>"; then
    fail "$name: the call did not wait"
    return
  fi
  local start end
  start=$(now_ms)
  tmux send-keys -t "$session" C-c
  # Past the bound, wait on for the call's own Timeout to end it, so that
  # what follows still checks the object.
  end=""
  while (( $(now_ms) - start < 75000 )); do
    if screen | grep -qF "octave:$prompt>"; then end=$(now_ms); break; fi
    sleep 0.005
  done
  if [[ -z $end ]]; then
    fail "$name: no prompt 75 s after Ctrl-C"
    return
  fi
  local took=$((end - start))
  echo "interrupt_in_terminal_test: $name: the prompt was back $took ms after Ctrl-C"
  if (( took <= bound_ms )); then pass; else fail "$name: $took ms after Ctrl-C (bound $bound_ms ms)"; fi
}

tmux new-session -d -s "$session" -c "$workdir" -x 200 -y 50 "octave-cli -q -H --norc"
prompt=1
check "octave starts" "octave:1>"
type_line "addpath('$moddir'); warning('off', 'uartport:timeout');"

# --- read: 3 bytes there, 7 more wanted ------------------------------------
type_line "ftdisim('d2xx','reset'); ftdisim('d2xx','add','Dev A'); s = uartport('Dev A', 'Timeout', 60); ftdisim('d2xx','rx',1,uint8([1 2 3]));"
interrupt "read(s, 10)" "x = read(s, 10)"
type_line "printf('READ1 assigned=%d\n', exist('x'))"
check "read: an interrupted read returns nothing" "READ1 assigned=0"
type_line "ftdisim('d2xx','rx',1,uint8([4 5])); printf('READ2 available=%d\n', s.NumBytesAvailable)"
check "read: NumBytesAvailable counts what was held and what came after" "READ2 available=5"
type_line "s.Timeout = 1; printf('READ3 %s\n', mat2str(read(s, 5)))"
check "read: the next read gets the bytes from before and after, in order" "READ3 [1 2 3 4 5]"
type_line "delete(s); printf('READ4 open=%d misuse=%d\n', numel(ftdisim('d2xx','open')), numel(ftdisim('d2xx','misuse')))"
check "read: delete closes, no misuse" "READ4 open=0 misuse=0"

# --- readline: half a line there -----------------------------------------------
type_line "ftdisim('d2xx','reset'); ftdisim('d2xx','add','Dev A'); s = uartport('Dev A', 'Timeout', 60); ftdisim('d2xx','rx',1,'ab');"
interrupt "readline(s)" "t = readline(s)"
type_line "ftdisim('d2xx','rx',1,sprintf('cd\nef')); printf('LINE1 assigned=%d available=%d\n', exist('t'), s.NumBytesAvailable)"
check "readline: NumBytesAvailable counts the held half line and what came after" "LINE1 assigned=0 available=7"
type_line "s.Timeout = 1; printf('LINE2 [%s] [%s]\n', readline(s), read(s, 2, 'char'))"
check "readline: the next readline gets the whole line, the rest stays" "LINE2 [abcd] [ef]"
type_line "delete(s); printf('LINE3 open=%d misuse=%d\n', numel(ftdisim('d2xx','open')), numel(ftdisim('d2xx','misuse')))"
check "readline: delete closes, no misuse" "LINE3 open=0 misuse=0"

# --- write: hardware flow control, ClearToSend low ------------------------------
type_line "ftdisim('d2xx','reset'); ftdisim('d2xx','add','Dev A'); s = uartport('Dev A', 'Timeout', 60, 'FlowControl', 'hardware'); ftdisim('d2xx','pins',1,struct('ClearToSend',false));"
interrupt "write(s, 4096 bytes)" "n = write(s, zeros(1, 4096, 'uint8'))"
type_line "ftdisim('d2xx','pins',1,struct('ClearToSend',true)); pause(0.2); out = ftdisim('d2xx','tx',1); printf('WRITE1 assigned=%d counted=%d\n', exist('n'), s.NumBytesWritten == numel(out) && numel(out) > 0 && numel(out) < 4096 && all(out == 0))"
check "write: NumBytesWritten is what the driver took, and it went out once the line was free" "WRITE1 assigned=0 counted=1"
type_line "before = s.NumBytesWritten; s.Timeout = 1; printf('WRITE2 %d %s %d\n', write(s, uint8([1 2 3])), mat2str(ftdisim('d2xx','tx',1)), s.NumBytesWritten - before)"
check "write: the next write works" "WRITE2 3 [1 2 3] 3"
type_line "delete(s); printf('WRITE3 open=%d misuse=%d\n', numel(ftdisim('d2xx','open')), numel(ftdisim('d2xx','misuse')))"
check "write: delete closes, no misuse" "WRITE3 open=0 misuse=0"

# --- fifoport: a 1 GiB read from a source of 20 MB/s ------------------------------
type_line "ftdisim('d3xx','reset'); ftdisim('d3xx','add',struct('Description','FIFO A','Type',601)); ftdisim('d3xx','source',1,'counter'); ftdisim('d3xx','rate',1,20e6); f = fifoport('FIFO A', 'Timeout', 120);"
interrupt "fifoport read(f, 1 GiB)" "x = read(f, 2^30)"
type_line "printf('FIFO1 assigned=%d read=%d\n', exist('x'), f.NumBytesRead)"
check "fifoport: an interrupted read returns nothing and counts nothing" "FIFO1 assigned=0 read=0"
type_line "ftdisim('d3xx','rate',1,0); v = read(f, 2^24, 'uint32'); printf('FIFO2 first=%d in_order=%d read=%d\n', v(1), isequal(v, uint32(0:2^24-1)), f.NumBytesRead)"
check "fifoport: the next read goes on from the counter's start, no gap, no duplicate" "FIFO2 first=0 in_order=1 read=67108864"
type_line "delete(f); printf('FIFO3 open=%d misuse=%d\n', numel(ftdisim('d3xx','open')), numel(ftdisim('d3xx','misuse')))"
check "fifoport: delete closes, no misuse" "FIFO3 open=0 misuse=0"

type_line "exit"
echo "interrupt_in_terminal_test: $passed passed, $failed failed"
[[ $failed -eq 0 ]]

#!/usr/bin/env bash
# octave-cli at a real terminal (tmux): a number typed at the prompt
# attaches the device; Ctrl-C at the prompt ends the call with nothing left
# open, and the next call works. Ctrl-C during a uartport read that waits
# for its Timeout ends it at once, and the object reads on afterwards.
#   prompt_in_terminal_test.sh MODULE_DIR
set -u
moddir=$1
session="attach-terminal-$$"
workdir=$(mktemp -d)   # where octave-cli runs, and would leave any file it writes
passed=0
failed=0
trap 'tmux kill-session -t "$session" 2>/dev/null; rm -rf "$workdir"' EXIT

screen() { tmux capture-pane -p -t "$session" -S -200; }

wait_for() {  # text: wait up to 30 s for it to show on the screen
  for _ in $(seq 300); do
    screen | grep -qF -- "$1" && return 0
    sleep 0.1
  done
  return 1
}

check() {  # name, text that must show
  if wait_for "$2"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $1: \"$2\" did not show; the screen:"
    screen | sed 's/^/  | /'
  fi
}

# A trailing space keeps tmux from reading a final ';' as its own separator.
type_line() { tmux send-keys -t "$session" -l "$1 "; tmux send-keys -t "$session" Enter; }

tmux new-session -d -s "$session" -c "$workdir" -x 160 -y 50 "octave-cli -q -H --norc"
check "octave starts" "octave:1>"
type_line "addpath('$moddir'); ftdisim('d2xx','reset'); ftdisim('d2xx','add','Dev A'); ftdisim('d2xx','add','Dev B');"
type_line "[ok, h, d] = uartattach('nothing')"
check "the listing shows before the prompt" $'(2) Dev B'
check "the prompt shows" "Please select device from list ('0') to quit):"
type_line "2"
check "typing a number attaches" "d = Dev B"

type_line "[ok, h, d] = uartattach('nothing again')"
wait_for "Please select device from list ('0') to quit):  " >/dev/null
sleep 0.5
tmux send-keys -t "$session" C-c
check "Ctrl-C returns to the interpreter's prompt" "octave:4>"
type_line "printf('AFTER_INTERRUPT open=%d\n', numel(ftdisim('d2xx','open')))"
check "Ctrl-C ends the call with nothing more open" "AFTER_INTERRUPT open=1"
type_line "[ok, h, d] = uartattach('Dev B'); printf('NEXT ok=%d h=%d d=%s\n', ok, h, d)"
check "the next call works" "NEXT ok=1 h=4097 d=Dev B"

type_line "s = uartport('Dev A', 'Timeout', 60); tic; data = read(s, 4)"
wait_for "Connected!" >/dev/null
sleep 1
tmux send-keys -t "$session" C-c
type_line "printf('READ_INTERRUPTED within_5s=%d\n', toc < 5)"
check "Ctrl-C ends a read waiting for its Timeout" "READ_INTERRUPTED within_5s=1"
type_line "ftdisim('d2xx','rx',1,uint8(1:4)); printf('READ_AFTER %s\n', mat2str(read(s, 4)))"
check "the object reads on after the interrupt" "READ_AFTER [1 2 3 4]"
type_line "exit"

echo "prompt_in_terminal_test: $passed passed, $failed failed"
[[ $failed -eq 0 ]]

# cmake -DOCTAVE_CLI=... -DMEX_DIR=... -DWORK_DIR=... -P check_no_usb_prompt.cmake
# Runs uartattach with the answer 0 on standard input and compares what it
# prints and returns with what a machine without USB must give.
set(answer "${WORK_DIR}/answer_0.txt")
file(WRITE "${answer}" "0\n")
execute_process(
  COMMAND "${OCTAVE_CLI}" -q -H --norc --no-gui --eval
    "addpath('${MEX_DIR}'); [ok,h,d]=uartattach('x'); printf('\\n<%d|%d|%s>\\n', ok, h, d);"
  INPUT_FILE "${answer}"
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc
  TIMEOUT 100)
set(want "Number of FT2 devices found: 0 \nPlease select device from list ('0') to quit):  \n<0|0|<none>>\n")
if(NOT rc EQUAL 0 OR NOT out STREQUAL want OR NOT err STREQUAL "")
  message(FATAL_ERROR "uartattach over libftdi without USB:\n"
    "exit status ${rc}\n--- stdout ---\n${out}\n--- expected ---\n${want}\n"
    "--- stderr ---\n${err}")
endif()

# The examples, run as a user runs them: from another folder, with the module
# folder on the path, on the devices examples/simulate_devices.m sets up, the
# prompt answered on standard input. A run that ends without an error prints
# EXAMPLE FINISHED last.
set(EXAMPLES_DIR "${CMAKE_CURRENT_LIST_DIR}")

# They are meant to run in MATLAB too: no syntax only Octave accepts.
file(GLOB EXAMPLE_FILES "${EXAMPLES_DIR}/*.m")
add_test(NAME example_matlab_syntax
  COMMAND "${EXAMPLES_DIR}/check-matlab-syntax" ${EXAMPLE_FILES})
set_tests_properties(example_matlab_syntax PROPERTIES LABELS examples)

if(NOT (D2XX_CHOICE STREQUAL "libd2xx_sim.so" AND D3XX_CHOICE STREQUAL "libd3xx_sim.so"))
  message(STATUS "Examples are tested on the simulated drivers only: not run")
  return()
endif()

# add_example_test(NAME DEVICES ANSWER SCRIPTS PASS [FAIL])
#   DEVICES  simulate_devices argument ('other', 'held'), "" for the default,
#            "-" to set up nothing (the script does it itself)
#   ANSWER   standard input, printf syntax ("" for none)
#   SCRIPTS  examples run in order in one session (a ;-list)
#   PASS     regular expression the output must match
#   FAIL     regular expression the output must not match
function(add_example_test name devices answer scripts pass)
  set(code "addpath ('${CMAKE_BINARY_DIR}/mex', '${EXAMPLES_DIR}'); ")
  if(devices STREQUAL "")
    string(APPEND code "simulate_devices (); ")
  elseif(NOT devices STREQUAL "-")
    string(APPEND code "simulate_devices ('${devices}'); ")
  endif()
  foreach(script ${scripts})
    string(APPEND code "run ('${EXAMPLES_DIR}/${script}.m'); ")
  endforeach()
  string(APPEND code "disp ('EXAMPLE FINISHED')")
  add_test(NAME example_${name}
    COMMAND sh -c "printf \"$1\" | \"$2\" -q -H --norc --no-gui --eval \"$3\""
      sh "${answer}" "${OCTAVE_CLI}" "${code}"
    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}")
  set_tests_properties(example_${name} PROPERTIES LABELS examples
    PASS_REGULAR_EXPRESSION "${pass}")
  if(ARGC GREATER 5)
    set_tests_properties(example_${name} PROPERTIES FAIL_REGULAR_EXPRESSION "${ARGV5}")
  endif()
endfunction()

set(PROMPT "Please select device from list \\('0'\\) to quit\\):  ")
set(UART_ATTACHED "Connected!\n\t Driver version = 2.12.28\n")

add_example_test(attach_uart "" "" attach_uart
  "\t     --> Device recognized!\n\t\\(2\\) Dual RS232-HS A\nConnecting to device 1\\.\\.\\. \n${UART_ATTACHED}Attached \"FT232R USB UART\", handle 4096\nEXAMPLE FINISHED\n$"
  "Please select")
add_example_test(attach_uart_prompt other "2\\n" attach_uart
  "${PROMPT}Connecting to device 2\\.\\.\\. \n${UART_ATTACHED}Attached \"Dual RS232-HS A\", handle 4096\nChosen at the prompt: set description = 'Dual RS232-HS A' to attach it without asking\\.\nEXAMPLE FINISHED\n$")
add_example_test(attach_uart_quit other "0\\n" attach_uart
  "error: attach_uart: no serial bridge attached"
  "EXAMPLE FINISHED|Connected!")
add_example_test(attach_uart_held held "0\\n" attach_uart
  "\t\\(1\\) <blocked>\n\t\\(2\\) Dual RS232-HS A\n${PROMPT}.*error: attach_uart: no serial bridge attached\\. In the listing above, \"<blocked>\""
  "EXAMPLE FINISHED|Connected!")
add_example_test(attach_again "" "" "attach_uart;attach_again;attach_again"
  "handle 4096\nAttaching again: handle 4096 gets closed and must not be used any more\\.\n[^\n]*\n[^\n]*\n[^\n]*\n[^\n]*\nDevice is open\\.\nClosing device\\.\\.\\.\n[^\n]*\n${UART_ATTACHED}Attached \"FT232R USB UART\", handle 4097\nAttaching again: handle 4097 .*Closing device.*Attached \"FT232R USB UART\", handle 4098\nEXAMPLE FINISHED\n$"
  "Please select|FT_Close =")
add_example_test(attach_fifo "" "" attach_fifo
  "Connecting to device 1\\.\\.\\. \nConnected!\n\t Driver version = 1\\.3\\.0\\.4\nAttached \"FTDI SuperSpeed-FIFO Bridge\", handle 4096\nEXAMPLE FINISHED\n$"
  "Please select")
add_example_test(attach_fifo_prompt other "1\\n" attach_fifo
  "${PROMPT}Connecting to device 1\\.\\.\\. \nConnected!\n\t Driver version = 1\\.3\\.0\\.4\nAttached \"FT601 Test Board\", handle 4096\nChosen at the prompt[^\n]*\nEXAMPLE FINISHED\n$")
add_example_test(attach_fifo_quit other "0\\n" attach_fifo
  "error: attach_fifo: no FIFO bridge attached"
  "EXAMPLE FINISHED|Connected!")
add_example_test(demo_simulated - "" demo_simulated
  "--- attach a FIFO bridge\n.*ok = 1, handle = 4096, description = \"FTDI SuperSpeed-FIFO Bridge\"\n.*  FT_SetDataCharacteristics\\(0x1001,8,0,0\\)=0\n--- a uartport object[^\n]*\n.*${UART_ATTACHED}wrote \"hello\", read back \"hello\"\nEXAMPLE FINISHED\n$")
add_example_test(talk_uart "" "" talk_uart
  "${UART_ATTACHED}Attached \"FT232R USB UART\" at 115200 baud, 8 data bits, parity none, 1 stop bit\\(s\\)\nSent \"\\*IDN\\?\", the answer: \"\\*IDN\\?\"\nAsked for 16 bytes within 0\\.5 s, 3 arrived: 1 2 3\nPins: CTS 1, DSR 1, CD 0, RI 0\nClosed: IsOpen = 0\nEXAMPLE FINISHED\n$"
  "warning|Please select")
add_example_test(talk_uart_not_found other "" talk_uart
  "error: uartport: no listed device has the description 'FT232R USB UART'; the driver lists 2 entries: 'USB <-> Serial', 'Dual RS232-HS A'\\. See Troubleshooting in the README\\."
  "EXAMPLE FINISHED|Number of FT2|Please select")
add_example_test(stream_fifo "" "" stream_fifo
  "Connected!\n\t Driver version = 1\\.3\\.0\\.4\nRead 262144 words \\(1048576 bytes\\) in [0-9.]+ s: the counter from 0 to 262143\nWrote 65536 bytes to OUT pipe 0x02\nChip configuration: VendorID 0x0403, ProductID 0x601F\n  Manufacturer \"FTDI\", ProductDescription \"FTDI SuperSpeed-FIFO Bridge\", SerialNumber \"000000000001\"\n  FIFOMode [0-9]+, ChannelConfig [0-9]+, FIFOClock [0-9]+\nCounted: NumBytesRead 1048576, NumBytesWritten 65536\nEXAMPLE FINISHED\n$"
  "warning|Please select")
add_example_test(stream_fifo_not_found other "" stream_fifo
  "error: fifoport: no listed device has the description 'FTDI SuperSpeed-FIFO Bridge'; the driver lists 1 entry: 'FT601 Test Board'\\."
  "EXAMPLE FINISHED|Number of FT3|Please select")

# The Octave package: the install-time driver choice, the tarball installed,
# used and removed in a scratch Octave home, and the prompt in a terminal.
set(PACKAGE_DIR "${CMAKE_CURRENT_LIST_DIR}")

add_test(NAME package_choose_driver COMMAND "${PACKAGE_DIR}/choose-driver-check")
add_test(NAME package_install COMMAND "${PACKAGE_DIR}/install-check")
set_tests_properties(package_choose_driver package_install PROPERTIES LABELS package)
set_tests_properties(package_install PROPERTIES TIMEOUT 240)

find_program(TMUX tmux)
if(NOT TMUX)
  message(STATUS "tmux not found: the terminal check of the prompt is not run")
elseif(D2XX_CHOICE STREQUAL "libd2xx_sim.so")
  add_test(NAME package_terminal COMMAND "${PACKAGE_DIR}/terminal-check" "${CMAKE_BINARY_DIR}/mex")
  set_tests_properties(package_terminal PROPERTIES LABELS package TIMEOUT 120)
endif()

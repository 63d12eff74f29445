# Tests of the D2XX layer over libftdi1 that run on any machine, USB or not.
# tests/ includes this file before the layer's folder is configured; the
# layer's CMakeLists.txt includes it again once its targets exist.
if(NOT TARGET d2xx_libftdi)
  return()
endif()
include_guard(GLOBAL)

add_test(NAME d2xx_libftdi_handles
  COMMAND d2xx_libftdi_check "$<TARGET_FILE:d2xx_libftdi>"
          "$<TARGET_FILE:uartattach_libftdi>")

# On a machine without USB, uartattach over this layer lists no device and
# asks for a number; answering 0 leaves it unattached.
add_test(NAME d2xx_libftdi_no_usb_prompt
  COMMAND ${CMAKE_COMMAND}
    -DOCTAVE_CLI=${OCTAVE_CLI}
    -DMEX_DIR=$<TARGET_FILE_DIR:uartattach_libftdi>
    -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}
    -P "${CMAKE_CURRENT_LIST_DIR}/check_no_usb_prompt.cmake")
set_tests_properties(d2xx_libftdi_handles d2xx_libftdi_no_usb_prompt
  PROPERTIES LABELS "libftdi" TIMEOUT 120)

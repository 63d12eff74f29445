# The emulated-chip test: uartattach over the libftdi layer, in a QEMU guest
# with an emulated FT232BM. Included from d2xx_over_libftdi/CMakeLists.txt,
# once the layer's targets exist.
include_guard(GLOBAL)
if(NOT TARGET d2xx_libftdi)
  return()
endif()

# The guest's helpers in Octave: ft232_close closes a handle in the
# interpreter that holds it (the module has no close call of its own);
# seeded_bytes gives the far end's payloads.
foreach(helper ft232_close seeded_bytes)
  add_library(${helper} MODULE "${CMAKE_CURRENT_LIST_DIR}/${helper}.cpp")
  target_link_libraries(${helper} PRIVATE octave_mex dl)
  target_compile_options(${helper} PRIVATE ${ATTACH_WARNINGS})
  target_link_options(${helper} PRIVATE -Wl,--no-undefined)
  set_target_properties(${helper} PROPERTIES
    PREFIX "" SUFFIX ".mex"
    CXX_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/emulated_ft232")
endforeach()

add_test(NAME emulated_ft232
  COMMAND bash "${CMAKE_CURRENT_LIST_DIR}/run" "${CMAKE_BINARY_DIR}")
# Alone: software emulation starves next to parallel tests.
set_tests_properties(emulated_ft232 PROPERTIES
  LABELS "emulated" TIMEOUT 400 RUN_SERIAL ON)

# The data path: the guest's check program (native, loads the layer as
# uartport would) and the host's far end of the chip's serial line.
add_executable(ft232_data "${CMAKE_CURRENT_LIST_DIR}/ft232_data.cpp")
target_link_libraries(ft232_data PRIVATE dl)
add_executable(ft232_far_end "${CMAKE_CURRENT_LIST_DIR}/far_end.cpp")
foreach(tool ft232_data ft232_far_end)
  target_compile_options(${tool} PRIVATE ${ATTACH_WARNINGS})
  set_target_properties(${tool} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/emulated_ft232")
endforeach()
add_dependencies(ft232_data d2xx_libftdi)

# Everything run needs, for a build that wants only this (make bench).
add_custom_target(emulated_ft232_tools)
add_dependencies(emulated_ft232_tools ft232_close seeded_bytes ft232_data
  ft232_far_end d2xx_libftdi_list uartattach_libftdi ftdiport_io_libftdi)

# The native floor under both stacks in the benchmark (bench/README.md).
add_executable(echo_native "${CMAKE_SOURCE_DIR}/bench/echo_native.cpp")
target_link_libraries(echo_native PRIVATE dl)
target_compile_options(echo_native PRIVATE ${ATTACH_WARNINGS})
set_target_properties(echo_native PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/emulated_ft232")
add_dependencies(emulated_ft232_tools echo_native)

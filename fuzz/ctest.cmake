# The attach-flow fuzz targets, built with clang into the build folder's fuzz/
# and run for FUZZ_SECONDS (default 60) each.
add_test(NAME fuzz_attach_flow
  COMMAND ${CMAKE_SOURCE_DIR}/fuzz/run ${CMAKE_BINARY_DIR}/fuzz)
set_tests_properties(fuzz_attach_flow PROPERTIES TIMEOUT 1200 LABELS fuzz)

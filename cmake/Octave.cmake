# Octave's MEX interface: headers and the interpreter library, from mkoctfile.
find_program(MKOCTFILE mkoctfile)
find_program(OCTAVE_CLI octave-cli)
if(NOT MKOCTFILE OR NOT OCTAVE_CLI)
  message(FATAL_ERROR "Octave and its development files are needed "
    "(Debian: apt-get install octave liboctave-dev), or run 'make deps'.")
endif()

foreach(var OCTINCLUDEDIR OCTLIBDIR)
  execute_process(COMMAND "${MKOCTFILE}" -p ${var}
    OUTPUT_VARIABLE OCTAVE_${var} OUTPUT_STRIP_TRAILING_WHITESPACE)
endforeach()
get_filename_component(OCTAVE_INCLUDE_PARENT "${OCTAVE_OCTINCLUDEDIR}" DIRECTORY)
find_library(OCTAVE_OCTINTERP octinterp PATHS "${OCTAVE_OCTLIBDIR}" NO_DEFAULT_PATH)
find_library(OCTAVE_LIBOCTAVE octave PATHS "${OCTAVE_OCTLIBDIR}" NO_DEFAULT_PATH)
if(NOT OCTAVE_OCTINTERP OR NOT OCTAVE_LIBOCTAVE)
  message(FATAL_ERROR "Octave's libraries were not found in ${OCTAVE_OCTLIBDIR}")
endif()

# The interpreter's MEX and mx* functions come from liboctinterp. Linking it
# lets native programs load a module file without Octave having loaded it.
add_library(octave_mex INTERFACE)
target_include_directories(octave_mex SYSTEM INTERFACE "${OCTAVE_OCTINCLUDEDIR}")
target_link_libraries(octave_mex INTERFACE "${OCTAVE_OCTINTERP}")

# Octave's C++ API, for the test tools built as .oct files.
add_library(octave_oct INTERFACE)
target_include_directories(octave_oct SYSTEM INTERFACE
  "${OCTAVE_OCTINCLUDEDIR}" "${OCTAVE_INCLUDE_PARENT}")
target_link_libraries(octave_oct INTERFACE "${OCTAVE_OCTINTERP}" "${OCTAVE_LIBOCTAVE}")

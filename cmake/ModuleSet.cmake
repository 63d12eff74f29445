# add_module_set(NAME suffix DIR folder D2XX lib D3XX lib [FLAGS ...])
# Builds uartattach, fifoattach, the driver hub they reach their drivers
# through, the simulated drivers and their control function ftdisim into one
# folder, with the help texts beside them: the folder a script puts on its
# path. Target names carry the suffix; files do not.
set(ATTACH_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/..")

function(add_module_set)
  cmake_parse_arguments(SET "" "NAME;DIR;D2XX;D3XX" "FLAGS" ${ARGN})
  set(s "${SET_NAME}")
  set(src "${ATTACH_SOURCE_DIR}")

  add_library(driver_library${s} OBJECT "${src}/driver_hub/driver_library.cpp")
  add_library(hub_client${s} OBJECT "${src}/driver_hub/hub_client.cpp")
  add_library(sim_core${s} OBJECT "${src}/simdriver/sim_core.cpp")
  set(objects driver_library${s} hub_client${s} sim_core${s})

  # Loaded by path from this folder and never unloaded (see driver_hub/hub.h).
  add_library(ftdi_hub${s} SHARED "${src}/driver_hub/hub.cpp"
    $<TARGET_OBJECTS:driver_library${s}>)
  set_target_properties(ftdi_hub${s} PROPERTIES OUTPUT_NAME ftdi_hub)
  target_link_libraries(ftdi_hub${s} PRIVATE dl)
  target_link_options(ftdi_hub${s} PRIVATE -Wl,--no-undefined -Wl,-z,nodelete)

  add_library(d2xx_sim${s} SHARED "${src}/simdriver/sim_d2xx.cpp"
    "${src}/simdriver/sim_line.cpp" $<TARGET_OBJECTS:sim_core${s}>)
  add_library(d3xx_sim${s} SHARED "${src}/simdriver/sim_d3xx.cpp"
    "${src}/simdriver/sim_fifo.cpp" $<TARGET_OBJECTS:sim_core${s}>)
  set_target_properties(d2xx_sim${s} PROPERTIES OUTPUT_NAME d2xx_sim)
  set_target_properties(d3xx_sim${s} PROPERTIES OUTPUT_NAME d3xx_sim)

  add_library(uartattach${s} MODULE
    "${src}/uartattach/uartattach.cpp" "${src}/uartattach/uart_layer.cpp"
    "${src}/uartattach/d2xx_binding.cpp" $<TARGET_OBJECTS:hub_client${s}>)
  target_compile_definitions(uartattach${s} PRIVATE D2XX_LIBRARY="${SET_D2XX}")

  add_library(fifoattach${s} MODULE
    "${src}/fifoattach/fifoattach.cpp" "${src}/fifoattach/fifo_layer.cpp"
    "${src}/fifoattach/d3xx_binding.cpp" $<TARGET_OBJECTS:hub_client${s}>)
  target_compile_definitions(fifoattach${s} PRIVATE D3XX_LIBRARY="${SET_D3XX}")

  # The gateway of the uartport and fifoport objects, beside their classes.
  add_library(ftdiport_io${s} MODULE
    "${src}/port/gateway.cpp" "${src}/port/port.cpp" "${src}/port/device.cpp"
    "${src}/port/datatypes.cpp" "${src}/uartport/uart_device.cpp"
    "${src}/fifoport/fifo_device.cpp" $<TARGET_OBJECTS:hub_client${s}>)
  target_compile_definitions(ftdiport_io${s} PRIVATE
    D2XX_LIBRARY="${SET_D2XX}" D3XX_LIBRARY="${SET_D3XX}")
  # Ctrl-C is answered between driver calls through octave_quit(): its header
  # <octave/quit.h> (as mkoctfile's include flags reach it) and liboctave.
  target_link_libraries(ftdiport_io${s} PRIVATE octave_oct)

  add_library(ftdisim${s} MODULE "${src}/simdriver/ftdisim.cpp"
    "${src}/simdriver/ftdisim_line.cpp" "${src}/simdriver/ftdisim_fifo.cpp"
    $<TARGET_OBJECTS:driver_library${s}>)

  set(mex_targets uartattach${s} fifoattach${s} ftdiport_io${s} ftdisim${s})
  foreach(t ${mex_targets})
    get_target_property(name ${t} NAME)
    string(REPLACE "${s}" "" name "${name}")
    set_target_properties(${t} PROPERTIES PREFIX "" SUFFIX ".mex" OUTPUT_NAME ${name})
    target_link_libraries(${t} PRIVATE octave_mex dl)
    # The module may be loaded into any Octave without its libraries'
    # undefined symbols being ours to resolve; liboctinterp provides them.
    # -Bsymbolic: the module's references to its own functions stay its own,
    # even where another module loaded RTLD_GLOBAL exports the same names
    # (both export OpenDevice and CloseDevice); mkoctfile links MEX files so.
    target_link_options(${t} PRIVATE -Wl,--no-undefined -Wl,-Bsymbolic)
    add_custom_command(TARGET ${t} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different
        "${src}/help/${name}.m" "${SET_DIR}/${name}.m")
  endforeach()
  # The objects' classes and functions (copied again whenever they change);
  # the base class in a folder of its own, with its MEX methods.
  foreach(f uartport/uartport.m uartport/uartportlist.m
          fifoport/fifoport.m fifoport/fifoportlist.m)
    get_filename_component(name "${f}" NAME)
    configure_file("${src}/${f}" "${SET_DIR}/${name}" COPYONLY)
  endforeach()
  foreach(name ftdiport write read)
    configure_file("${src}/port/@ftdiport/${name}.m" "${SET_DIR}/@ftdiport/${name}.m" COPYONLY)
  endforeach()
  set(method_targets "")
  foreach(method write read)
    add_library(ftdiport_${method}${s} MODULE "${src}/port/@ftdiport/method.cpp")
    target_compile_definitions(ftdiport_${method}${s} PRIVATE METHOD="${method}")
    target_link_libraries(ftdiport_${method}${s} PRIVATE octave_mex dl)
    target_link_options(ftdiport_${method}${s} PRIVATE -Wl,--no-undefined -Wl,-Bsymbolic)
    set_target_properties(ftdiport_${method}${s} PROPERTIES
      PREFIX "" SUFFIX ".mex" OUTPUT_NAME ${method})
    list(APPEND method_targets ftdiport_${method}${s})
  endforeach()
  # Whatever builds the gateway builds the methods that call it.
  add_dependencies(ftdiport_io${s} ${method_targets})
  foreach(t ${objects})
    target_include_directories(${t} SYSTEM PRIVATE "${OCTAVE_OCTINCLUDEDIR}")
  endforeach()

  foreach(t ${objects} ftdi_hub${s} d2xx_sim${s} d3xx_sim${s} ${mex_targets})
    target_compile_options(${t} PRIVATE ${ATTACH_WARNINGS} ${SET_FLAGS})
    target_link_options(${t} PRIVATE ${SET_FLAGS})
    set_target_properties(${t} PROPERTIES
      CXX_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON
      LIBRARY_OUTPUT_DIRECTORY "${SET_DIR}")
  endforeach()
  foreach(t ${method_targets})
    target_compile_options(${t} PRIVATE ${ATTACH_WARNINGS} ${SET_FLAGS})
    target_link_options(${t} PRIVATE ${SET_FLAGS})
    set_target_properties(${t} PROPERTIES
      CXX_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON
      LIBRARY_OUTPUT_DIRECTORY "${SET_DIR}/@ftdiport")
  endforeach()
  # The modules find the hub and the simulated drivers beside themselves at
  # run time.
  add_dependencies(uartattach${s} ftdi_hub${s} d2xx_sim${s})
  add_dependencies(fifoattach${s} ftdi_hub${s} d3xx_sim${s})
  add_dependencies(ftdiport_io${s} ftdi_hub${s} uartattach${s} fifoattach${s})
  add_dependencies(ftdisim${s} d2xx_sim${s} d3xx_sim${s})
endfunction()

// Binds fifoattach to its D3XX library: the vendor's libftd3xx or the
// simulated one, whichever the build chose (D3XX_LIBRARY).
#include "../attach/driver_library.h"
#include "fifo_layer.h"

#ifndef D3XX_LIBRARY
#error "D3XX_LIBRARY must name the D3XX driver library"
#endif

namespace fifo {

namespace {

bool bind_all(attach::DriverLibrary &library, d3xx::Api &api) {
  // Each driver function is looked up under its own name.
#define BIND(fn) library.bind(#fn, api.fn)
  return BIND(FT_CreateDeviceInfoList) && BIND(FT_GetDeviceInfoList) &&
         BIND(FT_Create) && BIND(FT_Close) && BIND(FT_GetChipConfiguration) &&
         BIND(FT_GetDriverVersion);
#undef BIND
}

}  // namespace

const d3xx::Api *driver(const char **why) {
  return attach::bound_driver<d3xx::Api, bind_all>(
      D3XX_LIBRARY, reinterpret_cast<const void *>(&driver), why);
}

}  // namespace fifo

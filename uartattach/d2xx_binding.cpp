// Binds uartattach to its D2XX library: the vendor's libftd2xx or the
// simulated one, whichever the build chose (D2XX_LIBRARY).
#include "../attach/driver_library.h"
#include "uart_layer.h"

#ifndef D2XX_LIBRARY
#error "D2XX_LIBRARY must name the D2XX driver library"
#endif

namespace uart {

namespace {

bool bind_all(attach::DriverLibrary &library, d2xx::Api &api) {
  // Each driver function is looked up under its own name.
#define BIND(fn) library.bind(#fn, api.fn)
  return BIND(FT_CreateDeviceInfoList) && BIND(FT_GetDeviceInfoList) &&
         BIND(FT_Open) && BIND(FT_Close) && BIND(FT_ResetDevice) &&
         BIND(FT_CyclePort) && BIND(FT_ResetPort) && BIND(FT_SetLatencyTimer) &&
         BIND(FT_GetLatencyTimer) && BIND(FT_SetBaudRate) &&
         BIND(FT_SetDataCharacteristics) && BIND(FT_GetDriverVersion);
#undef BIND
}

}  // namespace

const d2xx::Api *driver(const char **why) {
  return attach::bound_driver<d2xx::Api, bind_all>(
      D2XX_LIBRARY, reinterpret_cast<const void *>(&driver), why);
}

}  // namespace uart

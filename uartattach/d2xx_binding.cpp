// Binds uartattach to its D2XX library (the vendor's libftd2xx or the simulated one,
// whichever the build chose: D2XX_LIBRARY) through the driver hub beside it.
#include "../driver_hub/hub.h"
#include "uart_layer.h"

#ifndef D2XX_LIBRARY
#error "D2XX_LIBRARY must name the D2XX driver library"
#endif

namespace uart {

const d2xx::Api *driver(const char **why) {
  // The hub keeps a bound driver for good; a failed binding is tried again on
  // the next call.
  static const d2xx::Api *api = nullptr;
  if (api != nullptr) return api;
  const char *reason = nullptr;
  if (const hub::Api *h = hub::get(D2XX_LIBRARY, &reason)) {
    api = h->d2xx(D2XX_LIBRARY, &reason);
  }
  if (api == nullptr && why != nullptr) *why = reason;
  return api;
}

}  // namespace uart

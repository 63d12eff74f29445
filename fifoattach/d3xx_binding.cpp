// Binds fifoattach to its D3XX library (the vendor's libftd3xx or the simulated one,
// whichever the build chose: D3XX_LIBRARY) through the driver hub beside it.
#include "../driver_hub/hub.h"
#include "fifo_layer.h"

#ifndef D3XX_LIBRARY
#error "D3XX_LIBRARY must name the D3XX driver library"
#endif

namespace fifo {

const d3xx::Api *driver(const char **why) {
  // The hub keeps a bound driver for good; a failed binding is tried again on
  // the next call.
  static const d3xx::Api *api = nullptr;
  if (api != nullptr) return api;
  const char *reason = nullptr;
  if (const hub::Api *h = hub::get(D3XX_LIBRARY, &reason)) {
    api = h->d3xx(D3XX_LIBRARY, &reason);
  }
  if (api == nullptr && why != nullptr) *why = reason;
  return api;
}

}  // namespace fifo

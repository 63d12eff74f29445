// Private binding of a module to its vendor driver library.
//
// Octave loads every MEX file with RTLD_GLOBAL, and the D2XX and D3XX libraries
// export many identical names (FT_Close, FT_GetDeviceInfoList, ...). A module
// linked directly against its library could end up calling the other module's
// library. Each module therefore opens its own library with RTLD_LOCAL and
// reaches it only through the function pointers resolved here.
#pragma once

#include <dlfcn.h>

#include <cstddef>

namespace attach {

struct DriverLibrary {
  void *handle = nullptr;
  // Why binding failed, naming the library; empty while it has not failed.
  char error[768] = {};

  // Opens `name`: an absolute path, or a file name looked up in the folder of
  // the module file that contains `anchor` (so a build or install folder can
  // be moved as a whole). The library is never closed: driver handles that
  // scripts hold must outlive a reload of the module.
  bool open(const char *name, const void *anchor);

  template <class Fn>
  bool bind(const char *symbol, Fn &slot) {
    void *address = dlsym(handle, symbol);
    if (address == nullptr) {
      set_error("lacks the driver function", symbol);
      return false;
    }
    slot = reinterpret_cast<Fn>(address);
    return true;
  }

 private:
  char path_[512] = {};
  void set_error(const char *what, const char *detail);
};

// The module's bound driver: `BindAll` resolves every function of `Api`.
// Plain statics without destructors: loading and unloading the module run
// nothing, and a failed binding is tried again on the next call.
template <class Api, bool (*BindAll)(DriverLibrary &, Api &)>
const Api *bound_driver(const char *name, const void *anchor, const char **why) {
  static DriverLibrary library;
  static Api api;
  static bool bound = false;
  if (!bound) bound = library.open(name, anchor) && BindAll(library, api);
  if (!bound && why != nullptr) *why = library.error;
  return bound ? &api : nullptr;
}

}  // namespace attach

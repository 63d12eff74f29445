// Private binding of a driver library.
//
// Octave loads every MEX file with RTLD_GLOBAL, and the D2XX and D3XX libraries
// export many identical names (FT_Close, FT_GetDeviceInfoList, ...). A module
// linked directly against its library could end up calling the other module's
// library. The driver hub therefore opens each library with RTLD_LOCAL and
// reaches it only through the function pointers resolved here; ftdisim binds
// the simulated libraries' control functions the same way.
#pragma once

#include <dlfcn.h>

#include <cstddef>

namespace attach {

struct DriverLibrary {
  void *handle = nullptr;
  // Why binding failed, naming the library; empty while it has not failed.
  char error[768] = {};

  // Opens `name`: an absolute path, or a file name looked up in the folder of
  // the file (module or hub) that contains `anchor`, so a build or install
  // folder can be moved as a whole. The library is never closed: driver
  // handles that scripts hold must outlive a reload of the module.
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

}  // namespace attach

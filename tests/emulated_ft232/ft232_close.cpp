// status = ft232_close(module_file, handle)
// Closes a handle through the CloseDeviceVal of the uartattach module already
// loaded from module_file, in this Octave process: the handles live in that
// module's driver library, so no other process or copy could close them.
#include <dlfcn.h>
#include <mex.h>

#include <cstdint>

#include "../../attach/ft_types.h"

extern "C" __attribute__((visibility("default"))) void mexFunction(
    int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  if (nrhs != 2 || nlhs > 1 || !mxIsChar(prhs[0]) || !mxIsNumeric(prhs[1])) {
    mexErrMsgIdAndTxt("ft232_close:usage",
                      "status = ft232_close(module_file, handle)");
  }
  char *module = mxArrayToString(prhs[0]);
  // RTLD_NOLOAD: only the copy the interpreter loaded, never a fresh one.
  void *lib = dlopen(module, RTLD_NOW | RTLD_NOLOAD);
  mxFree(module);
  if (lib == nullptr) {
    mexErrMsgIdAndTxt("ft232_close:notLoaded", "module not loaded: %s",
                      dlerror());
  }
  auto close_val = reinterpret_cast<FT_STATUS (*)(FT_HANDLE)>(
      dlsym(lib, "CloseDeviceVal"));
  if (close_val == nullptr) {
    dlclose(lib);
    mexErrMsgIdAndTxt("ft232_close:noSymbol", "module lacks CloseDeviceVal");
  }
  const auto value = static_cast<std::uint64_t>(mxGetScalar(prhs[1]));
  const FT_STATUS status =
      close_val(reinterpret_cast<FT_HANDLE>(static_cast<std::uintptr_t>(value)));
  dlclose(lib);  // drops only the reference taken above
  plhs[0] = mxCreateDoubleScalar(status);
}

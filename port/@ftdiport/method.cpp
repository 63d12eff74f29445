// write.mex and read.mex: the methods write and read of uartport and fifoport
// objects, as MEX files in the base class's folder. Octave calls a MEX file
// as a method for a third of what an .m method costs, and these two are the
// calls a script makes most. Each hands the call to the gateway ftdiport_io
// in the folder above, as ftdiport_io(METHOD, OBJ.Port, ...).
#include <dlfcn.h>
#include <mex.h>

#include <cstdio>
#include <cstring>

#ifndef METHOD
#error "METHOD must name the method: \"write\" or \"read\""
#endif

namespace {

using Call = void (*)(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

// The gateway's entry, from the module folder above this class folder. It is
// never closed: the objects' state lives there.
Call gateway() {
  static Call call = nullptr;
  if (call != nullptr) return call;
  Dl_info info{};
  char path[1024] = "";
  if (dladdr(reinterpret_cast<const void *>(&gateway), &info) != 0 &&
      info.dli_fname != nullptr) {
    std::snprintf(path, sizeof path, "%s", info.dli_fname);
  }
  // .../mex/@ftdiport/write.mex -> .../mex/ftdiport_io.mex
  for (int cut = 0; cut < 2; ++cut) {
    char *slash = std::strrchr(path, '/');
    if (slash != nullptr) *slash = '\0';
  }
  std::strncat(path, "/ftdiport_io.mex", sizeof path - std::strlen(path) - 1);
  void *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle != nullptr) call = reinterpret_cast<Call>(dlsym(handle, "ftdiport_call"));
  if (call == nullptr) {
    const char *why = dlerror();
    mexErrMsgIdAndTxt("ftdiport:driverUnavailable", "%s cannot be loaded: %s", path,
                      why != nullptr ? why : "it lacks ftdiport_call");
  }
  return call;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void mexFunction(
    int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  constexpr int kMaxArgs = 6;
  mxArray *number = nrhs > 0 ? mxGetProperty(prhs[0], 0, "Port") : nullptr;
  if (number == nullptr || nrhs > kMaxArgs) {
    mexErrMsgIdAndTxt("ftdiport:invalidValue",
                      METHOD "(OBJ, ...) takes a uartport or fifoport object first, "
                      "and at most %d arguments", kMaxArgs);
  }
  const mxArray *args[kMaxArgs + 1];
  args[0] = mxCreateString(METHOD);
  args[1] = number;
  for (int i = 1; i < nrhs; ++i) args[i + 1] = prhs[i];
  gateway()(nlhs, plhs, nrhs + 1, args);
}

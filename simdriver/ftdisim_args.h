// Argument helpers of the ftdisim control function, shared by the commands
// common to both drivers (ftdisim.cpp) and each driver's far-end commands
// (ftdisim_line.cpp for D2XX, ftdisim_fifo.cpp for D3XX).
#pragma once

#include <mex.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../driver_hub/driver_library.h"

namespace ftdisim {

// A far-end command of one driver: false when `command` is not one of its
// own. `library` is the bound simulated library; *result receives the
// command's result, if any.
bool line_command(attach::DriverLibrary &library, const std::string &command,
                  mxArray **result, int nrhs, const mxArray *prhs[]);
bool fifo_command(attach::DriverLibrary &library, const std::string &command,
                  mxArray **result, int nrhs, const mxArray *prhs[]);

}  // namespace ftdisim

namespace {

inline std::string text_of(const mxArray *a, const char *what) {
  if (a != nullptr && mxIsChar(a)) {
    char *s = mxArrayToString(a);
    std::string text(s, mxGetNumberOfElements(a));
    mxFree(s);
    return text;
  }
  if (a != nullptr && mxIsUint8(a)) {
    const auto *bytes = static_cast<const char *>(mxGetData(a));
    return std::string(bytes, mxGetNumberOfElements(a));
  }
  mexErrMsgIdAndTxt("ftdisim:argument", "%s must be text or uint8 bytes.", what);
  return {};
}

inline std::vector<std::uint64_t> integers_of(const mxArray *a, const char *what) {
  if (a == nullptr || !(mxIsNumeric(a) || mxIsLogical(a)) || mxIsComplex(a)) {
    mexErrMsgIdAndTxt("ftdisim:argument", "%s must be a real number.", what);
  }
  const std::size_t n = mxGetNumberOfElements(a);
  std::vector<std::uint64_t> values(n);
  if (mxIsUint64(a) || mxIsInt64(a)) {
    // Exact: handle values at or above 2^53 do not survive a double.
    std::memcpy(values.data(), mxGetData(a), n * sizeof(std::uint64_t));
  } else {
    const mxArray *copy = a;
    mxArray *converted = nullptr;
    if (!mxIsDouble(a)) {
      mxArray *arg = const_cast<mxArray *>(a);
      mexCallMATLAB(1, &converted, 1, &arg, "double");
      copy = converted;
    }
    const double *d = mxGetPr(copy);
    for (std::size_t i = 0; i < n; ++i) {
      values[i] = d[i] < 0 ? static_cast<std::uint64_t>(static_cast<std::int64_t>(d[i]))
                           : static_cast<std::uint64_t>(d[i]);
    }
    if (converted != nullptr) mxDestroyArray(converted);
  }
  return values;
}

inline std::uint64_t integer_of(const mxArray *a, const char *what) {
  const std::vector<std::uint64_t> v = integers_of(a, what);
  if (v.size() != 1) mexErrMsgIdAndTxt("ftdisim:argument", "%s must be a scalar.", what);
  return v[0];
}

inline const mxArray *argument(int nrhs, const mxArray *prhs[], int i, const char *what) {
  if (i >= nrhs) mexErrMsgIdAndTxt("ftdisim:usage", "Missing argument: %s.", what);
  return prhs[i];
}

}  // namespace

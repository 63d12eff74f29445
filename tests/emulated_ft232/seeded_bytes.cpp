// bytes = seeded_bytes(seed, count): the payload the far end sends or
// expects for `far:send count seed` / `far:expect count seed`, as a uint8
// row, so an Octave script in the guest checks it against the same bytes.
#include <mex.h>

#include <cmath>
#include <cstring>

#include "seeded_bytes.h"

namespace {

bool whole(const mxArray *a, double limit, double *out) {
  if (a == nullptr || !mxIsDouble(a) || mxIsComplex(a) ||
      mxGetNumberOfElements(a) != 1) {
    return false;
  }
  const double v = mxGetScalar(a);
  if (!(v >= 0 && v <= limit) || v != std::floor(v)) return false;
  *out = v;
  return true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void mexFunction(
    int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  double seed = 0, count = 0;
  // Seeds up to 2^53 pass through a double exactly; 16 MiB is plenty.
  if (nrhs != 2 || nlhs > 1 || !whole(prhs[0], 9007199254740992.0, &seed) ||
      !whole(prhs[1], 16777216.0, &count)) {
    mexErrMsgIdAndTxt("seeded_bytes:usage",
                      "bytes = seeded_bytes(seed, count), both whole numbers");
  }
  const auto bytes = seeded_bytes(static_cast<std::uint64_t>(seed),
                                  static_cast<std::size_t>(count));
  plhs[0] = mxCreateNumericMatrix(1, bytes.size(), mxUINT8_CLASS, mxREAL);
  if (!bytes.empty()) std::memcpy(mxGetData(plhs[0]), bytes.data(), bytes.size());
}

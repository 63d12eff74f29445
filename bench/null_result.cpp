// null_result: a MEX call that returns an array of N bytes and does nothing
// else: X = null_result(N, CLASS) gives a 1x(N/size) array of CLASS ('uint8'
// or 'double') left as mxCreateUninitNumericMatrix made it. Its time, less a
// null MEX call's, is what Octave spends taking a result of that size on
// return (in Octave 7 it makes its own array and copies the elements into it),
// the part of a read that is Octave's and not the module's.
#include <mex.h>

#include <cstring>

extern "C" __attribute__((visibility("default"))) void mexFunction(
    int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  (void)nlhs;
  if (nrhs != 2 || !mxIsDouble(prhs[0]) || !mxIsChar(prhs[1])) {
    mexErrMsgIdAndTxt("null_result:usage", "Usage: null_result(BYTES, 'uint8' or 'double')");
  }
  char name[8] = "";
  mxGetString(prhs[1], name, sizeof name);
  const bool as_double = std::strcmp(name, "double") == 0;
  const auto bytes = static_cast<mwSize>(mxGetScalar(prhs[0]));
  plhs[0] = mxCreateUninitNumericMatrix(1, as_double ? bytes / 8 : bytes,
                                        as_double ? mxDOUBLE_CLASS : mxUINT8_CLASS, mxREAL);
}

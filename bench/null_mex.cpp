// null_mex: the cheapest MEX call with the shape of an attach call. It takes
// one argument and returns three results (two scalars and a string), as
// [ok, handle, description] = uartattach(description) does, and does nothing
// else. Its time is the interpreter's own cost of calling a module.
#include <mex.h>

extern "C" __attribute__((visibility("default"))) void mexFunction(
    int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  (void)nrhs;
  (void)prhs;
  if (nlhs < 3) return;
  plhs[0] = mxCreateDoubleScalar(0.0);
  plhs[1] = mxCreateDoubleScalar(0.0);
  plhs[2] = mxCreateString("");
}

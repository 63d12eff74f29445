// cgmark: marks for callgrind runs, issued as client requests. Outside
// valgrind the commands do nothing.
//   cgmark('start')        start instrumentation (the run uses
//                          --instr-atstart=no, so start-up goes uninstrumented)
//   cgmark('dump', label)  write what was counted since the last dump to a new
//                          profile file, under `label`, and count afresh
//   n = cgmark('running')  1 under valgrind, else 0
//
// A measured window is bracketed by two dumps. CALLGRIND_ZERO_STATS is not
// offered: in callgrind 3.19 a dump made after it lists function costs that
// add up to more than the dump's own summary.
#include <mex.h>
#include <valgrind/callgrind.h>

#include <cstring>

extern "C" __attribute__((visibility("default"))) void mexFunction(
    int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  (void)nlhs;
  if (nrhs < 1 || !mxIsChar(prhs[0])) {
    mexErrMsgIdAndTxt("cgmark:usage", "Usage: cgmark(COMMAND, ...)");
  }
  char command[16] = {};
  mxGetString(prhs[0], command, sizeof command);
  if (std::strcmp(command, "start") == 0) {
    CALLGRIND_START_INSTRUMENTATION;
  } else if (std::strcmp(command, "dump") == 0) {
    char label[64] = "mark";
    if (nrhs > 1 && mxIsChar(prhs[1])) mxGetString(prhs[1], label, sizeof label);
    CALLGRIND_DUMP_STATS_AT(label);
  } else if (std::strcmp(command, "running") == 0) {
    plhs[0] = mxCreateDoubleScalar(RUNNING_ON_VALGRIND ? 1.0 : 0.0);
  } else {
    mexErrMsgIdAndTxt("cgmark:usage", "Unknown command '%s'.", command);
  }
}

// uartattach: attaches a D2XX USB-serial bridge to an Octave script.
//   [ok, handle, description] = uartattach(description)
#include "../attach/attach_flow.h"
#include "uart_layer.h"

ATTACH_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs,
                               const mxArray *prhs[]) {
  attach::attach_call<uart::Layer>(nlhs, plhs, nrhs, prhs);
}

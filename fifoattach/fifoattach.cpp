// fifoattach: attaches a D3XX FT60x FIFO bridge to an Octave script.
//   [ok, handle, description] = fifoattach(description)
#include "../attach/attach_flow.h"
#include "fifo_layer.h"

ATTACH_EXPORT void mexFunction(int nlhs, mxArray *plhs[], int nrhs,
                               const mxArray *prhs[]) {
  attach::attach_call<fifo::Layer>(nlhs, plhs, nrhs, prhs);
}

// A stand-in for the interpreter's MEX interface: only what the attach flow
// and the module layers use, with Octave's signatures. The fuzz targets build
// against it instead of Octave's mex.h; mex_double.h is the test side.
#pragma once

#include <cstddef>

typedef struct mxArray mxArray;
typedef std::size_t mwSize;
typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

extern "C" {

void mexFunction(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

// Throws mex_double::Error, so that destructors on the way out run as they do
// when Octave raises the error.
void mexErrMsgIdAndTxt(const char *id, const char *s, ...);
int mexPrintf(const char *fmt, ...);
int mexCallMATLAB(int nargout, mxArray *argout[], int nargin, mxArray *argin[],
                  const char *fname);

bool mxIsChar(const mxArray *ptr);
bool mxIsNumeric(const mxArray *ptr);
bool mxIsLogical(const mxArray *ptr);
bool mxIsEmpty(const mxArray *ptr);
std::size_t mxGetM(const mxArray *ptr);
std::size_t mxGetNumberOfElements(const mxArray *ptr);
double mxGetScalar(const mxArray *ptr);
double *mxGetPr(const mxArray *ptr);
char *mxArrayToString(const mxArray *ptr);

mxArray *mxCreateString(const char *str);
mxArray *mxCreateDoubleMatrix(mwSize nr, mwSize nc, mxComplexity flag);
void mxDestroyArray(mxArray *v);

void *mxCalloc(std::size_t n, std::size_t size);
void mxFree(void *ptr);

}  // extern "C"

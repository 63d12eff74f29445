// The MEX stand-in; see mex_double.h.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "../violation.h"
#include "mex_double.h"

using mex_double::Answer;
using mex_double::Class;

struct mxArray {
  Class cls;
  std::size_t m;
  std::size_t n;
  std::vector<double> values;  // Double and Logical
  std::string chars;           // Char, column-major as Octave keeps it
};

namespace mex_double {

namespace {

struct Books {
  std::set<const mxArray *> arrays;     // made by the call
  std::set<const void *> blocks;        // allocated for the call
  std::set<const mxArray *> arguments;  // the harness's
  int prompts = 0;
  Answer answer = Answer::Number;
  double value = 0;
  bool string_conversion_fails = false;
};

Books &books() {
  static Books b;
  return b;
}

mxArray *new_array(Class cls, std::size_t m, std::size_t n) {
  mxArray *a = new mxArray{cls, m, n, {}, {}};
  if (cls == Class::Double || cls == Class::Logical) a->values.assign(m * n, 0);
  if (cls == Class::Char) a->chars.assign(m * n, '\0');
  return a;
}

mxArray *booked(mxArray *a) {
  books().arrays.insert(a);
  return a;
}

void *booked_block(void *p) {
  if (p != nullptr) books().blocks.insert(p);
  return p;
}

// The call only ever reads arrays that exist: its arguments, what it made.
const mxArray &readable(const mxArray *a, const char *what) {
  if (a == nullptr ||
      (books().arrays.count(a) == 0 && books().arguments.count(a) == 0)) {
    violation("%s of an array that is not alive (%p)", what,
              static_cast<const void *>(a));
  }
  return *a;
}

mxArray *make_answer(Answer kind, double value) {
  switch (kind) {
    case Answer::Number:
    case Answer::Pair: {
      mxArray *a = new_array(Class::Double, 1, kind == Answer::Pair ? 2 : 1);
      for (double &v : a->values) v = value;
      return a;
    }
    case Answer::Empty:
      return new_array(Class::Double, 0, 0);
    case Answer::Logical: {
      mxArray *a = new_array(Class::Logical, 1, 1);
      a->values[0] = value != 0 ? 1 : 0;
      return a;
    }
    case Answer::Char: {
      std::uint64_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      mxArray *a = new_array(Class::Char, 1, 1);
      a->chars[0] = static_cast<char>(bits & 0xFF);
      return a;
    }
    case Answer::Cell:
      return new_array(Class::Cell, 0, 0);
    case Answer::Struct:
      return new_array(Class::Struct, 1, 1);
    case Answer::Raises:
    case Answer::Nothing:
    case Answer::kCount:
      break;
  }
  return nullptr;
}

}  // namespace

mxArray *make_argument(Class cls, std::size_t m, std::size_t n,
                       const std::string &chars) {
  mxArray *a = new_array(cls, m, n);
  if (cls == Class::Char) a->chars = chars;
  books().arguments.insert(a);
  return a;
}

void free_argument(mxArray *argument) {
  books().arguments.erase(argument);
  delete argument;
}

void begin_call(Answer answer, double value, bool string_conversion_fails) {
  Books &b = books();
  if (!b.arrays.empty() || !b.blocks.empty()) {
    violation("a call began with %zu arrays and %zu blocks still booked",
              b.arrays.size(), b.blocks.size());
  }
  b.prompts = 0;
  b.answer = answer;
  b.value = value;
  b.string_conversion_fails = string_conversion_fails;
}

int prompts() { return books().prompts; }
std::size_t booked_arrays() { return books().arrays.size(); }
std::size_t booked_blocks() { return books().blocks.size(); }
bool is_booked(const mxArray *array) {
  return books().arrays.count(array) != 0;
}

bool scalar_of(const mxArray *array, double *value) {
  if (array == nullptr || array->cls != Class::Double || array->m != 1 ||
      array->n != 1) {
    return false;
  }
  *value = array->values[0];
  return true;
}

bool text_of(const mxArray *array, std::string *text) {
  if (array == nullptr || array->cls != Class::Char ||
      (array->m != 1 && array->m * array->n != 0)) {
    return false;
  }
  *text = array->chars;
  return true;
}

}  // namespace mex_double

using mex_double::Books;
using mex_double::books;

extern "C" {

void mexErrMsgIdAndTxt(const char *id, const char *s, ...) {
  char message[1024];
  va_list args;
  va_start(args, s);
  std::vsnprintf(message, sizeof message, s, args);
  va_end(args);
  throw mex_double::Error{id, message};
}

int mexPrintf(const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  const int n = std::vprintf(fmt, args);
  va_end(args);
  return n;
}

int mexCallMATLAB(int nargout, mxArray *argout[], int nargin, mxArray *argin[],
                  const char *fname) {
  if (std::strcmp(fname, "input") != 0 || nargout != 1 || nargin != 1) {
    violation("unexpected interpreter call %s with %d in, %d out", fname,
              nargin, nargout);
  }
  if (!mxIsChar(argin[0])) violation("the prompt is not text");
  Books &b = books();
  ++b.prompts;
  if (b.answer == Answer::Raises) {
    throw mex_double::Error{mex_double::kInputRaisedId, "input: interrupted"};
  }
  // Like Octave, an output the function did not give is null.
  mxArray *answer = mex_double::make_answer(b.answer, b.value);
  argout[0] = answer != nullptr ? mex_double::booked(answer) : nullptr;
  return 0;
}

bool mxIsChar(const mxArray *ptr) {
  return mex_double::readable(ptr, "mxIsChar").cls == Class::Char;
}

bool mxIsNumeric(const mxArray *ptr) {
  return mex_double::readable(ptr, "mxIsNumeric").cls == Class::Double;
}

bool mxIsLogical(const mxArray *ptr) {
  return mex_double::readable(ptr, "mxIsLogical").cls == Class::Logical;
}

bool mxIsEmpty(const mxArray *ptr) {
  const mxArray &a = mex_double::readable(ptr, "mxIsEmpty");
  return a.m * a.n == 0;
}

std::size_t mxGetM(const mxArray *ptr) {
  return mex_double::readable(ptr, "mxGetM").m;
}

std::size_t mxGetNumberOfElements(const mxArray *ptr) {
  const mxArray &a = mex_double::readable(ptr, "mxGetNumberOfElements");
  return a.m * a.n;
}

// Octave raises for an array without a numeric first element.
double mxGetScalar(const mxArray *ptr) {
  const mxArray &a = mex_double::readable(ptr, "mxGetScalar");
  if (a.m * a.n != 0) {
    if (!a.values.empty()) return a.values[0];
    if (a.cls == Class::Char) return static_cast<unsigned char>(a.chars[0]);
  }
  throw mex_double::Error{"Octave:mxGetScalar", "no scalar value"};
}

double *mxGetPr(const mxArray *ptr) {
  const mxArray &a = mex_double::readable(ptr, "mxGetPr");
  if (a.cls != Class::Double) violation("mxGetPr of a non-double array");
  return const_cast<double *>(a.values.data());
}

// A NUL-terminated copy of all characters, NULs inside included.
char *mxArrayToString(const mxArray *ptr) {
  const mxArray &a = mex_double::readable(ptr, "mxArrayToString");
  if (a.cls != Class::Char || books().string_conversion_fails) return nullptr;
  char *copy = static_cast<char *>(std::malloc(a.chars.size() + 1));
  std::memcpy(copy, a.chars.data(), a.chars.size());
  copy[a.chars.size()] = '\0';
  return static_cast<char *>(mex_double::booked_block(copy));
}

mxArray *mxCreateString(const char *str) {
  mxArray *a = mex_double::new_array(Class::Char, 1, std::strlen(str));
  a->chars = str;
  return mex_double::booked(a);
}

mxArray *mxCreateDoubleMatrix(mwSize nr, mwSize nc, mxComplexity flag) {
  if (flag != mxREAL) violation("complex result");
  return mex_double::booked(mex_double::new_array(Class::Double, nr, nc));
}

void mxDestroyArray(mxArray *v) {
  if (v == nullptr) return;
  if (books().arguments.count(v) != 0) {
    violation("the call destroyed its argument");
  }
  if (books().arrays.erase(v) == 0) {
    violation("mxDestroyArray of an array not alive (%p)",
              static_cast<void *>(v));
  }
  delete v;
}

void *mxCalloc(std::size_t n, std::size_t size) {
  return mex_double::booked_block(std::calloc(n, size));
}

void mxFree(void *ptr) {
  if (ptr == nullptr) return;
  if (books().blocks.erase(ptr) == 0) {
    violation("mxFree of a block not alive (%p)", ptr);
  }
  std::free(ptr);
}

}  // extern "C"

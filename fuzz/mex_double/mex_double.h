// The test side of the MEX stand-in: arrays the harness makes as arguments,
// how the interpreter's "input" answers, and the books of what the call made.
//
// Everything the call makes (mxCreate*, mxArrayToString, mxCalloc, and the
// answer of "input", which the caller owns) is booked until it is released.
// Releasing something that is not booked, or an argument, aborts at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "mex.h"

namespace mex_double {

// What mexErrMsgIdAndTxt throws, and what "input" raises.
struct Error {
  std::string id;
  std::string message;
};

// The id of the error "input" raises when the answer is Answer::Raises.
constexpr const char *kInputRaisedId = "Octave:input-raised";

enum class Class : std::uint8_t { Double, Logical, Char, Cell, Struct };

// How "input" answers the prompt.
enum class Answer : std::uint8_t {
  Number,   // 1x1 double: the value
  Empty,    // [] from pressing Enter
  Pair,     // 1x2 double: [value, value]
  Logical,  // 1x1 logical: value != 0
  Char,     // 1x1 char: the value's low byte
  Cell,     // {}: no numeric value
  Struct,   // struct(): no numeric value
  Raises,   // "input" raises an error (Ctrl-C, a typo in the expression)
  Nothing,  // "input" gives no value at all
  kCount
};

// Arguments belong to the harness: the call may read them, never release them.
mxArray *make_argument(Class cls, std::size_t m, std::size_t n,
                       const std::string &chars);
void free_argument(mxArray *argument);

// Starts a call's books. Aborts when the previous call left anything booked.
void begin_call(Answer answer, double value, bool string_conversion_fails);

int prompts();                // how often "input" was called
std::size_t booked_arrays();  // arrays made and not destroyed
std::size_t booked_blocks();  // mxArrayToString / mxCalloc blocks not freed
bool is_booked(const mxArray *array);

// A result's value, if it is a 1x1 double.
bool scalar_of(const mxArray *array, double *value);
// A result's text, if it is a char row (or 0x0).
bool text_of(const mxArray *array, std::string *text);

}  // namespace mex_double

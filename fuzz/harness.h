// One fuzz run: an attach call made from the input, against the MEX stand-in
// and the scripted driver, then the checks of what the call promises.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "../attach/ft_types.h"
#include "driver_double.h"
#include "input.h"
#include "mex_double/mex_double.h"
#include "violation.h"

namespace fuzz {

using mex_double::Answer;
using mex_double::Class;

// The module's output goes nowhere: only findings should reach the terminal.
// FUZZ_SHOW_OUTPUT=1 keeps it, to follow a replayed input.
inline void quiet_stdout() {
  if (std::getenv("FUZZ_SHOW_OUTPUT") != nullptr) return;
  if (std::freopen("/dev/null", "w", stdout) == nullptr) {
    violation("cannot send standard output to /dev/null");
  }
}

// How each Form calls the module.
struct Shape {
  int nlhs;
  int nrhs;
  Class cls;
  enum Dims { Row, Column, Empty } dims;
};
constexpr Shape kShapes[] = {
    {3, 1, Class::Char, Shape::Row},     // Row
    {3, 1, Class::Char, Shape::Column},  // Column
    {3, 1, Class::Char, Shape::Empty},   // EmptyChar
    {3, 1, Class::Double, Shape::Row},   // Number
    {3, 0, Class::Char, Shape::Row},     // NoArgument
    {3, 2, Class::Char, Shape::Row},     // TwoArguments
    {1, 1, Class::Char, Shape::Row},     // OneOutput
    {3, 1, Class::Char, Shape::Row},     // Unconvertible
};
static_assert(sizeof kShapes / sizeof kShapes[0] ==
                  static_cast<std::size_t>(Form::kCount),
              "a shape for every form");

// The error the module raises for its arguments, checked in this order; null
// when they are fine.
inline const char *argument_error(const Shape &s, std::size_t m,
                                  bool unconvertible) {
  if (s.nrhs != 1) return "MATLAB:yprime:invalidNumInputs";
  if (s.nlhs != 3) return "MATLAB:yprime:maxlhs";
  if (s.cls != Class::Char) return "MATLAB:revord:inputNotString";
  if (m != 1) return "MATLAB:revord:inputNotVector";
  if (unconvertible) return "MATLAB:revord:conversionFailed";
  return nullptr;
}

// Results of a call that returned: exactly three arrays are left, nothing
// else, and they are [1, handle, description] of the device the driver opened
// and still holds open, or [0, 0, "<none>"] when nothing was opened.
template <class Node>
void check_results(mxArray *const plhs[3], const DriverDouble<Node> &driver) {
  if (mex_double::booked_blocks() != 0) {
    violation("%zu text blocks not freed", mex_double::booked_blocks());
  }
  const bool three = plhs[0] != plhs[1] && plhs[1] != plhs[2] &&
                     plhs[0] != plhs[2] && mex_double::is_booked(plhs[0]) &&
                     mex_double::is_booked(plhs[1]) &&
                     mex_double::is_booked(plhs[2]);
  if (!three || mex_double::booked_arrays() != 3) {
    violation("%zu arrays left, not just the three results",
              mex_double::booked_arrays());
  }
  double ok = 0, handle = 0;
  std::string text;
  if (!mex_double::scalar_of(plhs[0], &ok) ||
      !mex_double::scalar_of(plhs[1], &handle) ||
      !mex_double::text_of(plhs[2], &text)) {
    violation("results are not [scalar, scalar, text]");
  }
  if (!driver.handed_out()) {
    if (ok != 0 || handle != 0 || text != "<none>") {
      violation("nothing opened, yet results [%g, %g, \"%s\"]", ok, handle,
                text.c_str());
    }
    return;
  }
  FT_HANDLE held = nullptr;
  if (ok != 1) violation("a device was opened, yet ok = %g", ok);
  if (!driver.holds_open(&held)) violation("the opened device was closed");
  if (handle != static_cast<double>(handle_value(held))) {
    violation("handle %g returned, %p opened", handle, held);
  }
  std::uint64_t index = 0;
  driver.open_tried(&index);
  const std::string listed = driver.listed_description(index);
  if (text != listed) {
    violation("description \"%s\" returned, \"%s\" listed", text.c_str(),
              listed.c_str());
  }
}

// The device is chosen by exact description, whole argument against whole
// listed text; only when none matches is the user asked for its number.
template <class Node>
void check_choice(const DriverDouble<Node> &driver,
                  const std::string &argument) {
  const bool matched = driver.lists(argument);
  if (matched == (mex_double::prompts() != 0)) {
    violation(matched ? "prompted although a device matched"
                      : "no device matched, yet no prompt");
  }
  std::uint64_t index = 0;
  if (matched && (!driver.open_tried(&index) ||
                  driver.listed_description(index) != argument)) {
    violation("a device matched, yet device %llu was opened",
              static_cast<unsigned long long>(index));
  }
}

// Calls the module's mexFunction as the input says and checks the outcome.
template <class Node>
void run_call(const std::uint8_t *data, std::size_t size,
              const char *unavailable_id) {
  const Input<Node> in = parse<Node>(data, size);
  DriverDouble<Node> &driver = the_driver<Node>();
  driver.begin(in);
  const bool unconvertible = in.form() == Form::Unconvertible;
  mex_double::begin_call(in.answer(), in.header.answer_value, unconvertible);

  const Shape &shape = kShapes[static_cast<int>(in.form())];
  const std::string text(in.argument.begin(), in.argument.end());
  std::size_t m = 1, n = text.size();
  if (shape.dims == Shape::Column) std::swap(m, n);
  if (shape.dims == Shape::Empty) m = n = 0;
  mxArray *args[2];
  for (mxArray *&arg : args) {
    arg = mex_double::make_argument(shape.cls, m, n, m * n != 0 ? text : "");
  }
  const mxArray *prhs[2] = {args[0], args[1]};
  mxArray *plhs[3] = {};

  const char *expected = argument_error(shape, m, unconvertible);
  const bool before_driver = expected != nullptr || driver.missing();
  if (expected == nullptr && driver.missing()) expected = unavailable_id;

  bool raised = false;
  std::string raised_id;
  try {
    mexFunction(shape.nlhs, plhs, shape.nrhs, prhs);
  } catch (const mex_double::Error &e) {
    raised = true;
    raised_id = e.id;
  }

  if (mex_double::prompts() > 1) {
    violation("the prompt came %d times", mex_double::prompts());
  }
  if (before_driver && (driver.calls() != 0 || mex_double::prompts() != 0)) {
    violation("the call went on after error %s", expected);
  }
  if (expected == nullptr && mex_double::prompts() == 1 &&
      in.answer() == Answer::Raises) {
    expected = mex_double::kInputRaisedId;
  }
  if (expected != nullptr && raised_id != expected) {
    violation("error \"%s\" expected, \"%s\" raised", expected,
              raised_id.c_str());
  }
  if (expected == nullptr && raised) {
    violation("unexpected error \"%s\"", raised_id.c_str());
  }
  if (!before_driver) check_choice(driver, text);

  if (raised) {
    // The way out of an error releases everything and opens nothing.
    if (mex_double::booked_arrays() != 0 || mex_double::booked_blocks() != 0) {
      violation("error left %zu arrays and %zu blocks",
                mex_double::booked_arrays(), mex_double::booked_blocks());
    }
    if (driver.handed_out()) violation("error raised with a device opened");
  } else {
    check_results(plhs, driver);
  }

  for (mxArray *result : plhs) mxDestroyArray(result);
  for (mxArray *arg : args) mex_double::free_argument(arg);
}

}  // namespace fuzz

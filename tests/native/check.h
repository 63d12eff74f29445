// The checks of the native tests: each one counts, and a failing one says
// what it expected and what it got. report() prints the counts and gives
// the exit status.
#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>

namespace check {

inline int failures = 0;
inline int passes = 0;

inline void expect(bool ok, const std::string &what) {
  if (ok) {
    ++passes;
  } else {
    ++failures;
    std::fprintf(stderr, "FAIL %s\n", what.c_str());
  }
}

inline std::string shown(const std::string &s) { return "[" + s + "]"; }
template <class T, class = std::enable_if_t<std::is_arithmetic_v<T>>>
std::string shown(T value) {
  return std::to_string(value);
}

template <class T>
void expect_eq(const T &actual, const T &expected, const std::string &what) {
  if (!(actual == expected)) {
    std::fprintf(stderr, "  expected: %s\n  actual:   %s\n", shown(expected).c_str(),
                 shown(actual).c_str());
  }
  expect(actual == expected, what);
}

// Integers of two types: compared as long long, where neither overflows.
inline void expect_eq(long long actual, long long expected, const std::string &what) {
  expect_eq<long long>(actual, expected, what);
}

inline void expect_text(const std::string &actual, const std::string &expected,
                        const std::string &what) {
  expect_eq(actual, expected, what);
}

inline void expect_within(double actual, double low, double high, const std::string &what) {
  if (actual < low || actual > high) {
    std::fprintf(stderr, "  %g is outside [%g, %g]\n", actual, low, high);
  }
  expect(actual >= low && actual <= high, what);
}

// A function of a loaded library; a missing one ends the test (status 2).
inline void *symbol(void *library, const char *name) {
  void *address = dlsym(library, name);
  if (address == nullptr) {
    std::fprintf(stderr, "missing symbol %s\n", name);
    std::exit(2);
  }
  return address;
}

template <class Fn>
Fn symbol(void *library, const char *name) {
  return reinterpret_cast<Fn>(symbol(library, name));
}

template <class Fn>
void bind(void *library, const char *name, Fn &slot) {
  slot = symbol<Fn>(library, name);
}

inline int report() {
  std::printf("%d passed, %d failed\n", passes, failures);
  return failures == 0 ? 0 : 1;
}

}  // namespace check

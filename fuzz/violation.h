// A broken promise of the attach call, found by a fuzz target: said on stderr,
// then abort() so that libFuzzer keeps the input that led to it.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void violation(const char *format, ...)
    __attribute__((format(printf, 1, 2)));

[[noreturn]] inline void violation(const char *format, ...) {
  std::fputs("attach fuzz: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  std::abort();
}

// The datatypes of write and read, their byte order, and the checks of what a
// script passes: values that must fit the datatype, counts that must be whole.
#pragma once

#include <mex.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace port {

struct DataType {
  const char *name;
  mxClassID cls;      // class of what read returns
  std::size_t size;   // bytes per element on the wire
  enum Kind { Unsigned, Signed, Float, Text } kind;
};

const DataType &uint8_type();
// The datatype a name gives (case-insensitive), or null.
const DataType *datatype_named(const mxArray *name);

// The bytes write sends for `data` as `type`. Points into `data` itself
// when its bytes are already the wire's; else into `storage`.
struct Encoded {
  const std::uint8_t *bytes = nullptr;
  std::size_t size = 0;
  std::vector<std::uint8_t> storage;
};
// False, with the reason in *why, when data is not a real numeric, logical
// or char array, or a value does not fit the datatype (out of range, or not
// whole for an integer type): then nothing may be sent.
bool encode(const mxArray *data, const DataType &type, bool big_endian,
            Encoded *out, const char **why);

// A read's element count: a non-negative whole number, not above `limit`
// elements. False otherwise.
bool count_of(const mxArray *count, std::uint64_t limit, std::uint64_t *out);

// A 1xN result of the datatype's class, uninitialised for numbers (the
// driver fills it straight away); `bytes` points at its first byte, or at
// `text` (resized to N) for char, which widen_text then copies into it.
mxArray *make_result(const DataType &type, std::size_t n, std::uint8_t **bytes,
                     std::vector<std::uint8_t> *text);
// Puts the wire bytes of n elements in the machine's order (read side).
void to_machine_order(const DataType &type, bool big_endian, std::uint8_t *bytes,
                      std::size_t n);
void widen_text(mxArray *result, const std::uint8_t *text, std::size_t n);
// Cuts a 1xN result down to its first n elements.
void shrink_result(mxArray *result, std::size_t n);
// A 1xN char row of the given bytes (which may hold NUL).
mxArray *text_result(const std::uint8_t *bytes, std::size_t n);

}  // namespace port

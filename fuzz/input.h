// The fuzz input of one attach call: its arguments and the driver's answers.
//
//   Header           40 bytes, little-endian, laid out below
//   argument text    Header::arg_len bytes, NULs allowed
//   device records   Header::records entries of the library's own layout
//                    (D2XX 104 bytes, D3XX 72), copied as they are
//   status bytes     one per driver call, in the order the call makes them;
//                    a call past the last byte answers FT_OK
//
// An input that ends early reads as if padded with zero bytes, so every byte
// string is a valid input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "mex_double/mex_double.h"

namespace fuzz {

// How the module is called. The argument text is shaped by the form.
enum class Form : std::uint8_t {
  Row,            // description(text): 1xN char, the usual call
  Column,         // Nx1 char: a row only when N == 1
  EmptyChar,      // 0x0 char, as '' makes
  Number,         // a double instead of text
  NoArgument,     // description()
  TwoArguments,   // description(text, text)
  OneOutput,      // ok = description(text)
  Unconvertible,  // 1xN char that mxArrayToString fails to convert
  kCount
};

constexpr std::uint8_t kDriverMissing = 1;  // Header::flags: library unbound

struct Header {
  std::uint8_t form;  // Form, modulo its count
  std::uint8_t arg_len;
  std::uint8_t records;
  std::uint8_t answer;  // mex_double::Answer, modulo its count
  std::uint8_t flags;
  std::uint8_t unused1[3];
  std::uint32_t count;    // what FT_CreateDeviceInfoList reports
  std::uint32_t listed;   // what FT_GetDeviceInfoList reports
  std::uint64_t handle;   // what FT_Open / FT_Create hands out
  std::uint32_t version;  // FT_GetDriverVersion's word
  std::uint32_t unused2;
  double answer_value;  // the prompt's answer, for the numeric kinds
};
static_assert(sizeof(Header) == 40, "fuzz input header layout");
static_assert(offsetof(Header, count) == 8 && offsetof(Header, handle) == 16 &&
                  offsetof(Header, answer_value) == 32,
              "fuzz input header layout");

template <class Node>
struct Input {
  Header header{};
  std::vector<char> argument;
  std::vector<Node> records;
  std::vector<std::uint8_t> statuses;

  Form form() const {
    return static_cast<Form>(header.form % static_cast<unsigned>(Form::kCount));
  }
  mex_double::Answer answer() const {
    return static_cast<mex_double::Answer>(
        header.answer % static_cast<unsigned>(mex_double::Answer::kCount));
  }
};

// Reads the input; the byte order is the machine's (x86-64: little-endian).
template <class Node>
Input<Node> parse(const std::uint8_t *data, std::size_t size) {
  std::size_t at = 0;
  auto take = [&](void *out, std::size_t n) {
    if (n == 0) return;  // an empty vector's data() may be null
    const std::size_t have = at < size ? (size - at < n ? size - at : n) : 0;
    std::memset(out, 0, n);
    if (have != 0) std::memcpy(out, data + at, have);
    at += n;
  };
  Input<Node> in;
  take(&in.header, sizeof in.header);
  in.argument.resize(in.header.arg_len);
  take(in.argument.data(), in.argument.size());
  in.records.resize(in.header.records);
  for (Node &record : in.records) take(&record, sizeof record);
  if (at < size) in.statuses.assign(data + at, data + size);
  return in;
}

}  // namespace fuzz

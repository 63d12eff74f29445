#include "datatypes.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "port.h"

namespace port {

namespace {

const DataType kTypes[] = {
    {"uint8", mxUINT8_CLASS, 1, DataType::Unsigned},
    {"int8", mxINT8_CLASS, 1, DataType::Signed},
    {"uint16", mxUINT16_CLASS, 2, DataType::Unsigned},
    {"int16", mxINT16_CLASS, 2, DataType::Signed},
    {"uint32", mxUINT32_CLASS, 4, DataType::Unsigned},
    {"int32", mxINT32_CLASS, 4, DataType::Signed},
    {"uint64", mxUINT64_CLASS, 8, DataType::Unsigned},
    {"int64", mxINT64_CLASS, 8, DataType::Signed},
    {"single", mxSINGLE_CLASS, 4, DataType::Float},
    {"double", mxDOUBLE_CLASS, 8, DataType::Float},
    {"char", mxCHAR_CLASS, 1, DataType::Text},
    {"string", mxCHAR_CLASS, 1, DataType::Text},
};

void reverse_each(std::uint8_t *bytes, std::size_t size, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i, bytes += size) {
    for (std::size_t a = 0, b = size - 1; a < b; ++a, --b) {
      const std::uint8_t t = bytes[a];
      bytes[a] = bytes[b];
      bytes[b] = t;
    }
  }
}

// The range checks are exact for every source class: integer values are
// compared as 64-bit integers, floating values against powers of two (which
// doubles hold exactly), so nothing depends on the width of long double.
constexpr double two_to(unsigned bits) { return bits == 0 ? 1.0 : 2.0 * two_to(bits - 1); }

bool fits_float(double v, const DataType &type) {
  switch (type.kind) {
    case DataType::Float:
      return type.size == 8 || !std::isfinite(v) || std::fabs(v) <= FLT_MAX;
    case DataType::Text:
    case DataType::Unsigned:
      return v == std::floor(v) && v >= 0 && v < two_to(8 * type.size);
    case DataType::Signed:
      return v == std::floor(v) && v >= -two_to(8 * type.size - 1) &&
             v < two_to(8 * type.size - 1);
  }
  return false;
}

bool fits_integer(std::int64_t v, bool negative_impossible, std::uint64_t u,
                  const DataType &type) {
  const unsigned bits = static_cast<unsigned>(8 * type.size);
  switch (type.kind) {
    case DataType::Float:
      return true;
    case DataType::Text:
    case DataType::Unsigned:
      return (negative_impossible || v >= 0) &&
             (bits == 64 || u <= (std::uint64_t{1} << bits) - 1);
    case DataType::Signed: {
      const std::uint64_t max = (std::uint64_t{1} << (bits - 1)) - 1;
      if (negative_impossible || v >= 0) return u <= max;
      return v >= -static_cast<std::int64_t>(max) - 1;
    }
  }
  return false;
}

template <class T>
void put(T value, std::size_t size, std::uint8_t *out) {
  std::memcpy(out, &value, size);  // little-endian: the low bytes first
}

template <class Source>
bool encode_each(const Source *src, std::size_t n, const DataType &type,
                 std::uint8_t *out) {
  for (std::size_t i = 0; i < n; ++i, out += type.size) {
    const Source v = src[i];
    if constexpr (std::is_floating_point_v<Source>) {
      const double d = static_cast<double>(v);
      if (!fits_float(d, type)) return false;
      if (type.kind == DataType::Float) {
        if (type.size == 4) put(static_cast<float>(d), 4, out);
        else put(d, 8, out);
      } else if (type.kind == DataType::Signed) {
        put(static_cast<std::int64_t>(d), type.size, out);
      } else {
        put(static_cast<std::uint64_t>(d), type.size, out);
      }
    } else {
      constexpr bool is_unsigned = std::is_unsigned_v<Source>;
      const std::uint64_t u = static_cast<std::uint64_t>(v);
      const std::int64_t s = static_cast<std::int64_t>(v);
      if (!fits_integer(s, is_unsigned, u, type)) return false;
      if (type.kind == DataType::Float) {
        if (type.size == 4) put(is_unsigned ? static_cast<float>(u) : static_cast<float>(s), 4, out);
        else put(is_unsigned ? static_cast<double>(u) : static_cast<double>(s), 8, out);
      } else {
        put(u, type.size, out);  // two's complement: the low bytes serve both
      }
    }
  }
  return true;
}

bool encode_values(const mxArray *data, const DataType &type, std::uint8_t *out) {
  const std::size_t n = mxGetNumberOfElements(data);
  const void *p = mxIsChar(data) ? static_cast<const void *>(mxGetChars(data))
                                 : mxGetData(data);
  switch (mxGetClassID(data)) {
    case mxDOUBLE_CLASS: return encode_each(static_cast<const double *>(p), n, type, out);
    case mxSINGLE_CLASS: return encode_each(static_cast<const float *>(p), n, type, out);
    case mxINT8_CLASS: return encode_each(static_cast<const std::int8_t *>(p), n, type, out);
    case mxUINT8_CLASS: return encode_each(static_cast<const std::uint8_t *>(p), n, type, out);
    case mxINT16_CLASS: return encode_each(static_cast<const std::int16_t *>(p), n, type, out);
    case mxUINT16_CLASS: return encode_each(static_cast<const std::uint16_t *>(p), n, type, out);
    case mxINT32_CLASS: return encode_each(static_cast<const std::int32_t *>(p), n, type, out);
    case mxUINT32_CLASS: return encode_each(static_cast<const std::uint32_t *>(p), n, type, out);
    case mxINT64_CLASS: return encode_each(static_cast<const std::int64_t *>(p), n, type, out);
    case mxUINT64_CLASS: return encode_each(static_cast<const std::uint64_t *>(p), n, type, out);
    case mxLOGICAL_CLASS: return encode_each(static_cast<const mxLogical *>(p), n, type, out);
    // Char codes are unsigned, whatever the sign of mxChar.
    case mxCHAR_CLASS:
      return encode_each(static_cast<const std::make_unsigned_t<mxChar> *>(p), n, type, out);
    default: return false;
  }
}

}  // namespace

const DataType &uint8_type() { return kTypes[0]; }

const DataType *datatype_named(const mxArray *name) {
  for (const DataType &type : kTypes) {
    if (text_is(name, type.name)) return &type;
  }
  return nullptr;
}

bool encode(const mxArray *data, const DataType &type, bool big_endian,
            Encoded *out, const char **why) {
  if (data == nullptr || mxIsComplex(data) || mxIsSparse(data) ||
      !(mxIsNumeric(data) || mxIsLogical(data) || mxIsChar(data))) {
    *why = "data must be a real numeric, logical or char array";
    return false;
  }
  const std::size_t n = mxGetNumberOfElements(data);
  out->size = n * type.size;
  // Data of the datatype's own class is already the wire's bytes, but for
  // the byte order of multi-byte values.
  if (type.kind != DataType::Text && mxGetClassID(data) == type.cls &&
      (type.size == 1 || !big_endian)) {
    out->bytes = n != 0 ? static_cast<const std::uint8_t *>(mxGetData(data)) : nullptr;
    return true;
  }
  out->storage.resize(out->size);
  if (!encode_values(data, type, out->storage.data())) {
    *why = type.kind == DataType::Float
               ? "a value is out of the datatype's range"
               : "a value is out of the datatype's range or not a whole number";
    return false;
  }
  if (big_endian && type.size > 1) reverse_each(out->storage.data(), type.size, n);
  out->bytes = out->storage.data();
  return true;
}

bool count_of(const mxArray *count, std::uint64_t limit, std::uint64_t *out) {
  double v = 0;
  if (!scalar_of(count, &v) || !(v >= 0) || v != std::floor(v) ||
      v > static_cast<double>(limit)) {
    return false;
  }
  *out = static_cast<std::uint64_t>(v);
  return true;
}

mxArray *make_result(const DataType &type, std::size_t n, std::uint8_t **bytes,
                     std::vector<std::uint8_t> *text) {
  if (type.kind == DataType::Text) {
    const mwSize dims[2] = {1, static_cast<mwSize>(n)};
    text->resize(n);
    *bytes = text->data();
    return mxCreateCharArray(2, dims);
  }
  mxArray *result = mxCreateUninitNumericMatrix(1, n, type.cls, mxREAL);
  *bytes = static_cast<std::uint8_t *>(mxGetData(result));
  return result;
}

void to_machine_order(const DataType &type, bool big_endian, std::uint8_t *bytes,
                      std::size_t n) {
  if (big_endian && type.size > 1) reverse_each(bytes, type.size, n);
}

void widen_text(mxArray *result, const std::uint8_t *text, std::size_t n) {
  mxChar *chars = mxGetChars(result);
  for (std::size_t i = 0; i < n; ++i) chars[i] = static_cast<mxChar>(text[i]);
}

void shrink_result(mxArray *result, std::size_t n) {
  if (n < mxGetN(result)) mxSetN(result, n);
}

mxArray *text_result(const std::uint8_t *bytes, std::size_t n) {
  const mwSize dims[2] = {1, static_cast<mwSize>(n)};
  mxArray *result = mxCreateCharArray(2, dims);
  widen_text(result, bytes, n);
  return result;
}

}  // namespace port

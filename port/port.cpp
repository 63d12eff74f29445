#include "port.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <type_traits>
#include <unordered_map>

// Octave answers Ctrl-C in octave_quit(). A build for Octave that cannot see
// it must fail, not lose Ctrl-C silently; MATLAB's mex defines
// MATLAB_MEX_FILE and has no equivalent.
#ifndef MATLAB_MEX_FILE
#include <octave/quit.h>
#endif

#ifndef D2XX_LIBRARY
#error "D2XX_LIBRARY must name the D2XX driver library"
#endif
#ifndef D3XX_LIBRARY
#error "D3XX_LIBRARY must name the D3XX driver library"
#endif

namespace port {

namespace {

// Status names, by value: both libraries share 0 to 17 and differ after.
const char *const kCommonStatus[] = {
    "FT_OK", "FT_INVALID_HANDLE", "FT_DEVICE_NOT_FOUND", "FT_DEVICE_NOT_OPENED",
    "FT_IO_ERROR", "FT_INSUFFICIENT_RESOURCES", "FT_INVALID_PARAMETER",
    "FT_INVALID_BAUD_RATE", "FT_DEVICE_NOT_OPENED_FOR_ERASE",
    "FT_DEVICE_NOT_OPENED_FOR_WRITE", "FT_FAILED_TO_WRITE_DEVICE",
    "FT_EEPROM_READ_FAILED", "FT_EEPROM_WRITE_FAILED", "FT_EEPROM_ERASE_FAILED",
    "FT_EEPROM_NOT_PRESENT", "FT_EEPROM_NOT_PROGRAMMED", "FT_INVALID_ARGS",
    "FT_NOT_SUPPORTED"};
const char *const kD2xxStatus[] = {"FT_OTHER_ERROR", "FT_DEVICE_LIST_NOT_READY"};
const char *const kD3xxStatus[] = {
    "FT_NO_MORE_ITEMS", "FT_TIMEOUT", "FT_OPERATION_ABORTED", "FT_RESERVED_PIPE",
    "FT_INVALID_CONTROL_REQUEST_DIRECTION", "FT_INVALID_CONTROL_REQUEST_TYPE",
    "FT_IO_PENDING", "FT_IO_INCOMPLETE", "FT_HANDLE_EOF", "FT_BUSY",
    "FT_NO_SYSTEM_RESOURCES", "FT_DEVICE_LIST_NOT_READY",
    "FT_DEVICE_NOT_CONNECTED", "FT_INCORRECT_DEVICE_PATH", "FT_OTHER_ERROR"};

std::unordered_map<std::uint64_t, Port> &ports() {
  static std::unordered_map<std::uint64_t, Port> table;
  return table;
}

}  // namespace

std::uint64_t object_number(const mxArray *a) {
  double value = 0;
  if (!scalar_of(a, &value) || !(value >= 0 && value < 0x1p53) ||
      value != std::floor(value)) {
    return 0;
  }
  return static_cast<std::uint64_t>(value);
}

namespace {

// error(struct) and warning(id, ...) through the interpreter: unlike
// mexErrMsgIdAndTxt they do not put the gateway's own name before the text.
[[noreturn]] void raise_text(const char *id, const char *message) {
  const char *fields[] = {"message", "identifier"};
  mxArray *error = mxCreateStructMatrix(1, 1, 2, fields);
  mxSetField(error, 0, "message", mxCreateString(message));
  mxSetField(error, 0, "identifier", mxCreateString(id));
  mexCallMATLAB(0, nullptr, 1, &error, "error");
  mexErrMsgIdAndTxt(id, "%s", message);  // not reached: error() raises
  __builtin_unreachable();
}

// "<name>:<id>" and "<name>: <message>", as errors and warnings carry them.
struct Composed {
  char id[64];
  char message[2048];
};

void compose(Composed &out, Kind kind, const char *id, const char *format,
             va_list args) {
  std::snprintf(out.id, sizeof out.id, "%s:%s", name_of(kind), id);
  const int used = std::snprintf(out.message, sizeof out.message, "%s: ", name_of(kind));
  std::vsnprintf(out.message + used, sizeof out.message - static_cast<std::size_t>(used),
                 format, args);
}

}  // namespace

const char *name_of(Kind kind) { return kind == Kind::Uart ? "uartport" : "fifoport"; }

const char *attach_module(Kind kind) {
  return kind == Kind::Uart ? "uartattach" : "fifoattach";
}

void raise(Kind kind, const char *id, const char *fmt, ...) {
  Composed text;
  va_list args;
  va_start(args, fmt);
  compose(text, kind, id, fmt, args);
  va_end(args);
  raise_text(text.id, text.message);
}

void warn(Kind kind, const char *id, const char *fmt, ...) {
  Composed text;
  va_list args;
  va_start(args, fmt);
  compose(text, kind, id, fmt, args);
  va_end(args);
  mxArray *in[3] = {mxCreateString(text.id), mxCreateString("%s"),
                    mxCreateString(text.message)};
  mexCallMATLAB(0, nullptr, 3, in, "warning");
  for (mxArray *a : in) mxDestroyArray(a);
}

const char *status_name(Kind kind, FT_STATUS status) {
  constexpr std::size_t common = std::size(kCommonStatus);
  if (status < common) return kCommonStatus[status];
  const std::size_t tail = status - common;
  if (kind == Kind::Uart) {
    return tail < std::size(kD2xxStatus) ? kD2xxStatus[tail] : "unknown status";
  }
  return tail < std::size(kD3xxStatus) ? kD3xxStatus[tail] : "unknown status";
}

void driver_error(Kind kind, const char *function, FT_STATUS status) {
  raise(kind, "driverError", "%s: status %u (%s)", function, status,
        status_name(kind, status));
}

std::size_t Held::take(std::uint8_t *out, std::size_t count) {
  const std::size_t n = std::min(count, size());
  if (n != 0) std::memcpy(out, data(), n);
  drop(n);
  return n;
}

void Held::drop(std::size_t count) {
  start_ += std::min(count, size());
  if (start_ == bytes_.size()) clear();
}

void Held::push_back(const std::uint8_t *in, std::size_t count) {
  if (count == 0) return;
  std::memcpy(reserve_back(count), in, count);
  commit_back(count);
}

void Held::push_front(const std::uint8_t *in, std::size_t count) {
  if (count == 0) return;
  if (start_ >= count) {
    start_ -= count;
  } else {
    bytes_.insert(bytes_.begin() + static_cast<std::ptrdiff_t>(start_), count - start_, 0);
    start_ = 0;
  }
  std::memcpy(bytes_.data() + start_, in, count);
}

std::uint8_t *Held::reserve_back(std::size_t count) {
  // What has been taken is given back before the buffer grows.
  if (start_ != 0 && start_ >= size()) {
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  reserved_ = bytes_.size();
  bytes_.resize(reserved_ + count);
  return bytes_.data() + reserved_;
}

void Held::commit_back(std::size_t count) {
  bytes_.resize(reserved_ + count);
  if (start_ == bytes_.size()) clear();
}

Port &add_port(Kind kind, hub::Open open) {
  static std::uint64_t last_serial = 0;
  const std::uint64_t id = (++last_serial << 1) | static_cast<std::uint64_t>(kind);
  if (ports().empty()) mexLock();  // the objects' state must outlive `clear mex`
  Port &port = ports()[id];
  port.id = id;
  port.kind = kind;
  port.open = open;
  return port;
}

void remove_port(std::uint64_t id) {
  if (ports().erase(id) != 0 && ports().empty()) mexUnlock();
}

Port *port_of_open(hub::Open open) {
  for (auto &entry : ports()) {
    const hub::Open &o = entry.second.open;
    if (o.handle == open.handle && o.generation == open.generation) return &entry.second;
  }
  return nullptr;
}

Kind kind_of(const mxArray *number) {
  return (object_number(number) & 1) != 0 ? Kind::Fifo : Kind::Uart;
}

Port *find_port(const mxArray *number) {
  const auto found = ports().find(object_number(number));
  return found != ports().end() ? &found->second : nullptr;
}

bool handle_is_open(const Port &port) {
  return hub_for(port.kind).is_open(hub_kind(port.kind), port.open);
}

void close_handle(const Port &port) {
  const bool uart = port.kind == Kind::Uart;
  const hub::Api *api = hub::get(uart ? D2XX_LIBRARY : D3XX_LIBRARY, nullptr);
  if (api == nullptr) return;
  if (uart) {
    if (const d2xx::Api *d = api->d2xx(D2XX_LIBRARY, nullptr)) d->FT_Close(port.handle());
  } else if (const d3xx::Api *d = api->d3xx(D3XX_LIBRARY, nullptr)) {
    d->FT_Close(port.handle());
  }
}

Port &checked_port(const mxArray *number) {
  Port *port = find_port(number);
  const Kind kind = kind_of(number);
  if (port == nullptr) {
    raise(kind, "closed", "the %s object is closed (deleted); make a new one",
          name_of(kind));
  }
  if (!handle_is_open(*port)) {
    raise(kind, "staleHandle",
          "the device's handle is no longer open: %s attached the device "
          "again, which closed it; use the newer object, or delete this one "
          "and make a new one",
          attach_module(kind));
  }
  return *port;
}

const hub::Api &hub_for(Kind kind) {
  const char *why = nullptr;
  const hub::Api *api =
      hub::get(kind == Kind::Uart ? D2XX_LIBRARY : D3XX_LIBRARY, &why);
  if (api == nullptr) raise(kind, "driverUnavailable", "%s", why);
  return *api;
}

namespace {

// Asks the hub once for one table of driver functions (which it keeps for
// good); a failed binding is asked again on the next call.
template <class Table>
const Table &bound(Kind kind, const Table *(*const hub::Api::*which)(const char *, const char **)) {
  static const Table *table = nullptr;
  if (table != nullptr) return *table;
  const char *library = kind == Kind::Uart ? D2XX_LIBRARY : D3XX_LIBRARY;
  const char *why = "";
  table = (hub_for(kind).*which)(library, &why);
  if (table == nullptr) raise(kind, "driverUnavailable", "%s", why);
  return *table;
}

}  // namespace

const d2xx::Api &d2xx_api() { return bound(Kind::Uart, &hub::Api::d2xx); }
const d2xx::DataApi &d2xx_data() { return bound(Kind::Uart, &hub::Api::d2xx_data); }
const d3xx::Api &d3xx_api() { return bound(Kind::Fifo, &hub::Api::d3xx); }
const d3xx::PipeApi &d3xx_pipes() { return bound(Kind::Fifo, &hub::Api::d3xx_pipes); }

void answer_interrupt() {
#ifndef MATLAB_MEX_FILE
  octave_quit();
#endif
}

Deadline::Deadline(double timeout_s) {
  if (std::isinf(timeout_s)) {
    forever_ = true;
    return;
  }
  end_ = std::chrono::steady_clock::now() +
         std::chrono::duration_cast<std::chrono::steady_clock::duration>(
             std::chrono::duration<double>(timeout_s));
}

bool Deadline::passed() const {
  return !forever_ && std::chrono::steady_clock::now() >= end_;
}

ULONG Deadline::next_ms(ULONG slice_ms) const {
  if (forever_) return slice_ms;
  const auto left = end_ - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<ULONG>(std::clamp<long long>(ms, 1, slice_ms));
}

bool text_of(const mxArray *a, char *out, std::size_t size) {
  if (a == nullptr || !mxIsChar(a) || mxGetNumberOfDimensions(a) != 2 ||
      (mxGetM(a) != 1 && mxGetNumberOfElements(a) != 0) ||
      mxGetNumberOfElements(a) >= size) {
    return false;
  }
  const std::size_t n = mxGetNumberOfElements(a);
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned code = char_code(a, i);
    if (code == 0 || code > 0xFF) return false;
    out[i] = static_cast<char>(code);
  }
  out[n] = '\0';
  return true;
}

unsigned char_code(const mxArray *a, std::size_t i) {
  // Octave's mxChar is a (signed) char, MATLAB's a 16-bit code unit.
  using Code = std::make_unsigned_t<mxChar>;
  return static_cast<Code>(mxGetChars(a)[i]);
}

bool text_is(const mxArray *a, const char *name) {
  char text[64];
  if (!text_of(a, text, sizeof text)) return false;
  std::size_t i = 0;
  for (; text[i] != '\0' && name[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(name[i]))) {
      return false;
    }
  }
  return text[i] == '\0' && name[i] == '\0';
}

bool scalar_of(const mxArray *a, double *value) {
  if (a == nullptr || !(mxIsNumeric(a) || mxIsLogical(a)) || mxIsComplex(a) ||
      mxIsSparse(a) || mxGetNumberOfElements(a) != 1) {
    return false;
  }
  *value = mxGetScalar(a);
  return true;
}

}  // namespace port

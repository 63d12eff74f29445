// What the uartport and fifoport objects share on the native side: the record
// of each open object, errors and warnings under the object's name, the check
// that its handle is still open, the bytes it holds, and waiting against the
// object's Timeout in slices that answer Ctrl-C.
//
// All of it lives in the gateway module ftdiport_io, which stays loaded while
// any object is open (mexLock), so `clear mex` loses nothing. Whether a handle
// is still open is the driver hub's record, shared with uartattach and
// fifoattach, so a handle they closed never reaches the driver again.
#pragma once

#include <mex.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

#include "../driver_hub/hub.h"

namespace port {

enum class Kind : int { Uart = 0, Fifo = 1 };

inline hub::Kind hub_kind(Kind kind) {
  return kind == Kind::Uart ? hub::Kind::D2xx : hub::Kind::D3xx;
}
// "uartport" or "fifoport": the prefix of every error and warning id.
const char *name_of(Kind kind);
// "uartattach" or "fifoattach".
const char *attach_module(Kind kind);

// Raises "<name>:<id>" with a printf-style message; never returns.
[[noreturn]] void raise(Kind kind, const char *id, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
void warn(Kind kind, const char *id, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
// "FT_Read: status 4 (FT_IO_ERROR)" as uartport:driverError.
[[noreturn]] void driver_error(Kind kind, const char *function, FT_STATUS status);
// The status's name in the kind's driver library ("FT_TIMEOUT").
const char *status_name(Kind kind, FT_STATUS status);

// Bytes received from the driver and not yet handed to the script, oldest
// first: the rest of an incomplete element, what followed a line terminator,
// what arrived while a call was interrupted.
class Held {
 public:
  std::size_t size() const { return bytes_.size() - start_; }
  const std::uint8_t *data() const { return bytes_.data() + start_; }
  // Moves up to `count` of the oldest bytes to `out`; returns how many.
  std::size_t take(std::uint8_t *out, std::size_t count);
  void drop(std::size_t count);
  void clear() { bytes_.clear(); start_ = 0; }
  void push_back(const std::uint8_t *in, std::size_t count);
  // Puts bytes back in front of what is held (they are older).
  void push_front(const std::uint8_t *in, std::size_t count);
  // Room for `count` more bytes at the end, to be filled and then kept with
  // commit (or left out).
  std::uint8_t *reserve_back(std::size_t count);
  void commit_back(std::size_t count);

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t start_ = 0;
  std::size_t reserved_ = 0;
};

// The settings a uartport applies to its line.
struct LineSettings {
  double baud_rate = 230400;
  int data_bits = 8;
  int stop_bits = 1;
  int parity = 0;  // index into the parity names: none, odd, even, mark, space
  int flow = 0;    // none, hardware, software
};

// What Name, Value pairs and property assignments set.
struct Settings {
  double timeout = 10;  // seconds; inf waits as long as it takes
  bool big_endian = false;
  LineSettings line;  // uartport
  int channel = 1;    // fifoport: OUT pipe 0x01 + channel, IN pipe 0x81 + channel
};

struct Terminator {
  std::uint8_t bytes[2] = {'\n', 0};
  std::size_t size = 1;
};

// One open object.
struct Port {
  std::uint64_t id = 0;
  Kind kind = Kind::Uart;
  hub::Open open{0, 0};
  Settings settings;
  Held held;
  std::uint64_t written = 0;  // bytes the driver accepted since the open
  std::uint64_t read = 0;     // bytes handed to the script since the open
  // uartport
  Terminator read_terminator, write_terminator;
  ULONG slice_ms = 0;  // the timeouts last given to FT_SetTimeouts; 0: none yet
  // fifoport: a pipe that answered FT_TIMEOUT or failed is aborted before
  // its next transfer.
  bool out_needs_abort = false;
  bool in_needs_abort = false;
  FT_HANDLE handle() const {
    return reinterpret_cast<FT_HANDLE>(static_cast<std::uintptr_t>(open.handle));
  }
};

// The gateway's objects. An object's number carries its kind in its lowest
// bit, so that even a number a script made up is answered under the right
// name; number kind+0 (0 or 1) is what a deleted object keeps.
Port &add_port(Kind kind, hub::Open open);
// The open object with that number; raises <name>:closed when there is none
// (deleted, or never made) and <name>:staleHandle when its handle has been
// closed since (uartattach or fifoattach attached the device again).
Port &checked_port(const mxArray *number);
// The object with that number if there is one, stale or not.
Port *find_port(const mxArray *number);
void remove_port(std::uint64_t id);
// The object that holds this open, or null.
Port *port_of_open(hub::Open open);
Kind kind_of(const mxArray *number);
// The object number a script passed, or 0 when it is not one.
std::uint64_t object_number(const mxArray *number);
bool handle_is_open(const Port &port);
// Closes the object's handle through the hub (which records the close); the
// status is dropped. Never raises: it also runs while an error unwinds.
void close_handle(const Port &port);

// The bound driver hub, or raises <name>:driverUnavailable.
const hub::Api &hub_for(Kind kind);
// Each driver's functions through the hub, bound once; each raises
// uartport:/fifoport:driverUnavailable naming what is missing.
const d2xx::Api &d2xx_api();
const d2xx::DataApi &d2xx_data();
const d3xx::Api &d3xx_api();
const d3xx::PipeApi &d3xx_pipes();

// Octave answers Ctrl-C here: it raises the interrupt as an exception.
void answer_interrupt();

// The time a call may still wait, against the object's Timeout.
class Deadline {
 public:
  explicit Deadline(double timeout_s);
  bool forever() const { return forever_; }
  bool passed() const;
  // The next wait in milliseconds, at most `slice_ms` and at least 1 (never
  // 0: to the drivers a timeout of 0 means none); 0 once the time has run out.
  ULONG next_ms(ULONG slice_ms) const;

 private:
  bool forever_ = false;
  std::chrono::steady_clock::time_point end_;
};

// Text of an mxArray that is a char row (or a 0x0 char), or null.
bool text_of(const mxArray *a, char *out, std::size_t size);
// The code of the i-th char of a char array, 0 to 255 in Octave.
unsigned char_code(const mxArray *a, std::size_t i);
// Case-insensitive comparison of a char array with a name.
bool text_is(const mxArray *a, const char *name);
// A real, non-sparse scalar of numeric or logical class as a double.
bool scalar_of(const mxArray *a, double *value);

}  // namespace port

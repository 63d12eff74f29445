// The driver hub: libftdi_hub.so, the project's one shared library through
// which every module of a module folder (uartattach, fifoattach, and the
// gateway of the uartport and fifoport objects) reaches its driver library.
//
// It binds each driver library once per process and records every open and
// close of a device handle made through it, whoever makes it: the attach
// flow's close of a device found open, the recovery close, the exported
// helpers, the objects. Each open gets a generation number that is never
// reused, so an object can tell that its handle is still the one it opened,
// also when the driver hands the same handle value out again, and without
// asking the driver for its device list. The hub is loaded by path from the
// module's own folder and never unloaded, so the record outlives `clear mex`.
#pragma once

#include <cstdint>

#include "../fifoattach/d3xx.h"
#include "../uartattach/d2xx.h"

namespace hub {

// Raised when the table below changes shape; a module refuses another hub.
constexpr unsigned kVersion = 1;

enum class Kind : int { D2xx = 0, D3xx = 1 };

// One recorded open of a device handle; generation 0 means none.
struct Open {
  std::uint64_t handle;
  std::uint64_t generation;
};

struct Api {
  unsigned version;
  // The functions of the driver library `library` (an absolute path, or a
  // file name looked up beside the hub), bound at the first call that
  // succeeds. Opens and closes made through them are recorded. Null, with
  // the reason (naming the library or the missing function) in *why. One
  // library of each kind per process: another name is refused.
  const d2xx::Api *(*d2xx)(const char *library, const char **why);
  const d3xx::Api *(*d3xx)(const char *library, const char **why);
  // The data functions, bound apart: a library without them still serves
  // the attach flow.
  const d2xx::DataApi *(*d2xx_data)(const char *library, const char **why);
  const d3xx::PipeApi *(*d3xx_pipes)(const char *library, const char **why);
  // Whether that open has not been closed since.
  bool (*is_open)(Kind kind, Open open);
  // The most recent open of that kind, when it is still open; else {0, 0}.
  Open (*latest_open)(Kind kind);
};

// Each module's way to the hub beside its own file (hub_client.cpp): null,
// with the reason in *why, when it cannot be loaded. `library` is the driver
// library the module binds, named in that reason.
const Api *get(const char *library, const char **why);

}  // namespace hub

// The hub's one exported symbol.
extern "C" __attribute__((visibility("default"))) const hub::Api *ftdi_hub(void);

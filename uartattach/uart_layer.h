// The D2XX side of uartattach: open by index with a recovery attempt, the
// port reset after a failed open, the version line and the line set-up.
#pragma once

#include "../attach/ft_types.h"
#include "d2xx.h"

namespace uart {

// The bound D2XX library, or null with the reason in *why.
const d2xx::Api *driver(const char **why);

// OpenDevice, told whether *ftHandle was closed by this call already; such a
// handle is printed but never handed to the driver again.
bool open_device(FT_HANDLE *ftHandle, ULONG sel, bool closed);
void reset_port(FT_HANDLE ftHandle, bool closed);
void print_version(DWORD word);
void set_line_up(FT_HANDLE ftHandle);

// What uartattach supplies to the attach flow.
struct Layer {
  using Node = d2xx::FT_DEVICE_LIST_INFO_NODE;
  using Api = d2xx::Api;
  static constexpr const char *kUnavailableId = "uartattach:driverUnavailable";
  static constexpr const char *kCountLine = "Number of FT2 devices found: %u \n";

  static const Api *api(const char **why) { return driver(why); }
  static bool is_open(const Node &node) {
    return (node.Flags & d2xx::FT_FLAGS_OPENED) != 0;
  }
  static bool open(FT_HANDLE *ftHandle, ULONG index, bool closed) {
    return open_device(ftHandle, index, closed);
  }
  static void after_failed_open(FT_HANDLE ftHandle, bool closed) {
    reset_port(ftHandle, closed);
  }
  static void print_version(DWORD word) { uart::print_version(word); }
  static void after_open(FT_HANDLE ftHandle) { set_line_up(ftHandle); }
};

}  // namespace uart

ATTACH_EXPORT bool OpenDevice(FT_HANDLE *ftHandle, ULONG sel);
ATTACH_EXPORT void CloseDevice(FT_HANDLE ftHandle);
ATTACH_EXPORT FT_STATUS CloseDeviceVal(FT_HANDLE ftHandle);

// The D3XX side of fifoattach: open by index through FT_Create, the
// already-open test on the entry's handle, the four-field version line, and
// the chip configuration report.
#pragma once

#include "../attach/ft_types.h"
#include "d3xx.h"

namespace fifo {

// The bound D3XX library, or null with the reason in *why.
const d3xx::Api *driver(const char **why);

// OpenDevice, told whether *ftHandle was closed by this call already; such a
// handle is printed but never handed to the driver again.
bool open_device(FT_HANDLE *ftHandle, ULONG *sel, bool closed);
void print_version(DWORD word);

// What fifoattach supplies to the attach flow.
struct Layer {
  using Node = d3xx::FT_DEVICE_LIST_INFO_NODE;
  using Api = d3xx::Api;
  static constexpr const char *kUnavailableId = "fifoattach:driverUnavailable";
  static constexpr const char *kCountLine = "Number of FT3 devices found: %u \n";

  static const Api *api(const char **why) { return driver(why); }
  // D3XX lists a device this process holds with its handle; Flags do not count.
  static bool is_open(const Node &node) { return node.ftHandle != nullptr; }
  static bool open(FT_HANDLE *ftHandle, ULONG index, bool closed) {
    ULONG outindex = index;
    return open_device(ftHandle, &outindex, closed);
  }
  static void after_failed_open(FT_HANDLE, bool) {}
  static void print_version(DWORD word) { fifo::print_version(word); }
  static void after_open(FT_HANDLE) {}
};

}  // namespace fifo

ATTACH_EXPORT bool OpenDevice(FT_HANDLE *ftHandle, ULONG *sel);
ATTACH_EXPORT void CloseDevice(FT_HANDLE ftHandle);
ATTACH_EXPORT bool GetConfiguration(FT_HANDLE ftHandle);

// Checks of the libftdi D2XX layer that need no USB device: handles this
// process never got (null, never issued, a wild pointer that would crash if
// dereferenced) are refused as INVALID_HANDLE by every handle function, the
// data functions included, before their parameters are looked at, and
// by the module's CloseDeviceVal; bad parameters are refused; on a machine
// without USB the list is empty and opening finds nothing.
//   d2xx_libftdi_check <libd2xx_libftdi.so> <uartattach.mex>
#include <dlfcn.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "../uartattach/d2xx.h"

namespace {

constexpr FT_STATUS kInvalidHandle = 1, kDeviceNotFound = 2,
                    kInvalidParameter = 6;

int failures = 0;

void expect(const std::string &what, FT_STATUS got, FT_STATUS want) {
  if (got == want) return;
  std::printf("FAIL %s: status %u, expected %u\n", what.c_str(), got, want);
  ++failures;
}

template <class Fn>
bool bind(void *lib, const char *name, Fn &slot) {
  slot = reinterpret_cast<Fn>(dlsym(lib, name));
  if (slot == nullptr) std::printf("FAIL %s not exported\n", name);
  return slot != nullptr;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <layer.so> <uartattach.mex>\n", argv[0]);
    return 2;
  }
  // Loaded as the module loads it: privately.
  void *layer = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (layer == nullptr) {
    std::printf("FAIL cannot load %s: %s\n", argv[1], dlerror());
    return 1;
  }
  d2xx::Api api{};
#define BIND(fn) bind(layer, #fn, api.fn)
  if (!(BIND(FT_CreateDeviceInfoList) && BIND(FT_GetDeviceInfoList) &&
        BIND(FT_Open) && BIND(FT_Close) && BIND(FT_ResetDevice) &&
        BIND(FT_CyclePort) && BIND(FT_ResetPort) && BIND(FT_SetLatencyTimer) &&
        BIND(FT_GetLatencyTimer) && BIND(FT_SetBaudRate) &&
        BIND(FT_SetDataCharacteristics) && BIND(FT_GetDriverVersion))) {
    return 1;
  }
  d2xx::DataApi data{};
#define BIND_DATA(fn) bind(layer, #fn, data.fn)
  if (!(BIND_DATA(FT_SetTimeouts) && BIND_DATA(FT_Read) &&
        BIND_DATA(FT_Write) && BIND_DATA(FT_GetQueueStatus) &&
        BIND_DATA(FT_Purge) && BIND_DATA(FT_SetFlowControl) &&
        BIND_DATA(FT_SetDtr) && BIND_DATA(FT_ClrDtr) && BIND_DATA(FT_SetRts) &&
        BIND_DATA(FT_ClrRts) && BIND_DATA(FT_GetModemStatus))) {
    return 1;
  }
#undef BIND_DATA
#undef BIND

  struct HandleCall {
    const char *name;
    std::function<FT_STATUS(FT_HANDLE)> call;
  };
  UCHAR timer = 0;
  DWORD version = 0, moved = 0;
  ULONG modem = 0;
  unsigned char bytes[8] = {};
  const std::vector<HandleCall> handle_calls = {
      {"FT_Close", [&](FT_HANDLE h) { return api.FT_Close(h); }},
      {"FT_ResetDevice", [&](FT_HANDLE h) { return api.FT_ResetDevice(h); }},
      {"FT_CyclePort", [&](FT_HANDLE h) { return api.FT_CyclePort(h); }},
      {"FT_ResetPort", [&](FT_HANDLE h) { return api.FT_ResetPort(h); }},
      {"FT_SetLatencyTimer",
       [&](FT_HANDLE h) { return api.FT_SetLatencyTimer(h, 2); }},
      {"FT_GetLatencyTimer",
       [&](FT_HANDLE h) { return api.FT_GetLatencyTimer(h, &timer); }},
      {"FT_GetLatencyTimer(null)",
       [&](FT_HANDLE h) { return api.FT_GetLatencyTimer(h, nullptr); }},
      {"FT_SetBaudRate",
       [&](FT_HANDLE h) { return api.FT_SetBaudRate(h, 230400); }},
      {"FT_SetBaudRate(0)",
       [&](FT_HANDLE h) { return api.FT_SetBaudRate(h, 0); }},
      {"FT_SetDataCharacteristics",
       [&](FT_HANDLE h) { return api.FT_SetDataCharacteristics(h, 8, 0, 0); }},
      {"FT_SetDataCharacteristics(bad)",
       [&](FT_HANDLE h) { return api.FT_SetDataCharacteristics(h, 5, 9, 9); }},
      {"FT_GetDriverVersion",
       [&](FT_HANDLE h) { return api.FT_GetDriverVersion(h, &version); }},
      {"FT_SetTimeouts",
       [&](FT_HANDLE h) { return data.FT_SetTimeouts(h, 50, 50); }},
      {"FT_Read", [&](FT_HANDLE h) {
         return data.FT_Read(h, bytes, sizeof bytes, &moved);
       }},
      {"FT_Read(null)",
       [&](FT_HANDLE h) { return data.FT_Read(h, nullptr, 1, nullptr); }},
      {"FT_Write", [&](FT_HANDLE h) {
         return data.FT_Write(h, bytes, sizeof bytes, &moved);
       }},
      {"FT_Write(null)",
       [&](FT_HANDLE h) { return data.FT_Write(h, nullptr, 1, nullptr); }},
      {"FT_GetQueueStatus",
       [&](FT_HANDLE h) { return data.FT_GetQueueStatus(h, &moved); }},
      {"FT_GetQueueStatus(null)",
       [&](FT_HANDLE h) { return data.FT_GetQueueStatus(h, nullptr); }},
      {"FT_Purge(RX|TX)", [&](FT_HANDLE h) { return data.FT_Purge(h, 3); }},
      {"FT_Purge(bad mask)",
       [&](FT_HANDLE h) { return data.FT_Purge(h, 0x80); }},
      {"FT_SetFlowControl(XON/XOFF)", [&](FT_HANDLE h) {
         return data.FT_SetFlowControl(h, d2xx::FT_FLOW_XON_XOFF, d2xx::FT_XON,
                                       d2xx::FT_XOFF);
       }},
      {"FT_SetFlowControl(bad mode)",
       [&](FT_HANDLE h) { return data.FT_SetFlowControl(h, 0x0800, 0, 0); }},
      {"FT_SetDtr", [&](FT_HANDLE h) { return data.FT_SetDtr(h); }},
      {"FT_ClrDtr", [&](FT_HANDLE h) { return data.FT_ClrDtr(h); }},
      {"FT_SetRts", [&](FT_HANDLE h) { return data.FT_SetRts(h); }},
      {"FT_ClrRts", [&](FT_HANDLE h) { return data.FT_ClrRts(h); }},
      {"FT_GetModemStatus",
       [&](FT_HANDLE h) { return data.FT_GetModemStatus(h, &modem); }},
      {"FT_GetModemStatus(null)",
       [&](FT_HANDLE h) { return data.FT_GetModemStatus(h, nullptr); }},
  };
  const struct {
    const char *name;
    FT_HANDLE handle;
  } foreign_handles[] = {
      {"null", nullptr},
      {"never issued", reinterpret_cast<FT_HANDLE>(1)},
      {"wild pointer", reinterpret_cast<FT_HANDLE>(0xdeadbeefull)},
  };

  // Before and after a listing: refusing a handle must not depend on
  // whether libusb was ever set up.
  for (const char *phase : {"before listing", "after listing"}) {
    for (const auto &h : foreign_handles) {
      for (const auto &c : handle_calls) {
        expect(std::string(c.name) + " on " + h.name + " handle " + phase,
               c.call(h.handle), kInvalidHandle);
      }
    }
    DWORD count = 99;
    expect("FT_CreateDeviceInfoList", api.FT_CreateDeviceInfoList(&count),
           FT_OK);
    if (count != 0) {
      std::printf("FAIL %u devices listed on a machine without USB\n", count);
      ++failures;
    }
  }

  d2xx::FT_DEVICE_LIST_INFO_NODE room[1]{};
  DWORD listed = 99;
  FT_HANDLE opened = nullptr;
  const struct {
    const char *name;
    FT_STATUS got, want;
  } cases[] = {
      {"FT_GetDeviceInfoList", api.FT_GetDeviceInfoList(room, &listed), FT_OK},
      {"FT_GetDeviceInfoList(null list)",
       api.FT_GetDeviceInfoList(nullptr, &listed), kInvalidParameter},
      {"FT_GetDeviceInfoList(null count)",
       api.FT_GetDeviceInfoList(room, nullptr), kInvalidParameter},
      {"FT_CreateDeviceInfoList(null)", api.FT_CreateDeviceInfoList(nullptr),
       kInvalidParameter},
      {"FT_Open(0) with no device", api.FT_Open(0, &opened), kDeviceNotFound},
      {"FT_Open(-1)", api.FT_Open(-1, &opened), kDeviceNotFound},
      {"FT_Open(0, null)", api.FT_Open(0, nullptr), kInvalidParameter},
  };
  for (const auto &c : cases) expect(c.name, c.got, c.want);
  if (listed != 0 || opened != nullptr) {
    std::printf("FAIL empty machine: %u entries, handle %p\n", listed, opened);
    ++failures;
  }

  // The module's CloseDeviceVal passes the answer through from this layer.
  void *module = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::printf("FAIL cannot load %s: %s\n", argv[2], dlerror());
    return 1;
  }
  FT_STATUS (*close_val)(FT_HANDLE) = nullptr;
  if (!bind(module, "CloseDeviceVal", close_val)) return 1;
  for (const auto &h : foreign_handles) {
    expect(std::string("CloseDeviceVal on ") + h.name + " handle",
           close_val(h.handle), kInvalidHandle);
  }
  if (moved != 0 || modem != 0 || bytes[0] != 0) {
    std::printf("FAIL a refused call wrote to its outputs\n");
    ++failures;
  }

  if (failures == 0) std::puts("all checks passed");
  return failures == 0 ? 0 : 1;
}

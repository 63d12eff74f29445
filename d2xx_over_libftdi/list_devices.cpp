// Prints the device list of the libftdi D2XX layer, one line per entry.
// With --open it also opens the first entry and, when that works, calls each
// handle function once on it, then closes it twice, printing every status.
// With --open-and-exit it opens the first entry and exits holding it.
//   d2xx_libftdi_list <libd2xx_libftdi.so> [--open | --open-and-exit]
// The emulated-chip test compares these lines with what the chip should
// show; they also help to see what the layer makes of a machine's chips.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "../uartattach/d2xx.h"

int main(int argc, char **argv) {
  const bool try_open = argc == 3 && std::strcmp(argv[2], "--open") == 0;
  const bool leave_open =
      argc == 3 && std::strcmp(argv[2], "--open-and-exit") == 0;
  if (argc != 2 && !try_open && !leave_open) {
    std::fprintf(stderr, "usage: %s <layer.so> [--open | --open-and-exit]\n",
                 argv[0]);
    return 2;
  }
  void *layer = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (layer == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
    return 1;
  }
  d2xx::Api api{};
  api.FT_CreateDeviceInfoList = reinterpret_cast<decltype(
      api.FT_CreateDeviceInfoList)>(dlsym(layer, "FT_CreateDeviceInfoList"));
  api.FT_GetDeviceInfoList = reinterpret_cast<decltype(
      api.FT_GetDeviceInfoList)>(dlsym(layer, "FT_GetDeviceInfoList"));
#define BIND(fn) \
  (api.fn = reinterpret_cast<decltype(api.fn)>(dlsym(layer, #fn))) != nullptr
  if (!(BIND(FT_Open) && BIND(FT_Close) && BIND(FT_ResetDevice) &&
        BIND(FT_CyclePort) && BIND(FT_ResetPort) && BIND(FT_SetLatencyTimer) &&
        BIND(FT_GetLatencyTimer) && BIND(FT_SetBaudRate) &&
        BIND(FT_SetDataCharacteristics) && BIND(FT_GetDriverVersion)) ||
      !api.FT_CreateDeviceInfoList || !api.FT_GetDeviceInfoList) {
    std::fprintf(stderr, "%s lacks D2XX functions\n", argv[1]);
    return 1;
  }
#undef BIND

  DWORD count = 0;
  FT_STATUS status = api.FT_CreateDeviceInfoList(&count);
  std::printf("FT_CreateDeviceInfoList=%u count=%u\n", status, count);
  if (status != FT_OK) return 1;
  std::vector<d2xx::FT_DEVICE_LIST_INFO_NODE> list(count + 1);
  DWORD listed = 0;
  status = api.FT_GetDeviceInfoList(list.data(), &listed);
  std::printf("FT_GetDeviceInfoList=%u count=%u\n", status, listed);
  for (DWORD i = 0; i < listed && i < count; ++i) {
    const auto &n = list[i];
    std::printf(
        "%u flags=0x%x type=%u id=0x%08x locid=0x%08x serial='%.*s' "
        "description='%.*s' handle=%s\n",
        i, n.Flags, n.Type, n.ID, n.LocId,
        static_cast<int>(strnlen(n.SerialNumber, sizeof n.SerialNumber)),
        n.SerialNumber,
        static_cast<int>(strnlen(n.Description, sizeof n.Description)),
        n.Description, n.ftHandle != nullptr ? "set" : "null");
  }
  if (try_open || leave_open) {
    FT_HANDLE handle = nullptr;
    status = api.FT_Open(0, &handle);
    std::printf("FT_Open=%u\n", status);
    if (status != FT_OK || leave_open) return 0;
    UCHAR timer = 0;
    DWORD version = 0;
    const struct {
      const char *call;
      FT_STATUS status;
    } calls[] = {
        // In order: refusals first, so the chip ends as the last good call
        // left it.
        {"FT_SetLatencyTimer(0)", api.FT_SetLatencyTimer(handle, 0)},
        {"FT_SetBaudRate(1)", api.FT_SetBaudRate(handle, 1)},
        {"FT_SetDataCharacteristics(6,0,0)",
         api.FT_SetDataCharacteristics(handle, 6, 0, 0)},
        {"FT_GetLatencyTimer(null)", api.FT_GetLatencyTimer(handle, nullptr)},
        {"FT_GetDriverVersion(null)", api.FT_GetDriverVersion(handle, nullptr)},
        {"FT_CyclePort", api.FT_CyclePort(handle)},
        {"FT_ResetPort", api.FT_ResetPort(handle)},
        {"FT_ResetDevice", api.FT_ResetDevice(handle)},
        {"FT_SetLatencyTimer(16)", api.FT_SetLatencyTimer(handle, 16)},
        {"FT_GetLatencyTimer", api.FT_GetLatencyTimer(handle, &timer)},
        {"FT_SetBaudRate(115200)", api.FT_SetBaudRate(handle, 115200)},
        {"FT_SetDataCharacteristics(7,2,2)",
         api.FT_SetDataCharacteristics(handle, 7, 2, 2)},
        {"FT_GetDriverVersion", api.FT_GetDriverVersion(handle, &version)},
        {"FT_Close", api.FT_Close(handle)},
        {"FT_Close(again)", api.FT_Close(handle)},
    };
    for (const auto &c : calls) std::printf("%s=%u\n", c.call, c.status);
    std::printf("latency=%u version=0x%08x\n", timer, version);
  }
  return 0;
}

// Fuzz target: uartattach's mexFunction over the scripted D2XX driver.
#include <cstdint>

#include "../uartattach/uart_layer.h"
#include "harness.h"

namespace {

using Node = d2xx::FT_DEVICE_LIST_INFO_NODE;

fuzz::DriverDouble<Node> &drv() { return fuzz::the_driver<Node>(); }

d2xx::Api make_api() {
  d2xx::Api api{};
  api.FT_CreateDeviceInfoList = [](DWORD *n) { return drv().create_list(n); };
  api.FT_GetDeviceInfoList = [](Node *list, DWORD *n) {
    return drv().get_list(list, n);
  };
  // The driver reads the int's bits as its unsigned device number.
  api.FT_Open = [](int index, FT_HANDLE *h) {
    return drv().open(static_cast<std::uint32_t>(index), h);
  };
  api.FT_Close = [](FT_HANDLE h) { return drv().close(h); };
  api.FT_ResetDevice = [](FT_HANDLE h) {
    return drv().on_handle(h, "FT_ResetDevice");
  };
  api.FT_CyclePort = [](FT_HANDLE h) {
    return drv().on_handle(h, "FT_CyclePort");
  };
  api.FT_ResetPort = [](FT_HANDLE h) {
    return drv().on_handle(h, "FT_ResetPort");
  };
  api.FT_SetLatencyTimer = [](FT_HANDLE h, UCHAR) {
    return drv().on_handle(h, "FT_SetLatencyTimer");
  };
  api.FT_GetLatencyTimer = [](FT_HANDLE h, UCHAR *timer) {
    const FT_STATUS status = drv().on_handle(h, "FT_GetLatencyTimer");
    if (status == FT_OK) *timer = 16;
    return status;
  };
  api.FT_SetBaudRate = [](FT_HANDLE h, ULONG) {
    return drv().on_handle(h, "FT_SetBaudRate");
  };
  api.FT_SetDataCharacteristics = [](FT_HANDLE h, UCHAR, UCHAR, UCHAR) {
    return drv().on_handle(h, "FT_SetDataCharacteristics");
  };
  api.FT_GetDriverVersion = [](FT_HANDLE h, DWORD *word) {
    return drv().version(h, word);
  };
  return api;
}

const d2xx::Api kApi = make_api();

}  // namespace

// Stands in for the dlopen binding of d2xx_binding.cpp.
const d2xx::Api *uart::driver(const char **why) {
  if (!drv().missing()) return &kApi;
  if (why != nullptr) *why = "libftd2xx.so: cannot open (fuzz input)";
  return nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_stdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  fuzz::run_call<Node>(data, size, uart::Layer::kUnavailableId);
  return 0;
}

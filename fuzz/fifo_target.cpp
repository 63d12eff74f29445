// Fuzz target: fifoattach's mexFunction over the scripted D3XX driver.
#include <cstdint>

#include "../fifoattach/fifo_layer.h"
#include "harness.h"

namespace {

using Node = d3xx::FT_DEVICE_LIST_INFO_NODE;

fuzz::DriverDouble<Node> &drv() { return fuzz::the_driver<Node>(); }

d3xx::Api make_api() {
  d3xx::Api api{};
  api.FT_CreateDeviceInfoList = [](DWORD *n) { return drv().create_list(n); };
  api.FT_GetDeviceInfoList = [](Node *list, DWORD *n) {
    return drv().get_list(list, n);
  };
  // Only opening by index is expected; the index travels in the pointer.
  api.FT_Create = [](void *arg, DWORD flags, FT_HANDLE *h) {
    if (flags != d3xx::FT_OPEN_BY_INDEX) {
      violation("FT_Create with flags 0x%x, not by index", flags);
    }
    return drv().open(reinterpret_cast<std::uintptr_t>(arg), h);
  };
  api.FT_Close = [](FT_HANDLE h) { return drv().close(h); };
  api.FT_GetChipConfiguration = [](FT_HANDLE h, void *) {
    return drv().on_handle(h, "FT_GetChipConfiguration");
  };
  api.FT_GetDriverVersion = [](FT_HANDLE h, DWORD *word) {
    return drv().version(h, word);
  };
  return api;
}

const d3xx::Api kApi = make_api();

}  // namespace

// Stands in for the dlopen binding of d3xx_binding.cpp.
const d3xx::Api *fifo::driver(const char **why) {
  if (!drv().missing()) return &kApi;
  if (why != nullptr) *why = "libftd3xx.so: cannot open (fuzz input)";
  return nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  fuzz::quiet_stdout();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  fuzz::run_call<Node>(data, size, fifo::Layer::kUnavailableId);
  return 0;
}

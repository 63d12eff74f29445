#include "uart_layer.h"

#include <mex.h>

#include <cstdio>

namespace uart {

namespace {

// FT_OTHER_ERROR: what CloseDeviceVal answers when there is no driver to ask.
constexpr FT_STATUS kNoDriver = 18;

const d2xx::Api *driver_or_report() {
  const char *why = nullptr;
  const d2xx::Api *api = driver(&why);
  if (api == nullptr) std::fprintf(stderr, "uartattach: %s\n", why);
  return api;
}

// Closes with the status dropped. The module's own code calls this, never the
// exported CloseDevice: with modules loaded RTLD_GLOBAL, that name could bind
// to the other module's export and reach the other driver.
void close_device(const d2xx::Api &api, FT_HANDLE handle) { api.FT_Close(handle); }

struct SetupStep {
  const char *failure_line;
  FT_STATUS (*run)(const d2xx::Api &api, FT_HANDLE h);
};

// The line set-up, in order: the latency timer is set before the device
// reset, baud rate and data characteristics after it.
const SetupStep kLineSetup[] = {
    {"\t FT_SetLatencyTimer = %u \n",
     [](const d2xx::Api &api, FT_HANDLE h) {
       return api.FT_SetLatencyTimer(h, 2);
     }},
    {"\t FT_GetLatencyTimer = %u \n",
     [](const d2xx::Api &api, FT_HANDLE h) {
       UCHAR LatencyTimer = 2;
       return api.FT_GetLatencyTimer(h, &LatencyTimer);
     }},
    {"\t FT_ResetDevice = %u \n",
     [](const d2xx::Api &api, FT_HANDLE h) { return api.FT_ResetDevice(h); }},
    {"\t FT_SetBaudRate = %u \n",
     [](const d2xx::Api &api, FT_HANDLE h) {
       return api.FT_SetBaudRate(h, 230400);
     }},
    {"\t FT_SetDataCharacteristics = %u \n",
     [](const d2xx::Api &api, FT_HANDLE h) {
       return api.FT_SetDataCharacteristics(
           h, d2xx::FT_BITS_8, d2xx::FT_STOP_BITS_1, d2xx::FT_PARITY_NONE);
     }},
};

}  // namespace

bool open_device(FT_HANDLE *ftHandle, ULONG sel, bool closed) {
  std::printf("Connecting to device %llu... \n",
              static_cast<unsigned long long>(sel) + 1);
  const d2xx::Api *api = driver_or_report();
  if (api == nullptr) return false;
  FT_HANDLE pftHandle = nullptr;
  if (api->FT_Open(static_cast<int>(sel), &pftHandle) == FT_OK) {
    *ftHandle = pftHandle;
    return true;
  }
  const FT_HANDLE handle = *ftHandle;
  std::puts("Connection failed! ");
  std::puts("Resetting device...! ");
  std::printf("\t ftHandle=0x%x\n", handle_low32(handle));
  if (!closed) {
    std::printf("\t FT_ResetDevice = %u \n", api->FT_ResetDevice(handle));
    std::printf("\t FT_CyclePort = %u \n", api->FT_CyclePort(handle));
    close_device(*api, handle);
  }
  return false;
}

void reset_port(FT_HANDLE ftHandle, bool closed) {
  if (closed) return;
  const FT_STATUS status = driver(nullptr)->FT_ResetPort(ftHandle);
  if (status != FT_OK) mexPrintf("\t FT_ResetPort = %u \n", status);
}

void print_version(DWORD word) {
  std::printf("\t Driver version = %x.%x.%x\n", word >> 16, (word >> 8) & 0xFF,
              word & 0xFF);
}

void set_line_up(FT_HANDLE ftHandle) {
  const d2xx::Api &api = *driver(nullptr);
  for (const SetupStep &step : kLineSetup) {
    const FT_STATUS status = step.run(api, ftHandle);
    if (status != FT_OK) mexPrintf(step.failure_line, status);
  }
}

}  // namespace uart

bool OpenDevice(FT_HANDLE *ftHandle, ULONG sel) {
  return uart::open_device(ftHandle, sel, false);
}

void CloseDevice(FT_HANDLE ftHandle) {
  if (const d2xx::Api *api = uart::driver_or_report()) uart::close_device(*api, ftHandle);
}

FT_STATUS CloseDeviceVal(FT_HANDLE ftHandle) {
  const d2xx::Api *api = uart::driver_or_report();
  return api != nullptr ? api->FT_Close(ftHandle) : uart::kNoDriver;
}

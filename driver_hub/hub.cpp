// libftdi_hub.so: binds the driver libraries and records open handles (see
// hub.h). All state is plain statics without destructors: loading the hub
// runs nothing, and it is never unloaded.
#include "hub.h"

#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "driver_library.h"

namespace hub {

namespace {

// What the hub knows of one kind of driver library.
template <class MainApi, class DataApi>
struct Driver {
  attach::DriverLibrary library;
  char name[512];  // as the first module named it
  bool main_bound;
  bool data_bound;
  MainApi real;     // as resolved from the library
  MainApi wrapped;  // what modules get: opens and closes recorded
  DataApi data;
  char error[1024];
};

Driver<d2xx::Api, d2xx::DataApi> g_d2xx{};
Driver<d3xx::Api, d3xx::PipeApi> g_d3xx{};

// Open handles of each kind, by handle value, with their generation.
std::unordered_map<std::uint64_t, std::uint64_t> *g_open[2];
Open g_latest[2];
std::uint64_t g_last_generation = 0;

std::unordered_map<std::uint64_t, std::uint64_t> &open_handles(Kind kind) {
  auto &table = g_open[static_cast<int>(kind)];
  // Made on first use and never destroyed, so that no exit-time destructor
  // runs while a module may still close a device.
  if (table == nullptr) table = new std::unordered_map<std::uint64_t, std::uint64_t>();
  return *table;
}

void record_open(Kind kind, FT_HANDLE handle) {
  const std::uint64_t value = handle_value(handle);
  if (value == 0) return;
  const Open open{value, ++g_last_generation};
  open_handles(kind)[value] = open.generation;
  g_latest[static_cast<int>(kind)] = open;
}

// A handle that was given to FT_Close is closed for every module, whatever
// the driver answered: it is never handed to the driver again.
void record_close(Kind kind, FT_HANDLE handle) {
  open_handles(kind).erase(handle_value(handle));
}

// Opens the library the first module names; another name is refused.
template <class Drv>
bool open_library(Drv &driver, const char *library, const char *kind_name) {
  if (driver.library.handle != nullptr) {
    if (std::strcmp(driver.name, library) == 0) return true;
    std::snprintf(driver.error, sizeof driver.error,
                  "driver library '%s' cannot be bound: this process binds "
                  "the %s library '%s' already",
                  library, kind_name, driver.name);
    return false;
  }
  if (!driver.library.open(library, reinterpret_cast<const void *>(&ftdi_hub))) {
    std::snprintf(driver.error, sizeof driver.error, "%s", driver.library.error);
    return false;
  }
  std::snprintf(driver.name, sizeof driver.name, "%s", library);
  return true;
}

template <class Drv, class Bind, class Result>
const Result *bound(Drv &driver, bool &flag, const Result &result,
                    const char *library, const char *kind_name, Bind bind,
                    const char **why) {
  if (!flag) {
    flag = open_library(driver, library, kind_name) && bind(driver);
    if (!flag && driver.library.handle != nullptr && driver.error[0] == '\0') {
      std::snprintf(driver.error, sizeof driver.error, "%s", driver.library.error);
    }
  }
  if (!flag && why != nullptr) *why = driver.error;
  return flag ? &result : nullptr;
}

// Each driver function is looked up under its own name.
#define BIND(api, fn) driver.library.bind(#fn, driver.api.fn)

FT_STATUS d2xx_open(int index, FT_HANDLE *handle) {
  const FT_STATUS status = g_d2xx.real.FT_Open(index, handle);
  if (status == FT_OK && handle != nullptr) record_open(Kind::D2xx, *handle);
  return status;
}

FT_STATUS d2xx_close(FT_HANDLE handle) {
  record_close(Kind::D2xx, handle);
  return g_d2xx.real.FT_Close(handle);
}

FT_STATUS d3xx_create(void *arg, DWORD flags, FT_HANDLE *handle) {
  const FT_STATUS status = g_d3xx.real.FT_Create(arg, flags, handle);
  if (status == FT_OK && handle != nullptr) record_open(Kind::D3xx, *handle);
  return status;
}

FT_STATUS d3xx_close(FT_HANDLE handle) {
  record_close(Kind::D3xx, handle);
  return g_d3xx.real.FT_Close(handle);
}

const d2xx::Api *d2xx_api(const char *library, const char **why) {
  return bound(g_d2xx, g_d2xx.main_bound, g_d2xx.wrapped, library, "D2XX",
               [](decltype(g_d2xx) &driver) {
                 driver.error[0] = '\0';
                 const bool ok =
                     BIND(real, FT_CreateDeviceInfoList) &&
                     BIND(real, FT_GetDeviceInfoList) && BIND(real, FT_Open) &&
                     BIND(real, FT_Close) && BIND(real, FT_ResetDevice) &&
                     BIND(real, FT_CyclePort) && BIND(real, FT_ResetPort) &&
                     BIND(real, FT_SetLatencyTimer) &&
                     BIND(real, FT_GetLatencyTimer) &&
                     BIND(real, FT_SetBaudRate) &&
                     BIND(real, FT_SetDataCharacteristics) &&
                     BIND(real, FT_GetDriverVersion);
                 driver.wrapped = driver.real;
                 driver.wrapped.FT_Open = d2xx_open;
                 driver.wrapped.FT_Close = d2xx_close;
                 return ok;
               },
               why);
}

const d3xx::Api *d3xx_api(const char *library, const char **why) {
  return bound(g_d3xx, g_d3xx.main_bound, g_d3xx.wrapped, library, "D3XX",
               [](decltype(g_d3xx) &driver) {
                 driver.error[0] = '\0';
                 const bool ok =
                     BIND(real, FT_CreateDeviceInfoList) &&
                     BIND(real, FT_GetDeviceInfoList) && BIND(real, FT_Create) &&
                     BIND(real, FT_Close) && BIND(real, FT_GetChipConfiguration) &&
                     BIND(real, FT_GetDriverVersion);
                 driver.wrapped = driver.real;
                 driver.wrapped.FT_Create = d3xx_create;
                 driver.wrapped.FT_Close = d3xx_close;
                 return ok;
               },
               why);
}

const d2xx::DataApi *d2xx_data(const char *library, const char **why) {
  return bound(g_d2xx, g_d2xx.data_bound, g_d2xx.data, library, "D2XX",
               [](decltype(g_d2xx) &driver) {
                 driver.error[0] = '\0';
                 return BIND(data, FT_SetTimeouts) && BIND(data, FT_Read) &&
                        BIND(data, FT_Write) && BIND(data, FT_GetQueueStatus) &&
                        BIND(data, FT_Purge) && BIND(data, FT_SetFlowControl) &&
                        BIND(data, FT_SetDtr) && BIND(data, FT_ClrDtr) &&
                        BIND(data, FT_SetRts) && BIND(data, FT_ClrRts) &&
                        BIND(data, FT_GetModemStatus);
               },
               why);
}

const d3xx::PipeApi *d3xx_pipes(const char *library, const char **why) {
  return bound(g_d3xx, g_d3xx.data_bound, g_d3xx.data, library, "D3XX",
               [](decltype(g_d3xx) &driver) {
                 driver.error[0] = '\0';
                 return BIND(data, FT_WritePipe) && BIND(data, FT_ReadPipe) &&
                        BIND(data, FT_SetPipeTimeout) &&
                        BIND(data, FT_AbortPipe) && BIND(data, FT_FlushPipe);
               },
               why);
}

#undef BIND

bool is_open(Kind kind, Open open) {
  if (open.generation == 0) return false;
  const auto &table = open_handles(kind);
  const auto found = table.find(open.handle);
  return found != table.end() && found->second == open.generation;
}

Open latest_open(Kind kind) {
  const Open latest = g_latest[static_cast<int>(kind)];
  return is_open(kind, latest) ? latest : Open{0, 0};
}

const Api g_api{kVersion, d2xx_api, d3xx_api, d2xx_data, d3xx_pipes, is_open,
                latest_open};

}  // namespace

}  // namespace hub

const hub::Api *ftdi_hub(void) { return &hub::g_api; }

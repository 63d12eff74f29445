#include "fifo_layer.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace fifo {

namespace {

const d3xx::Api *driver_or_report() {
  const char *why = nullptr;
  const d3xx::Api *api = driver(&why);
  if (api == nullptr) std::fprintf(stderr, "fifoattach: %s\n", why);
  return api;
}

// Closes with the status dropped. The module's own code calls this, never the
// exported CloseDevice: with modules loaded RTLD_GLOBAL, that name could bind
// to the other module's export and reach the other driver.
void close_device(const d3xx::Api &api, FT_HANDLE handle) { api.FT_Close(handle); }

}  // namespace

bool open_device(FT_HANDLE *ftHandle, ULONG *sel, bool closed) {
  std::printf("Connecting to device %llu... \n",
              static_cast<unsigned long long>(*sel) + 1);
  const d3xx::Api *api = driver_or_report();
  if (api == nullptr) return false;
  FT_HANDLE pftHandle = nullptr;
  // By index, the index value itself travels in the pointer-sized argument.
  const FT_STATUS status = api->FT_Create(
      reinterpret_cast<void *>(static_cast<std::uintptr_t>(*sel)),
      d3xx::FT_OPEN_BY_INDEX, &pftHandle);
  if (status == FT_OK) {
    *ftHandle = pftHandle;
    return true;
  }
  std::printf("Connection failed! \n");
  std::printf("\t ftHandle=0x%x\n", handle_low32(*ftHandle));
  std::printf("\t FT_Create = %u \n", status);
  if (!closed) close_device(*api, *ftHandle);
  return false;
}

void print_version(DWORD word) {
  std::printf("\t Driver version = %x.%x.%x.%x\n", word >> 24,
              (word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF);
}

}  // namespace fifo

bool OpenDevice(FT_HANDLE *ftHandle, ULONG *sel) {
  return fifo::open_device(ftHandle, sel, false);
}

void CloseDevice(FT_HANDLE ftHandle) {
  if (const d3xx::Api *api = fifo::driver_or_report()) fifo::close_device(*api, ftHandle);
}

bool GetConfiguration(FT_HANDLE ftHandle) {
  const d3xx::Api *api = fifo::driver_or_report();
  if (api == nullptr) return false;
  d3xx::FT_60XCONFIGURATION oConfigurationData;
  std::memset(&oConfigurationData, 0, sizeof oConfigurationData);
  if (api->FT_GetChipConfiguration(ftHandle, &oConfigurationData) != FT_OK) {
    fifo::close_device(*api, ftHandle);
    return false;
  }
  const auto &c = oConfigurationData;
  // A descriptor field without a NUL prints its 128 bytes, never more.
  const char *descriptors = reinterpret_cast<const char *>(c.StringDescriptors);
  std::printf("\tVendorID          = %X\n", c.VendorID);
  std::printf("\tProductID         = %X\n", c.ProductID);
  std::printf("\tStringDescriptors = %.*s\n",
              static_cast<int>(strnlen(descriptors, sizeof c.StringDescriptors)),
              descriptors);
  std::printf("\tbInterval         = %d\n", c.bInterval);
  std::printf("\tFIFOClock         = %d\n", c.FIFOClock);
  std::printf("\tFIFOMode          = %d\n", c.FIFOMode);
  std::printf("\tMSIO_Control      = %X\n", c.MSIO_Control);
  return true;
}

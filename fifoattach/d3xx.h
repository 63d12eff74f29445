// The part of FTDI's D3XX driver interface (FT60x FIFO bridges) that
// fifoattach calls, declared from its published C ABI.
#pragma once

#include <cstddef>

#include "../attach/ft_types.h"

namespace d3xx {

struct FT_DEVICE_LIST_INFO_NODE {
  ULONG Flags;
  ULONG Type;
  ULONG ID;
  DWORD LocId;
  char SerialNumber[16];
  char Description[32];
  FT_HANDLE ftHandle;
};
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 72, "D3XX entry layout");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32,
              "D3XX entry layout");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 64,
              "D3XX entry layout");

struct FT_60XCONFIGURATION {
  USHORT VendorID;
  USHORT ProductID;
  UCHAR StringDescriptors[128];
  UCHAR bInterval;
  UCHAR PowerAttributes;
  USHORT PowerConsumption;
  UCHAR Reserved2;
  UCHAR FIFOClock;
  UCHAR FIFOMode;
  UCHAR ChannelConfig;
  USHORT OptionalFeatureSupport;
  UCHAR BatteryChargingGPIOConfig;
  UCHAR FlashEEPROMDetection;
  ULONG MSIO_Control;
  ULONG GPIO_Control;
};
static_assert(sizeof(FT_60XCONFIGURATION) == 152, "D3XX configuration layout");
static_assert(alignof(FT_60XCONFIGURATION) == 4, "D3XX configuration layout");
static_assert(offsetof(FT_60XCONFIGURATION, bInterval) == 132, "layout");
static_assert(offsetof(FT_60XCONFIGURATION, FIFOClock) == 137, "layout");
static_assert(offsetof(FT_60XCONFIGURATION, MSIO_Control) == 144, "layout");
static_assert(offsetof(FT_60XCONFIGURATION, GPIO_Control) == 148, "layout");

constexpr DWORD FT_OPEN_BY_INDEX = 0x10;

// The driver functions fifoattach calls, resolved from the bound library.
struct Api {
  FT_STATUS (*FT_CreateDeviceInfoList)(DWORD *numDevs);
  FT_STATUS (*FT_GetDeviceInfoList)(FT_DEVICE_LIST_INFO_NODE *list,
                                    DWORD *numDevs);
  // With FT_OPEN_BY_INDEX the index itself travels in `arg`, widened to
  // pointer size; it is not a pointer to the index.
  FT_STATUS (*FT_Create)(void *arg, DWORD flags, FT_HANDLE *handle);
  FT_STATUS (*FT_Close)(FT_HANDLE handle);
  FT_STATUS (*FT_GetChipConfiguration)(FT_HANDLE handle, void *config);
  FT_STATUS (*FT_GetDriverVersion)(FT_HANDLE handle, DWORD *version);
};

}  // namespace d3xx

// The part of FTDI's D2XX driver interface (USB-serial bridges) that
// uartattach calls, declared from its published C ABI.
#pragma once

#include <cstddef>

#include "../attach/ft_types.h"

namespace d2xx {

struct FT_DEVICE_LIST_INFO_NODE {
  ULONG Flags;
  ULONG Type;
  ULONG ID;
  DWORD LocId;
  char SerialNumber[16];
  char Description[64];
  FT_HANDLE ftHandle;
};
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 104, "D2XX entry layout");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32,
              "D2XX entry layout");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96,
              "D2XX entry layout");

constexpr ULONG FT_FLAGS_OPENED = 1;
constexpr ULONG FT_FLAGS_HISPEED = 2;

constexpr UCHAR FT_BITS_8 = 8;
constexpr UCHAR FT_STOP_BITS_1 = 0;
constexpr UCHAR FT_PARITY_NONE = 0;

// The driver functions uartattach calls, resolved from the bound library.
struct Api {
  FT_STATUS (*FT_CreateDeviceInfoList)(DWORD *numDevs);
  FT_STATUS (*FT_GetDeviceInfoList)(FT_DEVICE_LIST_INFO_NODE *list,
                                    DWORD *numDevs);
  FT_STATUS (*FT_Open)(int index, FT_HANDLE *handle);
  FT_STATUS (*FT_Close)(FT_HANDLE handle);
  FT_STATUS (*FT_ResetDevice)(FT_HANDLE handle);
  FT_STATUS (*FT_CyclePort)(FT_HANDLE handle);
  FT_STATUS (*FT_ResetPort)(FT_HANDLE handle);
  FT_STATUS (*FT_SetLatencyTimer)(FT_HANDLE handle, UCHAR timer);
  FT_STATUS (*FT_GetLatencyTimer)(FT_HANDLE handle, UCHAR *timer);
  FT_STATUS (*FT_SetBaudRate)(FT_HANDLE handle, ULONG baud);
  FT_STATUS (*FT_SetDataCharacteristics)(FT_HANDLE handle, UCHAR bits,
                                         UCHAR stop, UCHAR parity);
  FT_STATUS (*FT_GetDriverVersion)(FT_HANDLE handle, DWORD *version);
};

}  // namespace d2xx

// The part of FTDI's D2XX driver interface (USB-serial bridges) that
// uartattach and uartport call, declared from its published C ABI.
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

constexpr UCHAR FT_BITS_7 = 7;
constexpr UCHAR FT_BITS_8 = 8;
constexpr UCHAR FT_STOP_BITS_1 = 0;
constexpr UCHAR FT_STOP_BITS_2 = 2;
constexpr UCHAR FT_PARITY_NONE = 0;
constexpr UCHAR FT_PARITY_ODD = 1;
constexpr UCHAR FT_PARITY_EVEN = 2;
constexpr UCHAR FT_PARITY_MARK = 3;
constexpr UCHAR FT_PARITY_SPACE = 4;

constexpr USHORT FT_FLOW_NONE = 0x0000;
constexpr USHORT FT_FLOW_RTS_CTS = 0x0100;
constexpr USHORT FT_FLOW_DTR_DSR = 0x0200;
constexpr USHORT FT_FLOW_XON_XOFF = 0x0400;
constexpr UCHAR FT_XON = 0x11;
constexpr UCHAR FT_XOFF = 0x13;

constexpr ULONG FT_PURGE_RX = 1;
constexpr ULONG FT_PURGE_TX = 2;

// FT_GetModemStatus, byte 0.
constexpr ULONG FT_MODEM_CTS = 0x10;
constexpr ULONG FT_MODEM_DSR = 0x20;
constexpr ULONG FT_MODEM_RI = 0x40;
constexpr ULONG FT_MODEM_DCD = 0x80;

constexpr FT_STATUS FT_IO_ERROR = 4;
constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;
constexpr FT_STATUS FT_INVALID_ARGS = 16;

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

// The data and line functions uartport calls besides, bound apart: a library
// without them still serves uartattach. FT_Read returns FT_OK with fewer
// bytes when its timeout (FT_SetTimeouts) runs out; a timeout of 0 means none.
struct DataApi {
  FT_STATUS (*FT_SetTimeouts)(FT_HANDLE handle, ULONG read_ms, ULONG write_ms);
  FT_STATUS (*FT_Read)(FT_HANDLE handle, void *buffer, DWORD count,
                       DWORD *got);
  FT_STATUS (*FT_Write)(FT_HANDLE handle, void *buffer, DWORD count,
                        DWORD *written);
  FT_STATUS (*FT_GetQueueStatus)(FT_HANDLE handle, DWORD *rx_bytes);
  FT_STATUS (*FT_Purge)(FT_HANDLE handle, ULONG mask);
  FT_STATUS (*FT_SetFlowControl)(FT_HANDLE handle, USHORT mode, UCHAR xon,
                                 UCHAR xoff);
  FT_STATUS (*FT_SetDtr)(FT_HANDLE handle);
  FT_STATUS (*FT_ClrDtr)(FT_HANDLE handle);
  FT_STATUS (*FT_SetRts)(FT_HANDLE handle);
  FT_STATUS (*FT_ClrRts)(FT_HANDLE handle);
  FT_STATUS (*FT_GetModemStatus)(FT_HANDLE handle, ULONG *status);
};

}  // namespace d2xx

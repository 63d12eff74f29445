// The part of FTDI's D3XX driver interface (FT60x FIFO bridges) that
// fifoattach and fifoport call, declared from its published C ABI.
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

constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
constexpr FT_STATUS FT_TIMEOUT = 19;
constexpr FT_STATUS FT_DEVICE_NOT_CONNECTED = 30;

// Pipe IDs: channel c (1-4) writes to OUT pipe 0x01 + c, reads from IN pipe
// 0x81 + c.
constexpr UCHAR kOutPipe1 = 0x02;
constexpr UCHAR kInPipe1 = 0x82;
constexpr ULONG kDefaultPipeTimeoutMs = 5000;

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

// The pipe functions fifoport calls besides, bound apart. These are the
// Linux prototypes, taken from open documentation of wrappers of the library
// (the vendor's guide gives the Windows ones, where the last argument of
// FT_ReadPipe/FT_WritePipe is an OVERLAPPED pointer): on Linux it is a
// timeout in milliseconds, by value. A timed-out transfer may answer
// FT_TIMEOUT or FT_OK with fewer bytes; after a timeout or an error the pipe
// must be aborted before the next transfer.
struct PipeApi {
  FT_STATUS (*FT_WritePipe)(FT_HANDLE handle, UCHAR pipe, UCHAR *buffer,
                            ULONG count, ULONG *moved, DWORD timeout_ms);
  FT_STATUS (*FT_ReadPipe)(FT_HANDLE handle, UCHAR pipe, UCHAR *buffer,
                           ULONG count, ULONG *moved, DWORD timeout_ms);
  // Default 5000 ms, reset at each FT_Create; 0 disables the timeout.
  FT_STATUS (*FT_SetPipeTimeout)(FT_HANDLE handle, UCHAR pipe, ULONG ms);
  FT_STATUS (*FT_AbortPipe)(FT_HANDLE handle, UCHAR pipe);
  FT_STATUS (*FT_FlushPipe)(FT_HANDLE handle, UCHAR pipe);
};

}  // namespace d3xx

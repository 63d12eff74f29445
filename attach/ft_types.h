// Types shared by the FTDI D2XX and D3XX driver libraries, declared from their
// published C ABI (64-bit Linux). ULONG is 32 bits wide there, unlike the
// platform's unsigned long.
#pragma once

#include <cstdint>

using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UCHAR = std::uint8_t;
using USHORT = std::uint16_t;
using FT_STATUS = std::uint32_t;
using FT_HANDLE = void *;

constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_INVALID_HANDLE = 1;
constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;

// The handle as the unsigned 64-bit integer that scripts see.
inline std::uint64_t handle_value(FT_HANDLE h) {
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(h));
}

// Low 32 bits of a handle, as the status lines print it.
inline unsigned handle_low32(FT_HANDLE h) {
  return static_cast<unsigned>(handle_value(h) & 0xFFFFFFFFu);
}

// Functions a module exports beside mexFunction. mex.h does not mark
// mexFunction visible either, and the modules build with hidden visibility.
#define ATTACH_EXPORT extern "C" __attribute__((visibility("default")))

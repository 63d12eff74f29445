// Control interface of the simulated D2XX and D3XX driver libraries. Both
// export it under the same names, beside the driver functions; the Octave
// control function ftdisim reaches each library privately through it.
#pragma once

#include <cstddef>
#include <cstdint>

#define FTSIM_EXPORT extern "C" __attribute__((visibility("default")))

struct ftsim_device {
  std::uint32_t flags;
  int flags_given;  // 0: the simulator sets the opened bit itself
  std::uint32_t type;
  std::uint32_t id;
  std::uint32_t locid;
  const char *serial;
  std::size_t serial_len;
  const char *description;
  std::size_t description_len;
  int held_elsewhere;  // listed opened, without strings; opening fails with 3
};

// Forgets every device, failure, handle, log line and setting.
FTSIM_EXPORT void ftsim_reset(void);
// Returns the device's zero-based position, or -1 (see ftsim_last_error).
FTSIM_EXPORT long ftsim_add_device(const ftsim_device *device);
FTSIM_EXPORT int ftsim_remove_device(std::size_t index);
// Makes `function` answer `status`: on its `nth` call counted from the last
// reset, or on every call when nth is 0 (status 0 then clears it).
FTSIM_EXPORT int ftsim_fail(const char *function, std::uint32_t status,
                            std::uint32_t nth);
// Comma-separated names of the driver functions the library simulates.
FTSIM_EXPORT const char *ftsim_functions(void);
FTSIM_EXPORT void ftsim_set_version(std::uint32_t word);
// Handle values handed out by the next opens, in order; then counting on.
FTSIM_EXPORT void ftsim_set_handles(const std::uint64_t *values,
                                    std::size_t count);
// The count FT_GetDeviceInfoList reports, whatever it lists; -1: the truth.
FTSIM_EXPORT void ftsim_set_list_count(std::int64_t count);
// When on, a failing FT_GetDeviceInfoList fills the room it got with garbage.
FTSIM_EXPORT void ftsim_set_scribble(int on);
// The chip configuration record FT_GetChipConfiguration returns (D3XX only).
FTSIM_EXPORT int ftsim_set_config(const void *record, std::size_t size);
FTSIM_EXPORT int ftsim_get_config(void *record, std::size_t size);
FTSIM_EXPORT void ftsim_clear_log(void);
FTSIM_EXPORT std::size_t ftsim_log_size(void);
// "FT_Open(0)=0": function, arguments (handles in hex), status.
FTSIM_EXPORT const char *ftsim_log_line(std::size_t index);
// Whether that call passed a handle that had been closed already, or was
// recorded as misuse for a reason (which ends its log line).
FTSIM_EXPORT int ftsim_log_misuse(std::size_t index);
FTSIM_EXPORT std::size_t ftsim_open_handles(std::uint64_t *out,
                                            std::size_t capacity);
FTSIM_EXPORT const char *ftsim_last_error(void);

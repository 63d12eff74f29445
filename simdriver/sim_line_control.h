// Control interface of the far end of the simulated D2XX driver (sim_line.h),
// exported by libd2xx_sim.so beside sim_control.h. `index` is the device's
// zero-based position in the device table; a function answers -1 when there
// is no device there (see ftsim_last_error), else 0 or what it says.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim_control.h"

// Pins the far end drives; in ftsim_line_pins, -1 leaves a pin as it is.
struct ftsim_pins {
  int clear_to_send;
  int data_set_ready;
  int carrier_detect;
  int ring_indicator;
};

// What the host set on a line, and what is queued on it.
struct ftsim_line {
  std::uint32_t baud_rate;
  std::uint32_t data_bits;
  std::uint32_t stop_bits;  // 1 or 2
  std::uint32_t parity;
  std::uint32_t flow_control;
  std::uint32_t xon;
  std::uint32_t xoff;
  int dtr;
  int rts;
  std::uint32_t read_timeout_ms;
  std::uint32_t write_timeout_ms;
  std::uint64_t queued;   // arrived, not read
  std::uint64_t pending;  // to arrive later
  std::uint64_t sending;  // in the transmit buffer
  std::uint64_t rx_purges;
  std::uint64_t tx_purges;
};

// The far end sends `count` bytes, arriving after `delay_s` seconds (paced
// when pacing is on).
FTSIM_EXPORT int ftsim_line_rx(std::size_t index, const void *bytes,
                               std::size_t count, double delay_s);
// The number of bytes that went out on the line since they were last taken;
// with `out`, takes up to `capacity` of them, oldest first.
FTSIM_EXPORT long ftsim_line_tx(std::size_t index, void *out,
                                std::size_t capacity);
FTSIM_EXPORT int ftsim_line_loopback(std::size_t index, int on);
FTSIM_EXPORT int ftsim_line_pacing(std::size_t index, int on);
// Sets the pins given (null: none), then reports all of them in *out.
FTSIM_EXPORT int ftsim_line_pins(std::size_t index, const ftsim_pins *set,
                                 ftsim_pins *out);
FTSIM_EXPORT int ftsim_line_state(std::size_t index, ftsim_line *out);

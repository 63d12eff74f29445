// Control interface of the FIFO far end of the simulated D3XX library: what
// the FPGA behind each simulated FT60x sends and receives. `index` is the
// device's zero-based position in the device table, `channel` 1 to 4. Each
// returns 0, or -1 with the reason in ftsim_last_error.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim_control.h"

enum ftsim_source_kind {
  FTSIM_SOURCE_NONE = 0,     // reads time out
  FTSIM_SOURCE_COUNTER = 1,  // 32-bit little-endian counter from 0
  FTSIM_SOURCE_PATTERN = 2,  // the given bytes, repeated
  FTSIM_SOURCE_BYTES = 3,    // the given bytes once, then nothing
};

constexpr std::size_t kFtsimSinkLast = 4096;

struct ftsim_sink {
  std::uint64_t count;
  std::uint32_t checksum;  // Adler-32 of every byte written, in order
  std::size_t last_size;
  std::uint8_t last[kFtsimSinkLast];  // the last bytes written, oldest first
};

struct ftsim_pipe {
  std::uint8_t pipe;
  std::uint32_t timeout_ms;
  int stuck;              // timed out with FT_TIMEOUT and not aborted since
  std::uint64_t queued;   // bytes waiting in its loopback queue
  std::uint64_t moved;    // bytes moved through it since the last reset
};

// The IN pipe of `channel` sends from `kind`; ends its loopback.
FTSIM_EXPORT int ftsim_fifo_source(std::size_t index, unsigned channel, int kind,
                                   const std::uint8_t *bytes, std::size_t size);
// Loopback on: what the channel's OUT pipe receives queues for its IN pipe,
// which sends nothing else. Off: the IN pipe sends nothing.
FTSIM_EXPORT int ftsim_fifo_loopback(std::size_t index, unsigned channel, int on);
FTSIM_EXPORT int ftsim_fifo_sink(std::size_t index, unsigned channel,
                                 ftsim_sink *out);
// Bytes per second in each direction, per transfer; 0: unlimited.
FTSIM_EXPORT int ftsim_fifo_rate(std::size_t index, std::uint64_t bytes_per_s);
// A transfer ending at its timeout answers FT_OK with fewer bytes when
// `short_transfers` is on, else FT_TIMEOUT.
FTSIM_EXPORT int ftsim_fifo_timeouts(std::size_t index, int short_transfers);
// Unplugs the device once `after_bytes` more bytes moved on it (0: now).
FTSIM_EXPORT int ftsim_fifo_unplug(std::size_t index, std::uint64_t after_bytes);
// The pipes of the configuration, lowest ID first: how many there are (at
// most `capacity` written), or -1.
FTSIM_EXPORT long ftsim_fifo_pipes(std::size_t index, ftsim_pipe *out,
                                   std::size_t capacity);

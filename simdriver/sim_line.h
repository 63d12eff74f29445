// The far end of each simulated D2XX device: the serial line behind the
// bridge, with what the host set, the bytes it receives (each with its
// arrival time) and the bytes it sends. Time is real (steady_clock): a read
// or write that has to wait sleeps. Calls come from one thread, so nothing
// can change a line while a call sleeps on it.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

#include "../uartattach/d2xx.h"
#include "sim_core.h"

namespace sim::line {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kTransmitBuffer = 512;

struct Pins {
  bool clear_to_send = true;
  bool data_set_ready = true;
  bool carrier_detect = false;
  bool ring_indicator = false;
};

// Bytes bound for the receive side: bytes[i] arrives at first + i * spacing.
struct Arrivals {
  Clock::time_point first;
  Clock::duration spacing{};
  std::vector<std::uint8_t> bytes;
  std::size_t taken = 0;  // read or purged, from the front
};

struct Line {
  // What the host set.
  ULONG baud = 9600;
  UCHAR data_bits = d2xx::FT_BITS_8;
  UCHAR stop_bits = d2xx::FT_STOP_BITS_1;
  UCHAR parity = d2xx::FT_PARITY_NONE;
  USHORT flow = d2xx::FT_FLOW_NONE;
  UCHAR xon = d2xx::FT_XON;
  UCHAR xoff = d2xx::FT_XOFF;
  bool dtr = false;
  bool rts = false;
  ULONG read_ms = 0;  // 0: no timeout
  ULONG write_ms = 0;

  // What the far end does.
  Pins pins;
  bool loopback = false;
  bool pacing = false;  // bytes take their time on the wire

  std::deque<Arrivals> received;
  // Arrival of the last byte scheduled: later bytes never overtake it.
  Clock::time_point received_until{};
  std::deque<std::uint8_t> sending;  // the transmit buffer
  Clock::time_point front_done{};    // when sending.front() is out, if draining
  std::vector<std::uint8_t> sent;    // out on the line since the last look
  std::uint64_t rx_purges = 0;
  std::uint64_t tx_purges = 0;
};

// The device's line, with the defaults of a device just plugged in on first use.
Line &of(const Device &device);

// Brings the line up to `now`: bytes whose time has come leave the
// transmit buffer.
void advance(Line &line, Clock::time_point now);
// Settings that change the timing of bytes in flight go through here: bytes
// out by now went out under the old settings, the rest drain under the new.
void restart_if_changed(Line &line, Clock::time_point now, bool was_draining,
                        Clock::duration was_byte_time);
// Whether the transmit buffer drains: not held by flow control.
bool draining(const Line &line);
Clock::duration byte_time(const Line &line);

template <class Change>
void retune(Line &line, Change change) {
  const Clock::time_point now = Clock::now();
  advance(line, now);
  const bool was_draining = draining(line);
  const Clock::duration was_byte_time = byte_time(line);
  change(line);
  restart_if_changed(line, now, was_draining, was_byte_time);
}

// Bytes the far end sends, arriving from now + delay on.
void schedule(Line &line, const std::uint8_t *bytes, std::size_t count,
              Clock::duration delay);

struct Moved {
  DWORD count = 0;
  bool forever = false;  // a real driver would have waited forever
};
Moved read(Line &line, std::uint8_t *buffer, DWORD count);
Moved write(Line &line, const std::uint8_t *buffer, DWORD count);

// Bytes arrived and not read by now.
std::size_t queued(Line &line);
// Bytes scheduled to arrive later.
std::size_t pending(Line &line);
void purge(Line &line, ULONG mask);
ULONG modem_status(const Line &line);

}  // namespace sim::line

#include "sim_line.h"

#include <algorithm>
#include <any>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "sim_line_control.h"

namespace sim::line {

namespace {

using Lines = std::map<std::uint64_t, Line>;
constexpr Clock::time_point kNever = Clock::time_point::max();

std::size_t arrived(const Arrivals &a, Clock::time_point now) {
  if (now < a.first) return 0;
  if (a.spacing == Clock::duration::zero()) return a.bytes.size();
  const auto n = static_cast<std::size_t>((now - a.first) / a.spacing) + 1;
  return std::min(n, a.bytes.size());
}

// Bytes reach the receive side in the order they were scheduled: a paced
// byte at the earliest one byte time after the one before it.
void arrive(Line &line, std::vector<std::uint8_t> bytes,
            Clock::time_point earliest, Clock::duration spacing) {
  if (bytes.empty()) return;
  const Clock::time_point first = std::max(earliest, line.received_until + spacing);
  // Unpaced bytes that have arrived join the chunk before when it has all
  // arrived too: nothing tells them apart, and a stream of small writes then
  // stays one chunk instead of one per write.
  if (spacing == Clock::duration::zero() && !line.received.empty()) {
    Arrivals &last = line.received.back();
    const Clock::time_point now = Clock::now();
    if (last.spacing == Clock::duration::zero() && last.first <= now && first <= now) {
      if (last.taken > 4096 && 2 * last.taken > last.bytes.size()) {
        last.bytes.erase(last.bytes.begin(),
                         last.bytes.begin() + static_cast<std::ptrdiff_t>(last.taken));
        last.taken = 0;
      }
      last.bytes.insert(last.bytes.end(), bytes.begin(), bytes.end());
      line.received_until = first;
      return;
    }
  }
  Arrivals a;
  a.first = first;
  a.spacing = spacing;
  line.received_until =
      a.first + spacing * static_cast<Clock::rep>(bytes.size() - 1);
  a.bytes = std::move(bytes);
  line.received.push_back(std::move(a));
}

// The first `count` bytes of the transmit buffer go out on the line, the
// first of them at `first`, then one every `spacing`.
void go_out(Line &line, std::size_t count, Clock::time_point first,
            Clock::duration spacing) {
  const auto end = line.sending.begin() + static_cast<std::ptrdiff_t>(count);
  line.sent.insert(line.sent.end(), line.sending.begin(), end);
  if (line.loopback) arrive(line, {line.sending.begin(), end}, first, spacing);
  line.sending.erase(line.sending.begin(), end);
}

// Arrived bytes not read yet, after dropping the chunks used up.
std::size_t available(Line &line, Clock::time_point now) {
  while (!line.received.empty() &&
         line.received.front().taken == line.received.front().bytes.size()) {
    line.received.pop_front();
  }
  std::size_t n = 0;
  for (const Arrivals &a : line.received) {
    const std::size_t here = arrived(a, now);
    n += here - a.taken;
    if (here < a.bytes.size()) break;  // later chunks arrive later still
  }
  return n;
}

// When `more` bytes beyond those arrived by `now` will have arrived, or kNever.
Clock::time_point arrival_of(const Line &line, Clock::time_point now,
                             std::size_t more) {
  for (const Arrivals &a : line.received) {
    const std::size_t here = arrived(a, now);
    const std::size_t later = a.bytes.size() - here;
    if (more <= later) {
      return a.first + a.spacing * static_cast<Clock::rep>(here + more - 1);
    }
    more -= later;
  }
  // Looped back from the transmit buffer, as advance() will deliver them.
  if (line.loopback && draining(line) && line.pacing &&
      more <= line.sending.size()) {
    const Clock::duration t = byte_time(line);
    return std::max(line.front_done, line.received_until + t) +
           t * static_cast<Clock::rep>(more - 1);
  }
  return kNever;
}

// Moves up to `count` arrived bytes into `out`.
DWORD take(Line &line, Clock::time_point now, std::uint8_t *out, DWORD count) {
  DWORD moved = 0;
  for (Arrivals &a : line.received) {
    if (moved == count) break;
    const std::size_t here = arrived(a, now);
    const std::size_t n = std::min<std::size_t>(here - a.taken, count - moved);
    if (n > 0) std::memcpy(out + moved, a.bytes.data() + a.taken, n);
    a.taken += n;
    moved += static_cast<DWORD>(n);
    if (here < a.bytes.size()) break;  // later chunks arrive later still
  }
  return moved;
}

Clock::time_point deadline(Clock::time_point start, ULONG ms) {
  return ms == 0 ? kNever : start + std::chrono::milliseconds(ms);
}

}  // namespace

Line &of(const Device &device) {
  // The core keeps the lines untyped; this file alone makes and reads them.
  std::any &slot = state().far_end;
  auto *lines = std::any_cast<Lines>(&slot);
  if (lines == nullptr) lines = &slot.emplace<Lines>();
  return (*lines)[device.key];
}

Clock::duration byte_time(const Line &line) {
  const unsigned bits = 1u + line.data_bits +
                        (line.parity != d2xx::FT_PARITY_NONE ? 1u : 0u) +
                        (line.stop_bits == d2xx::FT_STOP_BITS_2 ? 2u : 1u);
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(static_cast<double>(bits) / line.baud));
}

// Hardware flow control with the far end's pin low holds the transmit side.
bool draining(const Line &line) {
  return !((line.flow == d2xx::FT_FLOW_RTS_CTS && !line.pins.clear_to_send) ||
           (line.flow == d2xx::FT_FLOW_DTR_DSR && !line.pins.data_set_ready));
}

void advance(Line &line, Clock::time_point now) {
  if (line.sending.empty() || !draining(line)) return;
  if (!line.pacing) {
    go_out(line, line.sending.size(), now, Clock::duration::zero());
    return;
  }
  if (now < line.front_done) return;
  const Clock::duration t = byte_time(line);
  const std::size_t n = std::min(
      static_cast<std::size_t>((now - line.front_done) / t) + 1,
      line.sending.size());
  const Clock::time_point first = line.front_done;
  line.front_done += t * static_cast<Clock::rep>(n);
  go_out(line, n, first, t);
}

void restart_if_changed(Line &line, Clock::time_point now, bool was_draining,
                        Clock::duration was_byte_time) {
  if (draining(line) != was_draining || byte_time(line) != was_byte_time) {
    line.front_done = now + byte_time(line);
  }
}

void schedule(Line &line, const std::uint8_t *bytes, std::size_t count,
              Clock::duration delay) {
  const Clock::time_point now = Clock::now();
  advance(line, now);
  // A paced byte is in once its last bit is: a byte time after it started.
  const Clock::duration spacing =
      line.pacing ? byte_time(line) : Clock::duration::zero();
  arrive(line, {bytes, bytes + count}, now + delay + spacing, spacing);
}

Moved read(Line &line, std::uint8_t *buffer, DWORD count) {
  Moved result;
  if (count == 0) return result;
  Clock::time_point now = Clock::now();
  const Clock::time_point until = deadline(now, line.read_ms);
  for (;;) {
    advance(line, now);
    const std::size_t have = available(line, now);
    if (have >= count || now >= until) break;
    const Clock::time_point next = arrival_of(line, now, count - have);
    if (next == kNever && until == kNever) {
      result.forever = true;
      break;
    }
    std::this_thread::sleep_until(std::min(next, until));
    now = Clock::now();
  }
  result.count = take(line, now, buffer, count);
  return result;
}

Moved write(Line &line, const std::uint8_t *buffer, DWORD count) {
  Moved result;
  Clock::time_point now = Clock::now();
  const Clock::time_point until = deadline(now, line.write_ms);
  for (;;) {
    advance(line, now);
    const std::size_t room = kTransmitBuffer - line.sending.size();
    const std::size_t n = std::min<std::size_t>(room, count - result.count);
    if (n > 0) {
      if (line.sending.empty()) line.front_done = now + byte_time(line);
      line.sending.insert(line.sending.end(), buffer + result.count,
                          buffer + result.count + n);
      result.count += static_cast<DWORD>(n);
      advance(line, now);
    }
    if (result.count == count) break;
    if (line.sending.size() < kTransmitBuffer) continue;  // drained at once
    // Wait for room for the rest, or for half a buffer: the buffer must not
    // run dry while we sleep, or the line would idle.
    const std::size_t wanted =
        std::min<std::size_t>(count - result.count, kTransmitBuffer / 2);
    const Clock::time_point next =
        draining(line) ? line.front_done + byte_time(line) *
                                               static_cast<Clock::rep>(wanted - 1)
                       : kNever;
    if (next == kNever && until == kNever) {
      result.forever = true;
      break;
    }
    if (now >= until) break;
    std::this_thread::sleep_until(std::min(next, until));
    now = Clock::now();
  }
  return result;
}

std::size_t queued(Line &line) {
  const Clock::time_point now = Clock::now();
  advance(line, now);
  return available(line, now);
}

std::size_t pending(Line &line) {
  const Clock::time_point now = Clock::now();
  advance(line, now);
  std::size_t n = 0;
  for (const Arrivals &a : line.received) n += a.bytes.size() - arrived(a, now);
  return n;
}

void purge(Line &line, ULONG mask) {
  const Clock::time_point now = Clock::now();
  advance(line, now);
  if (mask & d2xx::FT_PURGE_RX) {
    for (Arrivals &a : line.received) a.taken = arrived(a, now);
    ++line.rx_purges;
  }
  if (mask & d2xx::FT_PURGE_TX) {
    line.sending.clear();
    ++line.tx_purges;
  }
}

ULONG modem_status(const Line &line) {
  const Pins &p = line.pins;
  return (p.clear_to_send ? d2xx::FT_MODEM_CTS : 0) |
         (p.data_set_ready ? d2xx::FT_MODEM_DSR : 0) |
         (p.ring_indicator ? d2xx::FT_MODEM_RI : 0) |
         (p.carrier_detect ? d2xx::FT_MODEM_DCD : 0);
}

}  // namespace sim::line

namespace {

using sim::line::Line;

Line *line_at(std::size_t index) {
  const sim::Device *device = sim::device_at(index);
  if (device == nullptr) {
    sim::state().last_error = "no device at that index";
    return nullptr;
  }
  return &sim::line::of(*device);
}

}  // namespace

int ftsim_line_rx(std::size_t index, const void *bytes, std::size_t count,
                  double delay_s) {
  Line *line = line_at(index);
  if (line == nullptr) return -1;
  if (!std::isfinite(delay_s) || delay_s < 0) {
    sim::state().last_error = "the delay must be a finite number of seconds, at least 0";
    return -1;
  }
  sim::line::schedule(
      *line, static_cast<const std::uint8_t *>(bytes), count,
      std::chrono::duration_cast<sim::line::Clock::duration>(
          std::chrono::duration<double>(delay_s)));
  return 0;
}

long ftsim_line_tx(std::size_t index, void *out, std::size_t capacity) {
  Line *line = line_at(index);
  if (line == nullptr) return -1;
  sim::line::advance(*line, sim::line::Clock::now());
  std::vector<std::uint8_t> &sent = line->sent;
  const long size = static_cast<long>(sent.size());
  const std::size_t n = std::min(capacity, sent.size());
  if (out != nullptr && n > 0) {
    std::memcpy(out, sent.data(), n);
    sent.erase(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(n));
  }
  return size;
}

int ftsim_line_loopback(std::size_t index, int on) {
  Line *line = line_at(index);
  if (line == nullptr) return -1;
  // Bytes already out on the line went out before the loop was closed.
  sim::line::advance(*line, sim::line::Clock::now());
  line->loopback = on != 0;
  return 0;
}

int ftsim_line_pacing(std::size_t index, int on) {
  Line *line = line_at(index);
  if (line == nullptr) return -1;
  sim::line::retune(*line, [on](Line &l) { l.pacing = on != 0; });
  return 0;
}

int ftsim_line_pins(std::size_t index, const ftsim_pins *set, ftsim_pins *out) {
  Line *line = line_at(index);
  if (line == nullptr) return -1;
  if (set != nullptr) {
    sim::line::retune(*line, [set](Line &l) {
      const auto apply = [](bool &pin, int value) {
        if (value >= 0) pin = value != 0;
      };
      apply(l.pins.clear_to_send, set->clear_to_send);
      apply(l.pins.data_set_ready, set->data_set_ready);
      apply(l.pins.carrier_detect, set->carrier_detect);
      apply(l.pins.ring_indicator, set->ring_indicator);
    });
  }
  if (out != nullptr) {
    const sim::line::Pins &p = line->pins;
    *out = {p.clear_to_send, p.data_set_ready, p.carrier_detect,
            p.ring_indicator};
  }
  return 0;
}

int ftsim_line_state(std::size_t index, ftsim_line *out) {
  Line *line = line_at(index);
  if (line == nullptr) return -1;
  const Line &l = *line;
  *out = {};
  out->baud_rate = l.baud;
  out->data_bits = l.data_bits;
  out->stop_bits = l.stop_bits == d2xx::FT_STOP_BITS_2 ? 2 : 1;
  out->parity = l.parity;
  out->flow_control = l.flow;
  out->xon = l.xon;
  out->xoff = l.xoff;
  out->dtr = l.dtr;
  out->rts = l.rts;
  out->read_timeout_ms = l.read_ms;
  out->write_timeout_ms = l.write_ms;
  out->queued = sim::line::queued(*line);
  out->pending = sim::line::pending(*line);
  out->sending = l.sending.size();
  out->rx_purges = l.rx_purges;
  out->tx_purges = l.tx_purges;
  return 0;
}

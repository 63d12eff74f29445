#include "sim_fifo.h"

#include <algorithm>
#include <any>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstddef>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../fifoattach/d3xx.h"
#include "sim_fifo_control.h"

namespace sim::fifo {

namespace {

using Clock = std::chrono::steady_clock;

constexpr ULONG kMaxTransfer = 16u << 20;
constexpr std::uint64_t kUnbounded = std::numeric_limits<std::uint64_t>::max();
constexpr int kLoopback = 4;  // a source kind of its own, beside ftsim_source_kind

struct Source {
  int kind = FTSIM_SOURCE_NONE;
  std::vector<std::uint8_t> bytes;  // the pattern, the bytes once, or the queue
  // Counter and pattern: the stream offset sent so far; bytes and queue: the
  // index of the next byte to send.
  std::uint64_t position = 0;
};

struct Sink {
  std::uint64_t count = 0;
  std::uint32_t adler = 1;
  std::vector<std::uint8_t> last;
};

// Host-side state of one pipe, and what it moved.
struct Pipe {
  ULONG timeout_ms = d3xx::kDefaultPipeTimeoutMs;
  bool stuck = false;
  std::uint64_t moved = 0;
};

struct Channel {
  Pipe out, in;
  Source source;  // what the IN pipe sends
  Sink sink;      // what the OUT pipe received
};

struct FarEnd {
  std::array<Channel, 4> channels;
  std::uint64_t rate = 0;
  bool short_timeouts = false;
  std::optional<std::uint64_t> unplug_after;
};

using FarEnds = std::map<std::uint64_t, FarEnd>;  // by Device::key

FarEnd &far_end(const Device &device) {
  std::any &slot = state().far_end;
  auto *ends = std::any_cast<FarEnds>(&slot);
  if (ends == nullptr) ends = &slot.emplace<FarEnds>();
  return (*ends)[device.key];
}

// The channels and directions the chip configuration has.
struct Layout {
  unsigned channels;
  bool out, in;
};

Layout layout() {
  static constexpr Layout kByChannelConfig[] = {
      {4, true, true}, {2, true, true}, {1, true, true}, {1, true, false},
      {1, false, true}};
  const std::uint8_t config =
      state().config[offsetof(d3xx::FT_60XCONFIGURATION, ChannelConfig)];
  return config < std::size(kByChannelConfig) ? kByChannelConfig[config]
                                              : Layout{0, false, false};
}

struct Found {
  Channel *channel;
  Pipe *pipe;
  bool in;
};

std::optional<Found> find_pipe(FarEnd &end, UCHAR id) {
  const bool in = (id & 0x80) != 0;
  const unsigned channel = (id & 0x7Fu) - 1u;  // 0x02 and 0x82 are channel 1
  const Layout l = layout();
  if (channel < 1 || channel > l.channels || !(in ? l.in : l.out)) return {};
  Channel &c = end.channels[channel - 1];
  return Found{&c, in ? &c.in : &c.out, in};
}

// Bytes [position, position + n) of the stream of 32-bit little-endian words
// 0, 1, 2, ... (wrapping at 2^32).
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the counter's words are stored in host order");
void fill_counter(std::uint8_t *out, std::size_t n, std::uint64_t position) {
  auto word = static_cast<std::uint32_t>(position / 4);
  std::size_t byte = position % 4;
  if (byte != 0) {  // the rest of the word begun by the last transfer
    for (; byte < 4 && n > 0; ++byte, --n) *out++ = static_cast<std::uint8_t>(word >> (8 * byte));
    ++word;
  }
  // Sixteen words per round in four 16-byte vectors, which stay in registers
  // on any x86-64 (a single wider vector spills to the stack without AVX and
  // runs at a third of the speed); stores are unaligned, as the caller's
  // buffer may be.
  using Words = std::uint32_t __attribute__((vector_size(16)));
  Words a = {word, word + 1, word + 2, word + 3};
  Words b = a + 4, c = a + 8, d = a + 12;
  const Words step = {16, 16, 16, 16};
  for (; n >= 4 * sizeof a; n -= 4 * sizeof a, out += 4 * sizeof a) {
    std::memcpy(out, &a, sizeof a);
    std::memcpy(out + sizeof a, &b, sizeof a);
    std::memcpy(out + 2 * sizeof a, &c, sizeof a);
    std::memcpy(out + 3 * sizeof a, &d, sizeof a);
    a += step;
    b += step;
    c += step;
    d += step;
  }
  word = a[0];
  for (; n >= 4; n -= 4, out += 4, ++word) std::memcpy(out, &word, 4);
  for (byte = 0; n > 0; --n, ++byte) *out++ = static_cast<std::uint8_t>(word >> (8 * byte));
}

// `n` bytes of the endless repetition of `pattern`, from stream offset
// `position`.
void fill_pattern(std::uint8_t *out, std::size_t n,
                  const std::vector<std::uint8_t> &pattern, std::uint64_t position) {
  const std::size_t size = pattern.size();
  const std::size_t phase = position % size;
  std::size_t done = std::min(n, size - phase);
  std::memcpy(out, pattern.data() + phase, done);
  const std::size_t wrap = std::min(n - done, phase);
  std::memcpy(out + done, pattern.data(), wrap);
  done += wrap;
  // out[0, done) is now a whole period (or all of it): the rest repeats it,
  // copied from the buffer itself in doubling blocks, each a whole number of
  // periods long.
  while (done < n) {
    const std::size_t block = std::min(done, n - done);
    std::memcpy(out + done, out, block);
    done += block;
  }
}

// How many bytes the far end has for an IN pipe (or takes from an OUT pipe)
// without waiting.
std::uint64_t ready(const Channel &channel, bool in) {
  if (!in) return kUnbounded;
  const Source &s = channel.source;
  switch (s.kind) {
    case FTSIM_SOURCE_COUNTER:
    case FTSIM_SOURCE_PATTERN:
      return kUnbounded;
    case FTSIM_SOURCE_BYTES:
    case kLoopback:
      return s.bytes.size() - s.position;
    default:
      return 0;
  }
}

std::uint32_t adler32(std::uint32_t adler, const std::uint8_t *p, std::size_t n) {
  constexpr std::uint32_t kBase = 65521;
  // 5552 bytes is the longest run whose sums cannot overflow 32 bits.
  constexpr std::size_t kRun = 5552;
  std::uint32_t a = adler & 0xFFFF, b = adler >> 16;
  while (n > 0) {
    std::size_t run = std::min(n, kRun);
    n -= run;
    for (; run > 0; --run) {
      a += *p++;
      b += a;
    }
    a %= kBase;
    b %= kBase;
  }
  return b << 16 | a;
}

void receive(Channel &channel, const std::uint8_t *data, std::size_t n) {
  Sink &sink = channel.sink;
  sink.count += n;
  sink.adler = adler32(sink.adler, data, n);
  const std::size_t keep = std::min(n, kFtsimSinkLast);
  sink.last.insert(sink.last.end(), data + n - keep, data + n);
  if (sink.last.size() > kFtsimSinkLast) {
    sink.last.erase(sink.last.begin(),
                    sink.last.end() - static_cast<std::ptrdiff_t>(kFtsimSinkLast));
  }
  Source &queue = channel.source;
  if (queue.kind == kLoopback) queue.bytes.insert(queue.bytes.end(), data, data + n);
}

void send(Channel &channel, std::uint8_t *out, std::size_t n) {
  Source &s = channel.source;
  if (s.kind == FTSIM_SOURCE_COUNTER) {
    fill_counter(out, n, s.position);
  } else if (s.kind == FTSIM_SOURCE_PATTERN) {
    fill_pattern(out, n, s.bytes, s.position);
  } else {
    std::memcpy(out, s.bytes.data() + s.position, n);
  }
  s.position += n;
  if (s.kind == kLoopback && s.position * 2 >= s.bytes.size()) {
    // Most of the queue is sent: drop that part, so that a steady stream
    // keeps the queue short without moving bytes on every read.
    s.bytes.erase(s.bytes.begin(), s.bytes.begin() + static_cast<std::ptrdiff_t>(s.position));
    s.position = 0;
  }
}

void unplug(std::uint64_t key) {
  auto &devices = state().devices;
  const auto it = std::find_if(devices.begin(), devices.end(),
                               [key](const Device &d) { return d.key == key; });
  if (it == devices.end()) return;
  far_end(*it).unplug_after.reset();
  devices.erase(it);
}

// Rate-limited transfers: bytes allowed `t` after `start`, and when `bytes`
// are allowed.
std::uint64_t allowed(std::uint64_t rate, Clock::duration since_start) {
  if (rate == 0) return kUnbounded;
  const double bytes =
      std::chrono::duration<double>(since_start).count() * static_cast<double>(rate);
  // Past 2^64 the conversion would be undefined; no transfer is that long.
  return bytes < 0x1p63 ? static_cast<std::uint64_t>(bytes) : kUnbounded;
}

Clock::duration time_for(std::uint64_t bytes, std::uint64_t rate) {
  const std::chrono::duration<double> seconds(static_cast<double>(bytes) /
                                              static_cast<double>(rate));
  return std::chrono::duration_cast<Clock::duration>(seconds) + std::chrono::microseconds(1);
}

}  // namespace

std::string pipe_id(UCHAR pipe) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", static_cast<unsigned>(pipe));
  return text;
}

FT_STATUS transfer(Call &call, Way way, FT_HANDLE handle, UCHAR id, UCHAR *buffer,
                   ULONG count, ULONG *moved, DWORD timeout_ms) {
  if (moved != nullptr) *moved = 0;
  const bool in = way == Way::in;
  Device *device = device_of_handle(handle);
  FarEnd *end = device != nullptr ? &far_end(*device) : nullptr;
  const std::optional<Found> found = end != nullptr ? find_pipe(*end, id) : std::nullopt;
  Pipe *pipe = found && found->in == in ? found->pipe : nullptr;
  const std::string stuck = "pipe " + pipe_id(id) + " not aborted after a timeout";

  if (call.injected()) {
    if (pipe != nullptr && pipe->stuck) call.misuse(stuck.c_str());
    const FT_STATUS status = call.end_injected();
    // A timeout, even an injected one, leaves the pipe to be aborted.
    if (pipe != nullptr && status == d3xx::FT_TIMEOUT) pipe->stuck = true;
    return status;
  }
  if (!is_open(handle)) return call.end(kInvalidHandle);
  if (device == nullptr) return call.end(d3xx::FT_DEVICE_NOT_CONNECTED);
  const char *wrong = !found                        ? "no such pipe"
                      : pipe == nullptr             ? (in ? "not an IN pipe" : "not an OUT pipe")
                      : count == 0 || count > kMaxTransfer ? "count not in 1..16777216"
                      : buffer == nullptr           ? "null buffer"
                      : moved == nullptr            ? "null moved"
                                                    : nullptr;
  if (wrong != nullptr) {
    call.misuse(wrong);
    return call.end(kInvalidParameter);
  }

  const ULONG limit_ms = timeout_ms != 0 ? timeout_ms : pipe->timeout_ms;
  const bool forever = limit_ms == 0;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + std::chrono::milliseconds(limit_ms);
  if (pipe->stuck) {
    call.misuse(stuck.c_str());
    // Waiting forever would hang the caller: the misuse is recorded instead.
    if (!forever) std::this_thread::sleep_until(deadline);
    return call.end(d3xx::FT_TIMEOUT);
  }

  Channel &channel = *found->channel;
  std::uint64_t done = 0;
  const auto timed_out = [&] {
    *moved = static_cast<ULONG>(done);
    if (end->short_timeouts) return call.end(FT_OK);
    pipe->stuck = true;
    return call.end(d3xx::FT_TIMEOUT);
  };
  for (;;) {
    Clock::time_point now = Clock::now();
    const bool late = !forever && now >= deadline;
    if (late) now = deadline;  // what the rate allowed by the timeout, not later
    std::uint64_t n = count - done;
    if (end->unplug_after) n = std::min(n, *end->unplug_after);
    const std::uint64_t allowance = allowed(end->rate, now - start);
    n = std::min({n, allowance > done ? allowance - done : 0, ready(channel, in)});
    if (n > 0) {
      if (in) send(channel, buffer + done, n);
      else receive(channel, buffer + done, n);
      done += n;
      pipe->moved += n;
      if (end->unplug_after) *end->unplug_after -= n;
    }
    if (end->unplug_after && *end->unplug_after == 0) {
      *moved = static_cast<ULONG>(done);
      unplug(device->key);
      return call.end(done == count ? FT_OK : d3xx::FT_DEVICE_NOT_CONNECTED);
    }
    if (done == count) {
      *moved = count;
      return call.end(FT_OK);
    }
    if (late) return timed_out();
    const std::uint64_t more = ready(channel, in);
    if (more == 0) {
      // Nothing can arrive while this call waits (the simulator runs on the
      // caller's thread).
      if (forever) {
        call.misuse("would wait forever");
        return timed_out();
      }
      std::this_thread::sleep_until(deadline);
      continue;
    }
    // Only the rate holds the transfer back: sleep until it allows the rest.
    std::uint64_t rest = std::min(count - done, more);
    if (end->unplug_after) rest = std::min(rest, *end->unplug_after);
    Clock::time_point wake = start + time_for(done + rest, end->rate);
    if (!forever) wake = std::min(wake, deadline);
    std::this_thread::sleep_until(wake);
  }
}

FT_STATUS control(Call &call, Control what, FT_HANDLE handle, UCHAR id, ULONG ms) {
  if (call.injected()) return call.end_injected();
  if (!is_open(handle)) return call.end(kInvalidHandle);
  Device *device = device_of_handle(handle);
  if (device == nullptr) return call.end(d3xx::FT_DEVICE_NOT_CONNECTED);
  const std::optional<Found> found = find_pipe(far_end(*device), id);
  if (!found) {
    call.misuse("no such pipe");
    return call.end(kInvalidParameter);
  }
  switch (what) {
    case Control::set_timeout:
      found->pipe->timeout_ms = ms;
      break;
    case Control::abort:
      found->pipe->stuck = false;
      break;
    case Control::flush:
      // Only the loopback queue is buffered; a generated stream keeps its place.
      if (found->in && found->channel->source.kind == kLoopback) {
        found->channel->source.bytes.clear();
        found->channel->source.position = 0;
      }
      break;
  }
  return call.end(FT_OK);
}

void created(const Device &device) {
  for (Channel &c : far_end(device).channels) {
    for (Pipe *p : {&c.out, &c.in}) {
      p->timeout_ms = d3xx::kDefaultPipeTimeoutMs;
      p->stuck = false;
    }
  }
}

namespace {

int rejected(const std::string &why) {
  state().last_error = why;
  return -1;
}

FarEnd *far_end_at(std::size_t index) {
  Device *device = device_at(index);
  if (device == nullptr) {
    rejected("no device at that index");
    return nullptr;
  }
  return &far_end(*device);
}

// The channel, when the configuration gives it the pipe asked for.
Channel *channel_at(std::size_t index, unsigned channel, Way way) {
  FarEnd *end = far_end_at(index);
  if (end == nullptr) return nullptr;
  const Layout l = layout();
  const bool in = way == Way::in;
  if (channel < 1 || channel > 4) {
    rejected("the channel is 1 to 4");
    return nullptr;
  }
  if (channel > l.channels || !(in ? l.in : l.out)) {
    rejected("channel " + std::to_string(channel) + " has no " + (in ? "IN" : "OUT") +
             " pipe in this chip configuration");
    return nullptr;
  }
  return &end->channels[channel - 1];
}

}  // namespace

}  // namespace sim::fifo

using sim::fifo::Way;

int ftsim_fifo_source(std::size_t index, unsigned channel, int kind,
                      const std::uint8_t *bytes, std::size_t size) {
  sim::fifo::Channel *c = sim::fifo::channel_at(index, channel, Way::in);
  if (c == nullptr) return -1;
  if (kind < FTSIM_SOURCE_NONE || kind > FTSIM_SOURCE_BYTES) {
    return sim::fifo::rejected("no such source kind");
  }
  if (kind == FTSIM_SOURCE_PATTERN && size == 0) {
    return sim::fifo::rejected("a pattern needs at least one byte");
  }
  sim::fifo::Source source;
  source.kind = kind;
  if (kind == FTSIM_SOURCE_PATTERN || kind == FTSIM_SOURCE_BYTES) {
    source.bytes.assign(bytes, bytes + size);
  }
  c->source = std::move(source);
  return 0;
}

int ftsim_fifo_loopback(std::size_t index, unsigned channel, int on) {
  sim::fifo::Channel *c = sim::fifo::channel_at(index, channel, Way::in);
  if (c == nullptr || sim::fifo::channel_at(index, channel, Way::out) == nullptr) return -1;
  c->source = sim::fifo::Source{};
  if (on != 0) c->source.kind = sim::fifo::kLoopback;
  return 0;
}

int ftsim_fifo_sink(std::size_t index, unsigned channel, ftsim_sink *out) {
  const sim::fifo::Channel *c = sim::fifo::channel_at(index, channel, Way::out);
  if (c == nullptr) return -1;
  out->count = c->sink.count;
  out->checksum = c->sink.adler;
  out->last_size = c->sink.last.size();
  std::copy(c->sink.last.begin(), c->sink.last.end(), out->last);
  return 0;
}

int ftsim_fifo_rate(std::size_t index, std::uint64_t bytes_per_s) {
  sim::fifo::FarEnd *end = sim::fifo::far_end_at(index);
  if (end == nullptr) return -1;
  end->rate = bytes_per_s;
  return 0;
}

int ftsim_fifo_timeouts(std::size_t index, int short_transfers) {
  sim::fifo::FarEnd *end = sim::fifo::far_end_at(index);
  if (end == nullptr) return -1;
  end->short_timeouts = short_transfers != 0;
  return 0;
}

int ftsim_fifo_unplug(std::size_t index, std::uint64_t after_bytes) {
  sim::fifo::FarEnd *end = sim::fifo::far_end_at(index);
  if (end == nullptr) return -1;
  if (after_bytes == 0) sim::fifo::unplug(sim::state().devices[index].key);
  else end->unplug_after = after_bytes;
  return 0;
}

long ftsim_fifo_pipes(std::size_t index, ftsim_pipe *out, std::size_t capacity) {
  sim::fifo::FarEnd *end = sim::fifo::far_end_at(index);
  if (end == nullptr) return -1;
  const sim::fifo::Layout l = sim::fifo::layout();
  std::size_t n = 0;
  for (const bool in : {false, true}) {
    if (!(in ? l.in : l.out)) continue;
    for (unsigned c = 0; c < l.channels; ++c, ++n) {
      if (n >= capacity) continue;
      const sim::fifo::Channel &channel = end->channels[c];
      const sim::fifo::Pipe &pipe = in ? channel.in : channel.out;
      const bool queue = in && channel.source.kind == sim::fifo::kLoopback;
      out[n] = ftsim_pipe{static_cast<std::uint8_t>((in ? 0x82 : 0x02) + c), pipe.timeout_ms,
                          pipe.stuck ? 1 : 0,
                          queue ? channel.source.bytes.size() - channel.source.position : 0,
                          pipe.moved};
    }
  }
  return static_cast<long>(n);
}

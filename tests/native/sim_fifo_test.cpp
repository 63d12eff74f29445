// The FIFO far end of the simulated D3XX library, through its pipe functions
// and control interface, loaded as fifoport loads it.
//   sim_fifo_test MODULE_DIR
#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "../../fifoattach/d3xx.h"
#include "../../simdriver/sim_fifo_control.h"
#include "check.h"

using namespace check;

namespace {

// The library's driver and control functions.
struct Lib {
  d3xx::Api api{};
  d3xx::PipeApi pipes{};
  void (*reset)() = nullptr;
  long (*add)(const ftsim_device *) = nullptr;
  int (*remove)(std::size_t) = nullptr;
  int (*fail)(const char *, std::uint32_t, std::uint32_t) = nullptr;
  int (*set_config)(const void *, std::size_t) = nullptr;
  int (*get_config)(void *, std::size_t) = nullptr;
  std::size_t (*log_size)() = nullptr;
  const char *(*log_line)(std::size_t) = nullptr;
  int (*log_misuse)(std::size_t) = nullptr;
  int (*source)(std::size_t, unsigned, int, const std::uint8_t *, std::size_t) = nullptr;
  int (*loopback)(std::size_t, unsigned, int) = nullptr;
  int (*sink)(std::size_t, unsigned, ftsim_sink *) = nullptr;
  int (*rate)(std::size_t, std::uint64_t) = nullptr;
  int (*timeouts)(std::size_t, int) = nullptr;
  int (*unplug)(std::size_t, std::uint64_t) = nullptr;
  long (*pipe_list)(std::size_t, ftsim_pipe *, std::size_t) = nullptr;

  explicit Lib(const std::string &path) {
    void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
      std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
      std::exit(2);
    }
#define BIND(slot, name) bind(lib, #name, slot)
    BIND(api.FT_CreateDeviceInfoList, FT_CreateDeviceInfoList);
    BIND(api.FT_Create, FT_Create);
    BIND(api.FT_Close, FT_Close);
    BIND(pipes.FT_WritePipe, FT_WritePipe);
    BIND(pipes.FT_ReadPipe, FT_ReadPipe);
    BIND(pipes.FT_SetPipeTimeout, FT_SetPipeTimeout);
    BIND(pipes.FT_AbortPipe, FT_AbortPipe);
    BIND(pipes.FT_FlushPipe, FT_FlushPipe);
    BIND(reset, ftsim_reset);
    BIND(add, ftsim_add_device);
    BIND(remove, ftsim_remove_device);
    BIND(fail, ftsim_fail);
    BIND(set_config, ftsim_set_config);
    BIND(get_config, ftsim_get_config);
    BIND(log_size, ftsim_log_size);
    BIND(log_line, ftsim_log_line);
    BIND(log_misuse, ftsim_log_misuse);
    BIND(source, ftsim_fifo_source);
    BIND(loopback, ftsim_fifo_loopback);
    BIND(sink, ftsim_fifo_sink);
    BIND(rate, ftsim_fifo_rate);
    BIND(timeouts, ftsim_fifo_timeouts);
    BIND(unplug, ftsim_fifo_unplug);
    BIND(pipe_list, ftsim_fifo_pipes);
#undef BIND
  }
};

const Lib *lib = nullptr;

struct Result {
  FT_STATUS status;
  ULONG moved;
  double ms;  // how long the call took
};

// One simulated FT60x, opened: the driver reset, the chip configured with
// `channel_config`, device 0 added and opened as handle 0x1000.
struct Rig {
  FT_HANDLE h = nullptr;

  explicit Rig(int channel_config = 0) {
    lib->reset();
    d3xx::FT_60XCONFIGURATION config{};
    lib->get_config(&config, sizeof config);
    config.ChannelConfig = static_cast<UCHAR>(channel_config);
    lib->set_config(&config, sizeof config);
    ftsim_device d{};
    d.description = "FIFO";
    d.description_len = 4;
    lib->add(&d);
    open();
  }
  void open() { lib->api.FT_Create(nullptr, d3xx::FT_OPEN_BY_INDEX, &h); }
  void close() { lib->api.FT_Close(h); }

  Result read(UCHAR pipe, std::uint8_t *into, ULONG count, DWORD timeout_ms) const {
    return timed([&](ULONG *moved) {
      return lib->pipes.FT_ReadPipe(h, pipe, into, count, moved, timeout_ms);
    });
  }
  Result read(UCHAR pipe, std::vector<std::uint8_t> &into, DWORD timeout_ms) const {
    return read(pipe, into.data(), static_cast<ULONG>(into.size()), timeout_ms);
  }
  Result write(UCHAR pipe, std::vector<std::uint8_t> bytes, DWORD timeout_ms) const {
    return timed([&](ULONG *moved) {
      return lib->pipes.FT_WritePipe(h, pipe, bytes.data(), static_cast<ULONG>(bytes.size()),
                                     moved, timeout_ms);
    });
  }
  static Result timed(const std::function<FT_STATUS(ULONG *)> &call) {
    ULONG moved = 0xDEAD;
    const auto start = std::chrono::steady_clock::now();
    const FT_STATUS status = call(&moved);
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - start;
    return {status, moved, took.count()};
  }
  static void source(int kind, const std::vector<std::uint8_t> &bytes = {}, unsigned c = 1) {
    expect(lib->source(0, c, kind, bytes.data(), bytes.size()) == 0, "source accepted");
  }
  static std::vector<ftsim_pipe> pipes() {
    std::vector<ftsim_pipe> list(8);
    list.resize(static_cast<std::size_t>(lib->pipe_list(0, list.data(), list.size())));
    return list;
  }
  static ftsim_pipe pipe(UCHAR id) {
    for (const ftsim_pipe &p : pipes()) {
      if (p.pipe == id) return p;
    }
    return ftsim_pipe{};
  }
  static std::string last_log() { return lib->log_line(lib->log_size() - 1); }
  static std::vector<std::string> misuse() {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < lib->log_size(); ++i) {
      if (lib->log_misuse(i)) lines.emplace_back(lib->log_line(i));
    }
    return lines;
  }
};

// Byte `q` of the counter stream, computed the plain way.
std::uint8_t counter_byte(std::uint64_t q) {
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(q / 4) >> (8 * (q % 4)));
}

std::uint32_t adler32_reference(const std::vector<std::uint8_t> &bytes) {
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : bytes) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

std::vector<std::uint8_t> some_bytes(std::size_t n, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(n);
  for (auto &b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(seed >> 16);
  }
  return bytes;
}

void sources() {
  // The stream continues byte by byte across reads of any size, into buffers
  // at any alignment, each channel on its own.
  const std::vector<ULONG> sizes = {1, 3, 4, 5, 2, 7, 64, 33, 4099, 100000, 31, 1 << 20};
  for (const unsigned channel : {1u, 4u}) {
    Rig rig;
    Rig::source(FTSIM_SOURCE_COUNTER, {}, channel);
    const UCHAR in = static_cast<UCHAR>(0x81 + channel);
    std::uint64_t position = 0;
    bool same = true, all_ok = true;
    for (std::size_t k = 0; k < sizes.size(); ++k) {
      std::vector<std::uint8_t> buffer(sizes[k] + 8);
      const std::size_t offset = k % 8;
      const Result r = rig.read(in, buffer.data() + offset, sizes[k], 1000);
      all_ok = all_ok && r.status == FT_OK && r.moved == sizes[k];
      for (ULONG i = 0; i < sizes[k]; ++i) same = same && buffer[offset + i] == counter_byte(position + i);
      position += sizes[k];
    }
    const std::string name = "counter on channel " + std::to_string(channel);
    expect(all_ok, name + ": every read complete");
    expect(same, name + ": continuous across odd-sized reads");
  }

  // Given bytes: repeated with the position carried on, or sent once.
  struct Case {
    const char *name;
    int kind;
    std::vector<std::uint8_t> given;
    std::vector<ULONG> reads;
    std::vector<std::uint8_t> expected;  // all reads, concatenated
    std::vector<FT_STATUS> statuses;
  };
  const std::vector<Case> cases = {
      {"pattern of one byte", FTSIM_SOURCE_PATTERN, {7}, {3, 70000}, std::vector<std::uint8_t>(70003, 7), {0, 0}},
      {"pattern continues mid-period", FTSIM_SOURCE_PATTERN, {1, 2, 3}, {2, 2, 7},
       {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2}, {0, 0, 0}},
      {"bytes once, then nothing", FTSIM_SOURCE_BYTES, {9, 8, 7, 6, 5}, {2, 2, 2, 1},
       {9, 8, 7, 6, 5}, {0, 0, d3xx::FT_TIMEOUT, d3xx::FT_TIMEOUT}},
      {"no source", FTSIM_SOURCE_NONE, {}, {4}, {}, {d3xx::FT_TIMEOUT}},
  };
  for (const Case &c : cases) {
    Rig rig;
    Rig::source(c.kind, c.given);
    std::vector<std::uint8_t> got;
    std::vector<FT_STATUS> statuses;
    for (const ULONG n : c.reads) {
      std::vector<std::uint8_t> buffer(n);
      const Result r = rig.read(d3xx::kInPipe1, buffer, 10);
      got.insert(got.end(), buffer.begin(), buffer.begin() + r.moved);
      statuses.push_back(r.status);
      lib->pipes.FT_AbortPipe(rig.h, d3xx::kInPipe1);
    }
    expect(got == c.expected, std::string(c.name) + ": bytes");
    expect(statuses == c.statuses, std::string(c.name) + ": statuses");
  }

  // A 16 MiB pattern read is the same bytes, period after period.
  Rig rig;
  const std::vector<std::uint8_t> period = some_bytes(1000, 5);
  Rig::source(FTSIM_SOURCE_PATTERN, period);
  std::vector<std::uint8_t> big(16u << 20);
  const Result r = rig.read(d3xx::kInPipe1, big, 1000);
  bool same = r.status == FT_OK && r.moved == big.size();
  for (std::size_t i = 0; i < big.size() && same; ++i) same = big[i] == period[i % period.size()];
  expect(same, "16 MiB pattern read");
}

void sink() {
  // Run lengths around the Adler-32 deferred-modulo run of 5552 bytes, and
  // 0xFF bytes (the largest sums).
  struct Case {
    const char *name;
    std::vector<std::size_t> writes;
    bool all_ff;
  };
  const std::vector<Case> cases = {
      {"small writes", {1, 2, 3}, false},
      {"around a run", {5551, 1, 5552, 5553}, true},
      {"large writes", {70000, 3, 1 << 20}, false},
      {"large 0xFF write", {300000}, true},
  };
  for (const Case &c : cases) {
    Rig rig;
    std::vector<std::uint8_t> all;
    bool ok = true;
    for (std::size_t k = 0; k < c.writes.size(); ++k) {
      std::vector<std::uint8_t> bytes =
          c.all_ff ? std::vector<std::uint8_t>(c.writes[k], 0xFF)
                   : some_bytes(c.writes[k], static_cast<std::uint32_t>(k));
      all.insert(all.end(), bytes.begin(), bytes.end());
      const Result r = rig.write(d3xx::kOutPipe1, bytes, 1000);
      ok = ok && r.status == FT_OK && r.moved == bytes.size();
    }
    ftsim_sink s{};
    lib->sink(0, 1, &s);
    const std::size_t last = all.size() < kFtsimSinkLast ? all.size() : kFtsimSinkLast;
    expect(ok, std::string(c.name) + ": writes complete");
    expect_eq(s.count, std::uint64_t{all.size()}, std::string(c.name) + ": count");
    expect_eq(s.checksum, adler32_reference(all), std::string(c.name) + ": Adler-32");
    expect(s.last_size == last && std::equal(s.last, s.last + last, all.end() - static_cast<long>(last)),
           std::string(c.name) + ": last bytes");
  }
}

void loopback() {
  Rig rig;
  expect(lib->loopback(0, 1, 1) == 0 && lib->loopback(0, 2, 1) == 0, "loopback accepted");
  const std::vector<std::uint8_t> sent = some_bytes(1000, 1);
  rig.write(0x02, sent, 100);
  rig.write(0x03, {42}, 100);
  expect_eq(Rig::pipe(0x82).queued, std::uint64_t{1000}, "loopback: queued on channel 1");
  expect_eq(Rig::pipe(0x83).queued, std::uint64_t{1}, "loopback: channel 2 apart");

  std::vector<std::uint8_t> first(600), second(600);
  const Result a = rig.read(0x82, first, 100);
  const Result b = rig.read(0x82, second, 20);
  expect(a.status == FT_OK && a.moved == 600 && b.status == d3xx::FT_TIMEOUT && b.moved == 400,
         "loopback: a read of more than queued times out with what was queued");
  first.insert(first.end(), second.begin(), second.begin() + 400);
  expect(first == sent, "loopback: bytes in order");
  ftsim_sink s{};
  lib->sink(0, 1, &s);
  expect_eq(s.count, std::uint64_t{1000}, "loopback: the sink still counts");

  lib->pipes.FT_AbortPipe(rig.h, 0x82);
  rig.write(0x02, {1, 2, 3}, 100);
  expect_eq(lib->pipes.FT_FlushPipe(rig.h, 0x82), FT_OK, "loopback: flush");
  expect_eq(Rig::pipe(0x82).queued, std::uint64_t{0}, "loopback: flush drops the queue");
  std::vector<std::uint8_t> one(1);
  expect_eq(rig.read(0x82, one, 10).moved, ULONG{0}, "loopback: nothing after the flush");
  lib->pipes.FT_AbortPipe(rig.h, 0x82);

  // Flushing a generated stream keeps its position; aborting drops nothing.
  Rig::source(FTSIM_SOURCE_COUNTER);
  std::vector<std::uint8_t> bytes(5);
  rig.read(0x82, bytes, 100);
  lib->pipes.FT_FlushPipe(rig.h, 0x82);
  lib->pipes.FT_AbortPipe(rig.h, 0x82);
  rig.read(0x82, bytes, 100);
  expect(bytes[0] == counter_byte(5) && bytes[4] == counter_byte(9),
         "counter: flush and abort keep the position");
}

void timeouts_and_stuck_pipes() {
  struct Case {
    const char *mode;
    int short_transfers;
    FT_STATUS status;
    bool stuck;
  };
  const Case cases[] = {{"status", 0, d3xx::FT_TIMEOUT, true}, {"short", 1, FT_OK, false}};
  for (const Case &c : cases) {
    const std::string name = std::string("timeouts '") + c.mode + "'";
    Rig rig;
    lib->timeouts(0, c.short_transfers);
    Rig::source(FTSIM_SOURCE_BYTES, {1, 2, 3});
    std::vector<std::uint8_t> buffer(16);
    const Result r = rig.read(d3xx::kInPipe1, buffer, 30);
    expect(r.status == c.status && r.moved == 3, name + ": ends with what was moved");
    expect(r.ms >= 29 && r.ms < 1000, name + ": at the timeout");
    expect_eq(Rig::pipe(d3xx::kInPipe1).stuck, c.stuck ? 1 : 0, name + ": stuck");

    // The next transfer on a stuck pipe waits its timeout and moves nothing.
    Rig::source(FTSIM_SOURCE_COUNTER);
    const Result next = rig.read(d3xx::kInPipe1, buffer, 20);
    if (c.stuck) {
      expect(next.status == d3xx::FT_TIMEOUT && next.moved == 0 && next.ms >= 19,
             name + ": stuck pipe times out, moving nothing");
      expect(Rig::misuse() == std::vector<std::string>{"FT_ReadPipe(0x1000,0x82,16,20)=19 pipe "
                                                       "0x82 not aborted after a timeout"},
             name + ": recorded as misuse");
      expect_eq(lib->pipes.FT_AbortPipe(rig.h, d3xx::kInPipe1), FT_OK, name + ": abort");
      const Result after = rig.read(d3xx::kInPipe1, buffer, 20);
      expect(after.status == FT_OK && after.moved == 16 && buffer[0] == 0,
             name + ": aborted pipe reads again, the source untouched");
    } else {
      expect(next.status == FT_OK && next.moved == 16, name + ": next read goes on");
      expect(Rig::misuse().empty(), name + ": no misuse");
    }
  }

  // Timeout 0 is the pipe's own; both 0 would never end: recorded, not hung.
  Rig rig;
  std::vector<std::uint8_t> buffer(16);
  expect_eq(lib->pipes.FT_SetPipeTimeout(rig.h, d3xx::kInPipe1, 30), FT_OK, "set pipe timeout");
  expect_text(Rig::last_log(), "FT_SetPipeTimeout(0x1000,0x82,30)=0", "set pipe timeout: logged");
  const Result own = rig.read(d3xx::kInPipe1, buffer, 0);
  expect(own.status == d3xx::FT_TIMEOUT && own.ms >= 29 && own.ms < 1000,
         "timeout 0: the pipe's own timeout");
  lib->pipes.FT_AbortPipe(rig.h, d3xx::kInPipe1);
  lib->pipes.FT_SetPipeTimeout(rig.h, d3xx::kInPipe1, 0);
  const Result never = rig.read(d3xx::kInPipe1, buffer, 0);
  expect(never.status == d3xx::FT_TIMEOUT && never.ms < 1000, "no timeout at all: ends at once");
  expect_text(Rig::misuse().back(), "FT_ReadPipe(0x1000,0x82,16,0)=19 would wait forever",
              "no timeout at all: recorded as misuse");

  // Every FT_Create starts the pipes afresh; the far end stays.
  lib->pipes.FT_AbortPipe(rig.h, d3xx::kInPipe1);
  Rig::source(FTSIM_SOURCE_COUNTER);
  rig.read(d3xx::kInPipe1, buffer.data(), 3, 100);
  lib->pipes.FT_SetPipeTimeout(rig.h, d3xx::kOutPipe1, 7);
  lib->fail("FT_ReadPipe", d3xx::FT_TIMEOUT, 0);
  rig.read(d3xx::kInPipe1, buffer.data(), 3, 100);
  lib->fail("FT_ReadPipe", FT_OK, 0);
  expect_eq(Rig::pipe(d3xx::kInPipe1).stuck, 1, "injected timeout: pipe stuck");
  rig.close();
  rig.open();
  bool fresh = true;
  for (const ftsim_pipe &p : Rig::pipes()) fresh = fresh && p.timeout_ms == 5000 && !p.stuck;
  expect(fresh, "FT_Create: every pipe at 5000 ms, none stuck");
  rig.read(d3xx::kInPipe1, buffer.data(), 1, 100);
  expect_eq(buffer[0], counter_byte(3), "FT_Create: the source keeps its position");
}

void pipes_per_configuration() {
  struct Case {
    int channel_config;
    std::vector<UCHAR> pipes;
  };
  const std::vector<Case> cases = {
      {0, {0x02, 0x03, 0x04, 0x05, 0x82, 0x83, 0x84, 0x85}},
      {1, {0x02, 0x03, 0x82, 0x83}},
      {2, {0x02, 0x82}},
      {3, {0x02}},
      {4, {0x82}},
      {5, {}},
  };
  const std::vector<UCHAR> probes = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x7F, 0x80,
                                     0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0xFF};
  for (const Case &c : cases) {
    const std::string name = "ChannelConfig " + std::to_string(c.channel_config);
    Rig rig(c.channel_config);
    std::vector<UCHAR> listed;
    for (const ftsim_pipe &p : Rig::pipes()) listed.push_back(p.pipe);
    expect(listed == c.pipes, name + ": pipes listed");
    std::vector<UCHAR> accepted;
    for (const UCHAR id : probes) {
      if (lib->pipes.FT_SetPipeTimeout(rig.h, id, 100) == FT_OK) accepted.push_back(id);
    }
    expect(accepted == c.pipes, name + ": pipes the driver accepts");
    expect_eq(Rig::misuse().size(), probes.size() - c.pipes.size(), name + ": others are misuse");
  }
}

void transfer_arguments() {
  struct Case {
    const char *name;
    bool read;
    UCHAR pipe;
    ULONG count;
    bool null_buffer, null_moved;
    const char *log;  // the misuse record
  };
  const Case cases[] = {
      {"unknown pipe", true, 0x86, 16, false, false, "FT_ReadPipe(0x1000,0x86,16,100)=6 no such pipe"},
      {"read from an OUT pipe", true, 0x02, 16, false, false,
       "FT_ReadPipe(0x1000,0x02,16,100)=6 not an IN pipe"},
      {"write to an IN pipe", false, 0x82, 16, false, false,
       "FT_WritePipe(0x1000,0x82,16,100)=6 not an OUT pipe"},
      {"count 0", true, 0x82, 0, false, false,
       "FT_ReadPipe(0x1000,0x82,0,100)=6 count not in 1..16777216"},
      {"count above 16 MiB", false, 0x02, (16u << 20) + 1, false, false,
       "FT_WritePipe(0x1000,0x02,16777217,100)=6 count not in 1..16777216"},
      {"null buffer", true, 0x82, 16, true, false, "FT_ReadPipe(0x1000,0x82,16,100)=6 null buffer"},
      {"null moved", false, 0x02, 16, false, true, "FT_WritePipe(0x1000,0x02,16,100)=6 null moved"},
  };
  std::vector<std::uint8_t> buffer((16u << 20) + 1);
  for (const Case &c : cases) {
    Rig rig(1);
    Rig::source(FTSIM_SOURCE_COUNTER);
    ULONG moved = 77;
    UCHAR *data = c.null_buffer ? nullptr : buffer.data();
    ULONG *answer = c.null_moved ? nullptr : &moved;
    const FT_STATUS status =
        c.read ? lib->pipes.FT_ReadPipe(rig.h, c.pipe, data, c.count, answer, 100)
               : lib->pipes.FT_WritePipe(rig.h, c.pipe, data, c.count, answer, 100);
    expect(status == d3xx::FT_INVALID_PARAMETER && (c.null_moved || moved == 0),
           std::string(c.name) + ": 6, nothing moved");
    expect(Rig::misuse() == std::vector<std::string>{c.log}, std::string(c.name) + ": misuse");
  }
  Rig rig;
  Rig::source(FTSIM_SOURCE_COUNTER);
  const Result full = rig.read(d3xx::kInPipe1, buffer.data(), 16u << 20, 1000);
  expect(full.status == FT_OK && full.moved == (16u << 20), "count of 16 MiB is fine");
  expect_text(Rig::last_log(), "FT_ReadPipe(0x1000,0x82,16777216,1000)=0", "read: logged");
  rig.write(d3xx::kOutPipe1, {1, 2}, 5000);
  expect_text(Rig::last_log(), "FT_WritePipe(0x1000,0x02,2,5000)=0", "write: logged");
  lib->pipes.FT_AbortPipe(rig.h, 0x83);
  expect_text(Rig::last_log(), "FT_AbortPipe(0x1000,0x83)=0", "abort: logged");
  lib->pipes.FT_FlushPipe(rig.h, 0x84);
  expect_text(Rig::last_log(), "FT_FlushPipe(0x1000,0x84)=0", "flush: logged");
  expect(Rig::misuse().empty(), "well-formed calls are no misuse");
}

void rate_limit() {
  Rig rig;
  lib->rate(0, 10'000'000);
  Rig::source(FTSIM_SOURCE_COUNTER);
  std::vector<std::uint8_t> buffer(1u << 20);
  const Result slow = rig.read(d3xx::kInPipe1, buffer, 50);
  expect(slow.status == d3xx::FT_TIMEOUT && slow.moved > 250'000 && slow.moved < 750'000,
         "rate: 1 MiB at 10 MB/s in 50 ms moves about 0.5 MB");
  expect(slow.ms >= 49 && slow.ms < 1000, "rate: ends at the timeout");
  bool same = true;
  for (ULONG i = 0; i < slow.moved; ++i) same = same && buffer[i] == counter_byte(i);
  expect(same, "rate: what moved is the stream's start");

  const Result done = rig.write(d3xx::kOutPipe1, std::vector<std::uint8_t>(200'000), 1000);
  expect(done.status == FT_OK && done.moved == 200'000 && done.ms >= 19 && done.ms < 1000,
         "rate: 200 kB at 10 MB/s takes about 20 ms");
  const Result cut = rig.write(d3xx::kOutPipe1, std::vector<std::uint8_t>(1u << 20), 20);
  expect(cut.status == d3xx::FT_TIMEOUT && cut.moved < (1u << 20) &&
             Rig::pipe(d3xx::kOutPipe1).stuck == 1,
         "rate: a write timing out leaves the OUT pipe stuck");
}

void unplug_and_removal() {
  // Unplug once so many more bytes moved on the device, either way.
  struct Transfer {
    bool read;
    ULONG count;
    FT_STATUS status;
    ULONG moved;
  };
  struct Case {
    const char *name;
    std::uint64_t after;
    std::vector<Transfer> transfers;
  };
  constexpr FT_STATUS kGone = d3xx::FT_DEVICE_NOT_CONNECTED;
  const std::vector<Case> cases = {
      {"mid-read", 1000, {{true, 600, FT_OK, 600}, {true, 600, kGone, 400}, {true, 1, kGone, 0}}},
      {"both ways count", 500, {{false, 300, FT_OK, 300}, {true, 300, kGone, 200}}},
      {"exactly at the end of a read", 10, {{true, 10, FT_OK, 10}, {false, 1, kGone, 0}}},
      {"now", 0, {{true, 1, kGone, 0}}},
  };
  for (const Case &c : cases) {
    Rig rig;
    Rig::source(FTSIM_SOURCE_COUNTER);
    lib->unplug(0, c.after);
    bool as_expected = true;
    for (const Transfer &t : c.transfers) {
      std::vector<std::uint8_t> buffer(t.count);
      const Result r = t.read ? rig.read(d3xx::kInPipe1, buffer, 100)
                              : rig.write(d3xx::kOutPipe1, buffer, 100);
      as_expected = as_expected && r.status == t.status && r.moved == t.moved;
    }
    DWORD devices = 9;
    lib->api.FT_CreateDeviceInfoList(&devices);
    expect(as_expected, std::string("unplug ") + c.name + ": statuses and counts");
    expect_eq(devices, DWORD{0}, std::string("unplug ") + c.name + ": the device left the table");
    expect_eq(lib->api.FT_Close(rig.h), FT_OK, std::string("unplug ") + c.name + ": closes");
  }

  // Every pipe function answers 30 on a removed device; a closed handle, 1.
  struct PipeCall {
    const char *function;
    std::function<FT_STATUS(FT_HANDLE)> call;
    bool moves;  // a transfer, answering how much it moved
  };
  std::uint8_t byte = 0;
  ULONG moved = 0;
  const std::vector<PipeCall> calls = {
      {"FT_WritePipe", [&](FT_HANDLE h) { return lib->pipes.FT_WritePipe(h, 0x02, &byte, 1, &moved, 10); }, true},
      {"FT_ReadPipe", [&](FT_HANDLE h) { return lib->pipes.FT_ReadPipe(h, 0x82, &byte, 1, &moved, 10); }, true},
      {"FT_SetPipeTimeout", [](FT_HANDLE h) { return lib->pipes.FT_SetPipeTimeout(h, 0x82, 10); }, false},
      {"FT_AbortPipe", [](FT_HANDLE h) { return lib->pipes.FT_AbortPipe(h, 0x82); }, false},
      {"FT_FlushPipe", [](FT_HANDLE h) { return lib->pipes.FT_FlushPipe(h, 0x82); }, false},
  };
  for (const auto &[function, call, moves] : calls) {
    Rig rig;
    lib->remove(0);
    expect_eq(call(rig.h), kGone, std::string(function) + ": removed device");
    rig.close();
    expect_eq(call(rig.h), FT_INVALID_HANDLE, std::string(function) + ": closed handle");
    expect_eq(Rig::misuse().size(), std::size_t{1}, std::string(function) + ": closed handle is misuse");
  }

  // An injected status: on every pipe function, on its nth call too; a
  // transfer then moves nothing.
  for (const auto &[function, call, moves] : calls) {
    for (const std::uint32_t nth : {0u, 2u}) {
      Rig rig;
      Rig::source(FTSIM_SOURCE_COUNTER);
      lib->fail(function, 4, nth);
      if (nth == 2) call(rig.h);
      moved = 55;
      const std::string name = std::string(function) + (nth ? " failing on call 2" : " failing");
      expect_eq(call(rig.h), FT_STATUS{4}, name + ": injected status");
      if (moves) expect_eq(moved, ULONG{0}, name + ": nothing moved");
      const std::string line = Rig::last_log();
      expect_text(line.substr(line.size() - 2), "=4", name + ": logged");
    }
  }
}

void reset_forgets() {
  {
    Rig rig;
    Rig::source(FTSIM_SOURCE_COUNTER);
    rig.write(d3xx::kOutPipe1, {1, 2, 3}, 100);
  }
  Rig rig;  // resets
  ftsim_sink s{};
  lib->sink(0, 1, &s);
  std::vector<std::uint8_t> buffer(4);
  expect(s.count == 0 && s.checksum == 1 && rig.read(d3xx::kInPipe1, buffer, 10).moved == 0 &&
             Rig::pipe(d3xx::kOutPipe1).moved == 0,
         "reset forgets the far end");
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sim_fifo_test MODULE_DIR\n");
    return 2;
  }
  const Lib loaded(std::string(argv[1]) + "/libd3xx_sim.so");
  lib = &loaded;
  sources();
  sink();
  loopback();
  timeouts_and_stuck_pipes();
  pipes_per_configuration();
  transfer_arguments();
  rate_limit();
  unplug_and_removal();
  reset_forgets();
  return report();
}

// The far end of the simulated D2XX driver, as uartport's tests rely on it:
// read and write timeouts, the line rate, loopback, purge, flow control,
// pins, unplugging, parameter checks and injected failures. Calls the
// driver library beside the modules directly.
//   sim_line_test MODULE_DIR
#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "../../simdriver/sim_line_control.h"
#include "../../uartattach/d2xx.h"
#include "check.h"

using namespace check;

namespace {

using Clock = std::chrono::steady_clock;
constexpr DWORD kTransmitBuffer = 512;

template <class F>
double seconds(F &&f) {
  const Clock::time_point start = Clock::now();
  f();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// libd2xx_sim.so, bound by name, with one device "Dev A" at index 0.
struct Driver {
  d2xx::DataApi data{};
  FT_STATUS (*FT_Open)(int, FT_HANDLE *) = nullptr;
  FT_STATUS (*FT_Close)(FT_HANDLE) = nullptr;
  FT_STATUS (*FT_SetBaudRate)(FT_HANDLE, ULONG) = nullptr;
  FT_STATUS (*FT_SetDataCharacteristics)(FT_HANDLE, UCHAR, UCHAR, UCHAR) = nullptr;
  void (*ftsim_reset)() = nullptr;
  long (*ftsim_add_device)(const ftsim_device *) = nullptr;
  int (*ftsim_remove_device)(std::size_t) = nullptr;
  int (*ftsim_fail)(const char *, std::uint32_t, std::uint32_t) = nullptr;
  void (*ftsim_clear_log)() = nullptr;
  std::size_t (*ftsim_log_size)() = nullptr;
  const char *(*ftsim_log_line)(std::size_t) = nullptr;
  int (*ftsim_log_misuse)(std::size_t) = nullptr;
  int (*ftsim_line_rx)(std::size_t, const void *, std::size_t, double) = nullptr;
  long (*ftsim_line_tx)(std::size_t, void *, std::size_t) = nullptr;
  int (*ftsim_line_loopback)(std::size_t, int) = nullptr;
  int (*ftsim_line_pacing)(std::size_t, int) = nullptr;
  int (*ftsim_line_pins)(std::size_t, const ftsim_pins *, ftsim_pins *) = nullptr;
  int (*ftsim_line_state)(std::size_t, ftsim_line *) = nullptr;

  explicit Driver(const std::string &dir) {
    const std::string path = dir + "/libd2xx_sim.so";
    void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
      std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
      std::exit(2);
    }
#define BIND(slot) slot = reinterpret_cast<decltype(slot)>(symbol(lib, #slot))
#define BIND_DATA(fn) data.fn = reinterpret_cast<decltype(data.fn)>(symbol(lib, #fn))
    BIND(FT_Open);
    BIND(FT_Close);
    BIND(FT_SetBaudRate);
    BIND(FT_SetDataCharacteristics);
    BIND_DATA(FT_SetTimeouts);
    BIND_DATA(FT_Read);
    BIND_DATA(FT_Write);
    BIND_DATA(FT_GetQueueStatus);
    BIND_DATA(FT_Purge);
    BIND_DATA(FT_SetFlowControl);
    BIND_DATA(FT_SetDtr);
    BIND_DATA(FT_ClrDtr);
    BIND_DATA(FT_SetRts);
    BIND_DATA(FT_ClrRts);
    BIND_DATA(FT_GetModemStatus);
    BIND(ftsim_reset);
    BIND(ftsim_add_device);
    BIND(ftsim_remove_device);
    BIND(ftsim_fail);
    BIND(ftsim_clear_log);
    BIND(ftsim_log_size);
    BIND(ftsim_log_line);
    BIND(ftsim_log_misuse);
    BIND(ftsim_line_rx);
    BIND(ftsim_line_tx);
    BIND(ftsim_line_loopback);
    BIND(ftsim_line_pacing);
    BIND(ftsim_line_pins);
    BIND(ftsim_line_state);
#undef BIND
#undef BIND_DATA
  }

  void add_device() const {
    ftsim_device d{};
    d.description = "Dev A";
    d.description_len = 5;
    ftsim_add_device(&d);
  }

  // A fresh simulator with the device open: its handle, the log empty.
  FT_HANDLE fresh() const {
    ftsim_reset();
    add_device();
    FT_HANDLE h = nullptr;
    FT_Open(0, &h);
    ftsim_clear_log();
    return h;
  }

  ftsim_line line() const {
    ftsim_line l{};
    ftsim_line_state(0, &l);
    return l;
  }
  void rx(const std::string &bytes, double delay_s = 0) const {
    ftsim_line_rx(0, bytes.data(), bytes.size(), delay_s);
  }
  std::string tx() const {
    std::string bytes(static_cast<std::size_t>(ftsim_line_tx(0, nullptr, 0)), '\0');
    ftsim_line_tx(0, bytes.data(), bytes.size());
    return bytes;
  }
  void pins(int cts, int dsr, int dcd, int ri) const {
    const ftsim_pins p{cts, dsr, dcd, ri};
    ftsim_line_pins(0, &p, nullptr);
  }
  std::string read(FT_HANDLE h, DWORD n, FT_STATUS *status = nullptr) const {
    std::string bytes(n, '\0');
    DWORD got = 0;
    const FT_STATUS s = data.FT_Read(h, bytes.data(), n, &got);
    if (status != nullptr) *status = s;
    bytes.resize(got);
    return bytes;
  }
  DWORD write(FT_HANDLE h, std::string bytes) const {
    DWORD written = 0;
    data.FT_Write(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written);
    return written;
  }
  std::string last_log() const {
    const std::size_t n = ftsim_log_size();
    return n == 0 ? "" : ftsim_log_line(n - 1);
  }
  std::vector<std::string> misuse() const {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < ftsim_log_size(); ++i) {
      if (ftsim_log_misuse(i)) lines.emplace_back(ftsim_log_line(i));
    }
    return lines;
  }
};

auto fields(const ftsim_line &l) {
  return std::make_tuple(l.baud_rate, l.data_bits, l.stop_bits, l.parity,
                         l.flow_control, l.xon, l.xoff, l.dtr, l.rts,
                         l.read_timeout_ms, l.write_timeout_ms, l.queued,
                         l.pending, l.sending, l.rx_purges, l.tx_purges);
}

// Every function on the line, called with settings other than the defaults
// so that a call which acted shows in the line. `out` receives its count
// (got, written, queued) where it has one.
struct LineCall {
  const char *function;
  std::function<FT_STATUS(const Driver &, FT_HANDLE, DWORD *out)> call;
  const char *log;  // its log line on handle 0x1000, when it succeeds
};

std::vector<LineCall> line_calls() {
  static char buffer[8] = "abcdefg";
  return {
      {"FT_SetTimeouts",
       [](const Driver &d, FT_HANDLE h, DWORD *) { return d.data.FT_SetTimeouts(h, 100, 200); },
       "FT_SetTimeouts(0x1000,100,200)=0"},
      {"FT_Read",
       [](const Driver &d, FT_HANDLE h, DWORD *out) {
         return d.data.FT_Read(h, buffer, 2, out);
       },
       "FT_Read(0x1000,2)=0"},
      {"FT_Write",
       [](const Driver &d, FT_HANDLE h, DWORD *out) {
         return d.data.FT_Write(h, buffer, 3, out);
       },
       "FT_Write(0x1000,3)=0"},
      {"FT_GetQueueStatus",
       [](const Driver &d, FT_HANDLE h, DWORD *out) { return d.data.FT_GetQueueStatus(h, out); },
       "FT_GetQueueStatus(0x1000)=0"},
      {"FT_Purge", [](const Driver &d, FT_HANDLE h, DWORD *) { return d.data.FT_Purge(h, 3); },
       "FT_Purge(0x1000,3)=0"},
      {"FT_SetFlowControl",
       [](const Driver &d, FT_HANDLE h, DWORD *) {
         return d.data.FT_SetFlowControl(h, d2xx::FT_FLOW_RTS_CTS, 1, 2);
       },
       "FT_SetFlowControl(0x1000,256,1,2)=0"},
      {"FT_SetDtr", [](const Driver &d, FT_HANDLE h, DWORD *) { return d.data.FT_SetDtr(h); },
       "FT_SetDtr(0x1000)=0"},
      {"FT_SetRts", [](const Driver &d, FT_HANDLE h, DWORD *) { return d.data.FT_SetRts(h); },
       "FT_SetRts(0x1000)=0"},
      {"FT_ClrDtr", [](const Driver &d, FT_HANDLE h, DWORD *) { return d.data.FT_ClrDtr(h); },
       "FT_ClrDtr(0x1000)=0"},
      {"FT_ClrRts", [](const Driver &d, FT_HANDLE h, DWORD *) { return d.data.FT_ClrRts(h); },
       "FT_ClrRts(0x1000)=0"},
      {"FT_GetModemStatus",
       [](const Driver &d, FT_HANDLE h, DWORD *) {
         ULONG status = 0;
         return d.data.FT_GetModemStatus(h, &status);
       },
       "FT_GetModemStatus(0x1000)=0"},
      {"FT_SetBaudRate",
       [](const Driver &d, FT_HANDLE h, DWORD *) { return d.FT_SetBaudRate(h, 19200); },
       "FT_SetBaudRate(0x1000,19200)=0"},
      {"FT_SetDataCharacteristics",
       [](const Driver &d, FT_HANDLE h, DWORD *) {
         return d.FT_SetDataCharacteristics(h, 7, 2, 2);
       },
       "FT_SetDataCharacteristics(0x1000,7,2,2)=0"},
  };
}

// An open handle, a closed one, an unplugged device, an injected status:
// how each call answers, what it logs, and that a refused call does nothing.
void handle_states(const Driver &d) {
  for (const LineCall &c : line_calls()) {
    const std::string name = c.function;
    DWORD out = 0;

    FT_HANDLE h = d.fresh();
    d.rx("queued");
    expect_eq(c.call(d, h, &out), FT_OK, name + " answers on an open handle");
    expect_text(d.last_log(), c.log, name + " log line");
    expect(d.misuse().empty(), name + " on an open handle is no misuse");

    h = d.fresh();
    d.FT_Close(h);
    expect_eq(c.call(d, h, &out), FT_INVALID_HANDLE, name + " on a closed handle");
    expect_eq(static_cast<long long>(d.misuse().size()), 1, name + " on a closed handle is misuse");

    h = d.fresh();
    d.ftsim_remove_device(0);
    expect_eq(c.call(d, h, &out), d2xx::FT_IO_ERROR, name + " on an unplugged device");
    expect_eq(d.FT_Close(h), FT_OK, name + ": the handle of an unplugged device still closes");

    h = d.fresh();
    d.rx("queued");
    const auto before = fields(d.line());
    d.ftsim_fail(c.function, 5, 0);
    out = 12345;
    expect_eq(c.call(d, h, &out), 5, name + " answers the injected status");
    expect(fields(d.line()) == before, name + " with an injected status leaves the line alone");
    expect_text(d.tx(), "", name + " with an injected status sends nothing");
    if (name == "FT_Read" || name == "FT_Write" || name == "FT_GetQueueStatus") {
      expect_eq(out, 0, name + " with an injected status counts 0");
    }
  }
}

// Arguments a driver refuses, and that a refused setting is not stored.
void parameter_checks(const Driver &d) {
  struct Case {
    const char *label;
    std::function<FT_STATUS(FT_HANDLE)> call;
    FT_STATUS expected;
  };
  static char buffer[4];
  static DWORD count;
  static ULONG word;
  const Case cases[] = {
      {"read into no buffer", [&](FT_HANDLE h) { return d.data.FT_Read(h, nullptr, 1, &count); }, 6},
      {"read without a count", [&](FT_HANDLE h) { return d.data.FT_Read(h, buffer, 1, nullptr); }, 6},
      {"read of nothing into no buffer",
       [&](FT_HANDLE h) { return d.data.FT_Read(h, nullptr, 0, &count); }, 0},
      {"write from no buffer", [&](FT_HANDLE h) { return d.data.FT_Write(h, nullptr, 1, &count); }, 6},
      {"write without a count", [&](FT_HANDLE h) { return d.data.FT_Write(h, buffer, 1, nullptr); }, 6},
      {"queue status without a count",
       [&](FT_HANDLE h) { return d.data.FT_GetQueueStatus(h, nullptr); }, 6},
      {"modem status without a word",
       [&](FT_HANDLE h) { return d.data.FT_GetModemStatus(h, nullptr); }, 6},
      {"purge of nothing", [&](FT_HANDLE h) { return d.data.FT_Purge(h, 0); }, 0},
      {"purge bit 4", [&](FT_HANDLE h) { return d.data.FT_Purge(h, 4); }, 6},
      {"purge of both and bit 8", [&](FT_HANDLE h) { return d.data.FT_Purge(h, 11); }, 6},
      {"flow control DTR/DSR", [&](FT_HANDLE h) { return d.data.FT_SetFlowControl(h, 0x200, 0, 0); }, 0},
      {"flow control XON/XOFF", [&](FT_HANDLE h) { return d.data.FT_SetFlowControl(h, 0x400, 0x11, 0x13); }, 0},
      {"flow control RTS/CTS and DTR/DSR",
       [&](FT_HANDLE h) { return d.data.FT_SetFlowControl(h, 0x300, 0, 0); }, 6},
      {"flow control 0x0800", [&](FT_HANDLE h) { return d.data.FT_SetFlowControl(h, 0x800, 0, 0); }, 6},
      {"baud rate 0", [&](FT_HANDLE h) { return d.FT_SetBaudRate(h, 0); }, 7},
      {"baud rate 182", [&](FT_HANDLE h) { return d.FT_SetBaudRate(h, 182); }, 7},
      {"baud rate 183", [&](FT_HANDLE h) { return d.FT_SetBaudRate(h, 183); }, 0},
      {"baud rate 12,000,000", [&](FT_HANDLE h) { return d.FT_SetBaudRate(h, 12000000); }, 0},
      {"baud rate 12,000,001", [&](FT_HANDLE h) { return d.FT_SetBaudRate(h, 12000001); }, 7},
      {"6 data bits", [&](FT_HANDLE h) { return d.FT_SetDataCharacteristics(h, 6, 0, 0); }, 6},
      {"9 data bits", [&](FT_HANDLE h) { return d.FT_SetDataCharacteristics(h, 9, 0, 0); }, 6},
      {"stop bits 1", [&](FT_HANDLE h) { return d.FT_SetDataCharacteristics(h, 8, 1, 0); }, 6},
      {"parity 5", [&](FT_HANDLE h) { return d.FT_SetDataCharacteristics(h, 8, 0, 5); }, 6},
      {"7 bits, 2 stop bits, space parity",
       [&](FT_HANDLE h) { return d.FT_SetDataCharacteristics(h, 7, 2, 4); }, 0},
      {"modem status", [&](FT_HANDLE h) { return d.data.FT_GetModemStatus(h, &word); }, 0},
  };
  for (const Case &c : cases) {
    const FT_HANDLE h = d.fresh();
    const auto before = fields(d.line());
    expect_eq(c.call(h), c.expected, c.label);
    if (c.expected != FT_OK) expect(fields(d.line()) == before, std::string(c.label) + ": nothing stored");
  }
}

// What the host sets is what the line reports, and the line outlives the
// handle: it belongs to the device until a reset.
void settings(const Driver &d) {
  FT_HANDLE h = d.fresh();
  ftsim_line l = d.line();
  expect(std::make_tuple(l.baud_rate, l.data_bits, l.stop_bits, l.parity, l.flow_control,
                         l.dtr, l.rts, l.read_timeout_ms, l.write_timeout_ms) ==
             std::make_tuple(9600u, 8u, 1u, 0u, 0u, 0, 0, 0u, 0u),
         "a device added has 9600 8N1, no flow control, DTR and RTS off, no timeouts");

  d.FT_SetBaudRate(h, 115200);
  d.FT_SetDataCharacteristics(h, 7, 2, 1);
  d.data.FT_SetFlowControl(h, d2xx::FT_FLOW_XON_XOFF, 0x21, 0x23);
  d.data.FT_SetTimeouts(h, 250, 500);
  d.data.FT_SetDtr(h);
  d.data.FT_SetRts(h);
  d.data.FT_ClrRts(h);
  d.rx("kept");
  const auto expected = std::make_tuple(115200u, 7u, 2u, 1u, 0x400u, 0x21u, 0x23u, 1, 0,
                                        250u, 500u, 4ull);
  const auto stored = [](const ftsim_line &s) {
    return std::make_tuple(s.baud_rate, s.data_bits, s.stop_bits, s.parity, s.flow_control,
                           s.xon, s.xoff, s.dtr, s.rts, s.read_timeout_ms,
                           s.write_timeout_ms, static_cast<unsigned long long>(s.queued));
  };
  expect(stored(d.line()) == expected, "the line reports what the host set");
  d.FT_Close(h);
  d.FT_Open(0, &h);
  expect(stored(d.line()) == expected, "the line and its queue outlive closing the device");
  d.ftsim_reset();
  d.add_device();
  expect(fields(d.line()) == fields(ftsim_line{9600, 8, 1, 0, 0, 0x11, 0x13, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
         "a reset forgets the line");
}

// FT_Read returns at n bytes, or FT_OK with fewer when its timeout runs out;
// without a timeout, a read that could never finish is misuse.
void read_timeouts(const Driver &d) {
  struct Case {
    const char *label;
    ULONG timeout_ms;
    const char *sent;
    double delay_s;
    DWORD wanted;
    const char *expected;
    double low_s, high_s;  // how long the read takes
    const char *misuse;    // the misuse line, if any
  };
  const Case cases[] = {
      {"nothing arrives", 100, "", 0, 5, "", 0.1, 0.25, nullptr},
      {"fewer arrive", 100, "abc", 0, 5, "abc", 0.1, 0.25, nullptr},
      {"they arrive before the timeout", 1000, "abcde", 0.05, 5, "abcde", 0.05, 0.5, nullptr},
      {"more arrive than wanted", 100, "abcdefg", 0, 5, "abcde", 0, 0.05, nullptr},
      {"nothing wanted", 0, "abc", 0, 0, "", 0, 0.05, nullptr},
      {"no timeout, they arrive later", 0, "abcde", 0.05, 5, "abcde", 0.05, 0.5, nullptr},
      {"no timeout, too few ever arrive", 0, "abc", 0, 5, "abc", 0, 0.05,
       "FT_Read(0x1000,5)=0 waits forever"},
      {"no timeout, nothing ever arrives", 0, "", 0, 1, "", 0, 0.05,
       "FT_Read(0x1000,1)=0 waits forever"},
  };
  for (const Case &c : cases) {
    const FT_HANDLE h = d.fresh();
    d.data.FT_SetTimeouts(h, c.timeout_ms, 0);
    d.rx(c.sent, c.delay_s);
    std::string got;
    FT_STATUS status = 99;
    const double took = seconds([&] { got = d.read(h, c.wanted, &status); });
    expect_eq(status, FT_OK, std::string(c.label) + ": FT_OK");
    expect_text(got, c.expected, std::string(c.label) + ": the bytes");
    expect_within(took, c.low_s, c.high_s, std::string(c.label) + ": how long it takes");
    const std::vector<std::string> misuse = d.misuse();
    expect_text(misuse.empty() ? "" : misuse.back(), c.misuse ? c.misuse : "",
                std::string(c.label) + ": misuse");
  }
}

// With pacing on, bytes take their line's byte time: 1 start bit, the data
// bits, a parity bit unless none, the stop bits. The lower bound is tight:
// arrivals are set in absolute time and a sleep never ends early, so only a
// miscounted byte time makes a transfer faster; a loaded machine only makes
// it slower.
constexpr double kEarly = 0.95, kLate = 1.3;

void line_rate(const Driver &d) {
  struct Case {
    const char *label;
    ULONG baud;
    UCHAR bits, stop, parity;
    double bytes_per_s;
  };
  const Case cases[] = {
      {"9600 8N1", 9600, 8, 0, 0, 960},
      {"9600 7E2", 9600, 7, 2, 2, 9600 / 11.0},
      {"19200 8N1", 19200, 8, 0, 0, 1920},
  };
  for (const Case &c : cases) {
    const auto n = static_cast<DWORD>(c.bytes_per_s / 2);  // half a second's worth
    const double expected_s = n / c.bytes_per_s;
    FT_HANDLE h = d.fresh();
    d.FT_SetBaudRate(h, c.baud);
    d.FT_SetDataCharacteristics(h, c.bits, c.stop, c.parity);
    d.data.FT_SetTimeouts(h, 5000, 0);
    d.ftsim_line_pacing(0, 1);
    d.rx(std::string(n, 'r'));
    std::string got;
    const double took = seconds([&] { got = d.read(h, n); });
    expect_eq(static_cast<long long>(got.size()), n, std::string(c.label) + ": every byte arrives");
    expect_within(took, kEarly * expected_s, kLate * expected_s,
                  std::string(c.label) + ": receiving takes the line's time");

    // The transmit buffer takes 512 bytes at once; the rest as it drains.
    const std::string out(kTransmitBuffer + n, 'w');
    DWORD written = 0;
    const double wrote = seconds([&] { written = d.write(h, out); });
    expect_eq(written, static_cast<long long>(out.size()), std::string(c.label) + ": every byte is written");
    expect_within(wrote, kEarly * expected_s, kLate * expected_s,
                  std::string(c.label) + ": writing past the buffer takes the line's time");
    const ftsim_line l = d.line();
    expect_within(static_cast<double>(l.sending), 0.7 * kTransmitBuffer, kTransmitBuffer,
                  std::string(c.label) + ": the buffer is nearly full when the write returns");
    expect_within(static_cast<double>(d.tx().size()), 0.7 * n, 1.3 * n,
                  std::string(c.label) + ": what went out meanwhile");
  }
}

// Looped-back bytes join the receive side as they leave the transmit side,
// behind bytes the far end sent before.
void loopback(const Driver &d) {
  struct Step {
    char kind;  // 'w': the host writes, 'r': the far end sends
    const char *bytes;
  };
  struct Case {
    const char *label;
    bool pacing;
    std::vector<Step> steps;
    const char *received;
  };
  const char *const paced = "forty-eight bytes back, one byte time apart....";
  const Case cases[] = {
      {"writes come back", false, {{'w', "abc"}, {'w', "def"}}, "abcdef"},
      {"in the order of the line", false, {{'w', "abc"}, {'r', "XYZ"}, {'w', "def"}}, "abcXYZdef"},
      {"paced writes come back", true, {{'w', paced}}, paced},
      {"paced, behind what the far end sent", true, {{'r', "XY"}, {'w', "ab"}}, "XYab"},
  };
  for (const Case &c : cases) {
    const FT_HANDLE h = d.fresh();
    d.data.FT_SetTimeouts(h, 1000, 1000);
    d.ftsim_line_pacing(0, c.pacing);
    d.ftsim_line_loopback(0, 1);
    std::string written;
    for (const Step &s : c.steps) {
      if (s.kind == 'w') {
        d.write(h, s.bytes);
        written += s.bytes;
      } else {
        d.rx(s.bytes);
      }
    }
    const auto n = static_cast<DWORD>(std::strlen(c.received));
    std::string received;
    const double took = seconds([&] { received = d.read(h, n); });
    expect_text(received, c.received, std::string(c.label) + ": received");
    if (c.pacing) {
      expect_within(took, kEarly * n / 960, 1, std::string(c.label) + ": at 960 bytes/s");
    }
    expect_text(d.tx(), written, std::string(c.label) + ": sent");
  }
  const FT_HANDLE h = d.fresh();
  d.write(h, "abc");
  DWORD queued = 9;
  d.data.FT_GetQueueStatus(h, &queued);
  expect_eq(queued, 0, "without loopback, writes do not come back");
  expect_text(d.tx(), "abc", "without loopback, writes go out");
}

// FT_PURGE_RX drops what has arrived, not what is still on its way;
// FT_PURGE_TX drops what waits in the transmit buffer.
void purge(const Driver &d) {
  FT_HANDLE h = d.fresh();
  d.data.FT_SetTimeouts(h, 1000, 0);
  d.rx("abc");
  d.rx("def", 0.1);
  d.data.FT_Purge(h, d2xx::FT_PURGE_RX);
  ftsim_line l = d.line();
  expect(l.queued == 0 && l.pending == 3 && l.rx_purges == 1 && l.tx_purges == 0,
         "a receive purge drops the bytes arrived");
  expect_text(d.read(h, 3), "def", "bytes on their way still arrive");

  h = d.fresh();
  d.data.FT_SetFlowControl(h, d2xx::FT_FLOW_RTS_CTS, 0, 0);
  d.pins(0, -1, -1, -1);
  d.ftsim_line_loopback(0, 1);
  d.write(h, "held back");
  expect_eq(static_cast<long long>(d.line().sending), 9, "a stalled line keeps the bytes written");
  d.data.FT_Purge(h, d2xx::FT_PURGE_TX);
  d.pins(1, -1, -1, -1);
  l = d.line();
  expect(l.sending == 0 && l.queued == 0 && l.tx_purges == 1 && l.rx_purges == 0,
         "a transmit purge drops the bytes waiting");
  expect_text(d.tx(), "", "purged bytes never go out");

  h = d.fresh();
  d.rx("abc");
  d.data.FT_Purge(h, d2xx::FT_PURGE_RX | d2xx::FT_PURGE_TX);
  l = d.line();
  expect(l.queued == 0 && l.rx_purges == 1 && l.tx_purges == 1, "both at once");
}

// Hardware flow control with the far end's pin low stalls the transmit side:
// the buffer takes 512 bytes, a write of more times out with FT_OK.
void flow_control(const Driver &d) {
  struct Case {
    const char *label;
    USHORT flow;
    ftsim_pins pins;
    bool pacing;
    ULONG timeout_ms;
    DWORD expected;
    double low_s, high_s;
    const char *misuse;
  };
  const ftsim_pins cts_low{0, 1, 0, 0}, dsr_low{1, 0, 0, 0};
  const Case cases[] = {
      {"RTS/CTS, CTS low", 0x100, cts_low, false, 100, 512, 0.1, 0.25, nullptr},
      {"RTS/CTS, CTS low, paced", 0x100, cts_low, true, 100, 512, 0.1, 0.25, nullptr},
      {"DTR/DSR, DSR low", 0x200, dsr_low, false, 100, 512, 0.1, 0.25, nullptr},
      {"RTS/CTS, DSR low", 0x100, dsr_low, false, 100, 2000, 0, 0.05, nullptr},
      {"no flow control, CTS low", 0x000, cts_low, false, 100, 2000, 0, 0.05, nullptr},
      {"XON/XOFF, CTS low", 0x400, cts_low, false, 100, 2000, 0, 0.05, nullptr},
      {"RTS/CTS, CTS low, no timeout", 0x100, cts_low, false, 0, 512, 0, 0.05,
       "FT_Write(0x1000,2000)=0 waits forever"},
      // 512 at once, then 96 more in 0.1 s at 960 bytes/s.
      {"paced, write timeout", 0x000, {1, 1, 0, 0}, true, 100, 608, 0.1, 0.25, nullptr},
  };
  for (const Case &c : cases) {
    const FT_HANDLE h = d.fresh();
    d.data.FT_SetFlowControl(h, c.flow, 0x11, 0x13);
    d.ftsim_line_pins(0, &c.pins, nullptr);
    d.ftsim_line_pacing(0, c.pacing);
    d.data.FT_SetTimeouts(h, 0, c.timeout_ms);
    DWORD written = 0;
    FT_STATUS status = 99;
    std::string out(2000, 'x');
    const double took = seconds([&] {
      status = d.data.FT_Write(h, out.data(), static_cast<DWORD>(out.size()), &written);
    });
    const std::string label = c.label;
    expect_eq(status, FT_OK, label + ": FT_OK");
    if (c.pacing && c.expected != 512) {
      expect_within(written, 0.7 * c.expected, 1.3 * c.expected, label + ": written");
    } else {
      expect_eq(written, c.expected, label + ": written");
    }
    expect_within(took, c.low_s, c.high_s, label + ": how long it takes");
    const std::vector<std::string> misuse = d.misuse();
    expect_text(misuse.empty() ? "" : misuse.back(), c.misuse ? c.misuse : "", label + ": misuse");
  }

  // Raising the pin lets the stalled bytes go.
  const FT_HANDLE h = d.fresh();
  d.data.FT_SetFlowControl(h, d2xx::FT_FLOW_RTS_CTS, 0, 0);
  d.pins(0, -1, -1, -1);
  d.write(h, "waiting");
  expect_text(d.tx(), "", "nothing goes out while CTS is low");
  d.pins(1, -1, -1, -1);
  expect_text(d.tx(), "waiting", "everything goes out once CTS is high");
  d.pins(0, -1, -1, -1);
  d.data.FT_SetFlowControl(h, d2xx::FT_FLOW_NONE, 0, 0);
  d.write(h, "free");
  expect_text(d.tx(), "free", "without flow control CTS does not matter");
}

// FT_GetModemStatus reports the far end's pins in its low byte.
void modem_status(const Driver &d) {
  struct Case {
    ftsim_pins pins;
    ULONG expected;
  };
  const Case cases[] = {
      {{-1, -1, -1, -1}, 0x30}, {{0, 0, 0, 0}, 0x00}, {{1, 0, 0, 0}, 0x10},
      {{0, 1, 0, 0}, 0x20},     {{0, 0, 0, 1}, 0x40}, {{0, 0, 1, 0}, 0x80},
      {{1, 1, 1, 1}, 0xF0},
  };
  for (const Case &c : cases) {
    const FT_HANDLE h = d.fresh();
    ftsim_pins now{};
    d.ftsim_line_pins(0, &c.pins, &now);
    ULONG status = 0xFFFF;
    d.data.FT_GetModemStatus(h, &status);
    char label[64];
    std::snprintf(label, sizeof label, "modem status 0x%02X", static_cast<unsigned>(c.expected));
    expect_eq(status, c.expected, label);
    const int reported = now.clear_to_send << 4 | now.data_set_ready << 5 |
                         now.ring_indicator << 6 | now.carrier_detect << 7;
    expect_eq(reported, c.expected, std::string(label) + ": the pins reported");
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sim_line_test MODULE_DIR\n");
    return 2;
  }
  const Driver d(argv[1]);
  handle_states(d);
  parameter_checks(d);
  settings(d);
  read_timeouts(d);
  line_rate(d);
  loopback(d);
  purge(d);
  flow_control(d);
  modem_status(d);
  return report();
}

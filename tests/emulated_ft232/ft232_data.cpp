// The data and line functions of the libftdi D2XX layer on QEMU's emulated
// FT232BM, whose serial line ends in ft232_far_end on the host. Run in the
// guest by ./run after guest_check.m, with the chip free (ftdi_sio holds it).
//   ft232_data <libd2xx_libftdi.so>
// Prints "ok - ..." or "not ok - ..." per check, the measured times, and one
// "status CALL=N" line per line setting for ./run to hold against QEMU's
// trace; exits non-zero on any failure.
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "../../uartattach/d2xx.h"
#include "seeded_bytes.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr FT_STATUS kInvalidHandle = 1, kInvalidBaudRate = 7;

d2xx::Api api{};
d2xx::DataApi data{};
int failures = 0;

void check(bool ok, const std::string &what) {
  std::printf("%s - %s\n", ok ? "ok" : "not ok", what.c_str());
  std::fflush(stdout);
  if (!ok) ++failures;
}

double seconds_since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

template <class Fn>
bool bind(void *lib, const char *name, Fn &slot) {
  slot = reinterpret_cast<Fn>(dlsym(lib, name));
  if (slot == nullptr) std::printf("not ok - %s exported\n", name);
  return slot != nullptr;
}

bool write_all(FT_HANDLE h, const void *p, size_t n) {
  DWORD written = 0;
  const FT_STATUS s =
      data.FT_Write(h, const_cast<void *>(p), static_cast<DWORD>(n), &written);
  return s == FT_OK && written == n;
}

bool command(FT_HANDLE h, const std::string &text) {
  const std::string line = "far:" + text + "\n";
  return write_all(h, line.data(), line.size());
}

// As uartport reads: 50 ms slices, each FT_Read asking for what is still
// missing, until all came or `total_s` passed.
std::vector<unsigned char> read_for(FT_HANDLE h, size_t n, double total_s) {
  std::vector<unsigned char> got(n);
  size_t have = 0;
  const Clock::time_point start = Clock::now();
  data.FT_SetTimeouts(h, 50, 5000);
  while (have < n && seconds_since(start) < total_s) {
    DWORD moved = 0;
    if (data.FT_Read(h, got.data() + have, static_cast<DWORD>(n - have),
                     &moved) != FT_OK) {
      break;
    }
    have += moved;
  }
  got.resize(have);
  return got;
}

// Waits for exactly `n` bytes in the layer's queue, polling as a caller of
// NumBytesAvailable would.
DWORD queue_after(FT_HANDLE h, DWORD n, double total_s) {
  const Clock::time_point start = Clock::now();
  DWORD queued = 0;
  while (seconds_since(start) < total_s) {
    if (data.FT_GetQueueStatus(h, &queued) != FT_OK || queued >= n) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return queued;
}

void data_path(FT_HANDLE h) {
  constexpr size_t kPayload = 64 * 1024;

  // Guest to host: 64 KiB in one FT_Write, the far end holds it against the
  // same seed and answers.
  const std::vector<unsigned char> out = seeded_bytes(1, kPayload);
  Clock::time_point t = Clock::now();
  check(command(h, "expect 65536 1") && write_all(h, out.data(), out.size()),
        "FT_Write takes 64 KiB");
  const double write_s = seconds_since(t);
  const std::vector<unsigned char> verdict = read_for(h, 7, 30);
  check(std::string(verdict.begin(), verdict.end()) == "far:ok\n",
        "the far end received exactly those bytes in order");
  std::printf("time: 64 KiB written in %.2f s, confirmed after %.2f s\n",
              write_s, seconds_since(t));

  // Host to guest.
  t = Clock::now();
  check(command(h, "send 65536 2"), "asked the far end for 64 KiB");
  const std::vector<unsigned char> in = read_for(h, kPayload, 60);
  check(in == seeded_bytes(2, kPayload),
        "FT_Read in 50 ms slices gives exactly the far end's 64 KiB (" +
            std::to_string(in.size()) + " bytes came)");
  std::printf("time: 64 KiB read in %.2f s\n", seconds_since(t));

  // Nothing coming: the read timeout ends the read with FT_OK, 0 bytes.
  unsigned char room[16];
  DWORD got = 99;
  check(data.FT_SetTimeouts(h, 500, 5000) == FT_OK, "FT_SetTimeouts(500)");
  t = Clock::now();
  const FT_STATUS idle = data.FT_Read(h, room, sizeof room, &got);
  const double idle_s = seconds_since(t);
  std::printf("time: idle FT_Read with a 0.5 s timeout returned after %.3f s\n",
              idle_s);
  check(idle == FT_OK && got == 0 && idle_s >= 0.45 && idle_s < 3.0,
        "an idle FT_Read returns FT_OK, 0 bytes, after about its timeout");

  // The queue count, and a read of part of it leaves the rest.
  const std::vector<unsigned char> part = seeded_bytes(3, 100);
  check(command(h, "send 100 3") && queue_after(h, 100, 10) == 100,
        "FT_GetQueueStatus counts the 100 bytes sent");
  DWORD queued = 0;
  std::vector<unsigned char> first(40), rest(60);
  data.FT_SetTimeouts(h, 50, 5000);
  check(data.FT_Read(h, first.data(), 40, &got) == FT_OK && got == 40 &&
            data.FT_GetQueueStatus(h, &queued) == FT_OK && queued == 60 &&
            data.FT_Read(h, rest.data(), 60, &got) == FT_OK && got == 60 &&
            std::equal(first.begin(), first.end(), part.begin()) &&
            std::equal(rest.begin(), rest.end(), part.begin() + 40),
        "reading 40 of them leaves 60 queued, in order");

  // Purge RX drops what was queued; TX and both are accepted.
  check(command(h, "send 100 4") && queue_after(h, 100, 10) == 100,
        "100 more bytes queued");
  check(data.FT_Purge(h, d2xx::FT_PURGE_RX) == FT_OK &&
            data.FT_GetQueueStatus(h, &queued) == FT_OK && queued == 0,
        "FT_Purge(RX) empties the queue");
  data.FT_SetTimeouts(h, 200, 5000);
  check(data.FT_Read(h, room, sizeof room, &got) == FT_OK && got == 0,
        "nothing purged comes later");
  check(data.FT_Purge(h, d2xx::FT_PURGE_TX) == FT_OK &&
            data.FT_Purge(h, d2xx::FT_PURGE_RX | d2xx::FT_PURGE_TX) == FT_OK &&
            data.FT_Purge(h, 4) == d2xx::FT_INVALID_PARAMETER,
        "FT_Purge(TX), FT_Purge(RX|TX) work; an unknown bit is refused");

  // Modem lines: QEMU reports CTS, DSR and DCD on for a chardev without
  // modem lines; right after data (from the packets' status bytes) and idle
  // (asked for with a control request) alike.
  ULONG fresh = 0, idle_status = 0;
  check(command(h, "send 10 5") && queue_after(h, 10, 10) == 10 &&
            data.FT_GetModemStatus(h, &fresh) == FT_OK,
        "FT_GetModemStatus after data");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  check(data.FT_GetModemStatus(h, &idle_status) == FT_OK,
        "FT_GetModemStatus when idle");
  std::printf("modem status: 0x%04x after data, 0x%04x idle\n", fresh,
              idle_status);
  const ULONG lines = d2xx::FT_MODEM_CTS | d2xx::FT_MODEM_DSR |
                      d2xx::FT_MODEM_DCD;
  check((fresh & 0xFF) == lines && (idle_status & 0xFF) == lines,
        "the modem byte reads CTS, DSR and DCD both ways");
  data.FT_Purge(h, d2xx::FT_PURGE_RX);
}

// Every setting uartport offers, in an order ./run finds again in QEMU's
// trace. The statuses are printed, not judged here: ./run holds each
// against what the chip recorded.
void line_settings(FT_HANDLE h) {
  std::printf("settings:\n");
  for (const ULONG baud : {300u, 9600u, 115200u, 230400u, 921600u, 1000000u,
                           2000000u, 3000000u}) {
    std::printf("status FT_SetBaudRate(%u)=%u\n", baud,
                api.FT_SetBaudRate(h, baud));
  }
  // Beyond the BM's 3 Mbaud nothing is within 5 %: refused, nothing sent.
  check(api.FT_SetBaudRate(h, 3500000) == kInvalidBaudRate &&
            api.FT_SetBaudRate(h, 12000000) == kInvalidBaudRate,
        "rates beyond the chip's 3 Mbaud are refused");
  for (const UCHAR bits : {d2xx::FT_BITS_7, d2xx::FT_BITS_8}) {
    for (const UCHAR stop : {d2xx::FT_STOP_BITS_1, d2xx::FT_STOP_BITS_2}) {
      for (const UCHAR parity :
           {d2xx::FT_PARITY_NONE, d2xx::FT_PARITY_ODD, d2xx::FT_PARITY_EVEN,
            d2xx::FT_PARITY_MARK, d2xx::FT_PARITY_SPACE}) {
        std::printf("status FT_SetDataCharacteristics(%u,%u,%u)=%u\n", bits,
                    stop, parity,
                    api.FT_SetDataCharacteristics(h, bits, stop, parity));
      }
    }
  }
  const struct {
    const char *name;
    USHORT mode;
  } flows[] = {{"none", d2xx::FT_FLOW_NONE},
               {"rts_cts", d2xx::FT_FLOW_RTS_CTS},
               {"dtr_dsr", d2xx::FT_FLOW_DTR_DSR},
               {"xon_xoff", d2xx::FT_FLOW_XON_XOFF}};
  for (const auto &f : flows) {
    std::printf("status FT_SetFlowControl(%s)=%u\n", f.name,
                data.FT_SetFlowControl(h, f.mode, d2xx::FT_XON,
                                       d2xx::FT_XOFF));
  }
  std::printf("status FT_SetFlowControl(none)=%u\n",
              data.FT_SetFlowControl(h, d2xx::FT_FLOW_NONE, 0, 0));
  check(data.FT_SetFlowControl(h, 0x0300, 0, 0) == d2xx::FT_INVALID_PARAMETER,
        "an unknown flow control mode is refused");
  std::printf("status FT_SetDtr=%u\n", data.FT_SetDtr(h));
  std::printf("status FT_ClrDtr=%u\n", data.FT_ClrDtr(h));
  std::printf("status FT_SetRts=%u\n", data.FT_SetRts(h));
  std::printf("status FT_ClrRts=%u\n", data.FT_ClrRts(h));
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <libd2xx_libftdi.so>\n", argv[0]);
    return 2;
  }
  setvbuf(stdout, nullptr, _IOLBF, 0);
  void *layer = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (layer == nullptr) {
    std::printf("not ok - cannot load %s: %s\n", argv[1], dlerror());
    return 1;
  }
#define BIND(table, fn) bind(layer, #fn, table.fn)
  if (!(BIND(api, FT_CreateDeviceInfoList) && BIND(api, FT_Open) &&
        BIND(api, FT_Close) && BIND(api, FT_SetBaudRate) &&
        BIND(api, FT_SetDataCharacteristics) && BIND(data, FT_SetTimeouts) &&
        BIND(data, FT_Read) && BIND(data, FT_Write) &&
        BIND(data, FT_GetQueueStatus) && BIND(data, FT_Purge) &&
        BIND(data, FT_SetFlowControl) && BIND(data, FT_SetDtr) &&
        BIND(data, FT_ClrDtr) && BIND(data, FT_SetRts) &&
        BIND(data, FT_ClrRts) && BIND(data, FT_GetModemStatus))) {
    return 1;
  }
#undef BIND

  DWORD count = 0;
  FT_HANDLE h = nullptr;
  check(api.FT_CreateDeviceInfoList(&count) == FT_OK && count == 1 &&
            api.FT_Open(0, &h) == FT_OK,
        "the chip opens");
  if (h == nullptr) return 1;
  check(api.FT_SetBaudRate(h, 3000000) == FT_OK &&
            api.FT_SetDataCharacteristics(h, 8, 0, 0) == FT_OK &&
            data.FT_SetFlowControl(h, d2xx::FT_FLOW_NONE, 0, 0) == FT_OK &&
            data.FT_SetTimeouts(h, 50, 5000) == FT_OK &&
            data.FT_Purge(h, d2xx::FT_PURGE_RX | d2xx::FT_PURGE_TX) == FT_OK,
        "3 Mbaud, 8N1, no flow control, timeouts set, purged");

  data_path(h);
  line_settings(h);

  check(api.FT_Close(h) == FT_OK, "FT_Close");
  // A closed handle never reaches libftdi.
  unsigned char b[4] = {};
  DWORD n = 0;
  ULONG modem = 0;
  const FT_STATUS closed[] = {
      data.FT_SetTimeouts(h, 50, 50),   data.FT_Read(h, b, sizeof b, &n),
      data.FT_Write(h, b, sizeof b, &n), data.FT_GetQueueStatus(h, &n),
      data.FT_Purge(h, 3),              data.FT_SetFlowControl(h, 0, 0, 0),
      data.FT_SetDtr(h),                data.FT_ClrDtr(h),
      data.FT_SetRts(h),                data.FT_ClrRts(h),
      data.FT_GetModemStatus(h, &modem)};
  bool all_refused = true;
  for (const FT_STATUS s : closed) all_refused = all_refused && s == kInvalidHandle;
  check(all_refused, "every data function refuses the closed handle");
  return failures == 0 ? 0 : 1;
}

// The floor under each stack of bench/emulated_echo.m: the same round trips
// and echoes from native code, without Octave, through the libftdi D2XX
// layer or through the kernel's tty (ftdi_sio). Run in the emulated-chip
// guest against the echoing far end.
//   echo_native layer <libd2xx_libftdi.so> <round> <round trips> <echoes>
//   echo_native tty <device> <round> <round trips> <echoes>
// Prints, as emulated_echo.m writes them:
//   <stack> <round> rt <seconds>        one per 1-byte round trip
//   <stack> <round> echo <seconds>      one per 64 KiB echo
//   <stack> <round> write1 <seconds>    one per 1-byte write alone
// with <stack> "layer" or "tty". Exits non-zero when a byte comes back wrong.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../uartattach/d2xx.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

[[noreturn]] void bad(const std::string &what) {
  std::fprintf(stderr, "echo_native: %s\n", what.c_str());
  std::exit(1);
}

// One stack: moving bytes, each call all or nothing within a second or so.
struct Line {
  virtual ~Line() = default;
  virtual void put(const unsigned char *p, size_t n) = 0;
  virtual void get(unsigned char *p, size_t n) = 0;
};

struct LayerLine : Line {
  d2xx::Api api{};
  d2xx::DataApi data{};
  FT_HANDLE h = nullptr;

  explicit LayerLine(const char *library) {
    void *lib = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) bad(dlerror());
#define BIND(table, fn)                                                  \
  table.fn = reinterpret_cast<decltype(table.fn)>(dlsym(lib, #fn));      \
  if (table.fn == nullptr) bad(#fn " missing");
    BIND(api, FT_CreateDeviceInfoList);
    BIND(api, FT_GetDeviceInfoList);
    BIND(api, FT_Open);
    BIND(api, FT_Close);
    BIND(api, FT_SetLatencyTimer);
    BIND(api, FT_SetBaudRate);
    BIND(api, FT_SetDataCharacteristics);
    BIND(data, FT_SetTimeouts);
    BIND(data, FT_Read);
    BIND(data, FT_Write);
    BIND(data, FT_Purge);
#undef BIND
    DWORD n = 0;
    if (api.FT_CreateDeviceInfoList(&n) != FT_OK || n == 0) bad("no device listed");
    std::vector<d2xx::FT_DEVICE_LIST_INFO_NODE> nodes(n);
    api.FT_GetDeviceInfoList(nodes.data(), &n);
    int index = -1;
    for (DWORD i = 0; i < n; ++i) {
      if (std::strcmp(nodes[i].Description, "QEMU USB SERIAL") == 0) index = static_cast<int>(i);
    }
    // The set-up uartattach and uartport make.
    if (index < 0 || api.FT_Open(index, &h) != FT_OK ||
        api.FT_SetLatencyTimer(h, 2) != FT_OK || api.FT_SetBaudRate(h, 230400) != FT_OK ||
        api.FT_SetDataCharacteristics(h, 8, 0, 0) != FT_OK ||
        data.FT_SetTimeouts(h, 2000, 2000) != FT_OK ||
        data.FT_Purge(h, 3) != FT_OK) {
      bad("cannot open and set up the chip");
    }
  }
  ~LayerLine() override { api.FT_Close(h); }

  void put(const unsigned char *p, size_t n) override {
    DWORD written = 0;
    if (data.FT_Write(h, const_cast<unsigned char *>(p), static_cast<DWORD>(n), &written) != FT_OK ||
        written != n) {
      bad("FT_Write fell short");
    }
  }
  void get(unsigned char *p, size_t n) override {
    DWORD got = 0;
    if (data.FT_Read(h, p, static_cast<DWORD>(n), &got) != FT_OK || got != n) {
      bad("FT_Read fell short");
    }
  }
};

struct TtyLine : Line {
  int fd = -1;

  explicit TtyLine(const char *device) {
    fd = open(device, O_RDWR | O_NOCTTY);
    if (fd < 0) bad(std::string("cannot open ") + device);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B230400);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0) bad("tcsetattr failed");
    tcflush(fd, TCIOFLUSH);
  }
  ~TtyLine() override { close(fd); }

  void put(const unsigned char *p, size_t n) override {
    while (n > 0) {
      const ssize_t k = write(fd, p, n);
      if (k <= 0) bad("write to the tty failed");
      p += k;
      n -= static_cast<size_t>(k);
    }
  }
  void get(unsigned char *p, size_t n) override {
    while (n > 0) {
      pollfd w{fd, POLLIN, 0};
      if (poll(&w, 1, 2000) != 1) bad("tty read timed out");
      const ssize_t k = read(fd, p, n);
      if (k <= 0) bad("read from the tty failed");
      p += k;
      n -= static_cast<size_t>(k);
    }
  }
};

}  // namespace

int main(int argc, char **argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s layer|tty <library|device> <round> <round trips> <echoes>\n",
                 argv[0]);
    return 2;
  }
  const std::string kind = argv[1];
  const int round = std::atoi(argv[3]), round_trips = std::atoi(argv[4]),
            echoes = std::atoi(argv[5]);
  Line *line = nullptr;
  if (kind == "layer") line = new LayerLine(argv[2]);
  else if (kind == "tty") line = new TtyLine(argv[2]);
  else bad("the stack is 'layer' or 'tty'");

  unsigned char b = 0, r = 0;
  for (int i = 0; i < 5; ++i) {  // warm-up, untimed
    line->put(&b, 1);
    line->get(&r, 1);
  }
  for (int i = 0; i < round_trips; ++i) {
    b = static_cast<unsigned char>(i);
    const Clock::time_point t0 = Clock::now();
    line->put(&b, 1);
    line->get(&r, 1);
    const double t = since(t0);
    if (r != b) bad("a round trip came back wrong");
    std::printf("%s %d rt %.9f\n", kind.c_str(), round, t);
  }
  for (int i = 0; i < round_trips / 4; ++i) {
    const Clock::time_point t0 = Clock::now();
    line->put(&b, 1);
    std::printf("%s %d write1 %.9f\n", kind.c_str(), round, since(t0));
    line->get(&r, 1);
  }
  std::vector<unsigned char> payload(65536), back(65536);
  for (size_t i = 0; i < payload.size(); ++i) {
    payload[i] = static_cast<unsigned char>(i * 7 + i / 256);
  }
  for (int i = 0; i < echoes; ++i) {
    const Clock::time_point t0 = Clock::now();
    line->put(payload.data(), payload.size());
    line->get(back.data(), back.size());
    const double t = since(t0);
    if (back != payload) bad("an echo came back wrong");
    std::printf("%s %d echo %.9f\n", kind.c_str(), round, t);
  }
  delete line;
  return 0;
}

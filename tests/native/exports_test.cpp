// The helpers each module exports for native code, reached by loading the
// module file directly (no interpreter, no mexFunction call first), against
// the simulated drivers beside it.
//   exports_test MODULE_DIR
#include <dlfcn.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../../attach/ft_types.h"
#include "../../fifoattach/d3xx.h"
#include "../../simdriver/sim_control.h"
#include "check.h"

using namespace check;

namespace {

void *open_or_die(const std::string &path) {
  void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
    std::exit(2);
  }
  return handle;
}

// Captures what the process writes to its standard output meanwhile.
class StdoutCapture {
 public:
  StdoutCapture() : file_(std::tmpfile()), saved_(dup(1)) {
    std::fflush(stdout);
    dup2(fileno(file_), 1);
  }
  ~StdoutCapture() { restore(); }
  std::string text() {
    restore();
    std::string bytes;
    std::rewind(file_);
    char block[512];
    std::size_t n;
    while ((n = std::fread(block, 1, sizeof block, file_)) > 0) bytes.append(block, n);
    return bytes;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
    saved_ = -1;
  }
  std::FILE *file_;
  int saved_;
};

// The control interface of one simulated driver library.
struct Sim {
  explicit Sim(void *lib)
      : reset(symbol<decltype(reset)>(lib, "ftsim_reset")),
        add(symbol<decltype(add)>(lib, "ftsim_add_device")),
        fail(symbol<decltype(fail)>(lib, "ftsim_fail")),
        set_config(symbol<decltype(set_config)>(lib, "ftsim_set_config")),
        get_config(symbol<decltype(get_config)>(lib, "ftsim_get_config")),
        open_handles(symbol<decltype(open_handles)>(lib, "ftsim_open_handles")),
        log_size(symbol<decltype(log_size)>(lib, "ftsim_log_size")),
        log_line(symbol<decltype(log_line)>(lib, "ftsim_log_line")) {}
  void (*reset)();
  long (*add)(const ftsim_device *);
  int (*fail)(const char *, std::uint32_t, std::uint32_t);
  int (*set_config)(const void *, std::size_t);
  int (*get_config)(void *, std::size_t);
  std::size_t (*open_handles)(std::uint64_t *, std::size_t);
  std::size_t (*log_size)();
  const char *(*log_line)(std::size_t);

  void add_device(const char *description) const {
    ftsim_device d{};
    d.description = description;
    d.description_len = std::strlen(description);
    add(&d);
  }
  std::size_t open_count() const { return open_handles(nullptr, 0); }
  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < log_size(); ++i) lines.emplace_back(log_line(i));
    return lines;
  }
};

FT_HANDLE as_handle(std::uintptr_t value) { return reinterpret_cast<FT_HANDLE>(value); }

void uart_exports(const std::string &dir) {
  void *module = open_or_die(dir + "/uartattach.mex");
  const Sim sim(open_or_die(dir + "/libd2xx_sim.so"));
  auto OpenDevice = symbol<bool (*)(FT_HANDLE *, ULONG)>(module, "OpenDevice");
  auto CloseDevice = symbol<void (*)(FT_HANDLE)>(module, "CloseDevice");
  auto CloseDeviceVal = symbol<FT_STATUS (*)(FT_HANDLE)>(module, "CloseDeviceVal");

  sim.reset();
  sim.add_device("Dev A");
  sim.add_device("Dev B");
  FT_HANDLE h = nullptr;
  StdoutCapture opening;
  const bool opened = OpenDevice(&h, 1);
  expect_text(opening.text(), "Connecting to device 2... \n", "uart OpenDevice prints");
  expect(opened && h == as_handle(0x1000), "uart OpenDevice opens by index");
  expect_eq(CloseDeviceVal(h), FT_STATUS{0}, "uart CloseDeviceVal closes");
  expect_eq(sim.open_count(), std::size_t{0}, "uart nothing left open");
  expect_eq(CloseDeviceVal(h), FT_STATUS{1}, "uart CloseDeviceVal gives the driver's status");

  // A failed open makes the recovery attempt on the caller's handle and
  // leaves *ftHandle as it was.
  sim.reset();
  FT_HANDLE held = as_handle(0x12345678abcULL);
  StdoutCapture failing;
  const bool failed_open = OpenDevice(&held, 4);
  expect_text(failing.text(),
              "Connecting to device 5... \nConnection failed! \nResetting device...! \n"
              "\t ftHandle=0x45678abc\n\t FT_ResetDevice = 1 \n\t FT_CyclePort = 1 \n",
              "uart OpenDevice failure prints the recovery attempt");
  expect(!failed_open && held == as_handle(0x12345678abcULL),
         "uart OpenDevice failure keeps the caller's handle");
  expect(sim.log() == std::vector<std::string>{"FT_Open(4)=2", "FT_ResetDevice(0x12345678abc)=1",
                                              "FT_CyclePort(0x12345678abc)=1",
                                              "FT_Close(0x12345678abc)=1"},
         "uart OpenDevice failure driver calls");

  sim.reset();
  sim.add_device("Dev A");
  FT_HANDLE again = nullptr;
  StdoutCapture quiet;
  OpenDevice(&again, 0);
  CloseDevice(again);
  quiet.text();
  expect_eq(sim.open_count(), std::size_t{0}, "uart CloseDevice closes");
}

void fifo_exports(const std::string &dir) {
  void *module = open_or_die(dir + "/fifoattach.mex");
  const Sim sim(open_or_die(dir + "/libd3xx_sim.so"));
  auto OpenDevice = symbol<bool (*)(FT_HANDLE *, ULONG *)>(module, "OpenDevice");
  auto CloseDevice = symbol<void (*)(FT_HANDLE)>(module, "CloseDevice");
  auto GetConfiguration = symbol<bool (*)(FT_HANDLE)>(module, "GetConfiguration");

  sim.reset();
  sim.add_device("FIFO A");
  sim.add_device("FIFO B");
  d3xx::FT_60XCONFIGURATION config{};
  sim.get_config(&config, sizeof config);
  config.VendorID = 0x0403;
  config.ProductID = 0x601E;
  std::memcpy(config.StringDescriptors, "\x0a\x03" "FTDI", 7);
  config.bInterval = 9;
  config.FIFOClock = 2;
  config.FIFOMode = 1;
  config.MSIO_Control = 0x10800;
  sim.set_config(&config, sizeof config);

  FT_HANDLE h = nullptr;
  ULONG index = 1;
  StdoutCapture opening;
  const bool opened = OpenDevice(&h, &index);
  expect_text(opening.text(), "Connecting to device 2... \n", "fifo OpenDevice prints");
  expect(opened && h == as_handle(0x1000), "fifo OpenDevice opens by index");
  expect_eq(sim.log().back(), std::string("FT_Create(0x1,0x10)=0"),
            "fifo OpenDevice passes the index value itself");

  StdoutCapture report;
  const bool read = GetConfiguration(h);
  expect_text(report.text(),
              "\tVendorID          = 403\n"
              "\tProductID         = 601E\n"
              "\tStringDescriptors = \x0a\x03" "FTDI\n"
              "\tbInterval         = 9\n"
              "\tFIFOClock         = 2\n"
              "\tFIFOMode          = 1\n"
              "\tMSIO_Control      = 10800\n",
              "fifo GetConfiguration prints the configuration");
  expect(read, "fifo GetConfiguration succeeds");
  expect_eq(sim.open_count(), std::size_t{1}, "fifo GetConfiguration leaves the handle open");

  // A descriptor field without a NUL prints its 128 bytes and no more.
  std::memset(config.StringDescriptors, 'D', sizeof config.StringDescriptors);
  config.bInterval = 0x7F;  // the byte after the field: must not show
  sim.set_config(&config, sizeof config);
  StdoutCapture full;
  GetConfiguration(h);
  const std::string text = full.text();
  const std::string line = "\tStringDescriptors = " + std::string(128, 'D') + "\n";
  expect(text.find(line) != std::string::npos, "fifo descriptors without NUL print 128 bytes");

  // A failed read closes the handle and prints nothing.
  sim.fail("FT_GetChipConfiguration", 4, 0);
  StdoutCapture failing;
  const bool failed_read = GetConfiguration(h);
  expect_text(failing.text(), "", "fifo GetConfiguration failure prints nothing");
  expect(!failed_read, "fifo GetConfiguration failure returns false");
  expect_eq(sim.open_count(), std::size_t{0}, "fifo GetConfiguration failure closes the handle");
  sim.fail("FT_GetChipConfiguration", 0, 0);

  // A failed open prints the caller's handle and FT_Create's status, then
  // closes that handle.
  sim.reset();
  FT_HANDLE none = nullptr;
  ULONG missing = 7;
  StdoutCapture failed_create;
  expect(!OpenDevice(&none, &missing), "fifo OpenDevice failure returns false");
  expect_text(failed_create.text(),
              "Connecting to device 8... \nConnection failed! \n\t ftHandle=0x0\n\t FT_Create = 2 \n",
              "fifo OpenDevice failure prints");
  expect(sim.log() == std::vector<std::string>{"FT_Create(0x7,0x10)=2", "FT_Close(0x0)=1"},
         "fifo OpenDevice failure driver calls");

  sim.reset();
  sim.add_device("FIFO A");
  FT_HANDLE again = nullptr;
  ULONG first = 0;
  StdoutCapture quiet;
  OpenDevice(&again, &first);
  CloseDevice(again);
  quiet.text();
  expect_eq(sim.open_count(), std::size_t{0}, "fifo CloseDevice closes");
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: exports_test MODULE_DIR\n");
    return 2;
  }
  uart_exports(argv[1]);
  fifo_exports(argv[1]);
  return report();
}

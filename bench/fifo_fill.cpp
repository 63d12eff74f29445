// How fast the simulated D3XX library moves 16 MiB blocks through its pipe
// functions, against memcpy of the same size: the far end must never be what
// limits a stream (an FT601 moves at most 400 MB/s).
//   fifo_fill MODULE_DIR
// Prints the median of 21 rounds of each, in GB/s (10^9 bytes per second).
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "../fifoattach/d3xx.h"
#include "../simdriver/sim_fifo_control.h"

namespace {

constexpr ULONG kBlock = 16u << 20;
constexpr int kRounds = 21;

template <class Fn>
Fn symbol(void *library, const char *name) {
  void *address = dlsym(library, name);
  if (address == nullptr) {
    std::fprintf(stderr, "fifo_fill: missing symbol %s\n", name);
    std::exit(2);
  }
  return reinterpret_cast<Fn>(address);
}

double median_gbps(const std::function<void()> &once) {
  std::vector<double> rates;
  once();  // warm: pages touched, code paged in
  for (int i = 0; i < kRounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    once();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    rates.push_back(kBlock / took.count() / 1e9);
  }
  std::sort(rates.begin(), rates.end());
  return rates[kRounds / 2];
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fifo_fill MODULE_DIR\n");
    return 2;
  }
  const std::string path = std::string(argv[1]) + "/libd3xx_sim.so";
  void *lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    std::fprintf(stderr, "fifo_fill: %s\n", dlerror());
    return 2;
  }
  auto reset = symbol<void (*)()>(lib, "ftsim_reset");
  auto add = symbol<long (*)(const ftsim_device *)>(lib, "ftsim_add_device");
  auto source = symbol<decltype(&ftsim_fifo_source)>(lib, "ftsim_fifo_source");
  auto clear_log = symbol<void (*)()>(lib, "ftsim_clear_log");
  auto create = symbol<decltype(d3xx::Api::FT_Create)>(lib, "FT_Create");
  auto read = symbol<decltype(d3xx::PipeApi::FT_ReadPipe)>(lib, "FT_ReadPipe");
  auto write = symbol<decltype(d3xx::PipeApi::FT_WritePipe)>(lib, "FT_WritePipe");

  reset();
  const ftsim_device device{};
  add(&device);
  FT_HANDLE h = nullptr;
  create(nullptr, d3xx::FT_OPEN_BY_INDEX, &h);
  source(0, 1, FTSIM_SOURCE_COUNTER, nullptr, 0);

  std::vector<std::uint8_t> from(kBlock, 1), to(kBlock, 2);
  ULONG moved = 0;
  bool all_moved = true;
  const double counter = median_gbps([&] {
    all_moved = read(h, d3xx::kInPipe1, to.data(), kBlock, &moved, 1000) == FT_OK &&
                moved == kBlock && all_moved;
  });
  const double sink = median_gbps([&] {
    all_moved = write(h, d3xx::kOutPipe1, from.data(), kBlock, &moved, 1000) == FT_OK &&
                moved == kBlock && all_moved;
  });
  clear_log();
  const double copy = median_gbps([&] {
    std::memcpy(to.data(), from.data(), kBlock);
    // The copy's result is looked at, so that it is not left out.
    from[to[kBlock / 2] % kBlock] ^= 1;
  });
  if (!all_moved) {
    std::fprintf(stderr, "fifo_fill: a transfer moved less than its block\n");
    return 1;
  }
  std::printf("The simulated FIFO far end, 16 MiB per call (median of %d):\n", kRounds);
  std::printf("  FT_ReadPipe from the counter source: %6.2f GB/s\n", counter);
  std::printf("  FT_WritePipe into the sink (Adler-32): %6.2f GB/s\n", sink);
  std::printf("  memcpy of 16 MiB:                    %6.2f GB/s\n", copy);
  std::printf("  counter read / memcpy:               %6.2f\n", counter / copy);
  return 0;
}

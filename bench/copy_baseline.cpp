// copy_baseline: what moving N bytes costs natively, the yardstick of
// fifoport's read and write of N bytes:
//   fresh   memcpy into pages touched for the first time: a fresh mmap per
//           call, unmapped after it (as a read's result array is new memory
//           the driver fills, and freed when the next result replaces it)
//   reused  memcpy into one buffer used again and again
// for N = 1 KiB, 4 KiB, ..., 16 MiB. Prints name value lines:
//   copy_fresh_<N>_mbps <MB/s>   copy_reused_<N>_mbps <MB/s>
// each the median over rounds of the mean of a batch of copies.
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kLargest = 16u << 20;
constexpr int kRounds = 9;
// About this many bytes per batch, so that a batch of small copies is long
// enough to time.
constexpr std::size_t kBatchBytes = 2u << 20;

using Clock = std::chrono::steady_clock;

template <class Fn>
double median_mbps(std::size_t n, Fn once) {
  const std::size_t calls = std::max<std::size_t>(1, kBatchBytes / n);
  std::vector<double> rates;
  once();  // code paged in, the reused buffer touched
  for (int r = 0; r < kRounds; ++r) {
    const Clock::time_point start = Clock::now();
    for (std::size_t i = 0; i < calls; ++i) once();
    const std::chrono::duration<double> took = Clock::now() - start;
    rates.push_back(static_cast<double>(n * calls) / took.count() / 1e6);
  }
  std::sort(rates.begin(), rates.end());
  return rates[kRounds / 2];
}

}  // namespace

int main() {
  std::vector<std::uint8_t> from(kLargest);
  for (std::size_t i = 0; i < from.size(); ++i) from[i] = static_cast<std::uint8_t>(i * 7);
  std::vector<std::uint8_t> reused(kLargest);
  volatile std::uint8_t seen = 0;  // the copies are looked at, so that none is left out
  for (std::size_t n = 1024; n <= kLargest; n *= 4) {
    bool mapped = true;
    const double fresh = median_mbps(n, [&] {
      void *to = mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (to == MAP_FAILED) {
        mapped = false;
        return;
      }
      std::memcpy(to, from.data(), n);
      seen = seen + static_cast<std::uint8_t *>(to)[n / 2];
      munmap(to, n);
    });
    const double again = median_mbps(n, [&] {
      std::memcpy(reused.data(), from.data(), n);
      seen = seen + reused[n / 2];
    });
    if (!mapped) {
      std::fprintf(stderr, "copy_baseline: mmap of %zu bytes failed\n", n);
      return 1;
    }
    std::printf("copy_fresh_%zu_mbps %.6g\n", n, fresh);
    std::printf("copy_reused_%zu_mbps %.6g\n", n, again);
  }
  return 0;
}

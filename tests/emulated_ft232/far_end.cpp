// The serial line's far end for QEMU's usb-serial chip: connects to the
// chip's chardev socket on the host and answers what the guest sends.
//
//   ft232_far_end <socket> <log> [--echo] [--limit SECONDS]
//
// Lines the guest writes that start with "far:" are commands:
//   far:expect N SEED   the next N bytes must be seeded_bytes(SEED, N); the
//                       far end answers "far:ok\n" or "far:no\n"
//   far:send N SEED     the far end sends seeded_bytes(SEED, N)
//   far:line TEXT       the far end sends TEXT and a newline
//   far:echo            from here on, every byte comes back as it arrived
// Every other byte is appended to <log>. --echo echoes from the start. It
// ends when QEMU closes the socket, or after --limit seconds (default 600),
// and exits 0 only if every expected payload arrived intact and every
// command was understood. Each command and its outcome is printed.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "seeded_bytes.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Expecting {
  std::vector<unsigned char> want;
  size_t at = 0;
  long first_difference = -1;
  Clock::time_point since;
};

struct FarEnd {
  int fd = -1;
  FILE *log = nullptr;
  bool echo = false;
  std::string line;                // bytes outside payloads, up to a newline
  std::vector<unsigned char> out;  // not yet sent
  size_t out_at = 0;
  Expecting expecting;
  bool in_payload = false;
  int faults = 0;

  void send(const void *p, size_t n) {
    const auto *b = static_cast<const unsigned char *>(p);
    out.insert(out.end(), b, b + n);
  }

  void command(const std::string &text) {
    unsigned long long n = 0, seed = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "far:expect %llu %llu %c", &n, &seed,
                    &extra) == 2) {
      expecting = {seeded_bytes(seed, n), 0, -1, Clock::now()};
      in_payload = true;
      std::printf("far end: expecting %llu bytes of seed %llu\n", n, seed);
      if (n == 0) finish_payload();
    } else if (std::sscanf(text.c_str(), "far:send %llu %llu %c", &n, &seed,
                           &extra) == 2) {
      const std::vector<unsigned char> bytes = seeded_bytes(seed, n);
      send(bytes.data(), bytes.size());
      std::printf("far end: sending %llu bytes of seed %llu\n", n, seed);
    } else if (text.compare(0, 9, "far:line ") == 0) {
      send(text.data() + 9, text.size() - 9);
      send("\n", 1);
      std::printf("far end: sending the line '%s'\n", text.c_str() + 9);
    } else if (text == "far:echo") {
      echo = true;
      std::printf("far end: echoing from here on\n");
    } else {
      std::printf("far end: FAIL unknown command '%s'\n", text.c_str());
      ++faults;
    }
  }

  void finish_payload() {
    in_payload = false;
    const double s =
        std::chrono::duration<double>(Clock::now() - expecting.since).count();
    const bool intact = expecting.first_difference < 0;
    if (intact) {
      std::printf("far end: received %zu bytes intact in %.2f s\n",
                  expecting.want.size(), s);
    } else {
      std::printf("far end: FAIL first difference at byte %ld of %zu\n",
                  expecting.first_difference, expecting.want.size());
      ++faults;
    }
    send(intact ? "far:ok\n" : "far:no\n", 7);
  }

  void flush_line() {
    if (line.empty()) return;
    std::fwrite(line.data(), 1, line.size(), log);
    std::fflush(log);
    line.clear();
  }

  void received(const unsigned char *p, size_t n) {
    if (echo) {
      send(p, n);
      std::fwrite(p, 1, n, log);
      std::fflush(log);
      return;
    }
    for (size_t i = 0; i < n;) {
      if (in_payload) {
        Expecting &e = expecting;
        const size_t take = std::min(n - i, e.want.size() - e.at);
        if (e.first_difference < 0) {
          for (size_t k = 0; k < take; ++k) {
            if (p[i + k] != e.want[e.at + k]) {
              e.first_difference = static_cast<long>(e.at + k);
              break;
            }
          }
        }
        e.at += take;
        i += take;
        if (e.at == e.want.size()) finish_payload();
        continue;
      }
      if (echo) {  // far:echo arrived inside this chunk
        received(p + i, n - i);
        return;
      }
      line.push_back(static_cast<char>(p[i++]));
      if (line.back() == '\n') {
        if (line.compare(0, 4, "far:") == 0) {
          line.pop_back();
          if (!line.empty() && line.back() == '\r') line.pop_back();
          const std::string text = line;
          line.clear();
          command(text);
        } else {
          flush_line();
        }
      }
    }
  }
};

int connect_to(const char *path, Clock::time_point give_up) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof addr.sun_path) return -1;
  std::strcpy(addr.sun_path, path);
  // QEMU creates the socket once it has started: retry until then.
  while (Clock::now() < give_up) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
      return fd;
    }
    close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return -1;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: %s <socket> <log> [--echo] [--limit SECONDS]\n",
                 argv[0]);
    return 2;
  }
  FarEnd far;
  long limit_s = 600;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--echo") == 0) {
      far.echo = true;
    } else if (std::strcmp(argv[i], "--limit") == 0 && i + 1 < argc) {
      limit_s = std::strtol(argv[++i], nullptr, 10);
    } else {
      std::fprintf(stderr, "unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  setvbuf(stdout, nullptr, _IOLBF, 0);
  const Clock::time_point end = Clock::now() + std::chrono::seconds(limit_s);
  far.log = std::fopen(argv[2], "wb");
  if (far.log == nullptr) {
    std::perror(argv[2]);
    return 1;
  }
  far.fd = connect_to(argv[1], end);
  if (far.fd < 0) {
    std::printf("far end: FAIL cannot connect to %s\n", argv[1]);
    return 1;
  }
  std::printf("far end: connected to %s\n", argv[1]);
  fcntl(far.fd, F_SETFL, fcntl(far.fd, F_GETFL) | O_NONBLOCK);

  // Reads and writes in one poll loop: QEMU stops taking bytes from the
  // socket while the guest does not read, and must never find this end
  // blocked on a write while it waits to deliver the guest's bytes.
  std::vector<unsigned char> chunk(65536);
  bool open = true;
  while (open) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - Clock::now());
    if (left.count() <= 0) {
      std::printf("far end: FAIL still connected after %ld s\n", limit_s);
      return 1;
    }
    pollfd p{far.fd, static_cast<short>(
                         POLLIN | (far.out_at < far.out.size() ? POLLOUT : 0)),
             0};
    if (poll(&p, 1, static_cast<int>(std::min<long>(left.count(), 1000))) <
        0) {
      if (errno == EINTR) continue;
      std::perror("poll");
      return 1;
    }
    if (p.revents & POLLOUT) {
      const ssize_t n = write(far.fd, far.out.data() + far.out_at,
                              far.out.size() - far.out_at);
      if (n > 0) far.out_at += static_cast<size_t>(n);
      if (far.out_at == far.out.size()) {
        far.out.clear();
        far.out_at = 0;
      }
    }
    if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t n = read(far.fd, chunk.data(), chunk.size());
      if (n > 0) {
        far.received(chunk.data(), static_cast<size_t>(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        open = false;
      }
    }
  }
  far.flush_line();
  std::fclose(far.log);
  if (far.in_payload) {
    std::printf("far end: FAIL the line closed %zu bytes into a payload of %zu\n",
                far.expecting.at, far.expecting.want.size());
    ++far.faults;
  }
  std::printf("far end: line closed, %d fault(s)\n", far.faults);
  return far.faults == 0 ? 0 : 1;
}

// Writes the hand-made seed corpus: write_seeds DIR makes DIR/uart and
// DIR/fifo. The checked-in fuzz/corpus is its output; fuzz/run checks that
// they still agree, so a change of the input format shows up there.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../fifoattach/d3xx.h"
#include "../uartattach/d2xx.h"
#include "input.h"

namespace {

using fuzz::Header;
using mex_double::Answer;

FT_HANDLE handle(std::uintptr_t value) {
  return reinterpret_cast<FT_HANDLE>(value);
}

// D2XX tells a device this process holds open by a flag; D3XX by the handle
// alone.
void mark_open(d2xx::FT_DEVICE_LIST_INFO_NODE &node) {
  node.Flags = d2xx::FT_FLAGS_OPENED;
}
void mark_open(d3xx::FT_DEVICE_LIST_INFO_NODE &) {}

// A listed device; `held` non-null lists it as open in this process.
template <class Node>
Node device(const std::string &description, FT_HANDLE held = nullptr) {
  Node node{};
  node.Type = 8;
  node.LocId = 0x21;
  std::snprintf(node.SerialNumber, sizeof node.SerialNumber, "FT%06zu",
                description.size());
  description.copy(node.Description, sizeof node.Description);
  node.ftHandle = held;
  if (held != nullptr) mark_open(node);
  return node;
}

template <class Node>
struct Seed {
  const char *name;
  std::string argument;
  std::vector<Node> records;
  std::vector<std::uint8_t> statuses;  // in call order; the rest are FT_OK
  Header header;
};

template <class Node>
std::vector<Seed<Node>> seeds(const std::string &ours,
                              const std::string &other) {
  const Node a = device<Node>(other), b = device<Node>(ours);
  const Node b_open = device<Node>(ours, handle(0x2000));
  // The header fields that vary; counts default to the two devices listed.
  auto header = [](Answer answer, double value, std::uint32_t listed = 2,
                   std::uint8_t flags = 0) {
    Header h{};
    h.answer = static_cast<std::uint8_t>(answer);
    h.answer_value = value;
    h.count = 2;
    h.listed = listed;
    h.flags = flags;
    h.handle = 0x1000;
    h.version = 0x01020304;
    return h;
  };
  // Statuses: FT_CreateDeviceInfoList, FT_GetDeviceInfoList, FT_Open/Create.
  constexpr std::uint8_t kIoError = 4;
  const std::string full(sizeof(Node::Description), 'D');
  const std::string unlisted = "no such device";
  const std::string with_nul = other + std::string(1, '\0') + "x";
  const Header plain = header(Answer::Number, 0);  // a prompt would quit
  // clang-format off
  return {
      {"match",                ours,     {a, b},      {},                  plain},
      {"prompt",               unlisted, {a, b},      {},                  header(Answer::Number, 2)},
      {"prompt_quit",          unlisted, {a, b},      {},                  plain},
      {"prompt_raises",        unlisted, {a, b},      {},                  header(Answer::Raises, 0)},
      {"open_already",         ours,     {a, b_open}, {},                  plain},
      {"open_failure",         ours,     {a, b},      {0, 0, kIoError},    plain},
      {"open_already_failure", ours,     {a, b_open}, {0, 0, 0, kIoError}, plain},
      {"list_failure",         ours,     {a, b},      {0, kIoError},       header(Answer::Number, 1)},
      {"count_failure",        ours,     {a, b},      {kIoError},          header(Answer::Number, 1)},
      {"listed_beyond_room",   ours,     {a, b},      {},                  header(Answer::Number, 0, 9)},
      {"nul_in_argument",      with_nul, {a, b},      {},                  plain},
      {"unterminated",         full,     {a, device<Node>(full)}, {},      plain},
      {"driver_missing",       ours,     {a, b},      {},                  header(Answer::Number, 0, 2, fuzz::kDriverMissing)},
  };
  // clang-format on
}

template <class Node>
bool write_all(const std::string &dir, const std::vector<Seed<Node>> &list) {
  mkdir(dir.c_str(), 0755);
  for (const Seed<Node> &seed : list) {
    Header h = seed.header;
    h.arg_len = static_cast<std::uint8_t>(seed.argument.size());
    h.records = static_cast<std::uint8_t>(seed.records.size());
    std::FILE *f = std::fopen((dir + "/" + seed.name).c_str(), "wb");
    if (f == nullptr) return false;
    std::fwrite(&h, sizeof h, 1, f);
    std::fwrite(seed.argument.data(), 1, seed.argument.size(), f);
    std::fwrite(seed.records.data(), sizeof(Node), seed.records.size(), f);
    std::fwrite(seed.statuses.data(), 1, seed.statuses.size(), f);
    if (std::fclose(f) != 0) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  mkdir(dir.c_str(), 0755);
  const bool ok =
      write_all(dir + "/uart", seeds<d2xx::FT_DEVICE_LIST_INFO_NODE>(
                                   "FT232R USB UART", "USB <-> Serial")) &&
      write_all(dir + "/fifo", seeds<d3xx::FT_DEVICE_LIST_INFO_NODE>(
                                   "FTDI SuperSpeed-FIFO Bridge", "FT600"));
  if (!ok) std::perror("write_seeds");
  return ok ? 0 : 1;
}

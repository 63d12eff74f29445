// State and bookkeeping shared by the simulated D2XX and D3XX libraries:
// devices, injected failures, handles, and the call log. Each library links
// its own copy, so their states stay apart.
#pragma once

#include <any>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../attach/ft_types.h"
#include "sim_control.h"

namespace sim {

constexpr FT_STATUS kInvalidHandle = 1;
constexpr FT_STATUS kDeviceNotFound = 2;
constexpr FT_STATUS kDeviceNotOpened = 3;
constexpr FT_STATUS kInvalidParameter = 6;
constexpr FT_STATUS kNotSupported = 17;

struct Device {
  std::uint64_t key = 0;  // unique among the devices added since the last reset
  std::uint32_t flags = 0;
  bool flags_given = false;
  std::uint32_t type = 0;
  std::uint32_t id = 0;
  std::uint32_t locid = 0;
  std::string serial;
  std::string description;
  bool held_elsewhere = false;
  std::uint64_t handle = 0;  // non-zero while this process holds it open
};

struct LogLine {
  std::string text;
  bool misuse;
};

struct State {
  std::vector<Device> devices;
  std::vector<Device> listed;  // as of the last FT_CreateDeviceInfoList
  std::map<std::string, FT_STATUS> always;
  std::map<std::string, std::map<std::uint32_t, FT_STATUS>> nth;
  std::map<std::string, std::uint32_t> calls;
  std::vector<std::uint64_t> queued_handles;
  std::size_t next_queued = 0;
  std::uint64_t next_handle = 0x1000;
  std::uint64_t next_device_key = 1;
  std::set<std::uint64_t> open;
  std::set<std::uint64_t> closed;  // closed and not handed out again
  std::vector<LogLine> log;
  std::uint32_t version = 0;
  std::int64_t list_count = -1;
  bool scribble = false;
  std::vector<std::uint8_t> config;
  std::uint8_t latency = 16;
  std::string last_error;
  std::any far_end;  // the library's own far-end state: reset drops it
};

// What each library fills in: its function names, defaults and field sizes.
struct Profile {
  const char *functions;  // comma-separated
  std::uint32_t version;
  std::size_t serial_size;
  std::size_t description_size;
  std::vector<std::uint8_t> config;  // empty: no configuration record
};
const Profile &profile();  // defined by each library

State &state();

std::string hex(std::uint64_t value);
std::string hex(FT_HANDLE handle);

// One driver call: counted, checked for a closed handle, answered with an
// injected status when one is due, and logged when it ends.
class Call {
 public:
  Call(const char *function, std::string arguments);
  Call(const char *function, FT_HANDLE handle, const std::string &more = "");
  bool injected() const { return injected_; }
  FT_STATUS end(FT_STATUS status);
  FT_STATUS end_injected() { return end(status_); }
  // Records the call as misuse for `reason`, which its log line then ends with.
  void misuse(const char *reason);

 private:
  const char *function_;
  std::string arguments_;
  bool misuse_ = false;
  std::string reason_;
  bool injected_ = false;
  FT_STATUS status_ = FT_OK;
};

// The device at `index` of the current device table, or null.
Device *device_at(std::uint64_t index);
// Opens the device at `index`: FT_OK and the new handle, or a failure.
FT_STATUS open_device(std::uint64_t index, FT_HANDLE *handle);
FT_STATUS close_handle(FT_HANDLE handle);
// The device `handle` is open on, or null: not open, or the device was
// removed (unplugged) while open.
Device *device_of_handle(FT_HANDLE handle);
bool is_open(FT_HANDLE handle);

// The entry the driver lists for `device`.
template <class Node>
void fill_node(Node &node, const Device &device) {
  node = Node{};
  if (device.held_elsewhere) {
    node.Flags = 1;
    return;
  }
  node.Flags = device.flags_given ? device.flags
                                  : (device.flags | (device.handle ? 1u : 0u));
  node.Type = device.type;
  node.ID = device.id;
  node.LocId = device.locid;
  device.serial.copy(node.SerialNumber, sizeof node.SerialNumber);
  device.description.copy(node.Description, sizeof node.Description);
  node.ftHandle = reinterpret_cast<FT_HANDLE>(
      static_cast<std::uintptr_t>(device.handle));
}

FT_STATUS create_device_info_list(DWORD *numDevs);

template <class Node>
FT_STATUS get_device_info_list(Node *list, DWORD *numDevs) {
  const DWORD room = numDevs != nullptr ? *numDevs : 0;
  Call call("FT_GetDeviceInfoList", std::to_string(room));
  State &s = state();
  if (list == nullptr || numDevs == nullptr) return call.end(kInvalidParameter);
  if (call.injected()) {
    if (s.scribble) {
      for (DWORD i = 0; i < room; ++i) {
        auto *bytes = reinterpret_cast<unsigned char *>(&list[i]);
        for (std::size_t b = 0; b < sizeof(Node); ++b) bytes[b] = 0xA5;
      }
    }
    return call.end_injected();
  }
  const std::size_t shown = s.listed.size() < room ? s.listed.size() : room;
  for (std::size_t i = 0; i < shown; ++i) fill_node(list[i], s.listed[i]);
  *numDevs = s.list_count >= 0 ? static_cast<DWORD>(s.list_count)
                               : static_cast<DWORD>(s.listed.size());
  return call.end(FT_OK);
}

// Driver calls that only need an open handle.
FT_STATUS handle_call(const char *function, FT_HANDLE handle,
                      const std::string &more = "");

}  // namespace sim

// The driver as the fuzz input scripts it, common to D2XX and D3XX: the counts
// and records it lists, the status of each call, the handle it hands out and
// its version word. It also keeps the books the checks need: which handles it
// handed out, which were closed, and what the call's list holds.
#pragma once

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "../attach/ft_types.h"
#include "../fifoattach/d3xx.h"
#include "../uartattach/d2xx.h"
#include "input.h"
#include "violation.h"

namespace fuzz {

// The handle of a listed device that this process holds open, else null.
// D2XX marks such a device with a flag, D3XX by listing its handle at all.
inline FT_HANDLE held_handle(const d2xx::FT_DEVICE_LIST_INFO_NODE &node) {
  return (node.Flags & d2xx::FT_FLAGS_OPENED) != 0 ? node.ftHandle : nullptr;
}
inline FT_HANDLE held_handle(const d3xx::FT_DEVICE_LIST_INFO_NODE &node) {
  return node.ftHandle;
}

template <class Node>
class DriverDouble {
 public:
  DriverDouble() = default;
  void begin(const Input<Node> &in) { *this = DriverDouble(in); }

  bool missing() const { return (script_.header.flags & kDriverMissing) != 0; }
  int calls() const { return calls_; }

  FT_STATUS create_list(DWORD *numDevs) {
    const FT_STATUS status = next_status();
    *numDevs = script_.header.count;  // written whatever the status says
    // A count the driver failed to give allows no list and no open.
    reported_ = status == FT_OK ? script_.header.count : 0;
    return status;
  }

  // Fills the room it is given with the scripted records, even when the
  // status it then answers says the list could not be read.
  FT_STATUS get_list(Node *list, DWORD *numDevs) {
    const FT_STATUS status = next_status();
    const DWORD room = *numDevs;
    if (room > reported_) {
      violation("list asked for %u entries, the driver reported %u", room,
                reported_);
    }
    for (DWORD i = 0; i < room && i < script_.records.size(); ++i) {
      list[i] = script_.records[i];
    }
    *numDevs = script_.header.listed;
    if (status == FT_OK) {
      list_read_ = true;
      filled_ = script_.header.listed < room ? script_.header.listed : room;
    }
    return status;
  }

  FT_STATUS open(std::uint64_t index, FT_HANDLE *handle) {
    if (++opens_ > 1) violation("a second open in one call");
    open_index_ = index;
    if (index >= reported_) {
      violation("open of device %llu, the driver reported %u",
                static_cast<unsigned long long>(index), reported_);
    }
    // The driver cannot open again what this process holds: a device the list
    // showed held must have been closed first.
    const FT_HANDLE held = listed_held(index);
    if (held != nullptr && closed_.count(held) == 0) {
      violation("open of device %llu, still held as %p",
                static_cast<unsigned long long>(index), held);
    }
    const FT_STATUS status = next_status();
    // Written even on failure: the call must not take it then.
    *handle = scripted_handle();
    if (status == FT_OK) {
      closed_.erase(*handle);  // a handle value may be handed out again
      opened_ = *handle;
      handed_out_ = true;
      holds_open_ = true;
    }
    return status;
  }

  FT_STATUS close(FT_HANDLE handle) {
    use(handle, "FT_Close");
    if (holds_open_ && handle == opened_) holds_open_ = false;
    if (handle != nullptr) closed_.insert(handle);
    return next_status();
  }

  // Any other call on a handle.
  FT_STATUS on_handle(FT_HANDLE handle, const char *fn) {
    use(handle, fn);
    return next_status();
  }

  FT_STATUS version(FT_HANDLE handle, DWORD *word) {
    use(handle, "FT_GetDriverVersion");
    const FT_STATUS status = next_status();
    if (status == FT_OK) *word = script_.header.version;
    return status;
  }

  // What the call did: the device it tried to open, the handle handed out
  // and whether it is still open.
  bool open_tried(std::uint64_t *index) const {
    *index = open_index_;
    return opens_ != 0;
  }
  bool handed_out() const { return handed_out_; }
  bool holds_open(FT_HANDLE *handle) const {
    *handle = opened_;
    return holds_open_;
  }

  // The description the call's list holds for a device: the field's text
  // before its first NUL, and blank for an entry the driver did not fill.
  std::string listed_description(std::uint64_t index) const {
    const Node *node = listed(index);
    if (node == nullptr) return "";
    return std::string(node->Description,
                       strnlen(node->Description, sizeof node->Description));
  }
  // Whether a device of the call's list has exactly this description.
  bool lists(const std::string &description) const {
    if (description.empty()) return false;  // blank entries match nothing
    for (std::uint64_t i = 0; i < filled_ && i < script_.records.size(); ++i) {
      if (listed_description(i) == description) return true;
    }
    return false;
  }

 private:
  explicit DriverDouble(const Input<Node> &in) : script_(in) {}

  // The entry the call's list holds for `index`, if the driver filled it.
  const Node *listed(std::uint64_t index) const {
    if (!list_read_ || index >= filled_ || index >= script_.records.size()) {
      return nullptr;
    }
    return &script_.records[index];
  }
  FT_HANDLE listed_held(std::uint64_t index) const {
    const Node *node = listed(index);
    return node != nullptr ? held_handle(*node) : nullptr;
  }

  FT_HANDLE scripted_handle() const {
    return reinterpret_cast<FT_HANDLE>(
        static_cast<std::uintptr_t>(script_.header.handle));
  }

  FT_STATUS next_status() {
    const std::size_t i = static_cast<std::size_t>(calls_++);
    return i < script_.statuses.size() ? script_.statuses[i] : FT_OK;
  }

  // A null handle is not held by anyone: the driver only answers that it is
  // invalid, so passing it again is harmless.
  void use(FT_HANDLE handle, const char *fn) const {
    if (handle != nullptr && closed_.count(handle) != 0) {
      violation("%s on handle %p after FT_Close closed it", fn, handle);
    }
  }

  Input<Node> script_;
  int calls_ = 0;
  DWORD reported_ = 0;
  bool list_read_ = false;
  DWORD filled_ = 0;
  int opens_ = 0;
  FT_HANDLE opened_ = nullptr;
  bool holds_open_ = false;
  bool handed_out_ = false;
  std::uint64_t open_index_ = 0;
  std::set<FT_HANDLE> closed_;
};

// The one driver the module's Api table reaches, per library.
template <class Node>
DriverDouble<Node> &the_driver() {
  static DriverDouble<Node> driver;
  return driver;
}

}  // namespace fuzz

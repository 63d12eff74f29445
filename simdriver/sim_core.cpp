#include "sim_core.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sim {

namespace {

State fresh_state() {
  State s;
  s.version = profile().version;
  s.config = profile().config;
  return s;
}

std::uint64_t next_handle(State &s) {
  if (s.next_queued < s.queued_handles.size()) {
    return s.queued_handles[s.next_queued++];
  }
  while (s.next_handle == 0 || s.open.count(s.next_handle) != 0) ++s.next_handle;
  return s.next_handle++;
}

bool knows_function(const char *function) {
  const std::string list = std::string(",") + profile().functions + ",";
  return std::strchr(function, ',') == nullptr &&
         list.find("," + std::string(function) + ",") != std::string::npos;
}

int fail_with(const std::string &message) {
  state().last_error = message;
  return -1;
}

}  // namespace

State &state() {
  static State s = fresh_state();
  return s;
}

std::string hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llx",
                static_cast<unsigned long long>(value));
  return text;
}

std::string hex(FT_HANDLE handle) { return hex(handle_value(handle)); }

Call::Call(const char *function, std::string arguments)
    : function_(function), arguments_(std::move(arguments)) {
  State &s = state();
  const std::uint32_t count = ++s.calls[function];
  const auto always = s.always.find(function);
  if (always != s.always.end()) {
    injected_ = true;
    status_ = always->second;
  }
  const auto rules = s.nth.find(function);
  if (rules != s.nth.end()) {
    const auto rule = rules->second.find(count);
    if (rule != rules->second.end()) {
      injected_ = true;
      status_ = rule->second;
    }
  }
}

Call::Call(const char *function, FT_HANDLE handle, const std::string &more)
    : Call(function, hex(handle) + more) {
  misuse_ = state().closed.count(handle_value(handle)) != 0;
}

FT_STATUS Call::end(FT_STATUS status) {
  std::string text =
      std::string(function_) + "(" + arguments_ + ")=" + std::to_string(status);
  if (!reason_.empty()) text += " " + reason_;
  state().log.push_back({std::move(text), misuse_});
  return status;
}

Device *device_at(std::uint64_t index) {
  State &s = state();
  return index < s.devices.size() ? &s.devices[index] : nullptr;
}

FT_STATUS open_device(std::uint64_t index, FT_HANDLE *handle) {
  State &s = state();
  Device *device = device_at(index);
  if (device == nullptr) return kDeviceNotFound;
  if (device->held_elsewhere || device->handle != 0) return kDeviceNotOpened;
  const std::uint64_t value = next_handle(s);
  device->handle = value;
  s.open.insert(value);
  s.closed.erase(value);
  *handle = reinterpret_cast<FT_HANDLE>(static_cast<std::uintptr_t>(value));
  return FT_OK;
}

Device *device_of_handle(FT_HANDLE handle) {
  const std::uint64_t value = handle_value(handle);
  if (value == 0 || !is_open(handle)) return nullptr;
  for (Device &device : state().devices) {
    if (device.handle == value) return &device;
  }
  return nullptr;
}

bool is_open(FT_HANDLE handle) {
  return state().open.count(handle_value(handle)) != 0;
}

FT_STATUS close_handle(FT_HANDLE handle) {
  State &s = state();
  const std::uint64_t value = handle_value(handle);
  if (s.open.erase(value) == 0) return kInvalidHandle;
  s.closed.insert(value);
  for (Device &device : s.devices) {
    if (device.handle == value) device.handle = 0;
  }
  return FT_OK;
}

FT_STATUS create_device_info_list(DWORD *numDevs) {
  Call call("FT_CreateDeviceInfoList", "");
  if (call.injected()) return call.end_injected();
  if (numDevs == nullptr) return call.end(kInvalidParameter);
  State &s = state();
  s.listed = s.devices;
  *numDevs = static_cast<DWORD>(s.listed.size());
  return call.end(FT_OK);
}

FT_STATUS handle_call(const char *function, FT_HANDLE handle,
                      const std::string &more) {
  Call call(function, handle, more);
  if (call.injected()) return call.end_injected();
  return call.end(is_open(handle) ? FT_OK : kInvalidHandle);
}

}  // namespace sim

using sim::state;

void ftsim_reset(void) {
  state() = sim::fresh_state();
}

long ftsim_add_device(const ftsim_device *d) {
  const sim::Profile &p = sim::profile();
  if (d->serial_len > p.serial_size) {
    return sim::fail_with("SerialNumber is longer than its " +
                          std::to_string(p.serial_size) + "-byte field");
  }
  if (d->description_len > p.description_size) {
    return sim::fail_with("Description is longer than its " +
                          std::to_string(p.description_size) + "-byte field");
  }
  sim::Device device;
  device.flags = d->flags;
  device.flags_given = d->flags_given != 0;
  device.type = d->type;
  device.id = d->id;
  device.locid = d->locid;
  device.serial.assign(d->serial != nullptr ? d->serial : "", d->serial_len);
  device.description.assign(d->description != nullptr ? d->description : "",
                            d->description_len);
  device.held_elsewhere = d->held_elsewhere != 0;
  device.key = state().next_device_key++;
  state().devices.push_back(device);
  return static_cast<long>(state().devices.size() - 1);
}

int ftsim_remove_device(std::size_t index) {
  auto &devices = state().devices;
  if (index >= devices.size()) return sim::fail_with("no device at that index");
  devices.erase(devices.begin() + static_cast<std::ptrdiff_t>(index));
  return 0;
}

int ftsim_fail(const char *function, std::uint32_t status, std::uint32_t nth) {
  if (!sim::knows_function(function)) {
    return sim::fail_with(std::string("the driver has no function ") + function);
  }
  sim::State &s = state();
  if (nth != 0) s.nth[function][nth] = status;
  else if (status == FT_OK) s.always.erase(function);
  else s.always[function] = status;
  return 0;
}

const char *ftsim_functions(void) { return sim::profile().functions; }

void ftsim_set_version(std::uint32_t word) { state().version = word; }

void ftsim_set_handles(const std::uint64_t *values, std::size_t count) {
  state().queued_handles.assign(values, values + count);
  state().next_queued = 0;
}

void ftsim_set_list_count(std::int64_t count) { state().list_count = count; }

void ftsim_set_scribble(int on) { state().scribble = on != 0; }

int ftsim_set_config(const void *record, std::size_t size) {
  auto &config = state().config;
  if (config.empty() || size != config.size()) {
    return sim::fail_with("this driver has no configuration record of that size");
  }
  std::memcpy(config.data(), record, size);
  return 0;
}

int ftsim_get_config(void *record, std::size_t size) {
  const auto &config = state().config;
  if (config.empty() || size != config.size()) {
    return sim::fail_with("this driver has no configuration record of that size");
  }
  std::memcpy(record, config.data(), size);
  return 0;
}

void ftsim_clear_log(void) { state().log.clear(); }

std::size_t ftsim_log_size(void) { return state().log.size(); }

const char *ftsim_log_line(std::size_t index) {
  const auto &log = state().log;
  return index < log.size() ? log[index].text.c_str() : "";
}

int ftsim_log_misuse(std::size_t index) {
  const auto &log = state().log;
  return index < log.size() && log[index].misuse ? 1 : 0;
}

std::size_t ftsim_open_handles(std::uint64_t *out, std::size_t capacity) {
  const auto &open = state().open;
  std::size_t i = 0;
  for (auto it = open.begin(); it != open.end() && i < capacity; ++it) {
    out[i++] = *it;
  }
  return open.size();
}

const char *ftsim_last_error(void) { return state().last_error.c_str(); }

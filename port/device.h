// What each kind of object supplies to the shared gateway: its settings, its
// device list, and how it moves bytes. uartport/uart_device.cpp and
// fifoport/fifo_device.cpp each define one Device.
#pragma once

#include <mex.h>

#include <cstdint>
#include <string>
#include <vector>

#include "port.h"

namespace port {

// One setting an object takes as Name, Value (case-insensitive name).
struct Setting {
  const char *name;
  // Checks `value` and keeps it in `port` (nothing else); false, with the
  // reason in *why, when it is not a value of this setting.
  bool (*parse)(const mxArray *value, Settings &settings, const char **why);
  // Gives the kept value to the driver; null when the driver is not told.
  // Settings that share one driver call share this function. Returns the
  // status, with the driver function's name in *function.
  FT_STATUS (*apply)(Port &port, const char **function);
  // The kept value as the property shows it; null for settings the object
  // keeps itself (Tag, UserData), which are passed through as given, else
  // as `initial` makes them.
  mxArray *(*value)(const Settings &settings);
  mxArray *(*initial)();
  // Given only when the object is made (fifoport's Channel).
  bool fixed;
};

// A call of the gateway that only one kind of object has.
struct Op {
  const char *name;
  void (*run)(Port &port, int nlhs, mxArray *plhs[], int nrhs,
              const mxArray *prhs[]);
};

// A read or write in progress: `done` bytes of `size` moved so far, kept up
// to date after every driver call so that an interrupt loses nothing.
struct Transfer {
  std::uint8_t *bytes;
  std::size_t size;
  std::size_t done;
};

// One entry of the driver's device list.
struct Listed {
  std::string description;  // empty: blocked
  std::string serial;
  std::uint32_t type, id, locid;
  bool open;  // listed opened, by this process or another
};

struct Device {
  Kind kind;
  double default_timeout;
  const Setting *settings;
  std::size_t setting_count;
  // A positional setting after the description (uartport's baud rate), or
  // null.
  const char *positional;
  // Raises <name>:driverUnavailable unless the driver library has every
  // function the object needs.
  void (*require_driver)();
  // The driver's device list, read without printing anything; raises
  // <name>:driverError when it cannot be read.
  std::vector<Listed> (*list)();
  // Called once the device is attached and the settings applied.
  void (*start)(Port &port);
  // Sends until done or the deadline, counting in port.written what the
  // driver took.
  void (*send)(Port &port, Transfer &transfer, const Deadline &deadline);
  // Receives until done or the deadline; what the object held has been
  // taken already.
  void (*receive)(Port &port, Transfer &transfer, const Deadline &deadline);
  // Bytes there to read now, in the driver and held; null when the kind
  // cannot tell (FIFO pipes have no queue count).
  std::uint64_t (*available)(Port &port);
  // flush(obj) and flush(obj, which).
  void (*flush)(Port &port, const mxArray *which);
  // The kind's own calls.
  const Op *ops;
  std::size_t op_count;
};

const Device &uart_device();
const Device &fifo_device();
const Device &device_of(Kind kind);

// A status the driver gives for a value it refuses.
bool refuses_value(Kind kind, FT_STATUS status);

// The settings both kinds take.
bool parse_timeout(const mxArray *value, Settings &settings, const char **why);
mxArray *timeout_value(const Settings &settings);
bool parse_byte_order(const mxArray *value, Settings &settings, const char **why);
mxArray *byte_order_value(const Settings &settings);
bool parse_tag(const mxArray *value, Settings &settings, const char **why);
mxArray *initial_tag();
bool parse_user_data(const mxArray *value, Settings &settings, const char **why);
mxArray *initial_user_data();

// The device list through the kind's driver functions, read silently.
template <class Api, class Node>
std::vector<Listed> read_list(Kind kind, const Api &api, bool (*is_open)(const Node &)) {
  DWORD count = 0;
  FT_STATUS status = api.FT_CreateDeviceInfoList(&count);
  if (status != FT_OK) driver_error(kind, "FT_CreateDeviceInfoList", status);
  std::vector<Node> nodes(count);
  if (count != 0) {
    DWORD filled = count;
    status = api.FT_GetDeviceInfoList(nodes.data(), &filled);
    if (status != FT_OK) driver_error(kind, "FT_GetDeviceInfoList", status);
    if (filled < count) count = filled;  // never more than the room given
  }
  std::vector<Listed> listed;
  for (DWORD i = 0; i < count; ++i) {
    const Node &n = nodes[i];
    listed.push_back({std::string(n.Description, strnlen(n.Description, sizeof n.Description)),
                      std::string(n.SerialNumber, strnlen(n.SerialNumber, sizeof n.SerialNumber)),
                      n.Type, n.ID, n.LocId, is_open(n)});
  }
  return listed;
}

// Applies every setting of the port's kind, one driver call per apply
// function; on a failure raises <name>:invalidValue (a refused value) or
// <name>:driverError.
void apply_all(Port &port);

}  // namespace port

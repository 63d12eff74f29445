#include "device.h"

#include <cmath>

namespace port {

const Device &device_of(Kind kind) {
  return kind == Kind::Uart ? uart_device() : fifo_device();
}

bool refuses_value(Kind, FT_STATUS status) {
  return status == 6 || status == 7 || status == 16;  // parameter, baud rate, args
}

void apply_all(Port &port) {
  const Device &device = device_of(port.kind);
  for (std::size_t i = 0; i < device.setting_count; ++i) {
    const auto apply = device.settings[i].apply;
    if (apply == nullptr) continue;
    bool done_before = false;  // settings that share a driver call apply once
    for (std::size_t j = 0; j < i; ++j) done_before |= device.settings[j].apply == apply;
    if (done_before) continue;
    const char *function = "";
    const FT_STATUS status = apply(port, &function);
    if (status == FT_OK) continue;
    if (refuses_value(port.kind, status)) {
      raise(port.kind, "invalidValue",
            "the driver refuses a setting (%s: status %u, %s); the device was "
            "closed",
            function, status, status_name(port.kind, status));
    }
    raise(port.kind, "driverError", "%s: status %u (%s); the device was closed",
          function, status, status_name(port.kind, status));
  }
}

bool parse_timeout(const mxArray *value, Settings &settings, const char **why) {
  double v = 0;
  if (!scalar_of(value, &v) || !(v >= 0)) {
    *why = "it must be a number of seconds, 0 or more (Inf: no limit)";
    return false;
  }
  settings.timeout = v;
  return true;
}

mxArray *timeout_value(const Settings &settings) {
  return mxCreateDoubleScalar(settings.timeout);
}

bool parse_byte_order(const mxArray *value, Settings &settings, const char **why) {
  if (text_is(value, "little-endian")) {
    settings.big_endian = false;
  } else if (text_is(value, "big-endian")) {
    settings.big_endian = true;
  } else {
    *why = "it must be \"little-endian\" or \"big-endian\"";
    return false;
  }
  return true;
}

mxArray *byte_order_value(const Settings &settings) {
  return mxCreateString(settings.big_endian ? "big-endian" : "little-endian");
}

bool parse_tag(const mxArray *value, Settings &, const char **why) {
  const bool text = value != nullptr && mxIsChar(value) &&
                    mxGetNumberOfDimensions(value) == 2 &&
                    (mxGetM(value) == 1 || mxGetNumberOfElements(value) == 0);
  if (!text) *why = "it must be text (a char row)";
  return text;
}

mxArray *initial_tag() { return mxCreateString(""); }

bool parse_user_data(const mxArray *, Settings &, const char **) { return true; }

mxArray *initial_user_data() { return mxCreateDoubleMatrix(0, 0, mxREAL); }

}  // namespace port

// ftdiport_io: the gateway through which the uartport and fifoport objects
// reach their drivers. Each method of the objects is one call:
//   ftdiport_io(OPERATION, OBJECT_NUMBER or KIND, ...)
// The calls common to both kinds are here; each kind adds its own (see
// device.h). Everything a script passes is checked here, in one place.
#include <mex.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "datatypes.h"
#include "device.h"
#include "port.h"

namespace port {

namespace {

// A read never asks for more bytes than the machine has memory: larger
// counts are refused before anything is allocated.
std::uint64_t max_read_bytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page = sysconf(_SC_PAGESIZE);
  return pages > 0 && page > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page)
                               : std::uint64_t{1} << 32;
}

using Run = void (*)(int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]);

const mxArray *arg(int nrhs, const mxArray *prhs[], int i) {
  return i < nrhs ? prhs[i] : nullptr;
}

Kind kind_named(const mxArray *a) {
  if (text_is(a, "uart")) return Kind::Uart;
  if (text_is(a, "fifo")) return Kind::Fifo;
  mexErrMsgIdAndTxt("ftdiport_io:usage", "The kind must be 'uart' or 'fifo'.");
  return Kind::Uart;
}

const Setting *setting_named(const Device &device, const mxArray *name) {
  for (std::size_t i = 0; i < device.setting_count; ++i) {
    if (text_is(name, device.settings[i].name)) return &device.settings[i];
  }
  return nullptr;
}

const Setting &positional_setting(const Device &device) {
  for (std::size_t i = 0; i < device.setting_count; ++i) {
    if (std::strcmp(device.settings[i].name, device.positional) == 0) {
      return device.settings[i];
    }
  }
  return device.settings[0];
}

void parse_or_raise(Kind kind, const Setting &setting, const mxArray *value,
                    Settings &settings) {
  const char *why = "it is not a valid value";
  if (!setting.parse(value, settings, &why)) {
    raise(kind, "invalidValue", "%s: %s", setting.name, why);
  }
}

// ftdiport_io('options', KIND, ARGS): the constructor's arguments checked,
// before anything is listed or printed: [DESCRIPTION, SETTINGS, PROMPT].
void options(int, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  const Kind kind = kind_named(arg(nrhs, prhs, 1));
  const Device &device = device_of(kind);
  const mxArray *args = arg(nrhs, prhs, 2);
  if (args == nullptr || !mxIsCell(args)) {
    mexErrMsgIdAndTxt("ftdiport_io:usage", "The arguments must be a cell.");
  }
  const std::size_t n = mxGetNumberOfElements(args);
  Settings settings;
  settings.timeout = device.default_timeout;
  std::vector<const mxArray *> given(device.setting_count, nullptr);
  const mxArray *description = nullptr;
  std::size_t i = 0;
  if (n != 0) {
    description = mxGetCell(args, 0);
    const bool is_text = description != nullptr && mxIsChar(description) &&
                         mxGetNumberOfDimensions(description) == 2 &&
                         (mxGetM(description) == 1 ||
                          mxGetNumberOfElements(description) == 0);
    if (!is_text) {
      raise(kind, "invalidValue", "the description must be text (a char row)");
    }
    i = 1;
    if (device.positional != nullptr && n > 1 && !mxIsChar(mxGetCell(args, 1))) {
      const Setting &setting = positional_setting(device);
      parse_or_raise(kind, setting, mxGetCell(args, 1), settings);
      given[static_cast<std::size_t>(&setting - device.settings)] = mxGetCell(args, 1);
      i = 2;
    }
  }
  for (; i < n; i += 2) {
    const mxArray *name = mxGetCell(args, i);
    char text[64] = "";
    const Setting *setting = setting_named(device, name);
    if (setting == nullptr) {
      if (!text_of(name, text, sizeof text)) {
        raise(kind, "invalidValue",
              "expected a property name (text) at argument %zu", i + 1);
      }
      raise(kind, "invalidValue", "'%s' is not a property a %s object takes",
            text, name_of(kind));
    }
    if (i + 1 >= n) raise(kind, "invalidValue", "%s needs a value", setting->name);
    parse_or_raise(kind, *setting, mxGetCell(args, i + 1), settings);
    given[static_cast<std::size_t>(setting - device.settings)] = mxGetCell(args, i + 1);
  }
  // The driver library must have everything the object will call before
  // the device is attached.
  device.require_driver();

  std::vector<const char *> names;
  for (std::size_t k = 0; k < device.setting_count; ++k) {
    names.push_back(device.settings[k].name);
  }
  mxArray *result = mxCreateStructMatrix(1, 1, static_cast<int>(names.size()),
                                         names.data());
  for (std::size_t k = 0; k < device.setting_count; ++k) {
    const Setting &s = device.settings[k];
    mxArray *value = s.value != nullptr ? s.value(settings)
                     : given[k] != nullptr ? mxDuplicateArray(given[k])
                                           : s.initial();
    mxSetField(result, 0, s.name, value);
  }
  if (description != nullptr) {
    plhs[0] = mxDuplicateArray(description);
  } else {
    const mwSize dims[2] = {1, 0};  // 1x0: uartattach refuses the 0x0 ''
    plhs[0] = mxCreateCharArray(2, dims);
  }
  plhs[1] = result;
  plhs[2] = mxCreateLogicalScalar(n == 0);
}

std::string quoted_list(const std::vector<Listed> &listed, std::size_t *blocked) {
  std::string text;
  *blocked = 0;
  for (const Listed &entry : listed) {
    if (entry.description.empty()) {
      ++*blocked;
      continue;
    }
    text += text.empty() ? "'" : ", '";
    text += entry.description + "'";
  }
  return text;
}

// ftdiport_io('find', KIND, DESCRIPTION): raises <name>:notFound unless a
// listed entry has exactly that description.
void find(int, mxArray *[], int nrhs, const mxArray *prhs[]) {
  const Kind kind = kind_named(arg(nrhs, prhs, 1));
  const mxArray *description = arg(nrhs, prhs, 2);
  if (description == nullptr || !mxIsChar(description)) {
    raise(kind, "invalidValue", "the description must be text (a char row)");
  }
  std::string wanted;
  for (std::size_t i = 0; i < mxGetNumberOfElements(description); ++i) {
    wanted += static_cast<char>(char_code(description, i));
  }
  const std::vector<Listed> listed = device_of(kind).list();
  for (const Listed &entry : listed) {
    if (!entry.description.empty() && entry.description == wanted) return;
  }
  std::size_t blocked = 0;
  const std::string seen = quoted_list(listed, &blocked);
  char blocked_text[256] = "";
  if (blocked != 0) {
    std::snprintf(blocked_text, sizeof blocked_text,
                  "%s%zu blocked entr%s (held by another program or the "
                  "kernel's serial driver)",
                  seen.empty() ? "" : ", and ", blocked, blocked == 1 ? "y" : "ies");
  }
  raise(kind, "notFound",
        "no listed device has the description '%s'; the driver lists %zu "
        "entr%s%s%s%s. See Troubleshooting in the README.",
        wanted.c_str(), listed.size(), listed.size() == 1 ? "y" : "ies",
        listed.empty() ? "" : ": ", seen.c_str(), blocked_text);
}

// ftdiport_io('list', KIND): the device list as a struct array, silently.
void list(int, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  const Kind kind = kind_named(arg(nrhs, prhs, 1));
  const std::vector<Listed> listed = device_of(kind).list();
  const char *fields[] = {"Description", "SerialNumber", "Type", "ID", "LocId", "IsOpen"};
  mxArray *result = listed.empty()
                        ? mxCreateStructMatrix(0, 0, 6, fields)
                        : mxCreateStructMatrix(1, listed.size(), 6, fields);
  for (std::size_t i = 0; i < listed.size(); ++i) {
    const Listed &e = listed[i];
    const auto *d = reinterpret_cast<const std::uint8_t *>(e.description.data());
    const auto *s = reinterpret_cast<const std::uint8_t *>(e.serial.data());
    mxSetField(result, i, "Description", text_result(d, e.description.size()));
    mxSetField(result, i, "SerialNumber", text_result(s, e.serial.size()));
    mxSetField(result, i, "Type", mxCreateDoubleScalar(e.type));
    mxSetField(result, i, "ID", mxCreateDoubleScalar(e.id));
    mxSetField(result, i, "LocId", mxCreateDoubleScalar(e.locid));
    mxSetField(result, i, "IsOpen", mxCreateLogicalScalar(e.open));
  }
  plhs[0] = result;
}

// Closes the handle of an object whose start failed, on the way out.
struct CloseUnlessStarted {
  Port *port;
  bool started = false;
  ~CloseUnlessStarted() {
    if (started) return;
    close_handle(*port);
    remove_port(port->id);
  }
};

// ftdiport_io('adopt', KIND, HANDLE, SETTINGS): makes the object for the
// device uartattach/fifoattach has just attached, as handle HANDLE (its
// rounded double), and applies SETTINGS; returns the object's number. The
// exact handle and its generation come from the hub's record of that open.
void adopt(int, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  const Kind kind = kind_named(arg(nrhs, prhs, 1));
  const Device &device = device_of(kind);
  double h = 0;
  const mxArray *given = arg(nrhs, prhs, 3);
  if (!scalar_of(arg(nrhs, prhs, 2), &h) || given == nullptr || !mxIsStruct(given)) {
    mexErrMsgIdAndTxt("ftdiport_io:usage", "adopt takes a handle and settings.");
  }
  const hub::Api &api = hub_for(kind);
  const hub::Open open = api.latest_open(hub_kind(kind));
  if (open.generation == 0 || static_cast<double>(open.handle) != h) {
    raise(kind, "notAttached", "%s did not leave the device open as handle %.17g",
          attach_module(kind), h);
  }
  if (port_of_open(open) != nullptr) {
    raise(kind, "notAttached", "the device attached last belongs to another object already");
  }
  Port &port = add_port(kind, open);
  CloseUnlessStarted guard{&port};
  for (std::size_t k = 0; k < device.setting_count; ++k) {
    const Setting &s = device.settings[k];
    const mxArray *value = mxGetField(given, 0, s.name);
    if (s.value != nullptr && value != nullptr) parse_or_raise(kind, s, value, port.settings);
  }
  apply_all(port);
  device.start(port);
  guard.started = true;
  plhs[0] = mxCreateDoubleScalar(static_cast<double>(port.id));
}

// ftdiport_io('close', OBJECT): closes the object's handle when it is still
// the object's; harmless when the object is closed already. Returns the
// bytes written and read since the open, and the number a deleted object
// keeps.
void close(int, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  const mxArray *number = arg(nrhs, prhs, 1);
  const Kind kind = kind_of(number);
  double written = 0, read = 0;
  if (Port *port = find_port(number)) {
    written = static_cast<double>(port->written);
    read = static_cast<double>(port->read);
    if (handle_is_open(*port)) close_handle(*port);
    remove_port(port->id);
  }
  plhs[0] = mxCreateDoubleScalar(static_cast<double>(kind));
  plhs[1] = mxCreateDoubleScalar(written);
  plhs[2] = mxCreateDoubleScalar(read);
}

void is_open(int, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  const Port *port = find_port(arg(nrhs, prhs, 1));
  plhs[0] = mxCreateLogicalScalar(port != nullptr && handle_is_open(*port));
}

// Puts the settings back when applying a new value fails.
struct RestoreUnlessKept {
  Port &port;
  Settings saved;
  bool kept = false;
  ~RestoreUnlessKept() {
    if (!kept) port.settings = saved;
  }
};

// ftdiport_io('set', OBJECT, NAME, VALUE): a new setting, given to the
// driver at once; the value as the property now shows it.
void set(int, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  Port &port = checked_port(arg(nrhs, prhs, 1));
  const Device &device = device_of(port.kind);
  const Setting *setting = setting_named(device, arg(nrhs, prhs, 2));
  if (setting == nullptr || setting->value == nullptr || setting->fixed || nrhs < 4) {
    mexErrMsgIdAndTxt("ftdiport_io:usage", "set takes a setting's name and value.");
  }
  RestoreUnlessKept restore{port, port.settings};
  parse_or_raise(port.kind, *setting, prhs[3], port.settings);
  if (setting->apply != nullptr) {
    const char *function = "";
    const FT_STATUS status = setting->apply(port, &function);
    if (status != FT_OK) {
      if (refuses_value(port.kind, status)) {
        raise(port.kind, "invalidValue", "%s: the driver refuses this value (%s: status %u, %s)",
              setting->name, function, status, status_name(port.kind, status));
      }
      driver_error(port.kind, function, status);
    }
  }
  restore.kept = true;
  plhs[0] = setting->value(port.settings);
}

const DataType &datatype_arg(Kind kind, const mxArray *a) {
  if (a == nullptr) return uint8_type();
  const DataType *type = datatype_named(a);
  if (type == nullptr) {
    raise(kind, "invalidValue",
          "the datatype must be one of uint8, int8, uint16, int16, uint32, "
          "int32, uint64, int64, single, double, char, string");
  }
  return *type;
}

// ftdiport_io('write', OBJECT, DATA [, DATATYPE]): the bytes written.
void write(int, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  Port &port = checked_port(arg(nrhs, prhs, 1));
  const DataType &type = datatype_arg(port.kind, arg(nrhs, prhs, 3));
  Encoded encoded;
  const char *why = "";
  if (!encode(arg(nrhs, prhs, 2), type, port.settings.big_endian, &encoded, &why)) {
    raise(port.kind, "invalidValue", "nothing was written: %s %s", why, type.name);
  }
  Transfer transfer{const_cast<std::uint8_t *>(encoded.bytes), encoded.size, 0};
  if (encoded.size != 0) {
    device_of(port.kind).send(port, transfer, Deadline(port.settings.timeout));
  }
  if (transfer.done < transfer.size) {
    warn(port.kind, "timeout",
         "the Timeout (%g s) ran out after %zu of %zu bytes were written",
         port.settings.timeout, transfer.done, transfer.size);
  }
  plhs[0] = mxCreateDoubleScalar(static_cast<double>(transfer.done));
}

// What a read has received goes back to what the object holds when the
// read does not end normally (an interrupt, an error): nothing is lost.
struct KeepUnlessTaken {
  Port &port;
  Transfer &transfer;
  bool taken = false;
  ~KeepUnlessTaken() {
    if (!taken) port.held.push_front(transfer.bytes, transfer.done);
  }
};

// ftdiport_io('read', OBJECT [, COUNT [, DATATYPE]]): COUNT elements, or
// (uartport) the bytes there now.
void read(int, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  Port &port = checked_port(arg(nrhs, prhs, 1));
  const Device &device = device_of(port.kind);
  const DataType &type = datatype_arg(port.kind, arg(nrhs, prhs, 3));
  const bool now = nrhs < 3;
  std::uint64_t count = 0;
  if (now) {
    if (device.available == nullptr) {
      raise(port.kind, "invalidValue", "read needs a count: read(obj, count)");
    }
    count = device.available(port);
  } else if (!count_of(prhs[2], max_read_bytes() / type.size, &count)) {
    raise(port.kind, "invalidValue",
          "the count must be a whole number from 0 to %llu (this machine's "
          "memory)",
          static_cast<unsigned long long>(max_read_bytes() / type.size));
  }
  std::vector<std::uint8_t> text;
  std::uint8_t *bytes = nullptr;
  mxArray *result = make_result(type, count, &bytes, &text);
  Transfer transfer{bytes, count * type.size, 0};
  KeepUnlessTaken keep{port, transfer};
  transfer.done = port.held.take(bytes, transfer.size);
  if (transfer.done < transfer.size) {
    // read(obj) takes only what is there: no waiting.
    device.receive(port, transfer, Deadline(now ? 0.0 : port.settings.timeout));
  }
  const std::size_t whole = transfer.done / type.size;
  const std::size_t used = whole * type.size;
  port.held.push_front(bytes + used, transfer.done - used);
  keep.taken = true;
  port.read += used;
  to_machine_order(type, port.settings.big_endian, bytes, whole);
  if (type.kind == DataType::Text) widen_text(result, bytes, whole);
  shrink_result(result, whole);
  if (whole < count && !now) {
    warn(port.kind, "timeout",
         "the Timeout (%g s) ran out after %zu of %llu values were read",
         port.settings.timeout, whole, static_cast<unsigned long long>(count));
  }
  plhs[0] = result;
}

void available(int, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  const mxArray *number = arg(nrhs, prhs, 1);
  // A deleted object (numbers 0 and 1) has nothing to read.
  if (find_port(number) == nullptr && object_number(number) < 2) {
    plhs[0] = mxCreateDoubleScalar(0);
    return;
  }
  Port &port = checked_port(number);
  const Device &device = device_of(port.kind);
  if (device.available == nullptr) {
    raise(port.kind, "invalidValue", "this object does not count the bytes there");
  }
  plhs[0] = mxCreateDoubleScalar(static_cast<double>(device.available(port)));
}

// ftdiport_io('counters', OBJECT, WRITTEN_AT_CLOSE, READ_AT_CLOSE): bytes
// written and read since the open; a deleted object's counts as it kept
// them. No driver call: a stale object still counts.
void counters(int, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  const Port *port = find_port(arg(nrhs, prhs, 1));
  double written = 0, read = 0;
  if (port != nullptr) {
    written = static_cast<double>(port->written);
    read = static_cast<double>(port->read);
  } else {
    scalar_of(arg(nrhs, prhs, 2), &written);
    scalar_of(arg(nrhs, prhs, 3), &read);
  }
  plhs[0] = mxCreateDoubleScalar(written);
  plhs[1] = mxCreateDoubleScalar(read);
}

void flush(int, mxArray *[], int nrhs, const mxArray *prhs[]) {
  Port &port = checked_port(arg(nrhs, prhs, 1));
  device_of(port.kind).flush(port, arg(nrhs, prhs, 2));
}

struct Common {
  const char *name;
  Run run;
};
const Common kCommon[] = {
    {"write", write},     {"read", read},         {"available", available},
    {"counters", counters}, {"set", set},         {"flush", flush},
    {"isopen", is_open},  {"close", close},       {"options", options},
    {"find", find},       {"list", list},         {"adopt", adopt},
};

}  // namespace

namespace {

// Each call fills up to kResults results; those the caller did not ask
// for are dropped here (Octave gives room for max(nlhs, 1) only).
constexpr int kResults = 4;

void hand_over(mxArray *results[kResults], int nlhs, mxArray *plhs[]) {
  for (int i = 0; i < nlhs; ++i) {
    if (results[i] == nullptr) {
      mexErrMsgIdAndTxt("ftdiport_io:usage", "This operation gives %d result%s.",
                        i, i == 1 ? "" : "s");
    }
  }
  const int wanted = nlhs > 1 ? nlhs : 1;
  for (int i = 0; i < kResults; ++i) {
    if (i < wanted) plhs[i] = results[i];
    else if (results[i] != nullptr) mxDestroyArray(results[i]);
  }
}

}  // namespace

}  // namespace port

// The gateway's entry, also for the objects' methods that are MEX files
// themselves (@ftdiport/method.cpp): they find it by this name.
extern "C" __attribute__((visibility("default"))) void ftdiport_call(
    int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  char op[32];
  if (nrhs < 2 || !port::text_of(prhs[0], op, sizeof op)) {
    mexErrMsgIdAndTxt("ftdiport_io:usage",
                      "ftdiport_io(OPERATION, OBJECT, ...) serves the uartport "
                      "and fifoport objects; use those.");
  }
  if (nlhs > port::kResults) {
    mexErrMsgIdAndTxt("ftdiport_io:usage", "Too many results asked for.");
  }
  mxArray *results[port::kResults] = {};
  for (const port::Common &c : port::kCommon) {
    if (std::strcmp(op, c.name) == 0) {
      c.run(nlhs, results, nrhs, prhs);
      port::hand_over(results, nlhs, plhs);
      return;
    }
  }
  for (port::Kind kind : {port::Kind::Uart, port::Kind::Fifo}) {
    const port::Device &device = port::device_of(kind);
    for (std::size_t i = 0; i < device.op_count; ++i) {
      if (std::strcmp(op, device.ops[i].name) != 0) continue;
      port::Port &p = port::checked_port(prhs[1]);
      if (p.kind != kind) break;
      device.ops[i].run(p, nlhs, results, nrhs, prhs);
      port::hand_over(results, nlhs, plhs);
      return;
    }
  }
  mexErrMsgIdAndTxt("ftdiport_io:usage", "Unknown operation '%s'.", op);
}

extern "C" __attribute__((visibility("default"))) void mexFunction(
    int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  ftdiport_call(nlhs, plhs, nrhs, prhs);
}

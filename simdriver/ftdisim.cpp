// ftdisim: scripts the simulated D2XX and D3XX driver libraries from Octave.
// See help/ftdisim.m for the commands.
#include <mex.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../driver_hub/driver_library.h"
#include "../fifoattach/d3xx.h"
#include "ftdisim_args.h"
#include "sim_control.h"

namespace {

struct SimApi {
  void (*ftsim_reset)();
  long (*ftsim_add_device)(const ftsim_device *);
  int (*ftsim_remove_device)(std::size_t);
  int (*ftsim_fail)(const char *, std::uint32_t, std::uint32_t);
  const char *(*ftsim_functions)();
  void (*ftsim_set_version)(std::uint32_t);
  void (*ftsim_set_handles)(const std::uint64_t *, std::size_t);
  void (*ftsim_set_list_count)(std::int64_t);
  void (*ftsim_set_scribble)(int);
  int (*ftsim_set_config)(const void *, std::size_t);
  int (*ftsim_get_config)(void *, std::size_t);
  void (*ftsim_clear_log)();
  std::size_t (*ftsim_log_size)();
  const char *(*ftsim_log_line)(std::size_t);
  int (*ftsim_log_misuse)(std::size_t);
  std::size_t (*ftsim_open_handles)(std::uint64_t *, std::size_t);
  const char *(*ftsim_last_error)();
};

bool bind_all(attach::DriverLibrary &library, SimApi &api) {
  // Each control function is looked up under its own name.
#define BIND(fn) library.bind(#fn, api.fn)
  return BIND(ftsim_reset) && BIND(ftsim_add_device) &&
         BIND(ftsim_remove_device) && BIND(ftsim_fail) &&
         BIND(ftsim_functions) && BIND(ftsim_set_version) &&
         BIND(ftsim_set_handles) && BIND(ftsim_set_list_count) &&
         BIND(ftsim_set_scribble) && BIND(ftsim_set_config) &&
         BIND(ftsim_get_config) && BIND(ftsim_clear_log) &&
         BIND(ftsim_log_size) && BIND(ftsim_log_line) &&
         BIND(ftsim_log_misuse) && BIND(ftsim_open_handles) &&
         BIND(ftsim_last_error);
#undef BIND
}

// The two simulated libraries export the same names; each is bound on its
// own, from the folder this file sits in, as the modules bind them.
attach::DriverLibrary &library_of(bool fifo) {
  static attach::DriverLibrary libraries[2];
  return libraries[fifo ? 1 : 0];
}

const SimApi &simulator(const std::string &driver) {
  static SimApi apis[2];
  static bool bound[2];
  const bool fifo = driver == "d3xx";
  if (!fifo && driver != "d2xx") {
    mexErrMsgIdAndTxt("ftdisim:driver", "The driver must be 'd2xx' or 'd3xx'.");
  }
  const int k = fifo ? 1 : 0;
  if (!bound[k]) {
    attach::DriverLibrary &library = library_of(fifo);
    bound[k] = library.open(fifo ? "libd3xx_sim.so" : "libd2xx_sim.so",
                            reinterpret_cast<const void *>(&simulator)) &&
               bind_all(library, apis[k]);
    if (!bound[k]) mexErrMsgIdAndTxt("ftdisim:library", "%s", library.error);
  }
  return apis[k];
}

void check(const SimApi &sim, int result) {
  if (result < 0) mexErrMsgIdAndTxt("ftdisim:rejected", "%s", sim.ftsim_last_error());
}

mxArray *cell_column(const std::vector<std::string> &lines) {
  mxArray *cell = mxCreateCellMatrix(lines.size(), 1);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    mxSetCell(cell, i, mxCreateString(lines[i].c_str()));
  }
  return cell;
}

long add_device(const SimApi &sim, const mxArray *given) {
  std::string serial, description;
  ftsim_device d{};
  if (mxIsChar(given) || mxIsUint8(given)) {
    description = text_of(given, "Description");
  } else if (mxIsStruct(given) && mxGetNumberOfElements(given) == 1) {
    for (int f = 0; f < mxGetNumberOfFields(given); ++f) {
      const std::string name = mxGetFieldNameByNumber(given, f);
      const mxArray *v = mxGetFieldByNumber(given, 0, f);
      if (name == "Description") description = text_of(v, "Description");
      else if (name == "SerialNumber") serial = text_of(v, "SerialNumber");
      else if (name == "Flags") {
        d.flags = static_cast<std::uint32_t>(integer_of(v, "Flags"));
        d.flags_given = 1;
      } else if (name == "Type") d.type = static_cast<std::uint32_t>(integer_of(v, "Type"));
      else if (name == "ID") d.id = static_cast<std::uint32_t>(integer_of(v, "ID"));
      else if (name == "LocId") d.locid = static_cast<std::uint32_t>(integer_of(v, "LocId"));
      else if (name == "Held") d.held_elsewhere = integer_of(v, "Held") != 0;
      else mexErrMsgIdAndTxt("ftdisim:argument", "Unknown device field '%s'.", name.c_str());
    }
  } else {
    mexErrMsgIdAndTxt("ftdisim:argument", "A device is a description or a struct.");
  }
  d.serial = serial.data();
  d.serial_len = serial.size();
  d.description = description.data();
  d.description_len = description.size();
  const long index = sim.ftsim_add_device(&d);
  check(sim, index < 0 ? -1 : 0);
  return index;
}

// The fields of the D3XX chip configuration record, by name.
struct ConfigField {
  const char *name;
  std::size_t offset;
  std::size_t size;
};
#define FIELD(f) \
  { #f, offsetof(d3xx::FT_60XCONFIGURATION, f), sizeof(d3xx::FT_60XCONFIGURATION::f) }
const ConfigField kConfigFields[] = {
    FIELD(VendorID), FIELD(ProductID), FIELD(StringDescriptors),
    FIELD(bInterval), FIELD(PowerAttributes), FIELD(PowerConsumption),
    FIELD(Reserved2), FIELD(FIFOClock), FIELD(FIFOMode), FIELD(ChannelConfig),
    FIELD(OptionalFeatureSupport), FIELD(BatteryChargingGPIOConfig),
    FIELD(FlashEEPROMDetection), FIELD(MSIO_Control), FIELD(GPIO_Control)};
#undef FIELD

mxArray *config(const SimApi &sim, const mxArray *given) {
  d3xx::FT_60XCONFIGURATION record{};
  auto *bytes = reinterpret_cast<unsigned char *>(&record);
  check(sim, sim.ftsim_get_config(&record, sizeof record));
  if (given != nullptr) {
    if (!mxIsStruct(given)) mexErrMsgIdAndTxt("ftdisim:argument", "The configuration is a struct.");
    for (const ConfigField &f : kConfigFields) {
      const mxArray *v = mxGetField(given, 0, f.name);
      if (v == nullptr) continue;
      if (f.size == sizeof record.StringDescriptors) {
        const std::string text = text_of(v, f.name);
        if (text.size() > f.size) {
          mexErrMsgIdAndTxt("ftdisim:argument", "StringDescriptors holds 128 bytes.");
        }
        std::memset(bytes + f.offset, 0, f.size);
        std::memcpy(bytes + f.offset, text.data(), text.size());
      } else {
        const std::uint64_t value = integer_of(v, f.name);
        std::memcpy(bytes + f.offset, &value, f.size);  // little-endian
      }
    }
    check(sim, sim.ftsim_set_config(&record, sizeof record));
  }
  std::vector<const char *> names;
  for (const ConfigField &f : kConfigFields) names.push_back(f.name);
  mxArray *result = mxCreateStructMatrix(1, 1, static_cast<int>(names.size()), names.data());
  for (const ConfigField &f : kConfigFields) {
    mxArray *v;
    if (f.size == sizeof record.StringDescriptors) {
      v = mxCreateNumericMatrix(1, f.size, mxUINT8_CLASS, mxREAL);
      std::memcpy(mxGetData(v), bytes + f.offset, f.size);
    } else {
      std::uint64_t value = 0;
      std::memcpy(&value, bytes + f.offset, f.size);
      v = mxCreateDoubleScalar(static_cast<double>(value));
    }
    mxSetField(result, 0, f.name, v);
  }
  return result;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void mexFunction(
    int nlhs, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  (void)nlhs;
  if (nrhs < 2 || !mxIsChar(prhs[0]) || !mxIsChar(prhs[1])) {
    mexErrMsgIdAndTxt("ftdisim:usage", "Usage: ftdisim(DRIVER, COMMAND, ...); see 'help ftdisim'.");
  }
  const std::string driver = text_of(prhs[0], "DRIVER");
  const SimApi &sim = simulator(driver);
  const std::string command = text_of(prhs[1], "COMMAND");
  mxArray *result = nullptr;

  if (command == "reset") {
    sim.ftsim_reset();
  } else if (command == "add") {
    result = mxCreateDoubleScalar(
        static_cast<double>(add_device(sim, argument(nrhs, prhs, 2, "device")) + 1));
  } else if (command == "remove") {
    const std::uint64_t number = integer_of(argument(nrhs, prhs, 2, "number"), "number");
    check(sim, number == 0 ? -1 : sim.ftsim_remove_device(number - 1));
  } else if (command == "fail") {
    const std::string function = text_of(argument(nrhs, prhs, 2, "function"), "function");
    const auto status = static_cast<std::uint32_t>(
        integer_of(argument(nrhs, prhs, 3, "status"), "status"));
    const auto nth = nrhs > 4 ? static_cast<std::uint32_t>(integer_of(prhs[4], "nth")) : 0u;
    check(sim, sim.ftsim_fail(function.c_str(), status, nth));
  } else if (command == "functions") {
    std::vector<std::string> names;
    std::string all = sim.ftsim_functions();
    for (std::size_t start = 0; start <= all.size();) {
      std::size_t comma = all.find(',', start);
      if (comma == std::string::npos) comma = all.size();
      names.push_back(all.substr(start, comma - start));
      start = comma + 1;
    }
    result = cell_column(names);
  } else if (command == "version") {
    sim.ftsim_set_version(static_cast<std::uint32_t>(
        integer_of(argument(nrhs, prhs, 2, "word"), "word")));
  } else if (command == "handles") {
    const std::vector<std::uint64_t> values =
        integers_of(argument(nrhs, prhs, 2, "values"), "values");
    sim.ftsim_set_handles(values.data(), values.size());
  } else if (command == "listcount") {
    const mxArray *v = argument(nrhs, prhs, 2, "count");
    const double count = mxIsNumeric(v) ? mxGetScalar(v) : 0;
    sim.ftsim_set_list_count(count < 0 ? -1 : static_cast<std::int64_t>(count));
  } else if (command == "scribble") {
    sim.ftsim_set_scribble(integer_of(argument(nrhs, prhs, 2, "on"), "on") != 0);
  } else if (command == "config") {
    result = config(sim, nrhs > 2 ? prhs[2] : nullptr);
  } else if (command == "clearlog") {
    sim.ftsim_clear_log();
  } else if (command == "log" || command == "misuse") {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < sim.ftsim_log_size(); ++i) {
      if (command == "log" || sim.ftsim_log_misuse(i)) lines.push_back(sim.ftsim_log_line(i));
    }
    result = cell_column(lines);
  } else if (command == "open") {
    std::vector<std::uint64_t> handles(sim.ftsim_open_handles(nullptr, 0));
    sim.ftsim_open_handles(handles.data(), handles.size());
    result = mxCreateNumericMatrix(handles.size(), 1, mxUINT64_CLASS, mxREAL);
    if (!handles.empty()) {
      std::memcpy(mxGetData(result), handles.data(), handles.size() * sizeof handles[0]);
    }
  } else if (!(driver == "d3xx" ? ftdisim::fifo_command : ftdisim::line_command)(
                 library_of(driver == "d3xx"), command, &result, nrhs, prhs)) {
    mexErrMsgIdAndTxt("ftdisim:usage", "Unknown command '%s'; see 'help ftdisim'.",
                      command.c_str());
  }
  if (result != nullptr) plhs[0] = result;
}

// ftdisim's far-end commands of the simulated D2XX driver: what the far end
// of each device's line sends and drives, and what the host did to it.
#include <cmath>
#include <iterator>

#include "ftdisim_args.h"
#include "sim_line_control.h"

namespace {

struct LineApi {
  int (*ftsim_line_rx)(std::size_t, const void *, std::size_t, double);
  long (*ftsim_line_tx)(std::size_t, void *, std::size_t);
  int (*ftsim_line_loopback)(std::size_t, int);
  int (*ftsim_line_pacing)(std::size_t, int);
  int (*ftsim_line_pins)(std::size_t, const ftsim_pins *, ftsim_pins *);
  int (*ftsim_line_state)(std::size_t, ftsim_line *);
  const char *(*ftsim_last_error)();
};

const LineApi &line_api(attach::DriverLibrary &library) {
  static LineApi api;
  static bool bound = false;
  if (!bound) {
#define BIND(fn) library.bind(#fn, api.fn)
    bound = BIND(ftsim_line_rx) && BIND(ftsim_line_tx) &&
            BIND(ftsim_line_loopback) && BIND(ftsim_line_pacing) &&
            BIND(ftsim_line_pins) && BIND(ftsim_line_state) &&
            BIND(ftsim_last_error);
#undef BIND
    if (!bound) mexErrMsgIdAndTxt("ftdisim:library", "%s", library.error);
  }
  return api;
}

void check(const LineApi &api, long result) {
  if (result < 0) mexErrMsgIdAndTxt("ftdisim:rejected", "%s", api.ftsim_last_error());
}

// The device number N, as the zero-based index the library takes (0 wraps to
// an index no table has, which the library refuses).
std::size_t index_of(int nrhs, const mxArray *prhs[]) {
  return static_cast<std::size_t>(integer_of(argument(nrhs, prhs, 2, "number"), "number") - 1);
}

double seconds_of(const mxArray *a) {
  if (!mxIsNumeric(a) || mxIsComplex(a) || mxGetNumberOfElements(a) != 1 ||
      !std::isfinite(mxGetScalar(a)) || mxGetScalar(a) < 0) {
    mexErrMsgIdAndTxt("ftdisim:argument", "The delay is a number of seconds, at least 0.");
  }
  return mxGetScalar(a);
}

bool flag_of(int nrhs, const mxArray *prhs[]) {
  return integer_of(argument(nrhs, prhs, 3, "tf"), "tf") != 0;
}

struct Pin {
  const char *name;
  int ftsim_pins::*slot;
};
const Pin kPins[] = {{"ClearToSend", &ftsim_pins::clear_to_send},
                     {"DataSetReady", &ftsim_pins::data_set_ready},
                     {"CarrierDetect", &ftsim_pins::carrier_detect},
                     {"RingIndicator", &ftsim_pins::ring_indicator}};

mxArray *pins(const LineApi &api, std::size_t index, const mxArray *given) {
  ftsim_pins set{-1, -1, -1, -1};
  if (given != nullptr) {
    if (!mxIsStruct(given) || mxGetNumberOfElements(given) != 1) {
      mexErrMsgIdAndTxt("ftdisim:argument", "The pins are a struct.");
    }
    for (int f = 0; f < mxGetNumberOfFields(given); ++f) {
      const std::string name = mxGetFieldNameByNumber(given, f);
      const Pin *pin = std::begin(kPins);
      while (pin != std::end(kPins) && name != pin->name) ++pin;
      if (pin == std::end(kPins)) {
        mexErrMsgIdAndTxt("ftdisim:argument", "Unknown pin '%s'.", name.c_str());
      }
      set.*(pin->slot) = integer_of(mxGetFieldByNumber(given, 0, f), pin->name) != 0;
    }
  }
  ftsim_pins now{};
  check(api, api.ftsim_line_pins(index, given != nullptr ? &set : nullptr, &now));
  const char *names[std::size(kPins)];
  for (std::size_t k = 0; k < std::size(kPins); ++k) names[k] = kPins[k].name;
  mxArray *result = mxCreateStructMatrix(1, 1, static_cast<int>(std::size(kPins)), names);
  for (const Pin &pin : kPins) {
    mxSetField(result, 0, pin.name, mxCreateLogicalScalar(now.*(pin.slot) != 0));
  }
  return result;
}

mxArray *line_state(const LineApi &api, std::size_t index) {
  ftsim_line l{};
  check(api, api.ftsim_line_state(index, &l));
  struct Field {
    const char *name;
    double value;
    bool logical;
  };
  const Field fields[] = {
      {"BaudRate", double(l.baud_rate), false}, {"DataBits", double(l.data_bits), false},
      {"StopBits", double(l.stop_bits), false}, {"Parity", double(l.parity), false},
      {"FlowControl", double(l.flow_control), false}, {"Xon", double(l.xon), false},
      {"Xoff", double(l.xoff), false},          {"DTR", double(l.dtr), true},
      {"RTS", double(l.rts), true},             {"ReadTimeout", double(l.read_timeout_ms), false},
      {"WriteTimeout", double(l.write_timeout_ms), false},
      {"Queued", double(l.queued), false},      {"Pending", double(l.pending), false},
      {"Sending", double(l.sending), false},    {"RxPurges", double(l.rx_purges), false},
      {"TxPurges", double(l.tx_purges), false}};
  const int n = static_cast<int>(sizeof fields / sizeof fields[0]);
  const char *names[sizeof fields / sizeof fields[0]];
  for (int i = 0; i < n; ++i) names[i] = fields[i].name;
  mxArray *result = mxCreateStructMatrix(1, 1, n, names);
  for (const Field &f : fields) {
    mxSetField(result, 0, f.name,
               f.logical ? mxCreateLogicalScalar(f.value != 0) : mxCreateDoubleScalar(f.value));
  }
  return result;
}

}  // namespace

namespace ftdisim {

bool line_command(attach::DriverLibrary &library, const std::string &command,
                  mxArray **result, int nrhs, const mxArray *prhs[]) {
  if (command == "rx") {
    const LineApi &api = line_api(library);
    const std::size_t index = index_of(nrhs, prhs);
    const std::string bytes = text_of(argument(nrhs, prhs, 3, "bytes"), "bytes");
    const double delay = nrhs > 4 ? seconds_of(prhs[4]) : 0.0;
    check(api, api.ftsim_line_rx(index, bytes.data(), bytes.size(), delay));
  } else if (command == "tx") {
    const LineApi &api = line_api(library);
    const std::size_t index = index_of(nrhs, prhs);
    const long size = api.ftsim_line_tx(index, nullptr, 0);
    check(api, size);
    *result = mxCreateNumericMatrix(1, static_cast<std::size_t>(size), mxUINT8_CLASS, mxREAL);
    check(api, api.ftsim_line_tx(index, mxGetData(*result), static_cast<std::size_t>(size)));
  } else if (command == "loopback" || command == "pacing") {
    const LineApi &api = line_api(library);
    const std::size_t index = index_of(nrhs, prhs);
    const int on = flag_of(nrhs, prhs) ? 1 : 0;
    check(api, command == "loopback" ? api.ftsim_line_loopback(index, on)
                                     : api.ftsim_line_pacing(index, on));
  } else if (command == "pins") {
    const LineApi &api = line_api(library);
    *result = pins(api, index_of(nrhs, prhs), nrhs > 3 ? prhs[3] : nullptr);
  } else if (command == "line") {
    const LineApi &api = line_api(library);
    *result = line_state(api, index_of(nrhs, prhs));
  } else {
    return false;
  }
  return true;
}

}  // namespace ftdisim

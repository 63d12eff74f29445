// ftdisim's far-end commands of the simulated D3XX driver: what the FPGA
// behind each device sends and receives (see help/ftdisim.m).
#include <cstring>
#include <vector>

#include "ftdisim_args.h"
#include "sim_fifo_control.h"

namespace ftdisim {

namespace {

struct FifoApi {
  decltype(&ftsim_fifo_source) source;
  decltype(&ftsim_fifo_loopback) loopback;
  decltype(&ftsim_fifo_sink) sink;
  decltype(&ftsim_fifo_rate) rate;
  decltype(&ftsim_fifo_timeouts) timeouts;
  decltype(&ftsim_fifo_unplug) unplug;
  decltype(&ftsim_fifo_pipes) pipes;
  decltype(&ftsim_last_error) last_error;
};

const FifoApi &bound(attach::DriverLibrary &library) {
  static FifoApi api;
  static bool done = false;
  if (!done) {
    done = library.bind("ftsim_fifo_source", api.source) &&
           library.bind("ftsim_fifo_loopback", api.loopback) &&
           library.bind("ftsim_fifo_sink", api.sink) &&
           library.bind("ftsim_fifo_rate", api.rate) &&
           library.bind("ftsim_fifo_timeouts", api.timeouts) &&
           library.bind("ftsim_fifo_unplug", api.unplug) &&
           library.bind("ftsim_fifo_pipes", api.pipes) &&
           library.bind("ftsim_last_error", api.last_error);
    if (!done) mexErrMsgIdAndTxt("ftdisim:library", "%s", library.error);
  }
  return api;
}

void check(const FifoApi &api, long result) {
  if (result < 0) mexErrMsgIdAndTxt("ftdisim:rejected", "%s", api.last_error());
}

// N, the device's number in the table (from 1), as the library's index.
std::size_t device_index(int nrhs, const mxArray *prhs[]) {
  return static_cast<std::size_t>(integer_of(argument(nrhs, prhs, 2, "N"), "N") - 1);
}

// The optional channel C at position `i`: 1 when not given.
unsigned channel_at(int nrhs, const mxArray *prhs[], int i) {
  return i < nrhs ? static_cast<unsigned>(integer_of(prhs[i], "C")) : 1u;
}

struct SourceKind {
  const char *name;
  int kind;
  bool takes_bytes;
};
constexpr SourceKind kSources[] = {{"none", FTSIM_SOURCE_NONE, false},
                                   {"counter", FTSIM_SOURCE_COUNTER, false},
                                   {"pattern", FTSIM_SOURCE_PATTERN, true},
                                   {"bytes", FTSIM_SOURCE_BYTES, true}};

// Each command, on the device at `index`: its result, or null when it has
// none.
using Command = mxArray *(*)(const FifoApi &, std::size_t index, int, const mxArray *[]);

mxArray *source(const FifoApi &api, std::size_t index, int nrhs, const mxArray *prhs[]) {
  const std::string name = text_of(argument(nrhs, prhs, 3, "source"), "source");
  for (const SourceKind &s : kSources) {
    if (name != s.name) continue;
    const std::string bytes =
        s.takes_bytes ? text_of(argument(nrhs, prhs, 4, "bytes"), "bytes") : std::string();
    const unsigned channel = channel_at(nrhs, prhs, s.takes_bytes ? 5 : 4);
    check(api, api.source(index, channel, s.kind,
                          reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()));
    return nullptr;
  }
  mexErrMsgIdAndTxt("ftdisim:argument",
                    "The source is 'counter', 'pattern', 'bytes' or 'none'.");
  return nullptr;
}

mxArray *sink(const FifoApi &api, std::size_t index, int nrhs, const mxArray *prhs[]) {
  std::vector<ftsim_sink> s(1);  // 4 KiB: off the stack
  check(api, api.sink(index, channel_at(nrhs, prhs, 3), s.data()));
  const char *fields[] = {"Count", "Checksum", "Last"};
  mxArray *result = mxCreateStructMatrix(1, 1, 3, fields);
  mxSetField(result, 0, "Count", mxCreateDoubleScalar(static_cast<double>(s[0].count)));
  mxSetField(result, 0, "Checksum", mxCreateDoubleScalar(s[0].checksum));
  mxArray *last = mxCreateNumericMatrix(1, s[0].last_size, mxUINT8_CLASS, mxREAL);
  if (s[0].last_size > 0) std::memcpy(mxGetData(last), s[0].last, s[0].last_size);
  mxSetField(result, 0, "Last", last);
  return result;
}

mxArray *pipes(const FifoApi &api, std::size_t index, int, const mxArray *[]) {
  std::vector<ftsim_pipe> list(8);
  const long n = api.pipes(index, list.data(), list.size());
  check(api, n);
  const char *fields[] = {"Pipe", "Timeout", "Stuck", "Queued", "Moved"};
  mxArray *result = mxCreateStructMatrix(1, static_cast<std::size_t>(n), 5, fields);
  for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
    const ftsim_pipe &p = list[k];
    mxSetField(result, k, "Pipe", mxCreateDoubleScalar(p.pipe));
    mxSetField(result, k, "Timeout", mxCreateDoubleScalar(p.timeout_ms));
    mxSetField(result, k, "Stuck", mxCreateLogicalScalar(p.stuck != 0));
    mxSetField(result, k, "Queued", mxCreateDoubleScalar(static_cast<double>(p.queued)));
    mxSetField(result, k, "Moved", mxCreateDoubleScalar(static_cast<double>(p.moved)));
  }
  return result;
}

mxArray *loopback(const FifoApi &api, std::size_t index, int nrhs, const mxArray *prhs[]) {
  const bool on = integer_of(argument(nrhs, prhs, 3, "tf"), "tf") != 0;
  check(api, api.loopback(index, channel_at(nrhs, prhs, 4), on));
  return nullptr;
}

mxArray *rate(const FifoApi &api, std::size_t index, int nrhs, const mxArray *prhs[]) {
  check(api, api.rate(index,
                      integer_of(argument(nrhs, prhs, 3, "bytes_per_s"), "bytes_per_s")));
  return nullptr;
}

mxArray *timeouts(const FifoApi &api, std::size_t index, int nrhs, const mxArray *prhs[]) {
  const std::string kind = text_of(argument(nrhs, prhs, 3, "kind"), "kind");
  if (kind != "status" && kind != "short") {
    mexErrMsgIdAndTxt("ftdisim:argument", "Timeouts answer 'status' or 'short'.");
  }
  check(api, api.timeouts(index, kind == "short"));
  return nullptr;
}

mxArray *unplug(const FifoApi &api, std::size_t index, int nrhs, const mxArray *prhs[]) {
  check(api, api.unplug(index,
                        integer_of(argument(nrhs, prhs, 3, "after_bytes"), "after_bytes")));
  return nullptr;
}

struct Named {
  const char *name;
  Command run;
};
constexpr Named kCommands[] = {{"source", source},     {"sink", sink},
                               {"pipes", pipes},       {"loopback", loopback},
                               {"rate", rate},         {"timeouts", timeouts},
                               {"unplug", unplug}};

}  // namespace

bool fifo_command(attach::DriverLibrary &library, const std::string &command,
                  mxArray **result, int nrhs, const mxArray *prhs[]) {
  for (const Named &c : kCommands) {
    if (command != c.name) continue;
    // N first: the first missing argument is the one reported.
    const std::size_t index = device_index(nrhs, prhs);
    mxArray *answer = c.run(bound(library), index, nrhs, prhs);
    if (answer != nullptr) *result = answer;
    return true;
  }
  return false;
}

}  // namespace ftdisim

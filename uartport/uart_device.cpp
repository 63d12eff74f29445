// What a uartport object does on its line, through the D2XX data functions:
// the line settings, reading and writing against the Timeout in slices,
// lines and terminators, flushing, the modem pins.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "../port/datatypes.h"
#include "../port/device.h"

namespace port {

namespace {

// The longest wait handed to the driver at once: Ctrl-C is answered between
// two waits.
constexpr ULONG kSliceMs = 40;
// What readline takes from the driver's queue at once.
constexpr DWORD kLineChunk = 64 * 1024;

const char *const kParities[] = {"none", "odd", "even", "mark", "space"};
const char *const kFlows[] = {"none", "hardware", "software"};
const USHORT kFlowModes[] = {d2xx::FT_FLOW_NONE, d2xx::FT_FLOW_RTS_CTS,
                             d2xx::FT_FLOW_XON_XOFF};

void require_driver() {
  d2xx_api();
  d2xx_data();
}

void check(const char *function, FT_STATUS status) {
  if (status != FT_OK) driver_error(Kind::Uart, function, status);
}

// --- settings -------------------------------------------------------------

int index_of(const mxArray *value, const char *const *names, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (text_is(value, names[i])) return static_cast<int>(i);
  }
  return -1;
}

bool parse_baud(const mxArray *value, Settings &s, const char **why) {
  double v = 0;
  if (!scalar_of(value, &v) || !(v > 0 && v <= 4294967295.0) || v != std::floor(v)) {
    *why = "it must be a whole number of bits per second, above 0";
    return false;
  }
  s.line.baud_rate = v;
  return true;
}

bool parse_data_bits(const mxArray *value, Settings &s, const char **why) {
  double v = 0;
  if (!scalar_of(value, &v) || !(v == 7 || v == 8)) {
    *why = "it must be 7 or 8";
    return false;
  }
  s.line.data_bits = static_cast<int>(v);
  return true;
}

bool parse_stop_bits(const mxArray *value, Settings &s, const char **why) {
  double v = 0;
  if (!scalar_of(value, &v) || !(v == 1 || v == 2)) {
    *why = "it must be 1 or 2";
    return false;
  }
  s.line.stop_bits = static_cast<int>(v);
  return true;
}

bool parse_parity(const mxArray *value, Settings &s, const char **why) {
  const int i = index_of(value, kParities, std::size(kParities));
  if (i < 0) *why = "it must be \"none\", \"odd\", \"even\", \"mark\" or \"space\"";
  else s.line.parity = i;
  return i >= 0;
}

bool parse_flow(const mxArray *value, Settings &s, const char **why) {
  const int i = index_of(value, kFlows, std::size(kFlows));
  if (i < 0) *why = "it must be \"none\", \"hardware\" (RTS/CTS) or \"software\" (XON/XOFF)";
  else s.line.flow = i;
  return i >= 0;
}

FT_STATUS apply_baud(Port &port, const char **function) {
  *function = "FT_SetBaudRate";
  return d2xx_api().FT_SetBaudRate(port.handle(),
                                     static_cast<ULONG>(port.settings.line.baud_rate));
}

FT_STATUS apply_characteristics(Port &port, const char **function) {
  *function = "FT_SetDataCharacteristics";
  const LineSettings &l = port.settings.line;
  return d2xx_api().FT_SetDataCharacteristics(
      port.handle(), static_cast<UCHAR>(l.data_bits),
      l.stop_bits == 1 ? d2xx::FT_STOP_BITS_1 : d2xx::FT_STOP_BITS_2,
      static_cast<UCHAR>(l.parity));  // parity codes follow kParities' order
}

FT_STATUS apply_flow(Port &port, const char **function) {
  *function = "FT_SetFlowControl";
  return d2xx_data().FT_SetFlowControl(port.handle(), kFlowModes[port.settings.line.flow],
                                      d2xx::FT_XON, d2xx::FT_XOFF);
}

mxArray *baud_value(const Settings &s) { return mxCreateDoubleScalar(s.line.baud_rate); }
mxArray *data_bits_value(const Settings &s) { return mxCreateDoubleScalar(s.line.data_bits); }
mxArray *stop_bits_value(const Settings &s) { return mxCreateDoubleScalar(s.line.stop_bits); }
mxArray *parity_value(const Settings &s) { return mxCreateString(kParities[s.line.parity]); }
mxArray *flow_value(const Settings &s) { return mxCreateString(kFlows[s.line.flow]); }

// In the order they reach the driver after the attach.
const Setting kSettings[] = {
    {"BaudRate", parse_baud, apply_baud, baud_value, nullptr, false},
    {"DataBits", parse_data_bits, apply_characteristics, data_bits_value, nullptr, false},
    {"StopBits", parse_stop_bits, apply_characteristics, stop_bits_value, nullptr, false},
    {"Parity", parse_parity, apply_characteristics, parity_value, nullptr, false},
    {"FlowControl", parse_flow, apply_flow, flow_value, nullptr, false},
    {"Timeout", parse_timeout, nullptr, timeout_value, nullptr, false},
    {"ByteOrder", parse_byte_order, nullptr, byte_order_value, nullptr, false},
    {"Tag", parse_tag, nullptr, nullptr, initial_tag, false},
    {"UserData", parse_user_data, nullptr, nullptr, initial_user_data, false},
};

// --- waiting and moving bytes ------------------------------------------------

// The driver waits at most `ms` in each FT_Read and FT_Write; it is told
// only when that changes.
void wait_at_most(Port &port, ULONG ms) {
  if (port.slice_ms == ms) return;
  check("FT_SetTimeouts", d2xx_data().FT_SetTimeouts(port.handle(), ms, ms));
  port.slice_ms = ms;
}

void start(Port &port) {
  // Until now the driver's timeouts are 0: wait forever.
  wait_at_most(port, kSliceMs);
}

DWORD queued(Port &port) {
  DWORD rx = 0;
  check("FT_GetQueueStatus", d2xx_data().FT_GetQueueStatus(port.handle(), &rx));
  return rx;
}

DWORD read_into(Port &port, std::uint8_t *out, std::size_t size) {
  DWORD got = 0;
  const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(size, 0xFFFFFFFFu));
  check("FT_Read", d2xx_data().FT_Read(port.handle(), out, ask, &got));
  return std::min<DWORD>(got, ask);
}

void receive(Port &port, Transfer &t, const Deadline &deadline) {
  for (bool first = true; t.done < t.size; first = false) {
    const ULONG ms = deadline.next_ms(kSliceMs);
    if (ms == 0) {
      // Out of time (Timeout 0 from the start): what is queued still counts.
      if (first) {
        const DWORD rx = queued(port);
        if (rx != 0) t.done += read_into(port, t.bytes + t.done, std::min<std::size_t>(rx, t.size - t.done));
      }
      return;
    }
    wait_at_most(port, ms);
    t.done += read_into(port, t.bytes + t.done, t.size - t.done);
    if (t.done < t.size) answer_interrupt();
  }
}

void send(Port &port, Transfer &t, const Deadline &deadline) {
  for (bool first = true; t.done < t.size; first = false) {
    ULONG ms = deadline.next_ms(kSliceMs);
    if (ms == 0) {
      if (!first) return;
      ms = 1;  // Timeout 0: what the driver takes at once
    }
    wait_at_most(port, ms);
    DWORD written = 0;
    const DWORD ask =
        static_cast<DWORD>(std::min<std::size_t>(t.size - t.done, 0xFFFFFFFFu));
    check("FT_Write", d2xx_data().FT_Write(port.handle(), t.bytes + t.done, ask, &written));
    written = std::min(written, ask);
    t.done += written;
    port.written += written;
    if (t.done < t.size) answer_interrupt();
  }
}

std::uint64_t available(Port &port) { return queued(port) + port.held.size(); }

void flush(Port &port, const mxArray *which) {
  ULONG mask = d2xx::FT_PURGE_RX | d2xx::FT_PURGE_TX;
  if (which != nullptr) {
    if (text_is(which, "input")) mask = d2xx::FT_PURGE_RX;
    else if (text_is(which, "output")) mask = d2xx::FT_PURGE_TX;
    else raise(Kind::Uart, "invalidValue", "flush takes \"input\" or \"output\"");
  }
  check("FT_Purge", d2xx_data().FT_Purge(port.handle(), mask));
  if ((mask & d2xx::FT_PURGE_RX) != 0) port.held.clear();
}

// --- lines ---------------------------------------------------------------------

// Where the terminator ends in what is held, searching from `from`; 0 when
// it is not there.
std::size_t line_end(const Port &port, std::size_t from) {
  const Terminator &t = port.read_terminator;
  const std::uint8_t *held = port.held.data();
  const std::size_t n = port.held.size();
  for (std::size_t i = from; i + t.size <= n; ++i) {
    if (held[i] == t.bytes[0] && (t.size == 1 || held[i + 1] == t.bytes[1])) {
      return i + t.size;
    }
  }
  return 0;
}

// Reads up to `size` more bytes onto what is held.
void hold_more(Port &port, std::size_t size) {
  std::uint8_t *room = port.held.reserve_back(size);
  DWORD got = 0;
  const FT_STATUS status =
      d2xx_data().FT_Read(port.handle(), room, static_cast<DWORD>(size), &got);
  port.held.commit_back(status == FT_OK ? std::min<std::size_t>(got, size) : 0);
  check("FT_Read", status);
}

// ftdiport_io('readline', OBJECT): the text up to the read terminator,
// without it; at the Timeout, what arrived (with a warning).
void readline(Port &port, int, mxArray *plhs[], int, const mxArray *[]) {
  const Deadline deadline(port.settings.timeout);
  const std::size_t tsize = port.read_terminator.size;
  std::size_t end = line_end(port, 0);
  for (bool first = true; end == 0; first = false) {
    const std::size_t searched = port.held.size() >= tsize ? port.held.size() - tsize + 1 : 0;
    const DWORD rx = queued(port);
    if (rx != 0) {
      hold_more(port, std::min(rx, kLineChunk));
    } else {
      const ULONG ms = deadline.next_ms(kSliceMs);
      if (ms == 0) break;
      wait_at_most(port, ms);
      hold_more(port, 1);
    }
    end = line_end(port, searched);
    if (end == 0 && !first) answer_interrupt();
  }
  const bool complete = end != 0;
  const std::size_t take = complete ? end : port.held.size();
  const std::size_t text = complete ? end - tsize : take;
  plhs[0] = text_result(port.held.data(), text);
  port.held.drop(take);
  port.read += take;
  if (!complete) {
    warn(Kind::Uart, "timeout",
         "the Timeout (%g s) ran out before the line's terminator arrived; "
         "returning the %zu bytes that did",
         port.settings.timeout, text);
  }
}

// ftdiport_io('writeline', OBJECT, TEXT): TEXT and the write terminator.
void writeline(Port &port, int, mxArray *[], int nrhs, const mxArray *prhs[]) {
  const mxArray *text = nrhs > 2 ? prhs[2] : nullptr;
  if (text == nullptr || !mxIsChar(text) || mxGetNumberOfDimensions(text) != 2 ||
      (mxGetM(text) != 1 && mxGetNumberOfElements(text) != 0)) {
    raise(Kind::Uart, "invalidValue", "writeline takes text (a char row)");
  }
  const std::size_t n = mxGetNumberOfElements(text);
  std::vector<std::uint8_t> bytes(n + port.write_terminator.size);
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned code = char_code(text, i);
    if (code > 0xFF) raise(Kind::Uart, "invalidValue", "writeline takes text of bytes");
    bytes[i] = static_cast<std::uint8_t>(code);
  }
  std::memcpy(bytes.data() + n, port.write_terminator.bytes, port.write_terminator.size);
  Transfer t{bytes.data(), bytes.size(), 0};
  send(port, t, Deadline(port.settings.timeout));
  if (t.done < t.size) {
    warn(Kind::Uart, "timeout",
         "the Timeout (%g s) ran out after %zu of %zu bytes were written",
         port.settings.timeout, t.done, t.size);
  }
}

bool parse_terminator(const mxArray *value, Terminator *t, mxArray **shown) {
  if (text_is(value, "LF")) *t = {{'\n', 0}, 1}, *shown = mxCreateString("LF");
  else if (text_is(value, "CR")) *t = {{'\r', 0}, 1}, *shown = mxCreateString("CR");
  else if (text_is(value, "CR/LF")) *t = {{'\r', '\n'}, 2}, *shown = mxCreateString("CR/LF");
  else {
    double v = -1;
    if (!scalar_of(value, &v) || !(v >= 0 && v <= 255) || v != std::floor(v)) return false;
    *t = {{static_cast<std::uint8_t>(v), 0}, 1};
    *shown = mxCreateDoubleScalar(v);
  }
  return true;
}

// ftdiport_io('terminator', OBJECT, T) or (OBJECT, READ_T, WRITE_T): the
// terminators as the property shows them, read and write.
void terminator(Port &port, int, mxArray *plhs[], int nrhs, const mxArray *prhs[]) {
  if (nrhs != 3 && nrhs != 4) {
    raise(Kind::Uart, "invalidValue",
          "configureTerminator takes one terminator, or a read and a write one");
  }
  Terminator read_t, write_t;
  if (!parse_terminator(prhs[2], &read_t, &plhs[0]) ||
      !parse_terminator(prhs[nrhs - 1], &write_t, &plhs[1])) {
    raise(Kind::Uart, "invalidValue",
          "a terminator is \"LF\", \"CR\", \"CR/LF\" or a byte value from 0 to 255");
  }
  port.read_terminator = read_t;
  port.write_terminator = write_t;
}

// ftdiport_io('pins', OBJECT): the modem input pins.
void pins(Port &port, int, mxArray *plhs[], int, const mxArray *[]) {
  ULONG status = 0;
  check("FT_GetModemStatus", d2xx_data().FT_GetModemStatus(port.handle(), &status));
  const char *fields[] = {"ClearToSend", "DataSetReady", "CarrierDetect", "RingIndicator"};
  const ULONG bits[] = {d2xx::FT_MODEM_CTS, d2xx::FT_MODEM_DSR, d2xx::FT_MODEM_DCD,
                        d2xx::FT_MODEM_RI};
  mxArray *result = mxCreateStructMatrix(1, 1, 4, fields);
  for (int i = 0; i < 4; ++i) {
    mxSetField(result, 0, fields[i], mxCreateLogicalScalar((status & bits[i]) != 0));
  }
  plhs[0] = result;
}

bool flag_of(const mxArray *value) {
  double v = -1;
  if (!scalar_of(value, &v) || !(v == 0 || v == 1)) {
    raise(Kind::Uart, "invalidValue", "the pin's state must be true or false");
  }
  return v == 1;
}

// ftdiport_io('rts' | 'dtr', OBJECT, TF): sets an output pin.
void rts(Port &port, int, mxArray *[], int nrhs, const mxArray *prhs[]) {
  const bool on = flag_of(nrhs > 2 ? prhs[2] : nullptr);
  const d2xx::DataApi &api = d2xx_data();
  check(on ? "FT_SetRts" : "FT_ClrRts", (on ? api.FT_SetRts : api.FT_ClrRts)(port.handle()));
}

void dtr(Port &port, int, mxArray *[], int nrhs, const mxArray *prhs[]) {
  const bool on = flag_of(nrhs > 2 ? prhs[2] : nullptr);
  const d2xx::DataApi &api = d2xx_data();
  check(on ? "FT_SetDtr" : "FT_ClrDtr", (on ? api.FT_SetDtr : api.FT_ClrDtr)(port.handle()));
}

const Op kOps[] = {
    {"readline", readline}, {"writeline", writeline}, {"terminator", terminator},
    {"pins", pins},         {"rts", rts},             {"dtr", dtr},
};

bool listed_open(const d2xx::FT_DEVICE_LIST_INFO_NODE &node) {
  return (node.Flags & d2xx::FT_FLAGS_OPENED) != 0;
}

std::vector<Listed> list() { return read_list(Kind::Uart, d2xx_api(), listed_open); }

const Device kDevice = {
    Kind::Uart, 10.0, kSettings, std::size(kSettings), "BaudRate", require_driver,
    list, start, send, receive, available, flush, kOps, std::size(kOps),
};

}  // namespace

const Device &uart_device() { return kDevice; }

}  // namespace port

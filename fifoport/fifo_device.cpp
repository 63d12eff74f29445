// What a fifoport object does on its pipes, through the D3XX pipe functions:
// transfers split into driver calls of a bounded size, each bounded in time,
// with Ctrl-C answered between them; a pipe that timed out is aborted before
// anything else moves on it.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "../port/datatypes.h"
#include "../port/device.h"

namespace port {

namespace {

// Bytes per driver call: 1 MiB calls reach about 330 MB/s on an FT601 (the
// library costs some 250 us per call), and at the link's 400 MB/s one takes
// under 3 ms, so Ctrl-C is answered promptly between calls.
constexpr ULONG kChunk = 1 << 20;
// The longest a driver call may wait: Ctrl-C is answered within it also
// while the far end sends nothing.
constexpr ULONG kSliceMs = 200;

void require_driver() {
  d3xx_api();
  d3xx_pipes();
}

UCHAR out_pipe(const Port &port) {
  return static_cast<UCHAR>(d3xx::kOutPipe1 + port.settings.channel - 1);
}
UCHAR in_pipe(const Port &port) {
  return static_cast<UCHAR>(d3xx::kInPipe1 + port.settings.channel - 1);
}

// --- settings -------------------------------------------------------------

bool parse_channel(const mxArray *value, Settings &s, const char **why) {
  double v = 0;
  if (!scalar_of(value, &v) || !(v >= 1 && v <= 4) || v != std::floor(v)) {
    *why = "it must be 1, 2, 3 or 4";
    return false;
  }
  s.channel = static_cast<int>(v);
  return true;
}

mxArray *channel_value(const Settings &s) { return mxCreateDoubleScalar(s.channel); }

// The driver's own pipe timeout follows the object's (0 disables it). The
// object bounds each call itself too, so this is what a transfer waits at
// most should a call ever go without its own timeout.
FT_STATUS apply_timeout(Port &port, const char **function) {
  *function = "FT_SetPipeTimeout";
  const double ms = port.settings.timeout * 1000;
  const ULONG value = std::isinf(ms) ? 0 : static_cast<ULONG>(std::clamp(ms, 1.0, 4294967295.0));
  const d3xx::PipeApi &api = d3xx_pipes();
  FT_STATUS status = api.FT_SetPipeTimeout(port.handle(), out_pipe(port), value);
  if (status == FT_OK) status = api.FT_SetPipeTimeout(port.handle(), in_pipe(port), value);
  return status;
}

const Setting kSettings[] = {
    {"Channel", parse_channel, nullptr, channel_value, nullptr, true},
    {"Timeout", parse_timeout, apply_timeout, timeout_value, nullptr, false},
    {"ByteOrder", parse_byte_order, nullptr, byte_order_value, nullptr, false},
    {"Tag", parse_tag, nullptr, nullptr, initial_tag, false},
    {"UserData", parse_user_data, nullptr, nullptr, initial_user_data, false},
};

// --- transfers -----------------------------------------------------------------

// Aborts a pipe that timed out or failed, before anything else moves on it.
void abort_if_needed(Port &port, bool in) {
  bool &needed = in ? port.in_needs_abort : port.out_needs_abort;
  if (!needed) return;
  const FT_STATUS status = d3xx_pipes().FT_AbortPipe(port.handle(), in ? in_pipe(port) : out_pipe(port));
  if (status != FT_OK) driver_error(Kind::Fifo, "FT_AbortPipe", status);
  needed = false;
}

using PipeCall = FT_STATUS (*)(FT_HANDLE, UCHAR, UCHAR *, ULONG, ULONG *, DWORD);

void transfer(Port &port, Transfer &t, const Deadline &deadline, bool in) {
  const d3xx::PipeApi &api = d3xx_pipes();
  const PipeCall call = in ? api.FT_ReadPipe : api.FT_WritePipe;
  const char *name = in ? "FT_ReadPipe" : "FT_WritePipe";
  const UCHAR pipe = in ? in_pipe(port) : out_pipe(port);
  for (bool first = true; t.done < t.size; first = false) {
    ULONG ms = deadline.next_ms(kSliceMs);
    if (ms == 0) {
      if (!first) return;
      ms = 1;  // Timeout 0: what moves at once
    }
    abort_if_needed(port, in);
    const ULONG ask = static_cast<ULONG>(std::min<std::size_t>(t.size - t.done, kChunk));
    ULONG moved = 0;
    const FT_STATUS status = call(port.handle(), pipe, t.bytes + t.done, ask, &moved, ms);
    moved = std::min(moved, ask);
    t.done += moved;
    if (!in) port.written += moved;
    if (status != FT_OK) {
      // The library is reported to hang on a pipe that is not aborted after
      // a timeout or an error; an unplugged device has no pipe to abort.
      if (status != d3xx::FT_DEVICE_NOT_CONNECTED) {
        (in ? port.in_needs_abort : port.out_needs_abort) = true;
        abort_if_needed(port, in);
      }
      if (status != d3xx::FT_TIMEOUT) driver_error(Kind::Fifo, name, status);
    }
    if (t.done < t.size) answer_interrupt();
  }
}

void send(Port &port, Transfer &t, const Deadline &deadline) {
  transfer(port, t, deadline, false);
}

void receive(Port &port, Transfer &t, const Deadline &deadline) {
  transfer(port, t, deadline, true);
}

void start(Port &) {}

void flush(Port &port, const mxArray *which) {
  if (which != nullptr && !text_is(which, "input")) {
    raise(Kind::Fifo, "invalidValue", "flush drops what was received: flush(f) or flush(f, \"input\")");
  }
  abort_if_needed(port, true);
  const FT_STATUS status = d3xx_pipes().FT_FlushPipe(port.handle(), in_pipe(port));
  if (status != FT_OK) driver_error(Kind::Fifo, "FT_FlushPipe", status);
  port.held.clear();
}

// --- the chip configuration ----------------------------------------------------

// Appends code point `c` as UTF-8.
void append_utf8(std::string &out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// One USB string descriptor (length, type 3, UTF-16LE) at `at`, as UTF-8;
// false when it is malformed or does not fit in the field.
bool string_descriptor(const std::uint8_t *field, std::size_t size, std::size_t at,
                       std::string *text, std::size_t *next) {
  if (at + 2 > size) return false;
  const std::size_t length = field[at];
  if (length < 2 || length % 2 != 0 || at + length > size || field[at + 1] != 3) return false;
  text->clear();
  for (std::size_t i = at + 2; i < at + length; i += 2) {
    std::uint32_t c = field[i] | (field[i + 1] << 8);
    if (c >= 0xD800 && c < 0xDC00) {  // a surrogate pair
      if (i + 4 > at + length) return false;
      const std::uint32_t low = field[i + 2] | (field[i + 3] << 8);
      if (low < 0xDC00 || low >= 0xE000) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      i += 2;
    } else if (c >= 0xDC00 && c < 0xE000) {
      return false;
    }
    append_utf8(*text, c);
  }
  *next = at + length;
  return true;
}

template <class T>
mxArray *integer(T value, mxClassID cls) {
  mxArray *a = mxCreateNumericMatrix(1, 1, cls, mxREAL);
  std::memcpy(mxGetData(a), &value, sizeof value);
  return a;
}

// ftdiport_io('configuration', OBJECT): every field of the chip
// configuration record, and its three string descriptors decoded.
void configuration(Port &port, int, mxArray *plhs[], int, const mxArray *[]) {
  d3xx::FT_60XCONFIGURATION c;
  std::memset(&c, 0, sizeof c);
  const FT_STATUS status = d3xx_api().FT_GetChipConfiguration(port.handle(), &c);
  if (status != FT_OK) driver_error(Kind::Fifo, "FT_GetChipConfiguration", status);
  const char *fields[] = {"VendorID", "ProductID", "StringDescriptors", "bInterval",
                          "PowerAttributes", "PowerConsumption", "Reserved2", "FIFOClock",
                          "FIFOMode", "ChannelConfig", "OptionalFeatureSupport",
                          "BatteryChargingGPIOConfig", "FlashEEPROMDetection",
                          "MSIO_Control", "GPIO_Control", "Manufacturer",
                          "ProductDescription", "SerialNumber"};
  mxArray *r = mxCreateStructMatrix(1, 1, static_cast<int>(std::size(fields)), fields);
  mxSetField(r, 0, "VendorID", integer(c.VendorID, mxUINT16_CLASS));
  mxSetField(r, 0, "ProductID", integer(c.ProductID, mxUINT16_CLASS));
  mxArray *descriptors = mxCreateNumericMatrix(1, sizeof c.StringDescriptors, mxUINT8_CLASS, mxREAL);
  std::memcpy(mxGetData(descriptors), c.StringDescriptors, sizeof c.StringDescriptors);
  mxSetField(r, 0, "StringDescriptors", descriptors);
  mxSetField(r, 0, "bInterval", integer(c.bInterval, mxUINT8_CLASS));
  mxSetField(r, 0, "PowerAttributes", integer(c.PowerAttributes, mxUINT8_CLASS));
  mxSetField(r, 0, "PowerConsumption", integer(c.PowerConsumption, mxUINT16_CLASS));
  mxSetField(r, 0, "Reserved2", integer(c.Reserved2, mxUINT8_CLASS));
  mxSetField(r, 0, "FIFOClock", integer(c.FIFOClock, mxUINT8_CLASS));
  mxSetField(r, 0, "FIFOMode", integer(c.FIFOMode, mxUINT8_CLASS));
  mxSetField(r, 0, "ChannelConfig", integer(c.ChannelConfig, mxUINT8_CLASS));
  mxSetField(r, 0, "OptionalFeatureSupport", integer(c.OptionalFeatureSupport, mxUINT16_CLASS));
  mxSetField(r, 0, "BatteryChargingGPIOConfig", integer(c.BatteryChargingGPIOConfig, mxUINT8_CLASS));
  mxSetField(r, 0, "FlashEEPROMDetection", integer(c.FlashEEPROMDetection, mxUINT8_CLASS));
  mxSetField(r, 0, "MSIO_Control", integer(c.MSIO_Control, mxUINT32_CLASS));
  mxSetField(r, 0, "GPIO_Control", integer(c.GPIO_Control, mxUINT32_CLASS));
  // A malformed descriptor empties its text and those after it.
  std::size_t at = 0;
  bool well_formed = true;
  for (const char *name : {"Manufacturer", "ProductDescription", "SerialNumber"}) {
    std::string text;
    well_formed = well_formed && string_descriptor(c.StringDescriptors,
                                                   sizeof c.StringDescriptors, at, &text, &at);
    if (!well_formed) text.clear();
    mxSetField(r, 0, name,
               text_result(reinterpret_cast<const std::uint8_t *>(text.data()), text.size()));
  }
  plhs[0] = r;
}

const Op kOps[] = {{"configuration", configuration}};

// D3XX lists a device this process holds with its handle, another process's
// with the opened flag.
bool listed_open(const d3xx::FT_DEVICE_LIST_INFO_NODE &node) {
  return (node.Flags & 1) != 0 || node.ftHandle != nullptr;
}

std::vector<Listed> list() { return read_list(Kind::Fifo, d3xx_api(), listed_open); }

const Device kDevice = {
    Kind::Fifo, 5.0, kSettings, std::size(kSettings), nullptr, require_driver,
    list, start, send, receive, nullptr, flush, kOps, std::size(kOps),
};

}  // namespace

const Device &fifo_device() { return kDevice; }

}  // namespace port

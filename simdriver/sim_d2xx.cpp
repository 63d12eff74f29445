// Simulated D2XX driver library: the functions uartattach and uartport
// call, over the shared simulator state and each device's line (sim_line.h).
#include <initializer_list>
#include <string>
#include <type_traits>

#include "../uartattach/d2xx.h"
#include "sim_core.h"
#include "sim_line.h"

using Node = d2xx::FT_DEVICE_LIST_INFO_NODE;
using sim::Call;
using sim::line::Line;

namespace {

// A call on the line behind `handle`: answered without it when the status
// is injected, the handle is not open, or the device was unplugged while
// open; else `body(line, call)` answers.
template <class Body>
FT_STATUS line_call(const char *function, FT_HANDLE handle,
                    const std::string &more, Body body) {
  Call call(function, handle, more);
  if (call.injected()) return call.end_injected();
  if (!sim::is_open(handle)) return call.end(sim::kInvalidHandle);
  const sim::Device *device = sim::device_of_handle(handle);
  if (device == nullptr) return call.end(d2xx::FT_IO_ERROR);
  return call.end(body(sim::line::of(*device), call));
}

std::string numbers(std::initializer_list<unsigned long> values) {
  std::string text;
  for (const unsigned long v : values) text += "," + std::to_string(v);
  return text;
}

bool valid_flow(USHORT mode) {
  return mode == d2xx::FT_FLOW_NONE || mode == d2xx::FT_FLOW_RTS_CTS ||
         mode == d2xx::FT_FLOW_DTR_DSR || mode == d2xx::FT_FLOW_XON_XOFF;
}

// The outputs FT_SetDtr and its kin drive.
FT_STATUS set_output(const char *function, FT_HANDLE handle, bool Line::*pin,
                     bool on) {
  return line_call(function, handle, "", [pin, on](Line &line, Call &) {
    line.*pin = on;
    return FT_OK;
  });
}

}  // namespace

const sim::Profile &sim::profile() {
  static const Profile p{
      "FT_CreateDeviceInfoList,FT_GetDeviceInfoList,FT_Open,FT_Close,"
      "FT_ResetDevice,FT_CyclePort,FT_ResetPort,FT_SetLatencyTimer,"
      "FT_GetLatencyTimer,FT_SetBaudRate,FT_SetDataCharacteristics,"
      "FT_GetDriverVersion,FT_SetTimeouts,FT_Read,FT_Write,"
      "FT_GetQueueStatus,FT_Purge,FT_SetFlowControl,FT_SetDtr,FT_ClrDtr,"
      "FT_SetRts,FT_ClrRts,FT_GetModemStatus",
      0x00021228,  // 2.12.28, as the vendor writes it
      sizeof(Node::SerialNumber), sizeof(Node::Description), {}};
  return p;
}

FTSIM_EXPORT FT_STATUS FT_CreateDeviceInfoList(DWORD *numDevs) {
  return sim::create_device_info_list(numDevs);
}

FTSIM_EXPORT FT_STATUS FT_GetDeviceInfoList(Node *list, DWORD *numDevs) {
  return sim::get_device_info_list(list, numDevs);
}

FTSIM_EXPORT FT_STATUS FT_Open(int index, FT_HANDLE *handle) {
  Call call("FT_Open", std::to_string(index));
  if (call.injected()) return call.end_injected();
  if (handle == nullptr) return call.end(sim::kInvalidParameter);
  if (index < 0) return call.end(sim::kDeviceNotFound);
  return call.end(sim::open_device(static_cast<std::uint64_t>(index), handle));
}

FTSIM_EXPORT FT_STATUS FT_Close(FT_HANDLE handle) {
  Call call("FT_Close", handle);
  if (call.injected()) return call.end_injected();
  return call.end(sim::close_handle(handle));
}

FTSIM_EXPORT FT_STATUS FT_ResetDevice(FT_HANDLE handle) {
  return sim::handle_call("FT_ResetDevice", handle);
}

FTSIM_EXPORT FT_STATUS FT_CyclePort(FT_HANDLE handle) {
  return sim::handle_call("FT_CyclePort", handle);
}

FTSIM_EXPORT FT_STATUS FT_ResetPort(FT_HANDLE handle) {
  return sim::handle_call("FT_ResetPort", handle);
}

FTSIM_EXPORT FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timer) {
  const FT_STATUS status = sim::handle_call("FT_SetLatencyTimer", handle,
                                            "," + std::to_string(timer));
  if (status == FT_OK) sim::state().latency = timer;
  return status;
}

FTSIM_EXPORT FT_STATUS FT_GetLatencyTimer(FT_HANDLE handle, UCHAR *timer) {
  const FT_STATUS status = sim::handle_call("FT_GetLatencyTimer", handle);
  if (status == FT_OK && timer != nullptr) *timer = sim::state().latency;
  return status;
}

FTSIM_EXPORT FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baud) {
  return line_call("FT_SetBaudRate", handle, numbers({baud}),
                   [baud](Line &line, Call &) {
                     // The range the chips' baud rate divisors reach.
                     if (baud < 183 || baud > 12000000) {
                       return d2xx::FT_INVALID_BAUD_RATE;
                     }
                     sim::line::retune(line, [baud](Line &l) { l.baud = baud; });
                     return FT_OK;
                   });
}

FTSIM_EXPORT FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR bits,
                                                 UCHAR stop, UCHAR parity) {
  return line_call(
      "FT_SetDataCharacteristics", handle, numbers({bits, stop, parity}),
      [=](Line &line, Call &) {
        if ((bits != d2xx::FT_BITS_7 && bits != d2xx::FT_BITS_8) ||
            (stop != d2xx::FT_STOP_BITS_1 && stop != d2xx::FT_STOP_BITS_2) ||
            parity > d2xx::FT_PARITY_SPACE) {
          return d2xx::FT_INVALID_PARAMETER;
        }
        sim::line::retune(line, [=](Line &l) {
          l.data_bits = bits;
          l.stop_bits = stop;
          l.parity = parity;
        });
        return FT_OK;
      });
}

FTSIM_EXPORT FT_STATUS FT_GetDriverVersion(FT_HANDLE handle, DWORD *version) {
  const FT_STATUS status = sim::handle_call("FT_GetDriverVersion", handle);
  if (status == FT_OK && version != nullptr) *version = sim::state().version;
  return status;
}

FTSIM_EXPORT FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG read_ms,
                                      ULONG write_ms) {
  return line_call("FT_SetTimeouts", handle, numbers({read_ms, write_ms}),
                   [=](Line &line, Call &) {
                     line.read_ms = read_ms;
                     line.write_ms = write_ms;
                     return FT_OK;
                   });
}

FTSIM_EXPORT FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, DWORD count,
                               DWORD *got) {
  if (got != nullptr) *got = 0;
  return line_call("FT_Read", handle, numbers({count}), [=](Line &line, Call &call) {
    if (got == nullptr || (buffer == nullptr && count > 0)) {
      return d2xx::FT_INVALID_PARAMETER;
    }
    const sim::line::Moved moved =
        sim::line::read(line, static_cast<std::uint8_t *>(buffer), count);
    if (moved.forever) call.misuse("waits forever");
    *got = moved.count;
    return FT_OK;
  });
}

FTSIM_EXPORT FT_STATUS FT_Write(FT_HANDLE handle, void *buffer, DWORD count,
                                DWORD *written) {
  if (written != nullptr) *written = 0;
  return line_call("FT_Write", handle, numbers({count}), [=](Line &line, Call &call) {
    if (written == nullptr || (buffer == nullptr && count > 0)) {
      return d2xx::FT_INVALID_PARAMETER;
    }
    const sim::line::Moved moved = sim::line::write(
        line, static_cast<const std::uint8_t *>(buffer), count);
    if (moved.forever) call.misuse("waits forever");
    *written = moved.count;
    return FT_OK;
  });
}

FTSIM_EXPORT FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD *rx_bytes) {
  if (rx_bytes != nullptr) *rx_bytes = 0;
  return line_call("FT_GetQueueStatus", handle, "", [=](Line &line, Call &) {
    if (rx_bytes == nullptr) return d2xx::FT_INVALID_PARAMETER;
    *rx_bytes = static_cast<DWORD>(sim::line::queued(line));
    return FT_OK;
  });
}

FTSIM_EXPORT FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) {
  return line_call("FT_Purge", handle, numbers({mask}), [=](Line &line, Call &) {
    if ((mask & ~(d2xx::FT_PURGE_RX | d2xx::FT_PURGE_TX)) != 0) {
      return d2xx::FT_INVALID_PARAMETER;
    }
    sim::line::purge(line, mask);
    return FT_OK;
  });
}

FTSIM_EXPORT FT_STATUS FT_SetFlowControl(FT_HANDLE handle, USHORT mode,
                                         UCHAR xon, UCHAR xoff) {
  return line_call("FT_SetFlowControl", handle, numbers({mode, xon, xoff}),
                   [=](Line &line, Call &) {
                     if (!valid_flow(mode)) return d2xx::FT_INVALID_PARAMETER;
                     sim::line::retune(line, [=](Line &l) {
                       l.flow = mode;
                       l.xon = xon;
                       l.xoff = xoff;
                     });
                     return FT_OK;
                   });
}

FTSIM_EXPORT FT_STATUS FT_SetDtr(FT_HANDLE handle) {
  return set_output("FT_SetDtr", handle, &Line::dtr, true);
}

FTSIM_EXPORT FT_STATUS FT_ClrDtr(FT_HANDLE handle) {
  return set_output("FT_ClrDtr", handle, &Line::dtr, false);
}

FTSIM_EXPORT FT_STATUS FT_SetRts(FT_HANDLE handle) {
  return set_output("FT_SetRts", handle, &Line::rts, true);
}

FTSIM_EXPORT FT_STATUS FT_ClrRts(FT_HANDLE handle) {
  return set_output("FT_ClrRts", handle, &Line::rts, false);
}

FTSIM_EXPORT FT_STATUS FT_GetModemStatus(FT_HANDLE handle, ULONG *status) {
  return line_call("FT_GetModemStatus", handle, "", [=](Line &line, Call &) {
    if (status == nullptr) return d2xx::FT_INVALID_PARAMETER;
    *status = sim::line::modem_status(line);
    return FT_OK;
  });
}

// The simulated functions have exactly the signatures the module binds.
static_assert(std::is_same_v<decltype(&FT_Open), decltype(d2xx::Api::FT_Open)>);
static_assert(std::is_same_v<decltype(&FT_GetDeviceInfoList),
                             decltype(d2xx::Api::FT_GetDeviceInfoList)>);
static_assert(std::is_same_v<decltype(&FT_SetDataCharacteristics),
                             decltype(d2xx::Api::FT_SetDataCharacteristics)>);
static_assert(std::is_same_v<decltype(&FT_GetLatencyTimer),
                             decltype(d2xx::Api::FT_GetLatencyTimer)>);

#define SAME_AS_DATA_API(fn) \
  static_assert(std::is_same_v<decltype(&fn), decltype(d2xx::DataApi::fn)>)
SAME_AS_DATA_API(FT_SetTimeouts);
SAME_AS_DATA_API(FT_Read);
SAME_AS_DATA_API(FT_Write);
SAME_AS_DATA_API(FT_GetQueueStatus);
SAME_AS_DATA_API(FT_Purge);
SAME_AS_DATA_API(FT_SetFlowControl);
SAME_AS_DATA_API(FT_SetDtr);
SAME_AS_DATA_API(FT_ClrDtr);
SAME_AS_DATA_API(FT_SetRts);
SAME_AS_DATA_API(FT_ClrRts);
SAME_AS_DATA_API(FT_GetModemStatus);
#undef SAME_AS_DATA_API
static_assert(std::is_same_v<decltype(&FT_SetBaudRate),
                             decltype(d2xx::Api::FT_SetBaudRate)>);

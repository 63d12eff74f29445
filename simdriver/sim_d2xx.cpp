// Simulated D2XX driver library: the functions uartattach calls, over the
// shared simulator state.
#include <type_traits>

#include "../uartattach/d2xx.h"
#include "sim_core.h"

using Node = d2xx::FT_DEVICE_LIST_INFO_NODE;
using sim::Call;

const sim::Profile &sim::profile() {
  static const Profile p{
      "FT_CreateDeviceInfoList,FT_GetDeviceInfoList,FT_Open,FT_Close,"
      "FT_ResetDevice,FT_CyclePort,FT_ResetPort,FT_SetLatencyTimer,"
      "FT_GetLatencyTimer,FT_SetBaudRate,FT_SetDataCharacteristics,"
      "FT_GetDriverVersion",
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
  return sim::handle_call("FT_SetBaudRate", handle, "," + std::to_string(baud));
}

FTSIM_EXPORT FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR bits,
                                                 UCHAR stop, UCHAR parity) {
  return sim::handle_call("FT_SetDataCharacteristics", handle,
                          "," + std::to_string(bits) + "," +
                              std::to_string(stop) + "," +
                              std::to_string(parity));
}

FTSIM_EXPORT FT_STATUS FT_GetDriverVersion(FT_HANDLE handle, DWORD *version) {
  const FT_STATUS status = sim::handle_call("FT_GetDriverVersion", handle);
  if (status == FT_OK && version != nullptr) *version = sim::state().version;
  return status;
}

// The simulated functions have exactly the signatures the module binds.
static_assert(std::is_same_v<decltype(&FT_Open), decltype(d2xx::Api::FT_Open)>);
static_assert(std::is_same_v<decltype(&FT_GetDeviceInfoList),
                             decltype(d2xx::Api::FT_GetDeviceInfoList)>);
static_assert(std::is_same_v<decltype(&FT_SetDataCharacteristics),
                             decltype(d2xx::Api::FT_SetDataCharacteristics)>);
static_assert(std::is_same_v<decltype(&FT_GetLatencyTimer),
                             decltype(d2xx::Api::FT_GetLatencyTimer)>);

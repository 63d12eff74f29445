// Simulated D3XX driver library: the functions fifoattach and fifoport call,
// over the shared simulator state; the pipes' far end is in sim_fifo.cpp.
#include <cstring>
#include <type_traits>

#include "../fifoattach/d3xx.h"
#include "sim_core.h"
#include "sim_fifo.h"

using Node = d3xx::FT_DEVICE_LIST_INFO_NODE;
using sim::Call;

namespace {

std::vector<std::uint8_t> default_config() {
  d3xx::FT_60XCONFIGURATION c{};
  c.VendorID = 0x0403;
  c.ProductID = 0x601F;
  const char text[] = "FTDI FT601 USB 3.0 Bridge";
  std::memcpy(c.StringDescriptors, text, sizeof text);
  c.bInterval = 9;
  c.PowerAttributes = 0xE0;
  c.PowerConsumption = 96;
  c.FIFOClock = 0;  // 100 MHz
  c.FIFOMode = 0;   // 245 mode
  c.ChannelConfig = 0;
  c.MSIO_Control = 0x10800;
  c.GPIO_Control = 0;
  const auto *bytes = reinterpret_cast<const std::uint8_t *>(&c);
  return {bytes, bytes + sizeof c};
}

}  // namespace

const sim::Profile &sim::profile() {
  static const Profile p{
      "FT_CreateDeviceInfoList,FT_GetDeviceInfoList,FT_Create,FT_Close,"
      "FT_GetChipConfiguration,FT_GetDriverVersion,FT_WritePipe,FT_ReadPipe,"
      "FT_SetPipeTimeout,FT_AbortPipe,FT_FlushPipe",
      0x01030004,  // 1.3.0.4
      sizeof(Node::SerialNumber), sizeof(Node::Description), default_config()};
  return p;
}

FTSIM_EXPORT FT_STATUS FT_CreateDeviceInfoList(DWORD *numDevs) {
  return sim::create_device_info_list(numDevs);
}

FTSIM_EXPORT FT_STATUS FT_GetDeviceInfoList(Node *list, DWORD *numDevs) {
  return sim::get_device_info_list(list, numDevs);
}

FTSIM_EXPORT FT_STATUS FT_Create(void *arg, DWORD flags, FT_HANDLE *handle) {
  const auto index = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(arg));
  Call call("FT_Create", sim::hex(index) + "," + sim::hex(flags));
  if (call.injected()) return call.end_injected();
  if (handle == nullptr) return call.end(sim::kInvalidParameter);
  if (flags != d3xx::FT_OPEN_BY_INDEX) return call.end(sim::kNotSupported);
  const FT_STATUS status = sim::open_device(index, handle);
  if (status == FT_OK) sim::fifo::created(*sim::device_at(index));
  return call.end(status);
}

FTSIM_EXPORT FT_STATUS FT_Close(FT_HANDLE handle) {
  Call call("FT_Close", handle);
  if (call.injected()) return call.end_injected();
  return call.end(sim::close_handle(handle));
}

FTSIM_EXPORT FT_STATUS FT_GetChipConfiguration(FT_HANDLE handle, void *config) {
  const FT_STATUS status = sim::handle_call("FT_GetChipConfiguration", handle);
  if (status == FT_OK && config != nullptr) {
    std::memcpy(config, sim::state().config.data(), sim::state().config.size());
  }
  return status;
}

FTSIM_EXPORT FT_STATUS FT_GetDriverVersion(FT_HANDLE handle, DWORD *version) {
  const FT_STATUS status = sim::handle_call("FT_GetDriverVersion", handle);
  if (status == FT_OK && version != nullptr) *version = sim::state().version;
  return status;
}

namespace {

// ",0x82,1048576,5000": pipe, count, timeout.
std::string transfer_arguments(UCHAR pipe, ULONG count, DWORD timeout_ms) {
  return "," + sim::fifo::pipe_id(pipe) + "," + std::to_string(count) + "," +
         std::to_string(timeout_ms);
}

}  // namespace

FTSIM_EXPORT FT_STATUS FT_WritePipe(FT_HANDLE handle, UCHAR pipe, UCHAR *buffer,
                                    ULONG count, ULONG *moved, DWORD timeout_ms) {
  Call call("FT_WritePipe", handle, transfer_arguments(pipe, count, timeout_ms));
  return sim::fifo::transfer(call, sim::fifo::Way::out, handle, pipe, buffer, count,
                             moved, timeout_ms);
}

FTSIM_EXPORT FT_STATUS FT_ReadPipe(FT_HANDLE handle, UCHAR pipe, UCHAR *buffer,
                                   ULONG count, ULONG *moved, DWORD timeout_ms) {
  Call call("FT_ReadPipe", handle, transfer_arguments(pipe, count, timeout_ms));
  return sim::fifo::transfer(call, sim::fifo::Way::in, handle, pipe, buffer, count,
                             moved, timeout_ms);
}

FTSIM_EXPORT FT_STATUS FT_SetPipeTimeout(FT_HANDLE handle, UCHAR pipe, ULONG ms) {
  Call call("FT_SetPipeTimeout", handle, "," + sim::fifo::pipe_id(pipe) + "," + std::to_string(ms));
  return sim::fifo::control(call, sim::fifo::Control::set_timeout, handle, pipe, ms);
}

FTSIM_EXPORT FT_STATUS FT_AbortPipe(FT_HANDLE handle, UCHAR pipe) {
  Call call("FT_AbortPipe", handle, "," + sim::fifo::pipe_id(pipe));
  return sim::fifo::control(call, sim::fifo::Control::abort, handle, pipe);
}

FTSIM_EXPORT FT_STATUS FT_FlushPipe(FT_HANDLE handle, UCHAR pipe) {
  Call call("FT_FlushPipe", handle, "," + sim::fifo::pipe_id(pipe));
  return sim::fifo::control(call, sim::fifo::Control::flush, handle, pipe);
}

// The simulated functions have exactly the signatures the module binds.
static_assert(std::is_same_v<decltype(&FT_Create), decltype(d3xx::Api::FT_Create)>);
static_assert(std::is_same_v<decltype(&FT_GetDeviceInfoList),
                             decltype(d3xx::Api::FT_GetDeviceInfoList)>);
static_assert(std::is_same_v<decltype(&FT_GetChipConfiguration),
                             decltype(d3xx::Api::FT_GetChipConfiguration)>);
static_assert(std::is_same_v<decltype(&FT_WritePipe), decltype(d3xx::PipeApi::FT_WritePipe)>);
static_assert(std::is_same_v<decltype(&FT_ReadPipe), decltype(d3xx::PipeApi::FT_ReadPipe)>);
static_assert(std::is_same_v<decltype(&FT_SetPipeTimeout),
                             decltype(d3xx::PipeApi::FT_SetPipeTimeout)>);
static_assert(std::is_same_v<decltype(&FT_AbortPipe), decltype(d3xx::PipeApi::FT_AbortPipe)>);
static_assert(std::is_same_v<decltype(&FT_FlushPipe), decltype(d3xx::PipeApi::FT_FlushPipe)>);

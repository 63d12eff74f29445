// What a fifoport object does on its pipes (being written).
#include "../port/device.h"

namespace port {

namespace {

void require_driver() {
  raise(Kind::Fifo, "driverUnavailable", "not yet");
}

std::vector<Listed> list() { return {}; }
void start(Port &) {}
void send(Port &, Transfer &, const Deadline &) {}
void receive(Port &, Transfer &, const Deadline &) {}
void flush(Port &, const mxArray *) {}

const Setting kSettings[] = {
    {"Timeout", parse_timeout, nullptr, timeout_value, nullptr},
    {"ByteOrder", parse_byte_order, nullptr, byte_order_value, nullptr},
    {"Tag", parse_tag, nullptr, nullptr, initial_tag},
    {"UserData", parse_user_data, nullptr, nullptr, initial_user_data},
};

const Device kDevice = {
    Kind::Fifo, 5.0, kSettings, std::size(kSettings), nullptr, require_driver,
    list, start, send, receive, nullptr, flush, nullptr, 0,
};

}  // namespace

const Device &fifo_device() { return kDevice; }

}  // namespace port

// The D2XX functions uartattach and uartport call, over the open-source
// libftdi1. Where
// libftdi has no equivalent the answer says so (see README.md) rather than
// pretending success.
#include <glob.h>
#include <libftdi1/ftdi.h>
#include <libusb-1.0/libusb.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "../uartattach/d2xx.h"

#define D2XX_EXPORT extern "C" __attribute__((visibility("default")))

using Node = d2xx::FT_DEVICE_LIST_INFO_NODE;

namespace {

constexpr FT_STATUS kOk = 0;
constexpr FT_STATUS kInvalidHandle = 1;
constexpr FT_STATUS kDeviceNotFound = 2;
constexpr FT_STATUS kDeviceNotOpened = 3;
constexpr FT_STATUS kIoError = 4;
constexpr FT_STATUS kInsufficientResources = 5;
constexpr FT_STATUS kInvalidParameter = 6;
constexpr FT_STATUS kInvalidBaudRate = 7;
constexpr FT_STATUS kNotSupported = 17;

// The chips listed: FTDI's own vendor id with the product ids its UART
// bridges ship with. Kept here rather than left to libftdi's 0/0 default so
// the covered set is stated in one place (and in README.md).
constexpr int kVendor = 0x0403;
constexpr int kProducts[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};

// D2XX device type numbers.
constexpr ULONG kTypeBM = 0, kTypeAM = 1, kTypeUnknown = 3, kType2232C = 4,
                kType232R = 5, kType2232H = 6, kType4232H = 7, kType232H = 8,
                kTypeXSeries = 9;

// The chip generation is told by bcdDevice, as libftdi itself tells it: a
// 0x0200 chip without a serial number string is a BM with a blank EEPROM.
ULONG type_of(const libusb_device_descriptor &desc) {
  switch (desc.bcdDevice) {
    case 0x0200: return desc.iSerialNumber == 0 ? kTypeBM : kTypeAM;
    case 0x0400: return kTypeBM;
    case 0x0500: return kType2232C;
    case 0x0600: return kType232R;
    case 0x0700: return kType2232H;
    case 0x0800: return kType4232H;
    case 0x0900: return kType232H;
    case 0x1000: return kTypeXSeries;
    default: return kTypeUnknown;
  }
}

// Where a channel of a chip sits: the USB device (bus and address identify
// it while it stays plugged in) and the interface of the channel.
struct Place {
  uint8_t bus = 0;
  uint8_t address = 0;
  int interface = 0;
  bool operator==(const Place &o) const {
    return bus == o.bus && address == o.address && interface == o.interface;
  }
};

Place place_of(libusb_device *dev, int interface) {
  return {libusb_get_bus_number(dev), libusb_get_device_address(dev),
          interface};
}

using Clock = std::chrono::steady_clock;

// Receiving for one handle. A thread keeps bulk-in transfers pending on the
// chip, as D2XX's driver does, so bytes leave the chip's small FIFO (384
// bytes on a BM) while the caller is busy elsewhere, not only inside
// FT_Read. What it takes waits in `queue_` until FT_Read hands it over.
//
// Four transfers are pending at once and each is submitted again from its
// completion: while the bytes of one are taken, the chip already has the
// next to fill. On the emulated chip, whose transfers end once its 384-byte
// FIFO is drained, a 64 KiB echo took 0.18 s with one pending, 0.12 s with
// two and 0.074 s with four (the kernel's ftdi_sio: 0.11 s).
class Receiver {
 public:
  // `events`: the libusb context the device was listed on. libusb_open
  // registers the device there, not in the handle's own ftdi context, so
  // only that context ever sees its transfers complete.
  Receiver(ftdi_context *ftdi, libusb_context *events)
      : ftdi_(ftdi), events_(events) {}
  Receiver(const Receiver &) = delete;
  Receiver &operator=(const Receiver &) = delete;
  ~Receiver() { stop(); }

  // False when no transfer or thread could be had.
  bool start() {
    try {
      for (Slot &slot : slots_) {
        slot.transfer = libusb_alloc_transfer(0);
        if (slot.transfer == nullptr) return false;
        slot.owner = this;
        slot.buffer.resize(kChunk);
      }
      thread_ = std::thread([this] { run(); });
    } catch (const std::system_error &) {
      return false;
    } catch (const std::bad_alloc &) {
      return false;
    }
    return true;
  }

  // Idempotent; after it no transfer is pending and the thread is gone.
  void stop() {
    {
      std::lock_guard<std::mutex> lock(m_);
      stopping_ = true;
      cancel_all();
      cv_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    for (Slot &slot : slots_) {
      if (slot.transfer != nullptr) libusb_free_transfer(slot.transfer);
      slot.transfer = nullptr;
    }
  }

  struct Taken {
    size_t count;
    bool gone;  // the chip stopped answering (unplugged)
  };

  // Waits until `count` bytes are queued or the deadline passes (none:
  // waits as long as it takes), then hands over what is there.
  Taken take(unsigned char *out, size_t count,
             std::optional<Clock::time_point> deadline) {
    std::unique_lock<std::mutex> lock(m_);
    const auto ready = [&] {
      return queue_.size() >= count || gone_ || stopping_;
    };
    if (deadline) {
      cv_.wait_until(lock, *deadline, ready);
    } else {
      cv_.wait(lock, ready);
    }
    const size_t n = std::min(count, queue_.size());
    std::copy_n(queue_.begin(), n, out);
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(n));
    cv_.notify_all();  // a reader held back by a full queue may go on
    return {n, gone_};
  }

  Taken queued() {
    std::lock_guard<std::mutex> lock(m_);
    return {queue_.size(), gone_};
  }

  // Runs `fn` with no transfer pending: nothing the chip sent before it can
  // land in the queue after it (a purge), and a port reset aborts nothing.
  template <class Fn>
  auto quiet(Fn &&fn) {
    std::unique_lock<std::mutex> lock(m_);
    ++pauses_;
    cancel_all();
    cv_.wait(lock, [&] { return in_flight_ == 0; });
    lock.unlock();
    auto result = fn();
    lock.lock();
    --pauses_;
    cv_.notify_all();
    return result;
  }

  void drop() {
    std::lock_guard<std::mutex> lock(m_);
    queue_.clear();
    cv_.notify_all();
  }

  // The two status bytes of the latest packet, if it is at most `age` old.
  std::optional<uint16_t> recent_status(Clock::duration age) {
    std::lock_guard<std::mutex> lock(m_);
    if (!status_at_ || Clock::now() - *status_at_ > age) return std::nullopt;
    return status_;
  }

 private:
  // 16 KiB is one usbfs URB: a cancelled transfer then reports exactly the
  // packets it got. A multiple of both max-packet sizes (64 and 512).
  static constexpr size_t kChunk = 16384;
  // Pending at once; the transfers on one endpoint complete in the order
  // they were submitted, so the bytes stay in order.
  static constexpr size_t kTransfers = 4;
  // Beyond this the thread stops reading and the chip's FIFO fills, as with
  // any driver whose buffer is full.
  static constexpr size_t kQueueLimit = size_t{1} << 20;

  struct Slot {
    Receiver *owner = nullptr;
    libusb_transfer *transfer = nullptr;
    std::vector<unsigned char> buffer;
    bool in_flight = false;
  };

  // libftdi names endpoints from the chip's side: it reads from out_ep
  // (0x81 on channel A).
  unsigned char in_endpoint() const {
    return static_cast<unsigned char>(ftdi_->out_ep);
  }

  // Each max-packet the chip sends starts with its modem and line status
  // bytes; only the rest is data.
  void keep(const unsigned char *p, int length) {
    const int packet = ftdi_->max_packet_size > 2
                           ? static_cast<int>(ftdi_->max_packet_size)
                           : 64;
    for (int at = 0; at + 2 <= length; at += packet) {
      const int end = std::min(length, at + packet);
      status_ = static_cast<uint16_t>(p[at] | p[at + 1] << 8);
      status_at_ = Clock::now();
      queue_.insert(queue_.end(), p + at + 2, p + end);
    }
  }

  // With m_ held, as everything below.
  void cancel_all() {
    for (Slot &slot : slots_) {
      if (slot.in_flight) libusb_cancel_transfer(slot.transfer);
    }
  }

  bool may_submit() const {
    return !stopping_ && !gone_ && pauses_ == 0 && Clock::now() >= retry_at_ &&
           queue_.size() + (in_flight_ + 1) * kChunk <= kQueueLimit;
  }

  void submit(Slot &slot) {
    // No libusb timeout: the transfer ends when the chip sends a short
    // packet (a real chip does within its latency timer), or when stop()
    // or quiet() cancel it.
    libusb_fill_bulk_transfer(slot.transfer, ftdi_->usb_dev, in_endpoint(),
                              slot.buffer.data(),
                              static_cast<int>(slot.buffer.size()), finished,
                              &slot, 0);
    const int submitted = libusb_submit_transfer(slot.transfer);
    if (submitted == 0) {
      slot.in_flight = true;
      ++in_flight_;
    } else if (submitted == LIBUSB_ERROR_NO_DEVICE) {
      gone_ = true;
    } else {
      retry_at_ = Clock::now() + std::chrono::milliseconds(10);
    }
  }

  // Runs inside libusb's event handling, on whichever thread handles the
  // context's events (this receiver's, or a writer's synchronous transfer).
  static void LIBUSB_CALL finished(libusb_transfer *t) {
    Slot &slot = *static_cast<Slot *>(t->user_data);
    slot.owner->completed(slot);
  }

  void completed(Slot &slot) {
    std::lock_guard<std::mutex> lock(m_);
    slot.in_flight = false;
    --in_flight_;
    const libusb_transfer *t = slot.transfer;
    bool again = true;
    switch (t->status) {
      case LIBUSB_TRANSFER_COMPLETED:
      case LIBUSB_TRANSFER_TIMED_OUT:
      case LIBUSB_TRANSFER_CANCELLED:  // keeps what came before the cancel
        keep(t->buffer, t->actual_length);
        break;
      case LIBUSB_TRANSFER_NO_DEVICE:
        gone_ = true;
        cancel_all();
        again = false;
        break;
      default:  // a stall or error (a port reset): try again shortly
        keep(t->buffer, t->actual_length);
        retry_at_ = Clock::now() + std::chrono::milliseconds(10);
        again = false;
        break;
    }
    cv_.notify_all();
    if (again && may_submit()) submit(slot);
  }

  void run() {
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
      if (stopping_ || gone_) {
        if (in_flight_ == 0) break;
        cancel_all();
      } else {
        for (Slot &slot : slots_) {
          if (!slot.in_flight && may_submit()) submit(slot);
        }
        if (in_flight_ == 0) {
          // Paused, the queue full, or a retry due: wait for a change.
          cv_.wait_for(lock, std::chrono::milliseconds(10));
          continue;
        }
      }
      lock.unlock();
      libusb_handle_events(events_);
      lock.lock();
    }
    cv_.notify_all();
  }

  ftdi_context *ftdi_;
  libusb_context *events_;
  Slot slots_[kTransfers];
  std::thread thread_;
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<unsigned char> queue_;
  bool stopping_ = false, gone_ = false;
  size_t in_flight_ = 0;
  int pauses_ = 0;
  Clock::time_point retry_at_{};
  uint16_t status_ = 0;
  std::optional<Clock::time_point> status_at_;
};

// A handle this process holds. Handles given out are serial numbers, never
// reused, so a closed handle cannot alias a later one and is recognised
// without being dereferenced.
struct Open {
  ftdi_context *ftdi = nullptr;
  libusb_context *events = nullptr;  // the context the device was listed on
  Place place;
  char serial[sizeof(Node::SerialNumber)] = {};
  char description[sizeof(Node::Description)] = {};
  ULONG read_ms = 0, write_ms = 0;  // FT_SetTimeouts; 0: none, as in D2XX
  // Started by the first data call, so a handle only uartattach uses never
  // reads the chip.
  std::shared_ptr<Receiver> receiver;
};

// One device list entry with what FT_Open needs to reach it again.
struct Listed {
  Node node{};
  libusb_device *dev = nullptr;  // referenced while the listing lasts
  int interface = 0;
};

// Process-wide state, never destroyed: handles may be in use until the
// process ends (the close-at-exit hook below still reaches it).
struct State {
  std::mutex lock;
  ftdi_context *lister = nullptr;  // its libusb context outlives every device
  std::vector<Listed> listing;
  std::map<std::uintptr_t, Open> open;
  std::uintptr_t next_handle = 1;
};

State &state() {
  static State *s = new State;
  return *s;
}

Open *find_open(State &s, FT_HANDLE handle) {
  const auto it = s.open.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == s.open.end() ? nullptr : &it->second;
}

// The handle this process holds on the channel at `p`, or null.
const std::pair<const std::uintptr_t, Open> *holder_of(const State &s,
                                                       const Place &p) {
  for (const auto &entry : s.open) {
    if (entry.second.place == p) return &entry;
  }
  return nullptr;
}

// LocId: bus number in bits 31-24, then up to five port numbers of the
// path from the root hub, four bits each, then the channel in bits 3-0.
DWORD location_of(libusb_device *dev, int interface) {
  uint8_t ports[7] = {};
  const int depth = libusb_get_port_numbers(dev, ports, sizeof ports);
  DWORD path = 0;
  for (int i = 0; i < depth && i < 5; ++i) path = (path << 4) | (ports[i] & 0xF);
  return (DWORD{libusb_get_bus_number(dev)} << 24) | ((path & 0xFFFFF) << 4) |
         static_cast<DWORD>(interface & 0xF);
}

// Whether another program holds the channel's interface through usbfs (a
// kernel driver such as ftdi_sio does not count: opening detaches it). The
// kernel tells this only through sysfs: /sys/bus/usb/devices/B-P.P:C.I/driver.
bool claimed_elsewhere(libusb_device *dev, int interface) {
  uint8_t ports[7] = {};
  const int depth = libusb_get_port_numbers(dev, ports, sizeof ports);
  if (depth <= 0) return false;
  char pattern[160];
  int n = std::snprintf(pattern, sizeof pattern, "/sys/bus/usb/devices/%u-",
                        libusb_get_bus_number(dev));
  for (int i = 0; i < depth; ++i) {
    n += std::snprintf(pattern + n, sizeof pattern - n, i ? ".%u" : "%u",
                       ports[i]);
  }
  std::snprintf(pattern + n, sizeof pattern - n, ":*.%d/driver", interface);
  glob_t found{};
  bool busy = false;
  if (glob(pattern, 0, nullptr, &found) == 0) {
    for (size_t i = 0; i < found.gl_pathc && !busy; ++i) {
      char target[PATH_MAX];
      const ssize_t len = readlink(found.gl_pathv[i], target, sizeof target - 1);
      if (len <= 0) continue;
      target[len] = '\0';
      const char *name = std::strrchr(target, '/');
      busy = std::strcmp(name != nullptr ? name + 1 : target, "usbfs") == 0;
    }
  }
  globfree(&found);
  return busy;
}

void copy_text(char *out, size_t room, const char *text, const char *suffix) {
  std::snprintf(out, room, "%s%s", text, suffix);
}

void release_listing(State &s) {
  for (Listed &entry : s.listing) libusb_unref_device(entry.dev);
  s.listing.clear();
}

// Lists every channel of every covered chip, as D2XX does: a chip with
// several interfaces appears once per channel, its description and serial
// number suffixed " A"/"A", " B"/"B", ...
FT_STATUS make_listing(State &s) {
  release_listing(s);
  if (s.lister == nullptr) s.lister = ftdi_new();
  // No libusb (no USB support at all on this machine): nothing to list.
  if (s.lister == nullptr) return kOk;

  for (const int product : kProducts) {
    ftdi_device_list *chips = nullptr;
    if (ftdi_usb_find_all(s.lister, &chips, kVendor, product) < 0) {
      release_listing(s);
      return kIoError;
    }
    for (ftdi_device_list *chip = chips; chip != nullptr; chip = chip->next) {
      libusb_device *dev = chip->dev;
      libusb_device_descriptor desc{};
      if (libusb_get_device_descriptor(dev, &desc) != 0) continue;
      int channels = 1;
      libusb_config_descriptor *config = nullptr;
      if (libusb_get_config_descriptor(dev, 0, &config) == 0) {
        channels = config->bNumInterfaces < 1   ? 1
                   : config->bNumInterfaces > 4 ? 4
                                                : config->bNumInterfaces;
        libusb_free_config_descriptor(config);
      }

      // The strings are read once per chip, unless a channel is held here
      // (its strings were kept at open) or elsewhere (D2XX shows none).
      char description[sizeof(Node::Description)] = {};
      char serial[sizeof(Node::SerialNumber)] = {};
      bool strings_read = false;

      for (int channel = 0; channel < channels; ++channel) {
        Listed entry;
        entry.dev = libusb_ref_device(dev);
        entry.interface = channel;
        Node &node = entry.node;
        node.Type = type_of(desc);
        node.ID = (static_cast<ULONG>(desc.idVendor) << 16) | desc.idProduct;
        node.LocId = location_of(dev, channel);
        if (libusb_get_device_speed(dev) >= LIBUSB_SPEED_HIGH) {
          node.Flags |= d2xx::FT_FLAGS_HISPEED;
        }
        const char suffix[3] = {channels > 1 ? ' ' : '\0',
                                static_cast<char>('A' + channel), '\0'};
        if (const auto *held = holder_of(s, place_of(dev, channel))) {
          node.Flags |= d2xx::FT_FLAGS_OPENED;
          node.ftHandle = reinterpret_cast<FT_HANDLE>(held->first);
          std::memcpy(node.Description, held->second.description,
                      sizeof node.Description);
          std::memcpy(node.SerialNumber, held->second.serial,
                      sizeof node.SerialNumber);
        } else if (claimed_elsewhere(dev, channel)) {
          node.Flags |= d2xx::FT_FLAGS_OPENED;
        } else {
          if (!strings_read) {
            strings_read = true;
            // A chip without a serial number string has none to read.
            const bool has_serial = desc.iSerialNumber != 0;
            // A chip that does not answer is listed without strings.
            if (ftdi_usb_get_strings2(
                    s.lister, dev, nullptr, 0, description,
                    static_cast<int>(sizeof description),
                    has_serial ? serial : nullptr,
                    has_serial ? static_cast<int>(sizeof serial) : 0) != 0) {
              description[0] = serial[0] = '\0';
            }
          }
          if (description[0] != '\0') {
            copy_text(node.Description, sizeof node.Description, description,
                      suffix);
          }
          if (serial[0] != '\0') {
            copy_text(node.SerialNumber, sizeof node.SerialNumber, serial,
                      suffix + (channels > 1 ? 1 : 0));
          }
        }
        s.listing.push_back(entry);
      }
    }
    ftdi_list_free(&chips);
  }
  return kOk;
}

// The handle's open record, or null: then the call answers INVALID_HANDLE
// before anything reaches libusb.
template <class Fn>
FT_STATUS with_handle(FT_HANDLE handle, Fn &&fn) {
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  Open *open = find_open(s, handle);
  if (open == nullptr) return kInvalidHandle;
  return fn(*open);
}

unsigned bcd(int value) {
  if (value < 0) value = 0;
  return static_cast<unsigned>(((value / 10) % 10) << 4 | (value % 10));
}

FT_STATUS close_open(Open &open) {
  // No transfer may be pending on the device once it is closed.
  if (open.receiver) open.receiver->stop();
  // Releasing the interface gives it back to ftdi_sio (the detach mode set at
  // open), so the tty returns.
  const int rc = ftdi_usb_close(open.ftdi);
  ftdi_free(open.ftdi);
  return rc == 0 ? kOk : kIoError;
}

// The handle's receiver, started on first use.
Receiver *receiver_of(Open &o) {
  if (!o.receiver) {
    auto r = std::make_shared<Receiver>(o.ftdi, o.events);
    if (!r->start()) return nullptr;
    o.receiver = std::move(r);
  }
  return o.receiver.get();
}

// A copy of the handle's record, for the calls that wait (reads, writes):
// they run without the lock, so other handles' calls are not held up.
FT_STATUS copy_of(FT_HANDLE handle, Open &out, bool receiving) {
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  Open *open = find_open(s, handle);
  if (open == nullptr) return kInvalidHandle;
  if (receiving && receiver_of(*open) == nullptr) return kInsufficientResources;
  out = *open;
  return kOk;
}

FT_STATUS ok_or_io(int libftdi_rc) { return libftdi_rc == 0 ? kOk : kIoError; }

std::optional<Clock::time_point> deadline_after(ULONG ms) {
  if (ms == 0) return std::nullopt;
  return Clock::now() + std::chrono::milliseconds(ms);
}

// Handles still held when the process ends are closed so the kernel driver
// gets its interface back, as after FT_Close.
__attribute__((destructor)) void close_all_at_exit() {
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  for (auto &entry : s.open) close_open(entry.second);
  s.open.clear();
}

}  // namespace

D2XX_EXPORT FT_STATUS FT_CreateDeviceInfoList(DWORD *numDevs) {
  if (numDevs == nullptr) return kInvalidParameter;
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  const FT_STATUS status = make_listing(s);
  *numDevs = status == kOk ? static_cast<DWORD>(s.listing.size()) : 0;
  return status;
}

D2XX_EXPORT FT_STATUS FT_GetDeviceInfoList(Node *list, DWORD *numDevs) {
  if (list == nullptr || numDevs == nullptr) return kInvalidParameter;
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  // The entries of the last FT_CreateDeviceInfoList, as D2XX keeps them.
  for (size_t i = 0; i < s.listing.size(); ++i) list[i] = s.listing[i].node;
  *numDevs = static_cast<DWORD>(s.listing.size());
  return kOk;
}

D2XX_EXPORT FT_STATUS FT_Open(int index, FT_HANDLE *handle) {
  if (handle == nullptr) return kInvalidParameter;
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.listing.empty()) make_listing(s);
  if (index < 0 || static_cast<size_t>(index) >= s.listing.size()) {
    return kDeviceNotFound;
  }
  const Listed &entry = s.listing[static_cast<size_t>(index)];
  const Place place = place_of(entry.dev, entry.interface);
  // One handle per channel, as D2XX allows; other programs' claims are left
  // to the kernel to refuse.
  if (holder_of(s, place) != nullptr) return kDeviceNotOpened;

  ftdi_context *ftdi = ftdi_new();
  if (ftdi == nullptr) return kDeviceNotOpened;
  ftdi->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
  if (ftdi_set_interface(ftdi, static_cast<ftdi_interface>(
                                   INTERFACE_A + entry.interface)) != 0 ||
      ftdi_usb_open_dev(ftdi, entry.dev) != 0) {
    ftdi_free(ftdi);
    return kDeviceNotOpened;
  }
  Open open;
  open.ftdi = ftdi;
  open.events = s.lister->usb_ctx;
  open.place = place;
  std::memcpy(open.description, entry.node.Description,
              sizeof open.description);
  std::memcpy(open.serial, entry.node.SerialNumber, sizeof open.serial);
  const std::uintptr_t id = s.next_handle++;
  s.open.emplace(id, open);
  *handle = reinterpret_cast<FT_HANDLE>(id);
  return kOk;
}

D2XX_EXPORT FT_STATUS FT_Close(FT_HANDLE handle) {
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  const auto it = s.open.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == s.open.end()) return kInvalidHandle;
  Open open = std::move(it->second);
  s.open.erase(it);  // whatever the release answers, the handle is gone
  return close_open(open);
}

// The chip's own reset (SIO reset request), not a USB bus reset.
D2XX_EXPORT FT_STATUS FT_ResetDevice(FT_HANDLE handle) {
  return with_handle(handle, [](Open &o) {
    return ftdi_usb_reset(o.ftdi) == 0 ? kOk : kIoError;
  });
}

// Re-enumerating the device is beyond libusb on Linux; the closest it has is
// a port reset, which FT_ResetPort already is.
D2XX_EXPORT FT_STATUS FT_CyclePort(FT_HANDLE handle) {
  return with_handle(handle, [](Open &) { return kNotSupported; });
}

D2XX_EXPORT FT_STATUS FT_ResetPort(FT_HANDLE handle) {
  return with_handle(handle, [](Open &o) {
    const auto reset = [&o] {
      switch (libusb_reset_device(o.ftdi->usb_dev)) {
        case LIBUSB_SUCCESS: return kOk;
        case LIBUSB_ERROR_NOT_FOUND:  // re-enumerated: this handle is stale
        case LIBUSB_ERROR_NO_DEVICE: return kDeviceNotFound;
        default: return kIoError;
      }
    };
    return o.receiver ? o.receiver->quiet(reset) : reset();
  });
}

D2XX_EXPORT FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR timer) {
  return with_handle(handle, [timer](Open &o) {
    // libftdi refuses 0 ms (-1); the chip takes 1..255.
    switch (ftdi_set_latency_timer(o.ftdi, timer)) {
      case 0: return kOk;
      case -1: return kInvalidParameter;
      default: return kIoError;
    }
  });
}

D2XX_EXPORT FT_STATUS FT_GetLatencyTimer(FT_HANDLE handle, UCHAR *timer) {
  return with_handle(handle, [timer](Open &o) {
    if (timer == nullptr) return kInvalidParameter;
    unsigned char value = 0;
    if (ftdi_get_latency_timer(o.ftdi, &value) != 0) return kIoError;
    *timer = value;
    return kOk;
  });
}

D2XX_EXPORT FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baud) {
  return with_handle(handle, [baud](Open &o) {
    if (baud == 0 || baud > INT_MAX) return kInvalidBaudRate;
    // -1: no divisor within 5 % of the rate, or a rate out of range.
    switch (ftdi_set_baudrate(o.ftdi, static_cast<int>(baud))) {
      case 0: return kOk;
      case -1: return kInvalidBaudRate;
      default: return kIoError;
    }
  });
}

D2XX_EXPORT FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR bits,
                                                UCHAR stop, UCHAR parity) {
  return with_handle(handle, [=](Open &o) {
    // D2XX and libftdi number these alike: 7/8 bits, stop 0 (1), 1 (1.5),
    // 2 (2), parity none, odd, even, mark, space as 0..4.
    if ((bits != 7 && bits != 8) || stop > 2 || parity > 4) {
      return kInvalidParameter;
    }
    return ftdi_set_line_property(o.ftdi, static_cast<ftdi_bits_type>(bits),
                                  static_cast<ftdi_stopbits_type>(stop),
                                  static_cast<ftdi_parity_type>(parity)) == 0
               ? kOk
               : kIoError;
  });
}

// The version of libftdi, in the vendor's layout: major, minor and build in
// bytes 2, 1 and 0, each in BCD (1.5.0 reads 0x00010500).
D2XX_EXPORT FT_STATUS FT_GetDriverVersion(FT_HANDLE handle, DWORD *version) {
  return with_handle(handle, [version](Open &) {
    if (version == nullptr) return kInvalidParameter;
    const ftdi_version_info v = ftdi_get_library_version();
    *version = (bcd(v.major) << 16) | (bcd(v.minor) << 8) | bcd(v.micro);
    return kOk;
  });
}

// The data and line functions uartport calls.

D2XX_EXPORT FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG read_ms,
                                     ULONG write_ms) {
  return with_handle(handle, [=](Open &o) {
    o.read_ms = read_ms;
    o.write_ms = write_ms;
    return receiver_of(o) != nullptr ? kOk : kInsufficientResources;
  });
}

// What the receiver has queued, waiting up to the read timeout for the rest.
D2XX_EXPORT FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, DWORD count,
                              DWORD *got) {
  Open o;
  const FT_STATUS status = copy_of(handle, o, true);
  if (status != kOk) return status;
  if (got == nullptr || (buffer == nullptr && count > 0)) {
    return kInvalidParameter;
  }
  const Receiver::Taken taken =
      o.receiver->take(static_cast<unsigned char *>(buffer), count,
                       deadline_after(o.read_ms));
  *got = static_cast<DWORD>(taken.count);
  return taken.count < count && taken.gone ? kIoError : kOk;
}

// Bulk-out in pieces of one URB each, so a timeout reports exactly what
// went; when the write timeout runs out, FT_OK with fewer bytes.
D2XX_EXPORT FT_STATUS FT_Write(FT_HANDLE handle, void *buffer, DWORD count,
                               DWORD *written) {
  Open o;
  const FT_STATUS status = copy_of(handle, o, false);
  if (status != kOk) return status;
  if (written == nullptr || (buffer == nullptr && count > 0)) {
    return kInvalidParameter;
  }
  constexpr DWORD kPiece = 16384;
  const auto deadline = deadline_after(o.write_ms);
  auto *bytes = static_cast<unsigned char *>(buffer);
  DWORD done = 0;
  FT_STATUS result = kOk;
  while (done < count) {
    unsigned int timeout_ms = 0;  // libusb's "none", as D2XX's 0
    if (deadline) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          *deadline - Clock::now());
      if (left.count() <= 0) break;
      timeout_ms = static_cast<unsigned int>(left.count());
    }
    int moved = 0;
    // libftdi names endpoints from the chip's side: it writes to in_ep.
    const int rc = libusb_bulk_transfer(
        o.ftdi->usb_dev, static_cast<unsigned char>(o.ftdi->in_ep),
        bytes + done, static_cast<int>(std::min(count - done, kPiece)), &moved,
        timeout_ms);
    done += static_cast<DWORD>(moved);
    if (rc == LIBUSB_ERROR_TIMEOUT) break;
    if (rc != 0) {
      result = kIoError;
      break;
    }
  }
  *written = done;
  return result;
}

// The bytes the receiver has taken from the chip and FT_Read not yet handed
// over: no USB traffic. Bytes still in the chip (at most a latency period's
// worth) are counted once a pending transfer brings them.
D2XX_EXPORT FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, DWORD *rx_bytes) {
  return with_handle(handle, [rx_bytes](Open &o) {
    if (rx_bytes == nullptr) return kInvalidParameter;
    Receiver *r = receiver_of(o);
    if (r == nullptr) return kInsufficientResources;
    const Receiver::Taken queued = r->queued();
    *rx_bytes = static_cast<DWORD>(queued.count);
    // Bytes that came before the chip went can still be read.
    return queued.gone && queued.count == 0 ? kIoError : kOk;
  });
}

// RX: the chip's receive FIFO and the layer's queue, with no transfer
// pending in between. TX: the chip's transmit FIFO. libftdi's tciflush and
// tcoflush pick the request values by the chip's own naming.
D2XX_EXPORT FT_STATUS FT_Purge(FT_HANDLE handle, ULONG mask) {
  return with_handle(handle, [mask](Open &o) {
    if ((mask & ~(d2xx::FT_PURGE_RX | d2xx::FT_PURGE_TX)) != 0) {
      return kInvalidParameter;
    }
    if ((mask & d2xx::FT_PURGE_TX) != 0 && ftdi_tcoflush(o.ftdi) != 0) {
      return kIoError;
    }
    if ((mask & d2xx::FT_PURGE_RX) == 0) return kOk;
    Receiver *r = receiver_of(o);
    if (r == nullptr) return kInsufficientResources;
    return r->quiet([&] {
      const FT_STATUS flushed = ok_or_io(ftdi_tciflush(o.ftdi));
      r->drop();
      return flushed;
    });
  });
}

D2XX_EXPORT FT_STATUS FT_SetFlowControl(FT_HANDLE handle, USHORT mode,
                                        UCHAR xon, UCHAR xoff) {
  return with_handle(handle, [=](Open &o) {
    // D2XX's mode values are the chip's own (SIO_*_HS).
    switch (mode) {
      case d2xx::FT_FLOW_NONE:
        return ok_or_io(ftdi_setflowctrl(o.ftdi, SIO_DISABLE_FLOW_CTRL));
      case d2xx::FT_FLOW_RTS_CTS:
        return ok_or_io(ftdi_setflowctrl(o.ftdi, SIO_RTS_CTS_HS));
      case d2xx::FT_FLOW_DTR_DSR:
        return ok_or_io(ftdi_setflowctrl(o.ftdi, SIO_DTR_DSR_HS));
      case d2xx::FT_FLOW_XON_XOFF:
        return ok_or_io(ftdi_setflowctrl_xonxoff(o.ftdi, xon, xoff));
      default:
        return kInvalidParameter;
    }
  });
}

D2XX_EXPORT FT_STATUS FT_SetDtr(FT_HANDLE handle) {
  return with_handle(handle,
                     [](Open &o) { return ok_or_io(ftdi_setdtr(o.ftdi, 1)); });
}

D2XX_EXPORT FT_STATUS FT_ClrDtr(FT_HANDLE handle) {
  return with_handle(handle,
                     [](Open &o) { return ok_or_io(ftdi_setdtr(o.ftdi, 0)); });
}

D2XX_EXPORT FT_STATUS FT_SetRts(FT_HANDLE handle) {
  return with_handle(handle,
                     [](Open &o) { return ok_or_io(ftdi_setrts(o.ftdi, 1)); });
}

D2XX_EXPORT FT_STATUS FT_ClrRts(FT_HANDLE handle) {
  return with_handle(handle,
                     [](Open &o) { return ok_or_io(ftdi_setrts(o.ftdi, 0)); });
}

// Byte 0 the modem lines (CTS 0x10, DSR 0x20, RI 0x40, DCD 0x80), byte 1 the
// line status, as the chip reports them: from the latest bulk-in packet
// when the receiver got one lately (a real chip sends one every latency
// period even when idle), else asked for with a control request.
D2XX_EXPORT FT_STATUS FT_GetModemStatus(FT_HANDLE handle, ULONG *status) {
  return with_handle(handle, [status](Open &o) {
    if (status == nullptr) return kInvalidParameter;
    Receiver *r = receiver_of(o);
    if (r == nullptr) return kInsufficientResources;
    std::optional<uint16_t> bytes =
        r->recent_status(std::chrono::milliseconds(50));
    if (!bytes) {
      unsigned short polled = 0;
      if (ftdi_poll_modem_status(o.ftdi, &polled) != 0) return kIoError;
      bytes = polled;
    }
    // The low nibble of the modem byte is not a line.
    *status = static_cast<ULONG>(*bytes & 0xFFF0);
    return kOk;
  });
}

// Exactly the signatures uartattach binds.
#define SAME_AS_BOUND(fn) \
  static_assert(std::is_same_v<decltype(&fn), decltype(d2xx::Api::fn)>, #fn)
SAME_AS_BOUND(FT_CreateDeviceInfoList);
SAME_AS_BOUND(FT_GetDeviceInfoList);
SAME_AS_BOUND(FT_Open);
SAME_AS_BOUND(FT_Close);
SAME_AS_BOUND(FT_ResetDevice);
SAME_AS_BOUND(FT_CyclePort);
SAME_AS_BOUND(FT_ResetPort);
SAME_AS_BOUND(FT_SetLatencyTimer);
SAME_AS_BOUND(FT_GetLatencyTimer);
SAME_AS_BOUND(FT_SetBaudRate);
SAME_AS_BOUND(FT_SetDataCharacteristics);
SAME_AS_BOUND(FT_GetDriverVersion);
#undef SAME_AS_BOUND

// Exactly the signatures uartport binds.
#define SAME_AS_BOUND(fn) \
  static_assert(std::is_same_v<decltype(&fn), decltype(d2xx::DataApi::fn)>, #fn)
SAME_AS_BOUND(FT_SetTimeouts);
SAME_AS_BOUND(FT_Read);
SAME_AS_BOUND(FT_Write);
SAME_AS_BOUND(FT_GetQueueStatus);
SAME_AS_BOUND(FT_Purge);
SAME_AS_BOUND(FT_SetFlowControl);
SAME_AS_BOUND(FT_SetDtr);
SAME_AS_BOUND(FT_ClrDtr);
SAME_AS_BOUND(FT_SetRts);
SAME_AS_BOUND(FT_ClrRts);
SAME_AS_BOUND(FT_GetModemStatus);
#undef SAME_AS_BOUND

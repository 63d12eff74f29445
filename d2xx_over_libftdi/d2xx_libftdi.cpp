// The D2XX functions uartattach calls, over the open-source libftdi1. Where
// libftdi has no equivalent the answer says so (see README.md) rather than
// pretending success.
#include <glob.h>
#include <libftdi1/ftdi.h>
#include <libusb-1.0/libusb.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
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

// A handle this process holds. Handles given out are serial numbers, never
// reused, so a closed handle cannot alias a later one and is recognised
// without being dereferenced.
struct Open {
  ftdi_context *ftdi = nullptr;
  Place place;
  char serial[sizeof(Node::SerialNumber)] = {};
  char description[sizeof(Node::Description)] = {};
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

FT_STATUS close_open(ftdi_context *ftdi) {
  // Releasing the interface gives it back to ftdi_sio (the detach mode set at
  // open), so the tty returns.
  const int rc = ftdi_usb_close(ftdi);
  ftdi_free(ftdi);
  return rc == 0 ? kOk : kIoError;
}

// Handles still held when the process ends are closed so the kernel driver
// gets its interface back, as after FT_Close.
__attribute__((destructor)) void close_all_at_exit() {
  State &s = state();
  std::lock_guard<std::mutex> guard(s.lock);
  for (auto &entry : s.open) close_open(entry.second.ftdi);
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
  ftdi_context *ftdi = it->second.ftdi;
  s.open.erase(it);  // whatever the release answers, the handle is gone
  return close_open(ftdi);
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
    switch (libusb_reset_device(o.ftdi->usb_dev)) {
      case LIBUSB_SUCCESS: return kOk;
      case LIBUSB_ERROR_NOT_FOUND:  // re-enumerated: this handle is stale
      case LIBUSB_ERROR_NO_DEVICE: return kDeviceNotFound;
      default: return kIoError;
    }
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

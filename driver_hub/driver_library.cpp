#include "driver_library.h"

#include <cstdio>
#include <cstring>

namespace attach {

namespace {

// RTLD_DEEPBIND makes the library prefer its own symbols over those already in
// the global scope. AddressSanitizer refuses it, so sanitizer builds (which
// load only the project's own simulated libraries) go without.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kDeepBind = 0;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kDeepBind = 0;
#else
constexpr int kDeepBind = RTLD_DEEPBIND;
#endif
#else
constexpr int kDeepBind = RTLD_DEEPBIND;
#endif

}  // namespace

bool DriverLibrary::open(const char *name, const void *anchor) {
  if (handle != nullptr) return true;
  path_[0] = '\0';
  Dl_info info{};
  if (std::strchr(name, '/') == nullptr && dladdr(anchor, &info) != 0 &&
      info.dli_fname != nullptr) {
    const char *slash = std::strrchr(info.dli_fname, '/');
    if (slash != nullptr) {
      std::snprintf(path_, sizeof path_, "%.*s/%s",
                    static_cast<int>(slash - info.dli_fname), info.dli_fname,
                    name);
    }
  }
  if (path_[0] == '\0') std::snprintf(path_, sizeof path_, "%s", name);
  handle = dlopen(path_, RTLD_NOW | RTLD_LOCAL | kDeepBind);
  if (handle == nullptr) {
    const char *why = dlerror();
    set_error("cannot be loaded", why != nullptr ? why : "unknown error");
    return false;
  }
  return true;
}

void DriverLibrary::set_error(const char *what, const char *detail) {
  std::snprintf(error, sizeof error, "driver library '%s' %s: %s", path_, what,
                detail);
}

}  // namespace attach

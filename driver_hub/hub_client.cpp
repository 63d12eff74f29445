// Compiled into each module: loads the driver hub from the module's folder.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "hub.h"

namespace hub {

namespace {

constexpr const char *kHubFile = "libftdi_hub.so";

// The folder of the module file this code is compiled into, with a slash.
bool module_folder(char *out, std::size_t size) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void *>(&module_folder), &info) == 0 ||
      info.dli_fname == nullptr) {
    return false;
  }
  const char *slash = std::strrchr(info.dli_fname, '/');
  if (slash == nullptr) return false;
  std::snprintf(out, size, "%.*s/", static_cast<int>(slash - info.dli_fname),
                info.dli_fname);
  return true;
}

}  // namespace

const Api *get(const char *library, const char **why) {
  static const Api *api = nullptr;
  static char error[1024];
  if (api != nullptr) return api;
  char folder[512] = "";
  module_folder(folder, sizeof folder);
  char path[600];
  std::snprintf(path, sizeof path, "%s%s", folder, kHubFile);
  // RTLD_NODELETE: the record of open handles must outlive every module.
  void *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  const char *problem = nullptr;
  const Api *found = nullptr;
  if (handle == nullptr) {
    problem = dlerror();
  } else if (auto entry = reinterpret_cast<const Api *(*)()>(dlsym(handle, "ftdi_hub"));
             entry == nullptr || (found = entry()) == nullptr) {
    problem = "it does not export ftdi_hub";
  } else if (found->version != kVersion) {
    problem = "it is of another version than this module";
    found = nullptr;
  }
  if (found == nullptr) {
    // A bare driver file name is looked up beside the hub, which is missing.
    std::snprintf(error, sizeof error,
                  "driver library '%s%s' cannot be reached: the project's "
                  "library '%s' cannot be loaded: %s",
                  std::strchr(library, '/') == nullptr ? folder : "", library,
                  path, problem != nullptr ? problem : "unknown error");
    if (why != nullptr) *why = error;
    return nullptr;
  }
  api = found;
  return api;
}

}  // namespace hub

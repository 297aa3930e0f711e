#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

#include "trace_platform.h"

namespace zorv::trace::platform {

const char* const kPlatformName = sizeof(void*) == 8 ? "linux-x64" : "linux-x86";

std::filesystem::path ownLibraryFile() {
  Dl_info info{};
  static const int anchor = 0;
  if (dladdr(&anchor, &info) == 0 || info.dli_fname == nullptr) return {};
  std::error_code error;
  const auto file = std::filesystem::absolute(info.dli_fname, error);
  return error ? std::filesystem::path() : file;
}

int64_t processId() { return static_cast<int64_t>(getpid()); }

int64_t threadId() {
  thread_local const auto id = static_cast<int64_t>(syscall(SYS_gettid));
  return id;
}

std::optional<std::string> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

}  // namespace zorv::trace::platform

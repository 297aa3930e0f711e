#include <windows.h>

#include <string>

#include "trace_platform.h"
#include "utf_codec.h"

namespace zorv::trace::platform {

const char* const kPlatformName = sizeof(void*) == 8 ? "windows-x64" : "windows-x86";

std::filesystem::path ownLibraryFile() {
  HMODULE self = nullptr;
  static const int anchor = 0;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&anchor), &self)) {
    return {};
  }
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return std::filesystem::path(path);
    }
    path.resize(path.size() * 2);
  }
}

int64_t processId() { return static_cast<int64_t>(GetCurrentProcessId()); }

int64_t threadId() { return static_cast<int64_t>(GetCurrentThreadId()); }

std::optional<std::string> environmentValue(const char* name) {
  // The W form: the narrow one is the ANSI code page, which cannot hold
  // every character of a path.
  const std::wstring wideName(name, name + std::char_traits<char>::length(name));
  const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size <= 1) return std::nullopt;
  std::wstring value(size, L'\0');
  const DWORD n = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
  if (n == 0 || n >= size) return std::nullopt;
  value.resize(n);
  return utf8FromUtf16(std::u16string(value.begin(), value.end()));
}

}  // namespace zorv::trace::platform

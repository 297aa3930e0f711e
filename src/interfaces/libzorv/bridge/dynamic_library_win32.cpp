#include "dynamic_library.h"

#include <windows.h>

#include <string>
#include <system_error>

namespace zorv::platform {

const char* const kBridgeLibraryFileName = "libzorv.dll";

std::filesystem::path executableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return std::filesystem::path(path).parent_path();
    }
    path.resize(path.size() * 2);
  }
}

namespace {

std::string systemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n ? std::string(text, n) : std::string();
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}

}  // namespace

LibraryHandle loadLibrary(const std::filesystem::path& preferredFolder, const std::string& fileName,
                          std::string& reason) {
  // The application's folder, System32 and folders added on purpose; never
  // the working folder or PATH, where a planted library could wait.
  const DWORD safeSearch = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
  std::error_code error;
  HMODULE module = nullptr;
  if (!preferredFolder.empty() && std::filesystem::exists(preferredFolder / fileName, error)) {
    const std::wstring full = (preferredFolder / fileName).wstring();
    module = LoadLibraryExW(full.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | safeSearch);
  } else {
    const std::wstring name(fileName.begin(), fileName.end());
    module = LoadLibraryExW(name.c_str(), nullptr, safeSearch);
  }
  if (!module) reason = systemMessage(GetLastError());
  return reinterpret_cast<LibraryHandle>(module);
}

void* findEntry(LibraryHandle library, const char* name, std::string& reason) {
  FARPROC address = GetProcAddress(reinterpret_cast<HMODULE>(library), name);
  if (!address) reason = systemMessage(GetLastError());
  return reinterpret_cast<void*>(address);
}

}  // namespace zorv::platform

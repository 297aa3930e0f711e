#include "dynamic_library.h"

#include <windows.h>

#include <cwctype>
#include <string>
#include <system_error>

#include "library_image.h"
#include "utf_codec.h"

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

std::filesystem::path pathFromUtf8(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8OfPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

namespace {

// Windows' wide text is UTF-16 in wchar_t.
std::string utf8(std::wstring_view text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  return utf8FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// Windows' own text for `code` in the user's language, taken as UTF-16 and
// made UTF-8. Inserts are not expanded by the system (it would need their
// values); "%1" becomes `subject` instead, any other insert "?".
std::string systemMessage(DWORD code, std::wstring_view subject) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  const std::wstring raw = n ? std::wstring(text, n) : std::wstring();
  if (text) LocalFree(text);
  std::wstring message;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != L'%' || i + 1 == raw.size()) {
      message += raw[i];
    } else if (raw[i + 1] == L'1' && (i + 2 == raw.size() || !iswdigit(raw[i + 2]))) {
      message += subject;
      ++i;
    } else if (iswdigit(raw[i + 1])) {
      message += L'?';
      while (i + 1 < raw.size() && iswdigit(raw[i + 1])) ++i;
    } else {
      message += raw[++i];  // "%%", "%n", "%." and the like: the character itself
      if (raw[i] == L'n') message.back() = L' ';
    }
  }
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' ' || message.back() == L'.' ||
                              message.back() == L'\u3002')) {
    message.pop_back();
  }
  return "error " + std::to_string(code) + (message.empty() ? "" : ": " + utf8(message));
}

}  // namespace

LibraryHandle loadLibrary(const std::filesystem::path& preferredFolder, const std::string& fileName,
                          std::string& reason, int* otherBits) {
  // The application's folder, System32 and folders added on purpose; never
  // the working folder or PATH, where a planted library could wait.
  const DWORD safeSearch = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
  const std::filesystem::path name = pathFromUtf8(fileName);
  std::error_code error;
  std::filesystem::path found;
  HMODULE module = nullptr;
  if (!preferredFolder.empty() && std::filesystem::exists(preferredFolder / name, error)) {
    found = preferredFolder / name;
    module = LoadLibraryExW(found.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | safeSearch);
  } else {
    module = LoadLibraryExW(name.c_str(), nullptr, safeSearch);
  }
  if (otherBits) *otherBits = 0;
  if (module) return reinterpret_cast<LibraryHandle>(module);

  const DWORD code = GetLastError();
  reason = systemMessage(code, name.filename().native());
  if (code == ERROR_BAD_EXE_FORMAT && otherBits) {
    // Found by the default search: the application's folder or System32.
    if (found.empty()) {
      const std::filesystem::path beside = executableFolder() / name;
      wchar_t system[MAX_PATH];
      const UINT n = GetSystemDirectoryW(system, MAX_PATH);
      found = std::filesystem::exists(beside, error) || n == 0 || n >= MAX_PATH
                  ? beside
                  : std::filesystem::path(std::wstring(system, n)) / name;
    }
    const int bits = machineBits(peMachineOfFile(found));
    if (bits != 0 && bits != kProcessBits) *otherBits = bits;
  }
  return nullptr;
}

void* findEntry(LibraryHandle library, const char* name, std::string& reason) {
  FARPROC address = GetProcAddress(reinterpret_cast<HMODULE>(library), name);
  if (!address) {
    const std::string entry(name);
    reason = systemMessage(GetLastError(), std::wstring(entry.begin(), entry.end()));
  }
  return reinterpret_cast<void*>(address);
}

}  // namespace zorv::platform

#include <windows.h>

#include <algorithm>
#include <string>
#include <system_error>

#include "trace_platform.h"
#include "utf_codec.h"

namespace zorv::trace::platform {

const VariableStyle kVariableStyle = VariableStyle::Windows;

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

namespace {

[[noreturn]] void throwSystemError(DWORD code, const std::filesystem::path& path) {
  throw std::system_error(static_cast<int>(code), std::system_category(), path.string());
}

HANDLE handleOf(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::string reasonOf(DWORD code) { return std::system_category().message(static_cast<int>(code)); }

}  // namespace

RecordFile::~RecordFile() { CloseHandle(handleOf(handle_)); }

std::optional<std::string> RecordFile::append(std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
    if (!WriteFile(handleOf(handle_), bytes.data(), chunk, &written, nullptr)) {
      return reasonOf(GetLastError());
    }
    if (written == 0) return std::string("nothing was written");
    bytes.remove_prefix(written);
  }
  return std::nullopt;
}

void RecordFile::cutBack(uint64_t size) {
  LARGE_INTEGER offset;
  offset.QuadPart = static_cast<LONGLONG>(size);
  if (SetFilePointerEx(handleOf(handle_), offset, nullptr, FILE_BEGIN)) {
    SetEndOfFile(handleOf(handle_));
  }
}

bool RecordFile::reserve(uint64_t size, std::string& reason) {
  FILE_ALLOCATION_INFO allocation;
  allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
  if (SetFileInformationByHandle(handleOf(handle_), FileAllocationInfo, &allocation,
                                 sizeof allocation)) {
    return true;
  }
  const DWORD code = GetLastError();
  if (code != ERROR_DISK_FULL && code != ERROR_HANDLE_DISK_FULL) return true;
  reason = reasonOf(code);
  return false;
}

// A new folder under the user's own profile inherits its owner-only access.
void createPrivateFolders(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw std::system_error(error, folder.string());
}

std::unique_ptr<RecordFile> createNewFile(const std::filesystem::path& file) {
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) return nullptr;
    throwSystemError(code, file);
  }
  return std::make_unique<RecordFile>(reinterpret_cast<intptr_t>(handle));
}

// Shared for reading only: a second writer's open fails while this process
// holds the file.
std::unique_ptr<RecordFile> openOwnFile(const std::filesystem::path& file) {
  const HANDLE handle =
      CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_SHARING_VIOLATION) return nullptr;
    throwSystemError(code, file);
  }
  auto record = std::make_unique<RecordFile>(reinterpret_cast<intptr_t>(handle));
  if (GetFileType(handle) == FILE_TYPE_DISK && !SetEndOfFile(handle)) {
    throwSystemError(GetLastError(), file);
  }
  return record;
}

}  // namespace zorv::trace::platform

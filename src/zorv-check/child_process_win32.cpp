#include <windows.h>
// After windows.h, whose types it needs.
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "child_process.h"

namespace zorv::check::platform {

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "zorv-check: %s failed (error %lu)\n", what, GetLastError());
  std::_Exit(2);
}

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

// One argument quoted so that the C runtime's parser hands it back unchanged.
std::wstring quoted(const std::wstring& argument) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

std::wstring selfPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) fail("GetModuleFileNameW");
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);
  }
}

std::string utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

// Read from the wide command line: the narrow argv holds the ANSI code
// page's forms, which lose characters.
std::vector<std::string> commandLine(int, char**) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> out;
  for (int i = 1; i < count; ++i) out.push_back(utf8(wide[i]));
  LocalFree(wide);
  return out;
}

// Read as UTF-16: the narrow environment holds the ANSI code page's forms.
// A console handle answers GetConsoleMode; a file, a pipe or NUL does not.
bool isTerminal(std::FILE* stream) {
  const HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

std::optional<std::string> environmentText(const char* name) {
  const wchar_t* value = _wgetenv(wide(name).c_str());
  if (!value) return std::nullopt;
  return utf8(value);
}

void writeText(std::FILE* stream, const std::string& text) {
  HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
    std::fflush(stream);
    const std::wstring characters = wide(text);
    DWORD written = 0;
    WriteConsoleW(handle, characters.data(), static_cast<DWORD>(characters.size()), &written,
                  nullptr);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stream);
}

// Not done here: a child is a process started afresh, not a copy of the
// checker, and its first calls pay for the pages they load, both builds alike.
void warmPages() {}

SharedMemory SharedMemory::create(size_t bytes) {
  static std::atomic<unsigned> serial{0};
  const std::string name =
      "Local\\zorv-check-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(serial++);
  HANDLE mapping =
      CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE,
                         static_cast<DWORD>(static_cast<unsigned long long>(bytes) >> 32),
                         static_cast<DWORD>(bytes), wide(name).c_str());
  if (!mapping) fail("CreateFileMappingW");
  void* data = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, bytes);
  if (!data) fail("MapViewOfFile");
  return SharedMemory(data, bytes, name, mapping);
}

SharedMemory SharedMemory::open(const std::string& name, size_t bytes) {
  HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, wide(name).c_str());
  if (!mapping) fail("OpenFileMappingW");
  void* data = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, bytes);
  if (!data) fail("MapViewOfFile");
  return SharedMemory(data, bytes, name, mapping);
}

SharedMemory::SharedMemory(SharedMemory&& other) noexcept
    : data_(other.data_),
      bytes_(other.bytes_),
      name_(std::move(other.name_)),
      handle_(other.handle_) {
  other.data_ = nullptr;
  other.handle_ = nullptr;
}

SharedMemory::~SharedMemory() {
  if (data_) UnmapViewOfFile(data_);
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
}

ChildProcess::ChildProcess(const std::function<int()>&, const std::vector<std::string>& arguments) {
  const std::wstring exe = selfPath();
  std::wstring commandLine = quoted(exe);
  for (const std::string& argument : arguments) commandLine += L" " + quoted(wide(argument));

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    fail("CreateProcessW");
  }
  CloseHandle(process.hThread);
  handle_ = process.hProcess;
  id_ = process.dwProcessId;
  running_ = true;
}

ChildProcess::~ChildProcess() {
  if (running_) {
    kill();
    wait(INFINITE);
  }
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
}

bool ChildProcess::wait(int milliseconds) {
  if (!running_) return true;
  if (WaitForSingleObject(static_cast<HANDLE>(handle_), static_cast<DWORD>(milliseconds)) !=
      WAIT_OBJECT_0) {
    return false;
  }
  running_ = false;
  DWORD status = 0;
  GetExitCodeProcess(static_cast<HANDLE>(handle_), &status);
  end_.code = static_cast<int>(status);
  // Exception codes have the severity bits 0xC0000000 set; no program's own
  // exit status does.
  end_.crashed = (status & 0xC0000000u) == 0xC0000000u;
  char text[64];
  std::snprintf(text, sizeof text,
                end_.crashed ? "ended with exception 0x%08lX" : "exited with status %lu",
                static_cast<unsigned long>(status));
  end_.how = text;
  return true;
}

void ChildProcess::kill() {
  if (running_) TerminateProcess(static_cast<HANDLE>(handle_), 1);
}

}  // namespace zorv::check::platform

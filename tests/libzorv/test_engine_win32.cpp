// The Windows forms of the test helpers that differ by platform.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "test_engine.h"

std::string usePrivateOdbcSettings() { return {}; }

std::string hostPath(const std::string& path) {
  // Wine's kernel32 names the Unix file behind a Windows path.
  using UnixName = char* (*)(const wchar_t*);
  const auto unixName = reinterpret_cast<UnixName>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
  if (unixName == nullptr) return path;
  const std::wstring wide(path.begin(), path.end());
  char* name = unixName(wide.c_str());
  if (name == nullptr) return path;
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

namespace {

// The command-line form of one argument, read back unchanged by the usual
// Windows rules (which Wine also applies to a Unix program's arguments).
std::wstring quoted(const std::string& argument) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += static_cast<wchar_t>(static_cast<unsigned char>(c));  // the commands are ASCII
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

// Wine starts a file that is no Windows program as a Unix process, but a
// Windows process can neither wait for that process nor read its exit
// status: the shell leaves its status in a file, which is waited for.
int hostShell(const std::string& command) {
  static int serial = 0;
  const std::string status = "/tmp/zorv-host-shell-" + std::to_string(GetCurrentProcessId()) +
                             "-" + std::to_string(serial++) + ".status";
  // The Unix process inherits Wine's own descriptors (its server's socket
  // among them); a server started from here must not keep them.
  const std::string script = "for fd in /proc/$$/fd/*; do n=${fd##*/}; [ $n -gt 2 ] && "
                             "eval exec \"$n>&-\"; done 2>/dev/null; "
                             "PATH=/usr/sbin:/usr/bin:/sbin:/bin; (" + command +
                             ") </dev/null >/dev/null 2>&1; echo $? >" + status + ".part; mv " +
                             status + ".part " + status;
  std::wstring line = L"Z:\\bin\\bash -c " + quoted(script);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  const std::string seen = "Z:" + status;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(seen);
    int code = -1;
    if (in >> code) {
      in.close();
      std::remove(seen.c_str());
      return code;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

void setVariable(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}

long residentPeakBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<long>(counters.PeakWorkingSetSize);
}

// Windows keeps the peak since the process started.
void resetResidentPeak() {}

long residentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<long>(counters.WorkingSetSize);
}

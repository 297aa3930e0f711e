// The Windows forms of the test helpers that differ by platform. The server
// runs on the host, outside Wine, so PgServer::pgCtl has no Windows form and
// the tests that restart the server stay Linux-only.
#include <windows.h>
#include <psapi.h>

#include <string>

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

long residentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<long>(counters.WorkingSetSize);
}

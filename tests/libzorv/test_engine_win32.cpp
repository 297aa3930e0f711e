// The Windows forms of the test helpers that differ by platform. The server
// runs on the host, outside Wine, so PgServer::pgCtl has no Windows form and
// the tests that restart the server stay Linux-only.
#include <windows.h>
#include <psapi.h>

#include "test_engine.h"

long residentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<long>(counters.WorkingSetSize);
}

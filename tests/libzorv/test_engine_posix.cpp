// The POSIX forms of the test helpers that differ by platform.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "test_engine.h"

int hostShell(const std::string& command) {
  const std::string quiet = "(" + command + ") >/dev/null 2>&1";
  const int status = std::system(quiet.c_str());
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void setVariable(const std::string& name, const std::string& value) {
  if (value.empty()) {
    unsetenv(name.c_str());
  } else {
    setenv(name.c_str(), value.c_str(), 1);
  }
}

long residentBytes() {
  std::ifstream status("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  status >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

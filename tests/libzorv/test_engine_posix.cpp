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

std::string hostPath(const std::string& path) { return path; }

std::string usePrivateOdbcSettings() {
  if (const char* given = std::getenv("ODBCSYSINI")) return given;
  const std::string folder = tempPath("zorv_odbcsysini");
  mkdir(folder.c_str(), 0700);
  std::ofstream(folder + "/odbcinst.ini", std::ios::app);
  std::ofstream(folder + "/odbc.ini", std::ios::app);
  setenv("ODBCSYSINI", folder.c_str(), 1);
  setenv("ODBCINI", (folder + "/odbc.ini").c_str(), 1);
  return folder;
}

long residentPeakBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10) * 1024;
  }
  return 0;
}

void resetResidentPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

long residentBytes() {
  std::ifstream status("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  status >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

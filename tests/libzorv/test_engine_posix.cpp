// The POSIX forms of the test helpers that differ by platform.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "test_engine.h"

int PgServer::pgCtl(const std::string& arguments) const {
  std::string prefix;
  if (geteuid() == 0) {
    struct stat info {};
    if (stat(data.c_str(), &info) == 0) {
      if (const passwd* owner = getpwuid(info.st_uid)) {
        prefix = std::string("runuser -u ") + owner->pw_name + " -- ";
      }
    }
  }
  const std::string command =
      prefix + bin + "/pg_ctl -D '" + data + "' " + arguments + " >/dev/null 2>&1";
  return std::system(command.c_str());
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

long residentBytes() {
  std::ifstream status("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  status >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

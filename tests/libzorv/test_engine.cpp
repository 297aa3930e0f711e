#include "test_engine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <pwd.h>

namespace {

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::string engineName(Engine engine) {
  return engine == Engine::Sqlite ? "Sqlite" : "Postgres";
}

std::string PgServer::connectionText(const std::string& extra) const {
  std::string text = "host=" + host + " port=" + port + " user=" + user + " dbname=postgres";
  if (!extra.empty()) text += " " + extra;
  return text;
}

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

std::optional<PgServer> pgServer() {
  PgServer server{env("ZORV_TEST_PGHOST"), env("ZORV_TEST_PGPORT"), env("ZORV_TEST_PGUSER"),
                  env("ZORV_TEST_PGDATA"), env("ZORV_TEST_PGBIN")};
  if (server.host.empty() || server.port.empty()) return std::nullopt;
  if (server.user.empty()) server.user = "postgres";
  if (server.bin.empty()) server.bin = "/usr/lib/postgresql/15/bin";
  return server;
}

std::string pgMissingReason() {
  return "no PostgreSQL test server: ZORV_TEST_PGHOST/ZORV_TEST_PGPORT are not set; "
         "run eval \"$(scripts/pg-start)\" first";
}

bool runningInCi() { return env("CI") == "true"; }

std::string seriesQuery(Engine engine, long n, const std::string& columns) {
  const std::string count = std::to_string(n);
  if (engine == Engine::Sqlite) {
    return "WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < " + count +
           ") SELECT " + columns + " FROM s";
  }
  return "SELECT " + columns + " FROM generate_series(1, " + count + ") AS s(x)";
}

long residentBytes() {
  std::ifstream status("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  status >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

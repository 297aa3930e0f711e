#include "test_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::string engineName(Engine engine) {
  switch (engine) {
    case Engine::Sqlite: return "Sqlite";
    case Engine::Postgres: return "Postgres";
    case Engine::OdbcSqlite: return "OdbcSqlite";
    case Engine::OdbcPostgres: return "OdbcPostgres";
  }
  return "?";
}

bool sqliteDialect(Engine engine) { return engine == Engine::Sqlite || engine == Engine::OdbcSqlite; }

bool throughOdbc(Engine engine) {
  return engine == Engine::OdbcSqlite || engine == Engine::OdbcPostgres;
}

std::string odbcDriverPath(Engine engine) {
  const std::string given = env(engine == Engine::OdbcSqlite ? "ZORV_TEST_ODBC_SQLITE_DRIVER"
                                                             : "ZORV_TEST_ODBC_PG_DRIVER");
  if (!given.empty()) return given;
  return engine == Engine::OdbcSqlite ? ZORV_ODBC_SQLITE_DRIVER : ZORV_ODBC_PG_DRIVER;
}

std::string PgServer::connectionText(const std::string& extra) const {
  std::string text = "host=" + host + " port=" + port + " user=" + user + " dbname=postgres";
  if (!extra.empty()) text += " " + extra;
  return text;
}

int PgServer::pgCtl(const std::string& arguments) const {
  // A server refuses to run as root: then it runs as its folder's owner.
  const std::string run = "pg_ctl=" + bin + "/pg_ctl; if [ \"$(id -u)\" = 0 ]; then " +
                          "set -- runuser -u \"$(stat -c %U '" + data + "')\" --; fi; ";
  return hostShell(run + "\"$@\" \"$pg_ctl\" -D '" + data + "' " + arguments);
}

std::string seenPath(const std::string& hostPath) { return ZORV_TEST_HOST_DRIVE + hostPath; }

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
  if (sqliteDialect(engine)) {
    return "WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < " + count +
           ") SELECT " + columns + " FROM s";
  }
  return "SELECT " + columns + " FROM generate_series(1, " + count + ") AS s(x)";
}

std::string tempPath(const std::string& name) {
  std::string path = ::testing::TempDir() + name;
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

// The databases the library drives: natively, and through their ODBC drivers.
enum class Engine { Sqlite, Postgres, OdbcSqlite, OdbcPostgres };

std::string engineName(Engine engine);
// Whether the engine's statements are written in SQLite's dialect.
bool sqliteDialect(Engine engine);
bool throughOdbc(Engine engine);
// The ODBC driver the engine loads, by absolute path, so no system-wide
// driver list (and none of its logging settings) is read; empty when that
// driver is not installed.
std::string odbcDriverPath(Engine engine);

// The private PostgreSQL server scripts/pg-start started, from its exports.
struct PgServer {
  std::string host;
  std::string port;
  std::string user;
  std::string data;
  std::string bin;

  // The connection text for this server, plus any extra pairs.
  std::string connectionText(const std::string& extra = "") const;
  // Runs the host's pg_ctl with the arguments as the data folder's owner,
  // also from a test under Wine (the server is a host process); its exit code.
  int pgCtl(const std::string& arguments) const;
};

// Runs `command` with the host's shell, output discarded, and waits for
// it: under Wine the Unix host's shell, outside Wine. Its exit status, or -1
// when it could not be started or did not end within two minutes.
int hostShell(const std::string& command);

// A host path as the test program sees it: under Wine "/tmp/x" is "Z:/tmp/x".
std::string seenPath(const std::string& hostPath);

// Sets an environment variable of this process as its C runtime sees it (and
// so the library's too); an empty value removes it.
void setVariable(const std::string& name, const std::string& value);

// The server from ZORV_TEST_PG* variables, or nothing when they are unset.
std::optional<PgServer> pgServer();

// Why PostgreSQL tests cannot run, for the skip or failure message.
std::string pgMissingReason();

// Points the ODBC driver manager of this process at an empty private
// settings folder, unless ODBCSYSINI is already set: the system-wide driver
// list may switch a driver's logging on. Under Wine the host's driver
// manager reads the host's environment, which the test registration sets.
// The folder, where odbc.ini may name data sources; empty under Wine.
std::string usePrivateOdbcSettings();

// A file's path as the host's programs see it: under Wine the Unix path of a
// Windows path (the ODBC drivers run on the host); elsewhere the path itself.
std::string hostPath(const std::string& path);

// Every engine, for the tests that hold all of them to one contract.
#define ZORV_ALL_ENGINES \
  ::testing::Values(Engine::Sqlite, Engine::Postgres, Engine::OdbcSqlite, Engine::OdbcPostgres)

// True when the environment says this is a CI run (CI=true).
bool runningInCi();

// Makes the current test fail in CI, and skip elsewhere, when no server is
// configured; otherwise binds `server` to it.
#define ZORV_REQUIRE_PG(server)                          \
  const auto server##Optional = pgServer();              \
  if (!server##Optional) {                               \
    if (runningInCi()) FAIL() << pgMissingReason();      \
    GTEST_SKIP() << pgMissingReason();                   \
  }                                                      \
  const PgServer& server = *server##Optional

// A query over a column x of the integers 1..n, written for the engine.
std::string seriesQuery(Engine engine, long n, const std::string& columns = "x");

// A file name in the tests' temporary folder, written with '/' only: in a
// connection text a backslash is an escape (Windows takes either).
std::string tempPath(const std::string& name);

// Peak-free current resident memory of this process in bytes.
long residentBytes();

// The most resident memory this process has had, in bytes, since the last
// resetResidentPeak() where the system can reset it (Linux), else since it
// started.
long residentPeakBytes();
void resetResidentPeak();

#include "engine_fixture.h"

#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<int> databaseCounter{0};

}  // namespace

std::string engineParamName(const ::testing::TestParamInfo<Engine>& info) {
  return engineName(info.param);
}

void EngineFixture::SetUp() {
  const std::string id = std::to_string(getpid()) + "_" + std::to_string(databaseCounter++);
  const std::string driver = throughOdbc(engine()) ? odbcDriverPath(engine()) : "";
  if (throughOdbc(engine()) && driver.empty()) {
    if (runningInCi()) FAIL() << "the " << engineName(engine()) << " ODBC driver is not installed";
    GTEST_SKIP() << "the " << engineName(engine()) << " ODBC driver is not installed";
  }
  if (throughOdbc(engine())) usePrivateOdbcSettings();
  if (!sqliteDialect(engine())) {
    ZORV_REQUIRE_PG(server);
    const std::string schema = "zt_" + std::to_string(getpid());
    pgConnection_ = server.connectionText("options='-c search_path=" + schema + "'");
    connection_ = pgConnection_;
    if (engine() == Engine::OdbcPostgres) {
      connection_ = "odbc='Driver=" + driver + ";Server=" + server.host + ";Port=" + server.port +
                    ";Database=postgres;Uid=" + server.user +
                    ";pqopt={options=-csearch_path=" + schema + "}'";
    }
    ASSERT_EQ(lib().login(connection_.c_str()), 0) << callMsgGet();
    ASSERT_EQ(callExec("CREATE SCHEMA IF NOT EXISTS " + schema).code, 0) << callMsgGet();
    // Each test starts from an empty schema.
    ASSERT_EQ(callExec("DROP SCHEMA " + schema + " CASCADE").code, 0) << callMsgGet();
    ASSERT_EQ(callExec("CREATE SCHEMA " + schema).code, 0) << callMsgGet();
  } else {
    sqlitePath_ = tempPath("zorv_test_" + id + ".db");
    std::remove(sqlitePath_.c_str());
    connection_ = engine() == Engine::OdbcSqlite
                      ? "odbc='Driver=" + driver + ";Database=" + hostPath(sqlitePath_) + "'"
                      : "file=" + sqlitePath_;
    ASSERT_EQ(lib().login(connection_.c_str()), 0) << callMsgGet();
  }
}

void EngineFixture::TearDown() {
  lib().close();
  if (!sqlitePath_.empty()) {
    std::remove(sqlitePath_.c_str());
    std::remove((sqlitePath_ + "-journal").c_str());
    std::remove((sqlitePath_ + "-wal").c_str());
    std::remove((sqlitePath_ + "-shm").c_str());
  }
}

void EngineFixture::run(const std::string& statement) {
  const Answer answer = callExec(statement);
  ASSERT_EQ(answer.code, 0) << statement << ": " << callMsgGet();
}

std::string EngineFixture::directConnection() const {
  return sqliteDialect(engine()) ? "file=" + sqlitePath_ : pgConnection_;
}

long EngineFixture::directCount(const std::string& query) const {
  const auto rows = directRows(directConnection(), query);
  if (!rows || rows->size() != 1 || rows->front().size() != 1) return -1;
  return std::stol(rows->front().front());
}

std::optional<DirectRows> directRows(const std::string& connection, const std::string& query) {
  DirectRows rows;
  if (connection.rfind("file=", 0) == 0) {
    sqlite3* db = nullptr;
    bool ok = false;
    if (sqlite3_open_v2(connection.c_str() + 5, &db, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(db, query.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
          auto& row = rows.emplace_back();
          for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            row.emplace_back(text != nullptr ? text : "");
          }
        }
        ok = rc == SQLITE_DONE;
      }
      sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return ok ? std::optional(std::move(rows)) : std::nullopt;
  }
  PGconn* conn = PQconnectdb(connection.c_str());
  bool ok = false;
  if (PQstatus(conn) == CONNECTION_OK) {
    PGresult* result = PQexec(conn, query.c_str());
    if (PQresultStatus(result) == PGRES_TUPLES_OK) {
      ok = true;
      for (int r = 0; r < PQntuples(result); ++r) {
        auto& row = rows.emplace_back();
        for (int i = 0; i < PQnfields(result); ++i) row.emplace_back(PQgetvalue(result, r, i));
      }
    }
    PQclear(result);
  }
  PQfinish(conn);
  return ok ? std::optional(std::move(rows)) : std::nullopt;
}

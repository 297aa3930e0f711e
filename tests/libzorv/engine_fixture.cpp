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
  if (engine() == Engine::Postgres) {
    ZORV_REQUIRE_PG(server);
    const std::string schema = "zt_" + std::to_string(getpid());
    connection_ = server.connectionText("options='-c search_path=" + schema + "'");
    pgConnection_ = connection_;
    ASSERT_EQ(lib().login(connection_.c_str()), 0) << callMsgGet();
    ASSERT_EQ(callExec("CREATE SCHEMA IF NOT EXISTS " + schema).code, 0) << callMsgGet();
    // Each test starts from an empty schema.
    ASSERT_EQ(callExec("DROP SCHEMA " + schema + " CASCADE").code, 0) << callMsgGet();
    ASSERT_EQ(callExec("CREATE SCHEMA " + schema).code, 0) << callMsgGet();
  } else {
    sqlitePath_ = ::testing::TempDir() + "zorv_test_" + id + ".db";
    std::remove(sqlitePath_.c_str());
    connection_ = "file=" + sqlitePath_;
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

long EngineFixture::directCount(const std::string& query) const {
  if (engine() == Engine::Sqlite) {
    sqlite3* db = nullptr;
    long value = -1;
    if (sqlite3_open_v2(sqlitePath_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(db, query.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
          sqlite3_step(stmt) == SQLITE_ROW) {
        value = static_cast<long>(sqlite3_column_int64(stmt, 0));
      }
      sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return value;
  }
  PGconn* conn = PQconnectdb(pgConnection_.c_str());
  long value = -1;
  if (PQstatus(conn) == CONNECTION_OK) {
    PGresult* result = PQexec(conn, query.c_str());
    if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1) {
      value = std::stol(PQgetvalue(result, 0, 0));
    }
    PQclear(result);
  }
  PQfinish(conn);
  return value;
}

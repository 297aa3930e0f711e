#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "odbc_cursor_guard.h"
#include "odbc_driver_profile.h"
#include "zorv_error.h"

namespace zorv::lib::odbc {
namespace {

TEST(OdbcDriverProfile, ChosenByTheDriversName) {
  struct Case {
    const char* name;
    bool narrowTextIsUtf8;
    DriverKind kind;
    bool narrow;
    bool bigintAsNumber;
    ReadOnlyMethod readOnly;
    size_t options;
  };
  const Case cases[] = {
      {"psqlodbcw.so", true, DriverKind::Postgres, false, true, ReadOnlyMethod::Transaction, 5},
      {"PSQLODBC35W.DLL", false, DriverKind::Postgres, false, true, ReadOnlyMethod::Transaction, 5},
      {"PostgreSQL Unicode", true, DriverKind::Postgres, false, true, ReadOnlyMethod::Transaction, 5},
      {"libsqlite3odbc.so", true, DriverKind::Sqlite, true, false, ReadOnlyMethod::QueryOnly, 2},
      // Where narrow text is the ANSI code page, not the stored UTF-8.
      {"SQLITE3ODBC.DLL", false, DriverKind::Sqlite, false, false, ReadOnlyMethod::QueryOnly, 2},
      {"libmsodbcsql-18.so", true, DriverKind::Other, false, false, ReadOnlyMethod::PlainQuery, 0},
      {"", true, DriverKind::Other, false, false, ReadOnlyMethod::PlainQuery, 0},
  };
  for (const auto& c : cases) {
    const DriverProfile profile = profileForDriver(c.name, c.narrowTextIsUtf8);
    EXPECT_EQ(profile.kind, c.kind) << c.name;
    EXPECT_EQ(profile.narrowText, c.narrow) << c.name;
    EXPECT_EQ(profile.bindsAsInteger(SQL_BIGINT), c.bigintAsNumber) << c.name;
    EXPECT_EQ(profile.bindsAsInteger(SQL_INTEGER), c.bigintAsNumber) << c.name;
    // A NUMERIC's text keeps its scale: never bound as an integer.
    EXPECT_FALSE(profile.bindsAsInteger(SQL_NUMERIC)) << c.name;
    EXPECT_EQ(profile.readOnly, c.readOnly) << c.name;
    EXPECT_EQ(profile.options.size(), c.options) << c.name;
  }
}

// A connection whose guard calls answer from a script and are recorded.
class ScriptedConnection : public GuardConnection {
 public:
  std::map<std::string, std::string> failing;  // statement -> the SQLSTATE it fails with
  bool refusesAttributes = false;
  bool rollBackFails = false;
  bool lost = false;  // every call throws as a lost connection does
  std::vector<std::string> calls;

  bool run(std::string_view sql, Diagnostics* failure) override {
    record(std::string(sql));
    const auto it = failing.find(std::string(sql));
    if (it == failing.end()) return true;
    if (failure != nullptr) *failure = Diagnostics{"[" + it->second + "] refused", it->second};
    return false;
  }
  bool setAttribute(SQLINTEGER attribute, uintptr_t value) override {
    record(attribute == SQL_ATTR_AUTOCOMMIT ? (value == SQL_AUTOCOMMIT_ON ? "autocommit on" : "?")
           : value == SQL_MODE_READ_ONLY    ? "read-only"
                                            : "read-write");
    return !refusesAttributes;
  }
  std::optional<SQLUINTEGER> attribute(SQLINTEGER) override {
    record("mode?");
    return SQL_MODE_READ_WRITE;
  }
  void switchAutocommitOff() override { record("autocommit off"); }
  bool rollBack() override {
    record("rollback");
    return !rollBackFails;
  }

 private:
  void record(std::string call) {
    calls.push_back(std::move(call));
    if (lost) throw ZorvError(kConnectFailed, "the connection to the database was lost");
  }
};

std::string joined(const std::vector<std::string>& calls) {
  std::string text;
  for (const auto& call : calls) text += (text.empty() ? "" : ", ") + call;
  return text;
}

TEST(OdbcCursorGuard, DecidesWhatTheEngineDoes) {
  using Action = GuardDecision::Action;
  const std::string rollbackTo = "ROLLBACK TO SAVEPOINT zorv_cursor";
  struct Case {
    const char* what;
    ReadOnlyMethod method;
    const char* statement;
    std::map<std::string, std::string> failing;
    bool refusesAttributes;
    bool rollBackFails;
    Action begun;
    Action ended;  // after a Keep from begin
    std::string calls;
  };
  const Case cases[] = {
      {"savepoint in the user's transaction", ReadOnlyMethod::Transaction, "SELECT 1", {}, false,
       false, Action::Keep, Action::Keep,
       "SAVEPOINT zorv_cursor, ROLLBACK TO SAVEPOINT zorv_cursor, RELEASE SAVEPOINT zorv_cursor"},
      {"a write in the user's transaction is rolled back, then refused",
       ReadOnlyMethod::Transaction, "INSERT INTO t VALUES (1)", {}, false, false, Action::Refuse,
       Action::Keep,
       "SAVEPOINT zorv_cursor, ROLLBACK TO SAVEPOINT zorv_cursor, RELEASE SAVEPOINT zorv_cursor"},
      {"the savepoint cannot be ended", ReadOnlyMethod::Transaction, "INSERT INTO t VALUES (1)",
       {{rollbackTo, "XX000"}}, false, false, Action::DropConnection, Action::Keep,
       "SAVEPOINT zorv_cursor, ROLLBACK TO SAVEPOINT zorv_cursor"},
      {"the driver already ended the transaction", ReadOnlyMethod::Transaction, "SELECT 1",
       {{rollbackTo, "25P01"}}, false, false, Action::Keep, Action::Keep,
       "SAVEPOINT zorv_cursor, ROLLBACK TO SAVEPOINT zorv_cursor"},
      {"a savepoint that does not end", ReadOnlyMethod::Transaction, "SELECT 1",
       {{rollbackTo, "XX000"}}, false, false, Action::Keep, Action::DropConnection,
       "SAVEPOINT zorv_cursor, ROLLBACK TO SAVEPOINT zorv_cursor"},
      {"an aborted transaction", ReadOnlyMethod::Transaction, "SELECT 1",
       {{"SAVEPOINT zorv_cursor", "25P02"}}, false, false, Action::Refuse, Action::Keep,
       "SAVEPOINT zorv_cursor"},
      {"its own read-only transaction", ReadOnlyMethod::Transaction, "SELECT 1",
       {{"SAVEPOINT zorv_cursor", "25P01"}}, false, false, Action::Keep, Action::Keep,
       "SAVEPOINT zorv_cursor, autocommit off, SET TRANSACTION READ ONLY, rollback, autocommit on"},
      {"read-only refused: the transaction ends before the refusal", ReadOnlyMethod::Transaction,
       "SELECT 1", {{"SAVEPOINT zorv_cursor", "25P01"}, {"SET TRANSACTION READ ONLY", "XX000"}},
       false, false, Action::Refuse, Action::Keep,
       "SAVEPOINT zorv_cursor, autocommit off, SET TRANSACTION READ ONLY, rollback, autocommit on"},
      {"its own transaction does not roll back", ReadOnlyMethod::Transaction, "SELECT 1",
       {{"SAVEPOINT zorv_cursor", "25P01"}}, false, true, Action::Keep, Action::DropConnection,
       "SAVEPOINT zorv_cursor, autocommit off, SET TRANSACTION READ ONLY, rollback"},
      {"autocommit stays off", ReadOnlyMethod::Transaction, "SELECT 1",
       {{"SAVEPOINT zorv_cursor", "25P01"}}, true, false, Action::Keep, Action::DropConnection,
       "SAVEPOINT zorv_cursor, autocommit off, SET TRANSACTION READ ONLY, rollback, autocommit on"},
      {"query_only", ReadOnlyMethod::QueryOnly, "DELETE FROM t", {}, false, false, Action::Keep,
       Action::Keep, "PRAGMA query_only = 1, PRAGMA query_only = 0"},
      {"query_only refused", ReadOnlyMethod::QueryOnly, "SELECT 1",
       {{"PRAGMA query_only = 1", "HY000"}}, false, false, Action::Refuse, Action::Keep,
       "PRAGMA query_only = 1"},
      {"query_only stays on", ReadOnlyMethod::QueryOnly, "SELECT 1",
       {{"PRAGMA query_only = 0", "HY000"}}, false, false, Action::Keep, Action::DropConnection,
       "PRAGMA query_only = 1, PRAGMA query_only = 0"},
      {"another driver: a plain query, the access mode as a hint", ReadOnlyMethod::PlainQuery,
       "SELECT 1", {}, false, false, Action::Keep, Action::Keep, "mode?, read-only, read-write"},
      {"another driver: a write is refused untouched", ReadOnlyMethod::PlainQuery,
       "UPDATE t SET a = 1", {}, false, false, Action::Refuse, Action::Keep, ""},
      {"another driver ignores the access mode", ReadOnlyMethod::PlainQuery, "SELECT 1", {}, true,
       false, Action::Keep, Action::Keep, "mode?, read-only"},
  };
  for (const auto& c : cases) {
    ScriptedConnection connection;
    connection.failing = c.failing;
    connection.refusesAttributes = c.refusesAttributes;
    connection.rollBackFails = c.rollBackFails;
    CursorGuard guard(c.method);
    EXPECT_EQ(guard.begin(connection, c.statement).action, c.begun) << c.what;
    if (c.begun == Action::Keep) {
      EXPECT_EQ(guard.end(connection).action, c.ended) << c.what;
    } else {
      EXPECT_FALSE(guard.active()) << c.what;
    }
    EXPECT_EQ(joined(connection.calls), c.calls) << c.what;
  }
}

TEST(OdbcCursorGuard, ConnectionLostWhileEndingDropsIt) {
  ScriptedConnection connection;
  CursorGuard guard(ReadOnlyMethod::QueryOnly);
  ASSERT_EQ(guard.begin(connection, "SELECT 1").action, GuardDecision::Action::Keep);
  connection.lost = true;
  const GuardDecision ended = guard.end(connection);
  EXPECT_EQ(ended.action, GuardDecision::Action::DropConnection);
  EXPECT_NE(ended.message.find("lost the connection"), std::string::npos) << ended.message;
  EXPECT_FALSE(guard.active());
}

}  // namespace
}  // namespace zorv::lib::odbc

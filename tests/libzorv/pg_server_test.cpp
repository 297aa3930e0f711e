// PostgreSQL-only behaviour, natively and through the ODBC driver: encoding,
// smuggled statements, read-only cursor transactions, lost connections and a
// restarted server.
#include <libpq-fe.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

class PgServerTest : public EngineFixture {
 protected:
  // Runs a statement over a connection of its own; true on success.
  bool direct(const std::string& statement) {
    const auto server = pgServer();
    if (!server) return false;
    PGconn* conn = PQconnectdb(server->connectionText().c_str());
    PGresult* result = PQexec(conn, statement.c_str());
    const bool ok = PQresultStatus(result) == PGRES_TUPLES_OK ||
                    PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    PQfinish(conn);
    return ok;
  }
  // The server process of the library's connection.
  std::string backendPid() {
    const Answer pid = callExec("SELECT pg_backend_pid() AS p");
    EXPECT_EQ(pid.code, 0);
    return pid.text.size() > 5 ? pid.text.substr(3, pid.text.size() - 5) : "0";
  }
  // Whether the library's connection sits inside a transaction.
  bool inTransaction(const std::string& pid) {
    return directCount("SELECT count(*) FROM pg_stat_activity WHERE state LIKE 'idle in%' AND pid = " +
                       pid) != 0;
  }
};

// What only libpq itself does or can be asked for.
class PgNativeTest : public PgServerTest {};

TEST_P(PgNativeTest, ClientEncodingIsAlwaysUtf8) {
  const auto server = pgServer();
  ASSERT_TRUE(server);
  setVariable("PGCLIENTENCODING", "EUC_JP");
  const int32_t opened = lib().login(server->connectionText("client_encoding=SJIS").c_str());
  setVariable("PGCLIENTENCODING", "");
  ASSERT_EQ(opened, 0) << callMsgGet();
  const std::string query = "SELECT '" + kSo + kHyo + "' AS v";
  EXPECT_EQ(callExec(query), (Answer{0, "v\r\n" + kSo + kHyo + "\r\n"}));
  EXPECT_EQ(callExec("SET client_encoding TO 'LATIN1'").code, 0);
  EXPECT_EQ(callExec(query), (Answer{0, "v\r\n" + kSo + kHyo + "\r\n"}));
}

TEST_P(PgServerTest, ConnectingLeavesTheProcessLocaleAlone) {
  // The ODBC driver sets the character type locale from the environment
  // while it connects; the process must keep its own.
  ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
  setVariable("LC_ALL", "C.UTF-8");
  const int32_t opened = lib().login(connection().c_str());
  setVariable("LC_ALL", "");
  ASSERT_EQ(opened, 0) << callMsgGet();
  EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C");
  EXPECT_EQ(callExec("SELECT '" + kSo + kHyo + "' AS v"), (Answer{0, "v\r\n" + kSo + kHyo + "\r\n"}));
}

// psqlODBC rolls back only the failed statement, to a savepoint of its own;
// without that it would leave its own implicit transactions aborted.
TEST_P(PgNativeTest, FailedStatementAbortsTheUserTransaction) {
  run("CREATE TABLE t (id INTEGER)");
  run("BEGIN");
  run("INSERT INTO t VALUES (1)");
  EXPECT_EQ(callExec("SELECT * FROM no_such_table").code, -4);
  EXPECT_EQ(callExec("INSERT INTO t VALUES (2)").code, -4);
  EXPECT_NE(callMsgGet().find("current transaction is aborted"), std::string::npos) << callMsgGet();
  EXPECT_EQ(callExec("COMMIT").code, 0);
  EXPECT_EQ(callExec("SELECT count(*) AS n FROM t"), (Answer{0, "n\r\n0\r\n"}));
}

TEST_P(PgServerTest, SmuggledStatementsNeverRun) {
  run("CREATE TABLE t (id INTEGER)");
  run("INSERT INTO t VALUES (1)");
  const std::string pid = backendPid();
  const std::vector<std::string> texts = {
      "SELECT 1; DROP TABLE t",
      "SELECT 1 /* x */ ; DROP TABLE t; --",
      "SELECT id FROM t; COMMIT; DROP TABLE t",
      "SELECT 1 \\; DROP TABLE t",
      "SELECT 1)); DROP TABLE t; --",
      "SELECT $$; DROP TABLE t; $$; DROP TABLE t",
      "DROP TABLE t",
  };
  for (const auto& text : texts) {
    EXPECT_EQ(lib().cursor(text.c_str()), -4) << text;
    EXPECT_EQ(lib().status(), 1) << text;
  }
  EXPECT_EQ(callExec("SELECT id FROM t"), (Answer{0, "id\r\n1\r\n"}));
  EXPECT_FALSE(inTransaction(pid)) << "a refused cursor must not leave its transaction open";
}

TEST_P(PgServerTest, CursorOutsideAUserTransactionCannotWrite) {
  run("CREATE SEQUENCE s");
  const int32_t opened = lib().cursor("SELECT nextval('s')");
  if (opened == 0) EXPECT_EQ(callFetch().code, -4);
  else EXPECT_EQ(opened, -4);
  EXPECT_NE(callMsgGet(), "");
  EXPECT_EQ(lib().status(), 1);
  EXPECT_EQ(callExec("SELECT nextval('s') AS n"), (Answer{0, "n\r\n1\r\n"}));
}

TEST_P(PgServerTest, DrainedCursorKeepsOrderNullsAndText) {
  const std::string pid = backendPid();
  const std::string query = seriesQuery(
      engine(), 2500, "x, CASE WHEN x % 3 = 0 THEN NULL ELSE '" + kSo + "' || x END");
  ASSERT_EQ(lib().cursor(query.c_str()), 0) << callMsgGet();
  auto expected = [](int x) {
    return std::to_string(x) + "\t" + (x % 3 == 0 ? "" : kSo + std::to_string(x));
  };
  for (int x = 1; x <= 5; ++x) ASSERT_EQ(callFetch(), (Answer{0, expected(x)}));
  // The native engine reads its own cursor ahead, so no transaction waits on
  // a person between Fetches; the ODBC driver streams from an open one.
  EXPECT_EQ(inTransaction(pid), engine() == Engine::OdbcPostgres)
      << "whether the cursor holds a transaction open between Fetches";
  run("CREATE TABLE t (id INTEGER)");
  EXPECT_FALSE(inTransaction(pid)) << "Exec must end the cursor's transaction";
  for (int x = 6; x <= 2500; ++x) ASSERT_EQ(callFetch(), (Answer{0, expected(x)}));
  EXPECT_EQ(callFetch(), (Answer{100, ""}));
  EXPECT_EQ(callFnames().code, 0);
}

TEST_P(PgServerTest, TerminatedBackendIsReportedAndLoginReconnects) {
  const std::string number = backendPid();
  ASSERT_EQ(lib().cursor(seriesQuery(engine(), 100000).c_str()), 0);
  ASSERT_EQ(callFetch().code, 0);
  ASSERT_TRUE(direct("SELECT pg_terminate_backend(" + number + ")"));

  // A cursor read ahead holds nothing on the server: the next Exec notices.
  int32_t code = 0;
  for (int i = 0; i < 100001 && code == 0; ++i) code = callFetch().code;
  if (code == 100) code = callExec("SELECT 1").code;
  EXPECT_EQ(code, -3);
  const std::string message = callMsgGet();
  EXPECT_NE(message.find("57P01"), std::string::npos) << "the server's reason: " << message;
  EXPECT_EQ(lib().status(), 0);
  EXPECT_EQ(callExec("SELECT 1").code, -1);
  ASSERT_EQ(lib().login(connection().c_str()), 0) << callMsgGet();
  EXPECT_EQ(callExec("SELECT 1 AS one"), (Answer{0, "one\r\n1\r\n"}));
}

TEST_P(PgServerTest, StoppedServerUnderAnOpenCursorThenRestarted) {
  const auto server = pgServer();
  ASSERT_TRUE(server);
  ASSERT_EQ(lib().cursor(seriesQuery(engine(), 100000).c_str()), 0);
  ASSERT_EQ(callFetch().code, 0);
  ASSERT_EQ(server->pgCtl("-m fast -w -t 60 stop"), 0) << "cannot stop the test server";

  int32_t code = 0;
  for (int i = 0; i < 100001 && code == 0; ++i) code = callFetch().code;
  if (code == 100) code = callExec("SELECT 1").code;
  const std::string message = callMsgGet();
  const int32_t status = lib().status();
  const int32_t whileDown = lib().login(connection().c_str());
  const int restarted = server->pgCtl("-w -t 60 -l '" + server->data + "/server.log' start");
  ASSERT_EQ(restarted, 0) << "cannot restart the test server; later tests will fail";

  EXPECT_EQ(code, -3);
  EXPECT_NE(message.find("57P01"), std::string::npos) << "the server's reason: " << message;
  EXPECT_EQ(status, 0);
  EXPECT_EQ(whileDown, -3);
  ASSERT_EQ(lib().login(connection().c_str()), 0) << callMsgGet();
  EXPECT_EQ(callExec("SELECT 1 AS one"), (Answer{0, "one\r\n1\r\n"}));
}

INSTANTIATE_TEST_SUITE_P(Engines, PgServerTest,
                         ::testing::Values(Engine::Postgres, Engine::OdbcPostgres),
                         engineParamName);
INSTANTIATE_TEST_SUITE_P(Engines, PgNativeTest, ::testing::Values(Engine::Postgres),
                         engineParamName);

}  // namespace

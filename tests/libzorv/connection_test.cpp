// Opening and failing to open connections, independent of any server.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "test_engine.h"
#include "zorv_library.h"

namespace {

ZorvLibrary& lib() { return ZorvLibrary::instance(); }

class Connection : public ::testing::Test {
 protected:
  void TearDown() override { lib().close(); }
  std::string tempPath(const std::string& name) {
    const std::string path = ::tempPath("zorv_conn_" + name);
    std::remove(path.c_str());
    paths_.push_back(path);
    return path;
  }
  ~Connection() override {
    for (const auto& path : paths_) std::remove(path.c_str());
  }

 private:
  std::vector<std::string> paths_;
};

TEST_F(Connection, ConsoleStartupTemplateFailsWithAClearMessage) {
  const std::string host = "\x83\x7A\x83\x58\x83\x67\x96\xBC";           // ホスト名
  const std::string user = "\x83\x86\x81\x5B\x83\x55\x81\x5B\x96\xBC";   // ユーザー名
  ASSERT_EQ(lib().login(""), 0);
  EXPECT_EQ(lib().login(("host=" + host + " user=" + user).c_str()), -3);
  EXPECT_EQ(lib().status(), 0);
  const std::string message = callMsgGet();
  EXPECT_NE(message.find(host), std::string::npos) << message;
}

TEST_F(Connection, FailedOpenLeavesNothingConnected) {
  const std::string notDatabase = tempPath("not_a_database.txt");
  std::ofstream(notDatabase) << std::string(4096, 'x');
  const std::vector<std::string> texts = {
      "file=/nonexistent-folder/x.db",
      "file=" + tempPath("missing.db") + " mode=rw",
      "file=" + tempPath("missing_ro.db") + " mode=ro",
      "file=" + notDatabase,
      "host=127.0.0.1 port=1 connect_timeout=3",
  };
  for (const auto& text : texts) {
    ASSERT_EQ(lib().login(""), 0);
    EXPECT_EQ(lib().login(text.c_str()), -3) << text;
    EXPECT_EQ(lib().status(), 0) << text;
    EXPECT_NE(callMsgGet(), "") << text;
    EXPECT_EQ(callExec("SELECT 1").code, -1) << text;
  }
}

TEST_F(Connection, MessagesNeverShowThePassword) {
  const std::vector<std::string> texts = {
      "host=127.0.0.1 port=1 user=u password=TopSecret42 connect_timeout=3",
      "host=127.0.0.1 port=1 password='TopSecret42' dbname=TopSecret42 connect_timeout=3",
      "password='TopSecret42",
      "password=TopSecret42 nokeyword=1",
  };
  for (const auto& text : texts) {
    EXPECT_LT(lib().login(text.c_str()), 0) << text;
    const std::string message = callMsgGet();
    EXPECT_NE(message, "") << text;
    EXPECT_EQ(message.find("TopSecret42"), std::string::npos) << message;
  }
}

TEST_F(Connection, OdbcTextStandsAloneAndFailsCleanly) {
  const std::string sqliteDriver = odbcDriverPath(Engine::OdbcSqlite);
  const std::string pgDriver = odbcDriverPath(Engine::OdbcPostgres);
  if (sqliteDriver.empty() || pgDriver.empty()) {
    if (runningInCi()) FAIL() << "the ODBC drivers are not installed";
    GTEST_SKIP() << "the ODBC drivers are not installed";
  }
  usePrivateOdbcSettings();
  struct Case {
    std::string text;
    int32_t code;
    std::string said;  // a part of the message
  };
  const std::vector<Case> cases = {
      {"odbc='DSN=x;PWD=TopSecret42' file=a.db", -5, "\"file\" cannot be used with odbc"},
      {"host=h odbc='DSN=x'", -5, "\"host\" cannot be used with odbc"},
      {"odbc='DSN=x' odbc='DSN=y'", -5, "more than once"},
      {"odbc=", -5, "odbc needs"},
      {"odbc='DSN=zorv_no_such_dsn;PWD=TopSecret42'", -3, "IM002"},
      {"odbc='Driver=/nonexistent/zorv_driver.so;PWD=TopSecret42'", -3, "connection failed"},
      {"odbc='Driver=" + pgDriver +
           ";Server=127.0.0.1;Port=1;Uid=u;PWD=TopSecret42;Database=TopSecret42'",
       -3, "connection failed"},
      {"odbc='Driver=" + sqliteDriver + ";Database=/nonexistent-folder/x.db;PWD=TopSecret42'", -3,
       "connection failed"},
      // The driver's text alone is one unit over what SQLDriverConnectW's
      // 16-bit length can carry.
      {"odbc='Driver=" + sqliteDriver + ";PWD=TopSecret42;Database=" +
           std::string(32768 - 33 - sqliteDriver.size(), 'a') + "'",
       -3, "too long for the ODBC driver"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(lib().login(""), 0);
    EXPECT_EQ(lib().login(c.text.c_str()), c.code) << c.text;
    const std::string message = callMsgGet();
    EXPECT_NE(message.find(c.said), std::string::npos) << c.text << ": " << message;
    EXPECT_EQ(message.find("TopSecret42"), std::string::npos) << message;
    EXPECT_EQ(lib().status(), c.code == -5 ? 1 : 0) << c.text;
  }

  // Connected, a statement's message that repeats the password masks it.
  const std::string path = tempPath("odbc_secret.db");
  ASSERT_EQ(lib().login(("odbc='Driver=" + sqliteDriver + ";Database=" + hostPath(path) +
                         ";PWD=TopSecret42'").c_str()),
            0)
      << callMsgGet();
  EXPECT_EQ(callExec("SELECT * FROM TopSecret42").code, -4);
  const std::string message = callMsgGet();
  EXPECT_NE(message.find("no such table"), std::string::npos) << message;
  EXPECT_EQ(message.find("TopSecret42"), std::string::npos) << message;
}

// Connections the driver manager's trace in `file` shows opened.
int tracedConnects(const std::string& file) {
  std::ifstream trace(file);
  int connects = 0;
  bool connectCall = false;
  for (std::string line; std::getline(trace, line);) {
    if (connectCall && line.find("Entry:") != std::string::npos) ++connects;
    connectCall = line.find("[SQLDriverConnectW.c]") != std::string::npos;
  }
  return connects;
}

TEST_F(Connection, OdbcDataSourceLogsInOnceWithItsDriversStreamingOption) {
  // A data source names its driver only in the driver manager's lists, here
  // by a name that says nothing of the driver; the SQLite driver reads a
  // whole result into memory unless told to step. One login, since a
  // one-time password works only once.
  const std::string driver = odbcDriverPath(Engine::OdbcSqlite);
  const std::string settings = usePrivateOdbcSettings();
  if (driver.empty() || settings.empty()) {
    if (runningInCi()) FAIL() << "no SQLite ODBC driver or no private ODBC settings";
    GTEST_SKIP() << "no SQLite ODBC driver or no private ODBC settings";
  }
  const std::string path = tempPath("odbc_dsn.db");
  ASSERT_EQ(lib().login(("file=" + path).c_str()), 0) << callMsgGet();
  ASSERT_EQ(callExec("CREATE TABLE t (v TEXT)").code, 0);
  ASSERT_EQ(callExec("INSERT INTO t " + seriesQuery(Engine::Sqlite, 300000,
                                                   "printf('%0100d', x)")).code,
            0);
  const std::string onceFile = tempPath("odbc_dsn_once.db");
  std::remove(onceFile.c_str());
  std::ofstream(settings + "/odbc.ini") << "[zorv_test_dsn]\nDriver=zorv_test_driver\nDatabase="
                                        << path << "\n[zorv_once_dsn]\nDriver=zorv_test_driver"
                                        << "\nDatabase=" << onceFile << "\n";
  // The driver manager reads its trace setting once per process: a child
  // logs in with it on and inserts a row.
  const std::string drivers = settings + "/odbcinst.ini";
  const std::string trace = tempPath("odbc_dsn_trace.log");
  std::remove(trace.c_str());
  std::ofstream(drivers) << "[ODBC]\nTrace=Yes\nTraceFile=" << trace
                         << "\n[zorv_test_driver]\nDriver=" << driver << "\n";
  {
    ChildProcess child(ZORV_INSERT_CHILD_PATH, {"odbc='DSN=zorv_once_dsn;PWD=once'", "1", "0",
                                                "CREATE TABLE t (id INTEGER, txt TEXT)"});
    std::string line;
    EXPECT_TRUE(child.readLine(line) && line == "0" && child.readLine(line)) << "no insert";
  }
  std::ofstream(drivers) << "[zorv_test_driver]\nDriver=" << driver << "\n";
  EXPECT_EQ(tracedConnects(trace), 1);
  ASSERT_EQ(lib().login("odbc='DSN=zorv_test_dsn'"), 0) << callMsgGet();
  const long baseline = residentBytes();
  ASSERT_EQ(lib().cursor("SELECT v FROM t"), 0) << callMsgGet();
  long peak = 0;
  long rows = 0;
  for (int32_t code = 0; (code = callFetch().code) == 0; ++rows) {
    if (rows % 10000 == 0) peak = std::max(peak, residentBytes() - baseline);
  }
  EXPECT_EQ(rows, 300000);
#if !defined(__SANITIZE_ADDRESS__)  // freed memory stays resident in the sanitizer's quarantine
  EXPECT_LT(peak, 16L * 1024 * 1024) << "resident memory grew by " << peak << " bytes";
#endif
}

TEST_F(Connection, EmbeddedFileModesAreHonoured) {
  const std::string path = tempPath("modes.db");
  ASSERT_EQ(lib().login(("file=" + path).c_str()), 0) << callMsgGet();
  ASSERT_EQ(callExec("CREATE TABLE t (a INTEGER)").code, 0);
  ASSERT_EQ(callExec("INSERT INTO t VALUES (1)").code, 0);

  ASSERT_EQ(lib().login(("file='" + path + "' mode=ro").c_str()), 0) << callMsgGet();
  EXPECT_EQ(callExec("INSERT INTO t VALUES (2)"), (Answer{-4, ""}));
  EXPECT_EQ(callExec("SELECT a FROM t"), (Answer{0, "a\r\n1\r\n"}));

  ASSERT_EQ(lib().login(("file=" + path + " mode=rw").c_str()), 0) << callMsgGet();
  EXPECT_EQ(callExec("INSERT INTO t VALUES (2)"), (Answer{0, "1"}));

  ASSERT_EQ(lib().login("file=:memory:"), 0) << callMsgGet();
  EXPECT_EQ(callExec("SELECT a FROM t").code, -4);
}

TEST_F(Connection, NullArgumentsAreInternalErrors) {
  ASSERT_EQ(lib().login(""), 0);
  AnswerBuffer buffer;
  EXPECT_EQ(lib().login(nullptr), -9);
  EXPECT_EQ(lib().cursor(nullptr), -9);
  EXPECT_EQ(lib().exec(nullptr, buffer.data()), -9);
  EXPECT_EQ(lib().exec("SELECT 1", nullptr), -9);
  EXPECT_EQ(lib().fetch(nullptr), -9);
  EXPECT_EQ(lib().fnames(nullptr), -9);
  EXPECT_EQ(lib().msgGet(nullptr), -9);
  EXPECT_NE(callMsgGet(), "");
  EXPECT_EQ(lib().status(), 1);
}

// The database is made by the host's script, also for a test under Wine.
TEST_F(Connection, DemoDatabaseReadsBackItsJapaneseText) {
  const std::string host =
      "/tmp/zorv-demo-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) +
      ".db";
  const std::string path = seenPath(host);
  struct Removal {
    std::string path;
    ~Removal() { std::remove(path.c_str()); }
  } removal{path};
  const std::string script = hostPath(ZORV_SOURCE_DIR) + "/scripts/make-demo-db '" + host + "'";
  ASSERT_EQ(hostShell(script), 0);
  ASSERT_EQ(hostShell(script), 0) << "a second run must leave the file alone";
  ASSERT_EQ(lib().login(("file=" + path + " mode=ro").c_str()), 0) << callMsgGet();
  const std::string name = "\x96\xBC\x8F\xCC";      // 名称
  const std::string goods = "\x8F\xA4\x95\x69";     // 商品
  ASSERT_EQ(lib().cursor(("SELECT " + name + " FROM " + goods + " WHERE code = 'C-900'").c_str()), 0)
      << callMsgGet();
  EXPECT_EQ(callFnames(), (Answer{0, name}));
  // 機能テスト用 ソ表能予申
  EXPECT_EQ(callFetch(), (Answer{0, "\x8B\x40\x94\x5C\x83\x65\x83\x58\x83\x67\x97\x70\x20"
                                    "\x83\x5C\x95\x5C\x94\x5C\x97\x5C\x90\x5C"}));
  EXPECT_EQ(callFetch(), (Answer{100, ""}));
}

}  // namespace

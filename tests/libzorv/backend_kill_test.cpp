// The PostgreSQL backend killed with SIGKILL at any moment, by the host
// (also for a test under Wine): the call that notices answers -3 with a
// message, the connection stays closed, and the next Open reconnects.
#include <libpq-fe.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "answer_buffer.h"
#include "engine_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Waits until a server process is gone (reaped by its parent); false after
// the limit. The server is a host process: under Wine the host is asked.
bool waitGone(long pid, std::chrono::seconds limit) {
  const auto deadline = Clock::now() + limit;
  const std::string alive = "kill -0 " + std::to_string(pid);
  while (hostShell(alive) == 0) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

class PgBackendKill : public EngineFixture {
 protected:
  // The server process serving the library's connection, asked through Exec.
  long backendPid() {
    const Answer answer = callExec("SELECT pg_backend_pid() AS p");
    EXPECT_EQ(answer.code, 0) << callMsgGet();
    EXPECT_EQ(answer.text.rfind("p\r\n", 0), 0u) << answer.text;
    return answer.text.size() > 3 ? std::atol(answer.text.c_str() + 3) : 0;
  }

  // Kills the backend; the server then restarts every backend (crash recovery).
  static void killBackend(long backend) {
    ASSERT_GT(backend, 0);
    ASSERT_EQ(hostShell("kill -KILL " + std::to_string(backend)), 0) << "cannot kill " << backend;
  }

  // Waits until the killed backend is reaped and the server accepts connections
  // again: once reaped, the server refuses connections until recovery ends.
  static void waitForRecovery(long backend) {
    ASSERT_TRUE(waitGone(backend, 30s)) << "backend " << backend << " is still there";
    const auto server = pgServer();
    ASSERT_TRUE(server);
    const std::string text = server->connectionText();
    const auto deadline = Clock::now() + 60s;
    while (PQping(text.c_str()) != PQPING_OK) {
      ASSERT_LT(Clock::now(), deadline) << "the server did not recover within 60 s";
      std::this_thread::sleep_for(50ms);
    }
  }
};

TEST_P(PgBackendKill, KilledBackendIsReportedAndTheNextLoginRecovers) {
  struct Moment {
    const char* name;
    // Kills the backend at its moment; the code of the call that noticed.
    std::function<int32_t(long)> provoke;
  };
  const std::vector<Moment> moments = {
      {"between fetches of an open cursor",
       [&](long backend) {
         EXPECT_EQ(lib().cursor(seriesQuery(engine(), 100000).c_str()), 0) << callMsgGet();
         EXPECT_EQ(callFetch().code, 0);
         killBackend(backend);
         // Rows already on the client still come; the rest cannot. A cursor
         // read ahead holds nothing on the server: the next Exec notices.
         int32_t code = 0;
         for (int i = 0; i < 100001 && code == 0; ++i) code = callFetch().code;
         if (code == 100) code = callExec("SELECT 1 AS one").code;
         return code;
       }},
      {"during an Exec",
       [&](long backend) {
         // The library is called from this thread only; the test thread just kills.
         AnswerBuffer buffer;
         int32_t code = 0;
         const auto start = Clock::now();
         std::thread caller([&] { code = lib().exec("SELECT pg_sleep(5)", buffer.data()); });
         std::this_thread::sleep_for(200ms);
         killBackend(backend);
         caller.join();
         EXPECT_LT(Clock::now() - start, 4s) << "Exec did not return when its backend died";
         EXPECT_TRUE(buffer.terminated() && buffer.guardIntact());
         EXPECT_EQ(buffer.text(), "");
         return code;
       }},
      {"between calls, then Exec",
       [&](long backend) {
         killBackend(backend);
         EXPECT_TRUE(waitGone(backend, 30s));
         return callExec("SELECT 1 AS one").code;
       }},
      {"between calls, then Cursor",
       [&](long backend) {
         killBackend(backend);
         EXPECT_TRUE(waitGone(backend, 30s));
         return lib().cursor("SELECT 1 AS one");
       }},
      // Without TLS libpq itself sees the end of the stream, and guesses why.
      {"between calls without TLS, then Exec",
       [&](long) {
         lib().close();
         const std::string plain = pgServer()->connectionText("sslmode=disable");
         EXPECT_EQ(lib().login(plain.c_str()), 0) << callMsgGet();
         const long backend = backendPid();
         killBackend(backend);
         EXPECT_TRUE(waitGone(backend, 30s));
         return callExec("SELECT 1 AS one").code;
       }},
  };
  for (const auto& moment : moments) {
    SCOPED_TRACE(moment.name);
    const long backend = backendPid();
    const int32_t code = moment.provoke(backend);
    const std::string message = callMsgGet();
    EXPECT_EQ(code, -3) << message;
    // One line that says the connection is gone, not libpq's guess that the
    // server terminated abnormally.
    EXPECT_NE(message.find("connection to the server was lost"), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    EXPECT_EQ(lib().status(), 0);
    EXPECT_EQ(callExec("SELECT 1").code, -1) << "a lost connection stays closed";
    waitForRecovery(backend);
    ASSERT_EQ(lib().login(connection().c_str()), 0) << callMsgGet();
    EXPECT_EQ(callExec("SELECT 1 AS one"), (Answer{0, "one\r\n1\r\n"}));
    EXPECT_NE(backendPid(), backend);
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, PgBackendKill, ::testing::Values(Engine::Postgres),
                         engineParamName);

}  // namespace

// Connections to the test server over TLS: required encryption is used, the
// server's certificate is verified against the one it was given, and a host
// name the certificate does not name is refused.
#include <cstdlib>
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

TEST(Tls, RequireAndVerifyFullAgainstTheServersCertificate) {
  ZORV_REQUIRE_PG(server);
  const char* cert = std::getenv("ZORV_TEST_PGSSLROOTCERT");
  ASSERT_TRUE(cert != nullptr && *cert != '\0') << "the test server has no certificate";
  // Under Wine the host's files are on a drive of their own.
  const std::string root = std::string("sslrootcert=") + ZORV_TEST_HOST_DRIVE + cert;
  const std::string address = " port=" + server.port + " user=" + server.user + " dbname=postgres";
  struct Case {
    std::string connection;
    int32_t code;
    std::string messagePart;  // of a refusal
  };
  const std::vector<Case> cases = {
      {server.connectionText("sslmode=require"), 0, ""},
      {server.connectionText("sslmode=verify-full " + root), 0, ""},
      {"host=localhost" + address + " sslmode=verify-full " + root, 0, ""},
      {"host=wrong.invalid hostaddr=127.0.0.1" + address + " sslmode=verify-full " + root, -3,
       "does not match"},
  };
  ZorvLibrary& zorv = ZorvLibrary::instance();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.connection);
    ASSERT_EQ(zorv.login(c.connection.c_str()), c.code) << callMsgGet();
    if (c.code != 0) {
      EXPECT_NE(callMsgGet().find(c.messagePart), std::string::npos) << callMsgGet();
      EXPECT_EQ(zorv.status(), 0);
      continue;
    }
    EXPECT_EQ(callExec("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()"),
              (Answer{0, "ssl\r\nt\r\n"}));
    EXPECT_EQ(zorv.close(), 0);
  }
}

}  // namespace

// Everything Exec reported as done is in the database after the process is
// killed, also while a cursor is open: the console never calls Close.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "engine_fixture.h"

namespace {

class Durability : public EngineFixture {
 protected:
  // Runs the child's part: connect, optionally switch the journal, open a
  // cursor, fetch a little, then insert rows one Exec at a time and report
  // each success through the pipe. Never returns.
  [[noreturn]] void child(int reportFd, const std::string& setup) {
    ZorvLibrary& zorv = lib();
    char buf[8192];
    if (zorv.login(connection().c_str()) != 0) _exit(2);
    if (!setup.empty() && zorv.exec(setup.c_str(), buf) < 0) _exit(3);
    if (zorv.cursor(seriesQuery(engine(), 200000).c_str()) != 0) _exit(4);
    for (int i = 0; i < 3; ++i) {
      if (zorv.fetch(buf) != 0) _exit(5);
    }
    for (int32_t id = 1;; ++id) {
      const std::string insert = "INSERT INTO t VALUES (" + std::to_string(id) + ")";
      if (zorv.exec(insert.c_str(), buf) != 0) _exit(6);
      if (write(reportFd, &id, sizeof id) != sizeof id) _exit(7);
      // Every few rows read on, so kills land while the cursor is in use.
      if (id % 7 == 0 && zorv.fetch(buf) != 0) _exit(8);
    }
  }

  // Kills the child after it reported `reports` inserts; the last id reported.
  int32_t runAndKill(const std::string& setup, int reports) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    lib().close();  // the child opens its own connection
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      child(fds[1], setup);
    }
    close(fds[1]);
    int32_t last = 0;
    for (int i = 0; i < reports; ++i) {
      int32_t id;
      if (read(fds[0], &id, sizeof id) != sizeof id) break;
      last = id;
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    close(fds[0]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the child ended by itself with " << WEXITSTATUS(status);
    return last;
  }
};

TEST_P(Durability, ExecReportedDoneSurvivesAKillWhileACursorIsOpen) {
  struct Case {
    std::string setup;
    int reports;
  };
  const std::vector<Case> cases =
      engine() == Engine::Sqlite
          ? std::vector<Case>{{"", 1}, {"", 40}, {"PRAGMA journal_mode=WAL", 1},
                              {"PRAGMA journal_mode=WAL", 40}}
          : std::vector<Case>{{"", 1}, {"", 40}};
  for (const auto& c : cases) {
    ASSERT_EQ(lib().login(connection().c_str()), 0) << callMsgGet();
    run("DROP TABLE IF EXISTS t");
    run("CREATE TABLE t (id INTEGER)");
    const int32_t last = runAndKill(c.setup, c.reports);
    ASSERT_EQ(last, c.reports) << "the child stopped early";
    EXPECT_GE(directCount("SELECT count(*) FROM t"), last) << c.setup;
    EXPECT_EQ(directCount("SELECT count(*) FROM t WHERE id <= " + std::to_string(last)), last)
        << c.setup;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, Durability, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         engineParamName);

}  // namespace

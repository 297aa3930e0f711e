// Everything Exec reported as done is in the database after the process is
// killed (SIGKILL on POSIX, TerminateProcess on Windows), also while a
// cursor is open: the console never calls Close.
#include <cstdint>
#include <string>
#include <vector>

#include "child_process.h"
#include "engine_fixture.h"

namespace {

class Durability : public EngineFixture {
 protected:
  // Starts the inserting child (connect, run `setup`, open a cursor and read
  // from it now and then, insert one row per Exec), kills it after it
  // reported `reports` inserts done; the last id it reported.
  int32_t runAndKill(const std::string& setup, int reports) {
    lib().close();  // the child opens its own connection
    ChildProcess child(ZORV_INSERT_CHILD_PATH,
                       {connection(), "0", "0", setup, seriesQuery(engine(), 200000)});
    EXPECT_TRUE(child.started()) << "cannot start " << ZORV_INSERT_CHILD_PATH;
    std::string line;
    int32_t last = 0;
    const bool began = child.readLine(line) && line == "0";
    for (int i = 0; began && i < reports && child.readLine(line); ++i) last = std::stoi(line);
    child.kill();
    int exitCode = 0;
    EXPECT_TRUE(child.waitKilled(exitCode)) << "the child ended by itself with exit " << exitCode;
    return last;
  }
};

TEST_P(Durability, ExecReportedDoneSurvivesAKillWhileACursorIsOpen) {
  struct Case {
    std::string setup;
    int reports;
  };
  const std::vector<Case> cases =
      sqliteDialect(engine())
          ? std::vector<Case>{{"", 1}, {"", 40}, {"PRAGMA journal_mode=WAL", 1},
                              {"PRAGMA journal_mode=WAL", 40}}
          : std::vector<Case>{{"", 1}, {"", 40}};
  for (const auto& c : cases) {
    ASSERT_EQ(lib().login(connection().c_str()), 0) << callMsgGet();
    run("DROP TABLE IF EXISTS t");
    run("CREATE TABLE t (id INTEGER, txt TEXT)");
    const int32_t last = runAndKill(c.setup, c.reports);
    ASSERT_EQ(last, c.reports) << "the child stopped early";
    EXPECT_GE(directCount("SELECT count(*) FROM t"), last) << c.setup;
    EXPECT_EQ(directCount("SELECT count(*) FROM t WHERE id <= " + std::to_string(last)), last)
        << c.setup;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, Durability, ZORV_ALL_ENGINES, engineParamName);

}  // namespace

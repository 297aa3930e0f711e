// A full disk under SQLite (the PostgreSQL backend killed is
// backend_kill_test.cpp, the calling process killed over and over
// kill_loop_test.cpp). It must be reported with a negative code and a
// message, lose nothing Exec reported done, and leave no half rows.

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

// ---------------------------------------------------------------------------
// SQLite on a full disk: a 1 MiB tmpfs, mounted by the host for each test
// (needs root), also for a test under Wine.

class SqliteDiskFull : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (hostShell("test \"$(id -u)\" = 0") != 0) {
      GTEST_SKIP() << "mounting a small tmpfs needs root; disk-full not tested";
    }
    host_ = "/tmp/zorv_full_" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    if (hostShell("mkdir -m 700 " + host_) != 0) FAIL() << "cannot make " << host_;
    made_ = true;
    if (hostShell("mount -t tmpfs -o size=1m,mode=0700,nosuid,nodev tmpfs " + host_) != 0) {
      const std::string reason =
          "cannot mount a 1 MiB tmpfs on " + host_ + "; disk-full not tested";
      if (runningInCi()) FAIL() << reason;
      GTEST_SKIP() << reason;
    }
    mounted_ = true;
    dir_ = seenPath(host_);
    path_ = dir_ + "/full.db";
  }

  void TearDown() override {
    ZorvLibrary::instance().close();
    if (mounted_ && hostShell("umount " + host_) != 0) {
      ADD_FAILURE() << "cannot unmount " << host_;
      hostShell("umount -l " + host_);
    }
    if (made_) hostShell("rmdir " + host_);
  }

  // The ids and whether each row's value is the expected one, read directly.
  void expectRows(int first, int last, const std::string& utf8Value) {
    const auto rows = directRows("file=" + path_, "SELECT id, v FROM t ORDER BY id");
    ASSERT_TRUE(rows) << "cannot read " << path_;
    ASSERT_EQ(rows->size(), static_cast<size_t>(last - first + 1));
    for (int id = first; id <= last; ++id) {
      const auto& row = (*rows)[id - first];
      ASSERT_EQ(row[0], std::to_string(id));
      ASSERT_TRUE(row[1] == utf8Value) << "row " << id << " holds " << row[1].size() << " bytes";
    }
  }

  static constexpr size_t kBallastBytes = 512 * 1024;
  std::string host_;  // the mount point as the host names it
  std::string dir_;   // and as this program sees it
  std::string path_;
  bool made_ = false;
  bool mounted_ = false;
};

TEST_P(SqliteDiskFull, FailedInsertIsReportedAndEarlierOnesSurvive) {
  ZorvLibrary& zorv = ZorvLibrary::instance();
  ASSERT_EQ(zorv.login(("file=" + path_).c_str()), 0) << callMsgGet();
  const std::string mode = GetParam();
  ASSERT_EQ(callExec("PRAGMA journal_mode=" + mode),
            (Answer{0, "journal_mode\r\n" + mode + "\r\n"}))
      << callMsgGet();
  ASSERT_EQ(callExec("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT NOT NULL)").code, 0)
      << callMsgGet();
  // About 12 KB a row once stored as UTF-8: the rest of the disk fills within ~40 rows.
  const std::string value = repeated(kSo + kHyo, 2000);
  const std::string utf8Value = repeated(kSoUtf8 + kHyoUtf8, 2000);
  auto insert = [&](int id) {
    return callExec("INSERT INTO t VALUES (" + std::to_string(id) + ", '" + value + "')").code;
  };

  // Other data on the same disk, removed later to free space: a database on
  // a full disk cannot shrink by itself, as deleting rows needs journal (or
  // log) space about the size of what it deletes.
  const std::string ballast = dir_ + "/ballast";
  {
    FILE* file = std::fopen(ballast.c_str(), "wb");
    ASSERT_NE(file, nullptr) << std::strerror(errno);
    const std::vector<char> bytes(kBallastBytes, 'b');
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    ASSERT_EQ(std::fclose(file), 0);
    ASSERT_EQ(written, bytes.size());
  }

  int done = 0;
  int32_t failed = 0;
  while (done < 1000 && (failed = insert(done + 1)) == 0) ++done;
  const std::string message = callMsgGet();
  ASSERT_LT(failed, 0) << "the disk never filled after " << done << " rows";
  EXPECT_EQ(failed, -4) << message;
  EXPECT_NE(message.find("full"), std::string::npos) << message;
  EXPECT_GT(done, 10) << "the disk filled too early to be a test";
  EXPECT_EQ(zorv.status(), 1) << "a full disk does not end the connection";
  expectRows(1, done, utf8Value);

  // Freeing space makes inserts work again, on the same connection.
  ASSERT_EQ(std::remove(ballast.c_str()), 0);
  ASSERT_EQ(callExec("DELETE FROM t WHERE id <= " + std::to_string(done - 2)).code, 0)
      << callMsgGet();
  ASSERT_EQ(callExec("VACUUM").code, 0) << callMsgGet();
  for (int id = done + 1; id <= done + 5; ++id) ASSERT_EQ(insert(id), 0) << callMsgGet();
  EXPECT_EQ(callExec("PRAGMA integrity_check"), (Answer{0, "integrity_check\r\nok\r\n"}));
  ASSERT_EQ(zorv.close(), 0);
  expectRows(done - 1, done + 5, utf8Value);
}

INSTANTIATE_TEST_SUITE_P(JournalModes, SqliteDiskFull, ::testing::Values("delete", "wal"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace

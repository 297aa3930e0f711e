// How the trace library makes, shares and ends its record file on POSIX:
// for its owner alone, never through a name planted in advance, never
// emptying another running process's record, with a closing line when the
// library is unloaded and a "cut" line when the disk fills.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "bridge_calls.h"
#include "traced_folder.h"

namespace zorv::trace::testing {
namespace {

namespace fs = std::filesystem;
using namespace bridge;

std::string settingsFor(const std::string& trace) {
  return "library=" ZORV_RECORDING_BRIDGE_PATH "\ntrace=" + trace + "\n";
}

unsigned modeOf(const fs::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return 0;
  return status.st_mode & 07777;
}

std::vector<Json> linesOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<Json> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(Json::parse(line));
  return lines;
}

// Runs `body` in a child process and answers its exit status.
template <typename Body>
int inChild(Body body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(RecordFile, IsItsOwnersAloneAndNeverWrittenThroughAPlantedName) {
  TracedFolder made("private", settingsFor("new/sub/"));
  ASSERT_EQ(callStatus(made.bindings()), 0);
  const fs::path sub = made.folder() / "new" / "sub";
  EXPECT_EQ(modeOf(made.folder() / "new"), 0700u);
  EXPECT_EQ(modeOf(sub), 0700u);
  ASSERT_EQ(std::distance(fs::directory_iterator(sub), fs::directory_iterator()), 1);
  EXPECT_EQ(modeOf(fs::directory_iterator(sub)->path()), 0600u);

  // Links under every name the record could take in the coming seconds.
  TracedFolder planted("planted", settingsFor("rec"));
  const fs::path victim = planted.folder() / "victim";
  std::ofstream(victim) << "keep";
  const auto now = std::chrono::system_clock::now();
  for (int second = -5; second <= 60; ++second) {
    fs::create_symlink(victim, planted.recordFolder() /
                                   recordFileName(now + std::chrono::seconds(second), ::getpid()));
  }
  ASSERT_EQ(callStatus(planted.bindings()), 0);
  std::ifstream in(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
  std::vector<fs::path> records;
  for (const auto& entry : fs::directory_iterator(planted.recordFolder())) {
    if (!entry.is_symlink()) records.push_back(entry.path());
  }
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0].filename().string().ends_with("-" + std::to_string(::getpid()) + "-2.jsonl"))
      << records[0];
  EXPECT_EQ(linesOf(records[0]).size(), 3u);
}

TEST(RecordFile, ASecondProcessNamingTheSameFileWritesItsOwnBesideIt) {
  RecordingBridge fake;
  fake.reset();
  const fs::path shared = fs::temp_directory_path() /
                          ("zorv-trace-shared-" + std::to_string(::getpid())) / "session.jsonl";
  fs::remove_all(shared.parent_path());
  fs::create_directories(shared.parent_path());
  std::ofstream(shared) << "a line of an earlier run\n";
  fs::permissions(shared, fs::perms(0644));

  TracedFolder first("first", settingsFor(utf8Path(shared)));
  ASSERT_EQ(callLogin(first.bindings(), "file=first.db"), 0);
  pid_t secondId = 0;
  const int status = inChild([&] {
    TracedFolder second("second", settingsFor(utf8Path(shared)));
    return callLogin(second.bindings(), "file=second.db") == 0 ? 0 : 1;
  });
  ASSERT_EQ(status, 0);
  ASSERT_EQ(callClose(first.bindings()), 0);

  const std::vector<Json> mine = linesOf(shared);
  ASSERT_EQ(mine.size(), 5u) << "the first process's record is whole, the earlier run's gone";
  EXPECT_EQ(mine[0]["process"], ::getpid());
  EXPECT_EQ(mine[1]["args"]["connection"], "file=first.db");
  EXPECT_EQ(mine[3]["fn"], "ZORVclose");
  EXPECT_EQ(modeOf(shared), 0600u);
  for (const auto& entry : fs::directory_iterator(shared.parent_path())) {
    if (entry.path() == shared) continue;
    const std::vector<Json> theirs = linesOf(entry.path());
    ASSERT_EQ(theirs.size(), 3u) << entry.path();
    secondId = theirs[0]["process"].get<pid_t>();
    EXPECT_EQ(entry.path().filename(), "session-" + std::to_string(secondId) + ".jsonl");
    EXPECT_EQ(theirs[1]["args"]["connection"], "file=second.db");
  }
  EXPECT_NE(secondId, 0) << "no record of the second process beside the first";
  fs::remove_all(shared.parent_path());
}

TEST(RecordFile, EndsWithAClosingLineOnlyWhenTheProcessEndsNormally) {
  for (const bool normally : {true, false}) {
    TracedFolder traced(normally ? "closing" : "abrupt", settingsFor("rec"));
    ASSERT_EQ(inChild([&] {
                callStatus(traced.bindings());
                if (normally) std::exit(0);
                ::_exit(0);
                return 0;
              }),
              0);
    const std::vector<Json> record = traced.record();
    ASSERT_EQ(record.size(), normally ? 4u : 3u);
    EXPECT_EQ(record.back().value("phase", ""), normally ? "end" : "return");
  }
}

// A tmpfs of 64 KiB fills after some calls: the record is cut back to its
// last whole line and marked, every call is still forwarded, and a replay
// refuses the record, naming the cut.
TEST(RecordFile, AFullDiskCutsTheRecordWhichSaysSoWhileCallsGoOn) {
  RecordingBridge fake;
  fake.reset();
  fake.fallback(7, std::string("1 row") + '\0');
  TracedFolder traced("full", settingsFor("disk/"));
  const fs::path disk = traced.folder() / "disk";
  fs::create_directories(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
    GTEST_SKIP() << "no small tmpfs to fill: " << std::strerror(errno);
  }
  struct Unmount {
    fs::path at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{disk};

  const std::string statement(1000, 's');
  std::vector<char> buffer(8193, '\0');
  for (int i = 0; i < 200; ++i) {
    ASSERT_EQ(callExec(traced.bindings(), statement.c_str(), buffer.data()), 7) << "call " << i;
    ASSERT_STREQ(buffer.data(), "1 row");
  }
  const fs::path record = fs::directory_iterator(disk)->path();
  const std::vector<Json> lines = linesOf(record);  // each whole, or this throws
  ASSERT_GT(lines.size(), 10u);
  ASSERT_LT(lines.size(), 200u);
  EXPECT_EQ(lines.back()["phase"], "cut");
  EXPECT_EQ(lines.back()["reason"], std::strerror(ENOSPC));

  const fs::path said = traced.folder() / "said";
  const std::string replay = std::string(ZORV_CHECK_PATH) + " --replay " + record.string() + " " +
                             ZORV_RECORDING_BRIDGE_PATH + " 2>" + said.string();
  const int status = std::system(replay.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 2) << replay;
  std::ifstream in(said);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  EXPECT_NE(text.find("line " + std::to_string(lines.size()) + ": the trace cut the record"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace zorv::trace::testing

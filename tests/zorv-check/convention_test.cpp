// The checker's judgement of calling conventions and decorated names: what a
// callee took off the stack must be told apart by its function's own
// argument bytes, and a decorated export must be found in every spelling a
// 32-bit compiler gives it.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "convention.h"

namespace {

using zorv::BridgeEntry;
using namespace zorv::check;

TEST(CheckerConvention, CleanupByArgumentBytes) {
  const struct {
    BridgeEntry entry;
    uint32_t taken;
    Cleanup expected;
  } cases[] = {
      {BridgeEntry::Exec, 8, Cleanup::Callee},   {BridgeEntry::Exec, 0, Cleanup::Caller},
      {BridgeEntry::Exec, 4, Cleanup::Neither},  {BridgeEntry::Exec, 12, Cleanup::Neither},
      {BridgeEntry::Login, 4, Cleanup::Callee},  {BridgeEntry::Login, 8, Cleanup::Neither},
      {BridgeEntry::Fetch, 0, Cleanup::Caller},  {BridgeEntry::FNames, 2, Cleanup::Neither},
      {BridgeEntry::Close, 0, Cleanup::Either},  {BridgeEntry::Close, 4, Cleanup::Neither},
      {BridgeEntry::Status, 0, Cleanup::Either},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(cleanupOf(c.entry, c.taken), c.expected)
        << zorv::bridgeEntryName(c.entry) << " taking off " << c.taken;
  }
}

// A function whose calls disagree fails; a wrong prototype's line names the
// argument count its bytes stand for, when they stand for one.
TEST(CheckerConvention, DisagreementAndWrongPrototype) {
  bool mixed = false;
  EXPECT_FALSE(conventionSentence(BridgeEntry::Exec, {5, 0, 0}, mixed).empty());
  EXPECT_FALSE(mixed);
  EXPECT_TRUE(conventionSentence(BridgeEntry::MsgGet, {2, 1, 0}, mixed).empty());
  EXPECT_TRUE(mixed);

  const std::string wrong = wrongCleanupSentence(BridgeEntry::Exec, 4, "1st call");
  EXPECT_NE(wrong.find("took 4 bytes off the stack on its 1st call"), std::string::npos) << wrong;
  EXPECT_NE(wrong.find("a stdcall function of 1 argument"), std::string::npos) << wrong;
  EXPECT_EQ(wrongCleanupSentence(BridgeEntry::Login, 6, "x").find("function of"),
            std::string::npos);
}

TEST(CheckerConvention, DecoratedExportsFound) {
  const struct {
    BridgeEntry entry;
    std::set<std::string> exports;
    const char* found;
  } cases[] = {
      {BridgeEntry::Login, {"ZORVlogin@4"}, "ZORVlogin@4"},
      {BridgeEntry::Login, {"_ZORVlogin@4"}, "_ZORVlogin@4"},
      {BridgeEntry::Exec, {"ZORVexec@8"}, "ZORVexec@8"},
      {BridgeEntry::Exec, {"ZORVexec@4"}, "ZORVexec@4"},
      {BridgeEntry::Exec, {"ZORVexec@4", "_ZORVexec@8"}, "_ZORVexec@8"},
      {BridgeEntry::Close, {"_ZORVclose@0"}, "_ZORVclose@0"},
      {BridgeEntry::Fetch, {"ZORVfetch", "ZORVfetch@", "ZORVfetchx@4", "ZORVlogin@4"}, ""},
      {BridgeEntry::Status, {}, ""},
  };
  for (const auto& c : cases) {
    const std::string found = decoratedExport(
        c.entry, [&](const std::string& name) { return c.exports.count(name) > 0; });
    EXPECT_EQ(found, c.found) << zorv::bridgeEntryName(c.entry);
  }
}

TEST(CheckerConvention, MissingEntrySentences) {
  const struct {
    BridgeEntry entry;
    const char* decorated;
    std::vector<const char*> says;
    std::vector<const char*> never;
  } cases[] = {
      {BridgeEntry::Fetch, "", {"(error 127: x)", "fails at its button"}, {".def", "only as"}},
      {BridgeEntry::Status, "", {"nothing calls it"}, {"error 127", ".def"}},
      {BridgeEntry::Login,
       "ZORVlogin@4",
       {"(error 127: x), only as ZORVlogin@4,", "fails at its button", ".def file"},
       {"declares it otherwise"}},
      {BridgeEntry::Exec, "_ZORVexec@8", {"only as _ZORVexec@8,", ".def file"}, {"otherwise"}},
      {BridgeEntry::Exec,
       "ZORVexec@4",
       {".def file", "otherwise than int32_t ZORVexec(const char* statement, char* buf)"},
       {}},
      {BridgeEntry::Status, "ZORVstatus@8", {"nothing calls it", ".def file", "otherwise"}, {}},
  };
  for (const auto& c : cases) {
    const std::string sentence = missingSentence(c.entry, "error 127: x", c.decorated);
    for (const char* part : c.says) EXPECT_NE(sentence.find(part), std::string::npos) << sentence;
    for (const char* part : c.never) EXPECT_EQ(sentence.find(part), std::string::npos) << sentence;
  }
}

}  // namespace

// --compare's page: whatever a record or a library wrote reaches the page as
// text, never as markup; the page fetches nothing; the summary names every
// function given a verdict worth a look; OLD's and NEW's answers are shown
// from one byte with their first difference marked; a plot of many calls
// keeps their range.
#include "compare_html.h"

#include <gtest/gtest.h>

#include <optional>

#include <regex>
#include <string>

#include "compare_answers.h"

namespace {

using namespace zorv::check;
using zorv::BridgeEntry;
using zorv::ReportLanguage;

struct Page {
  TraceRecord record;
  Comparison comparison;
};

Page pageWith(const std::string& text, const std::string& oldResult) {
  Page p;
  RecordedCall call;
  call.seq = 3;
  call.entry = BridgeEntry::Cursor;
  call.text = text;
  p.record.calls.push_back(call);
  p.comparison.calls = 1;
  p.comparison.differences.push_back({0, oldResult, "code 0"});
  p.comparison.brokenByNewAlone.push_back(
      {Verdict::Fail, "ZORVfetch", "inside-buffer", "wrote <b>byte</b> 8192"});
  Comparison::Speed speed;
  speed.entry = BridgeEntry::Fetch;
  speed.oldTimes = {1e-6, 2e-6};
  speed.newTimes = {3e-6};
  p.comparison.speeds.push_back(speed);
  return p;
}

TEST(CompareHtml, TextsAreEscapedAndNothingIsFetched) {
  // "表" in CP932: 95 5C, a trail byte that looks like a backslash.
  const Page p = pageWith("select '\x95\x5c' from t where a < 1 & b > \"2\"",
                          "answer \"<script>alert(1)</script>\"");
  const struct {
    ReportLanguage language;
    const char* lang;
    const char* heading;
  } cases[] = {{ReportLanguage::English, "en", "Behaviour differences"},
               {ReportLanguage::Japanese, "ja", "動作の違い"}};
  for (const auto& c : cases) {
    const std::string page = comparisonPage(p.record, p.comparison, false, "old/<x>.so", "new.so",
                                            c.language, "/*chart*/");
    SCOPED_TRACE(c.lang);
    EXPECT_NE(page.find(std::string("<html lang=\"") + c.lang + "\">"), std::string::npos);
    EXPECT_NE(page.find(c.heading), std::string::npos);
    EXPECT_NE(page.find("content=\"default-src 'none'"), std::string::npos);
    EXPECT_NE(page.find("select '表' from t where a &lt; 1 &amp; b &gt; &quot;2&quot;"),
              std::string::npos)
        << "the statement, decoded from CP932 and escaped";
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_EQ(page.find("<script>alert"), std::string::npos);
    EXPECT_EQ(page.find("<b>byte"), std::string::npos);
    EXPECT_EQ(page.find("<x>"), std::string::npos);
    // Links within the page only.
    EXPECT_FALSE(std::regex_search(page, std::regex(R"(src\s*=|href\s*=\s*"[^#]|url\(|@import)")));
    EXPECT_NE(page.find("<script>/*chart*/</script>"), std::string::npos);
    EXPECT_NE(page.find("\"f\":\"ZORVfetch\",\"old\":[1e-06,2e-06],\"new\":[3e-06]"),
              std::string::npos);
  }
}

// Every verdict in both languages: its words in its function's section, and
// a link from the summary for each verdict a reader must look at.
TEST(CompareHtml, SummaryNamesTheFunctionsOfEachVerdict) {
  const struct {
    BridgeEntry entry;
    SpeedChange change;
    const char* english;
    const char* japanese;
    bool inSummary;
  } rows[] = {
      {BridgeEntry::Login, SpeedChange::NoClearChange, "no clear change", "明らかな変化なし",
       false},
      {BridgeEntry::Cursor, SpeedChange::TooFewCalls, "too few calls to judge",
       "判定するには呼び出しが少なすぎる", false},
      {BridgeEntry::Fetch, SpeedChange::Slower, "slower", "遅くなった", true},
      {BridgeEntry::MsgGet, SpeedChange::SlowerAfterSlowerCall, "slower after a slower call",
       "遅い呼び出しの後で遅くなった", true},
      {BridgeEntry::Exec, SpeedChange::Undecided, "not enough rounds to say",
       "判定するには回数が足りない", true},
      {BridgeEntry::Close, SpeedChange::Faster, "faster", "速くなった", true},
  };
  Page p;
  p.comparison.calls = 6;
  for (const auto& row : rows) {
    Comparison::Speed speed;
    speed.entry = row.entry;
    speed.change = row.change;
    speed.oldMedian = 2.5e-6;
    speed.newMedian = 999.97e-9;
    speed.roundsNeeded = row.change == SpeedChange::Undecided ? 73 : 0;
    p.comparison.speeds.push_back(speed);
  }
  for (ReportLanguage language : {ReportLanguage::English, ReportLanguage::Japanese}) {
    const std::string page = comparisonPage(p.record, p.comparison, false, "a", "b", language, "");
    const size_t firstSection = page.find("<section class=\"function\"");
    ASSERT_NE(firstSection, std::string::npos);
    for (const auto& row : rows) {
      const std::string name = zorv::bridgeEntryName(row.entry);
      const char* word = language == ReportLanguage::English ? row.english : row.japanese;
      SCOPED_TRACE(name + " " + word);
      const size_t link = page.find("href=\"#" + name + "\"");
      EXPECT_EQ(link < firstSection, row.inSummary) << "linked from the summary";
      const size_t start = page.find("<section class=\"function\" id=\"" + name + "\">");
      ASSERT_NE(start, std::string::npos);
      const std::string section = page.substr(start, page.find("</section>", start) - start);
      EXPECT_TRUE(std::regex_search(
          section, std::regex("<span class=\"verdict[^\"]*\">" + std::string(word) + "</span>")))
          << "the verdict in its own section";
    }
    EXPECT_NE(page.find(" 73 "), std::string::npos) << "the rounds that would settle it";
    EXPECT_NE(page.find("2.5 µs"), std::string::npos);
    EXPECT_NE(page.find("1 µs"), std::string::npos) << "999.97 ns rounds up to the next unit";
    EXPECT_FALSE(std::regex_search(page, std::regex(R"(\d us\b)")));
  }
}

// OLD's and NEW's answers, kept as each run kept them, from one byte.
TEST(CompareHtml, AnswersAreAlignedOnTheirFirstDifference) {
  const std::string record = "0123456789abcdefghijklmnopqrstuvwxyzABCD";
  auto with = [](std::string text, size_t at, char byte) { return text.replace(at, 1, 1, byte); };
  // "abc", "表", fifteen "z": a difference at byte 20 shows from 3, not inside 表.
  const std::string kanji = "abc\x95\x5c" + std::string(15, 'z');
  const struct {
    const char* name;
    std::string recorded;
    std::string oldAnswer;  // "=" matched the record
    size_t oldFrom;         // its window's first byte; npos: not kept
    std::string newAnswer;
    size_t newFrom;
    bool codesOnly;
    size_t from;
    size_t firstDifference;
  } rows[] = {
      {"OldMatched", record, "=", 0, with(record, 30, '#'), 14, false, 14, 30},
      {"BothDiffer", record, with(record, 35, '#'), 19, with(record, 5, '#'), 0, false, 0, 5},
      {"NeverSplitsACharacter", kanji + "1", kanji + "2", 3, kanji + "3", 3, false, 3, 20},
      {"TrailByteDiffers", "ab\x95\x5c", "=", 0, "ab\x95\x5b", 0, false, 0, 3},
      {"NewIsLonger", record, "=", 0, record + "EF", 24, false, 24, 40},
      {"CodesOnly", record, "=", 0, with(record, 30, '#'), 14, true, 0,
       Comparison::Difference::kAlike},
      {"NewNotKept", record, with(record, 30, '#'), 14, with(record, 5, '#'), std::string::npos,
       false, 14, Comparison::Difference::kAlike},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    RecordedCall call;
    call.entry = BridgeEntry::Fetch;
    call.returned = true;
    call.answer = row.recorded;
    const std::string ending;
    // One build's result and the window its run kept, as a warm-up leaves them.
    struct Side {
      CallResult result;
      std::optional<AnswerWindow> window;
    };
    auto sideOf = [&](const std::string& answer, size_t from) {
      Side side;
      side.result.outcome = answer == "=" ? Outcome::Matched : Outcome::Differs;
      if (answer != "=" && from != std::string::npos) {
        AnswerWindow window;
        window.from = static_cast<uint32_t>(from);
        window.length = static_cast<uint32_t>(answer.size());
        answer.copy(window.bytes, AnswerWindow::kBytes, from);
        side.window = window;
      }
      return side;
    };
    const Side oldSide = sideOf(row.oldAnswer, row.oldFrom);
    const Side newSide = sideOf(row.newAnswer, row.newFrom);
    const auto window = [](const Side& side) { return side.window ? &*side.window : nullptr; };
    Comparison::Difference d;
    alignAnswers(call, {oldSide.result, window(oldSide), ending},
                 {newSide.result, window(newSide), ending}, row.codesOnly, d);
    EXPECT_EQ(d.from, row.from);
    EXPECT_EQ(d.firstDifference, row.firstDifference);
    const std::string oldWhole = row.oldAnswer == "=" ? row.recorded : row.oldAnswer;
    EXPECT_EQ(d.oldAnswer.kept, !row.codesOnly);
    if (d.oldAnswer.kept) {
      EXPECT_EQ(d.oldAnswer.bytes, oldWhole.substr(row.from));
    }
    EXPECT_EQ(d.newAnswer.kept, !row.codesOnly && row.newFrom != std::string::npos);
    if (d.newAnswer.kept) {
      EXPECT_EQ(d.newAnswer.bytes, row.newAnswer.substr(row.from));
    }
  }
}

TEST(CompareHtml, MarksTheWholeCharacterThatDiffers) {
  const struct {
    std::string bytes;
    size_t mark;
    const char* html;
  } rows[] = {
      {"ab\x95\x5c", 3, "ab<mark>表</mark>"},
      {"a\tb\x01<", 2,
       "a<span class=\"escape\">\\t</span><mark>b</mark>"
       "<span class=\"escape\">\\x01</span>&lt;"},
      {"ab", 2, "ab<mark class=\"end\"></mark>"},
      {"\x95", 0, "<mark>\xEF\xBF\xBD</mark>"},  // a lead byte alone: one replacement character
  };
  for (const auto& row : rows) EXPECT_EQ(cp932Html(row.bytes, row.mark), row.html) << row.html;
}

TEST(CompareHtml, PlottedTimesKeepTheRangeAndTheOrder) {
  std::vector<double> many;
  for (int i = 0; i < 10001; ++i) many.push_back((i * 7919) % 10001);  // a shuffle of 0..10000
  const std::vector<double> kept = plottedTimes(many, 101);
  ASSERT_EQ(kept.size(), 101u);
  EXPECT_EQ(kept.front(), 0);
  EXPECT_EQ(kept[50], 5000) << "the median stays";
  EXPECT_EQ(kept.back(), 10000);
  EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end()));
  EXPECT_EQ(plottedTimes({3, 1, 2}, 101), (std::vector<double>{1, 2, 3}));
}

}  // namespace

// --compare's page: whatever a record or a library wrote reaches the page as
// text, never as markup; the page fetches nothing; a plot of many calls keeps
// their range.
#include "compare_html.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace {

using namespace zorv::check;

struct Page {
  TraceRecord record;
  Comparison comparison;
};

Page pageWith(const std::string& text, const std::string& oldResult) {
  Page p;
  RecordedCall call;
  call.seq = 3;
  call.entry = zorv::BridgeEntry::Cursor;
  call.text = text;
  p.record.calls.push_back(call);
  p.comparison.calls = 1;
  p.comparison.differences.push_back({0, oldResult, "code 0"});
  p.comparison.brokenByNewAlone.push_back(
      {Verdict::Fail, "ZORVfetch", "inside-buffer", "wrote <b>byte</b> 8192"});
  Comparison::Speed speed;
  speed.entry = zorv::BridgeEntry::Fetch;
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
    zorv::ReportLanguage language;
    const char* lang;
    const char* heading;
  } cases[] = {{zorv::ReportLanguage::English, "en", "Behaviour differences"},
               {zorv::ReportLanguage::Japanese, "ja", "動作の違い"}};
  for (const auto& c : cases) {
    const std::string page = comparisonPage(p.record, p.comparison, false, "old/<x>.so",
                                            "new.so", c.language, "/*chart*/");
    SCOPED_TRACE(c.lang);
    EXPECT_NE(page.find(std::string("<html lang=\"") + c.lang + "\">"), std::string::npos);
    EXPECT_NE(page.find(c.heading), std::string::npos);
    EXPECT_NE(page.find("content=\"default-src 'none'"), std::string::npos);
    EXPECT_NE(page.find("select '表' from t where a &lt; 1 &amp; b &gt; \\&quot;2\\&quot;"),
              std::string::npos)
        << "the statement, decoded from CP932 and escaped";
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_EQ(page.find("<script>alert"), std::string::npos);
    EXPECT_EQ(page.find("<b>byte"), std::string::npos);
    EXPECT_EQ(page.find("<x>"), std::string::npos);
    EXPECT_FALSE(std::regex_search(page, std::regex(R"((src|href)\s*=|url\(|@import)")));
    EXPECT_NE(page.find("<script>/*chart*/</script>"), std::string::npos);
    EXPECT_NE(page.find("\"f\":\"ZORVfetch\",\"old\":[1e-06,2e-06],\"new\":[3e-06]"),
              std::string::npos);
  }
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

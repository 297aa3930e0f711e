// A cursor over a million rows: every row arrives and the library's memory
// stays bounded, read straight through and after Exec moved it client-side.
#include <algorithm>
#include <string>

#include "engine_fixture.h"

namespace {

constexpr long kMillion = 1000000;
constexpr long kBoundBytes = 32L * 1024 * 1024;
#if defined(__SANITIZE_ADDRESS__)
// The sanitizer keeps freed memory in quarantine, so resident memory says
// nothing about the library's own use there.
constexpr bool kMemoryIsMeasurable = false;
#else
constexpr bool kMemoryIsMeasurable = true;
#endif

class LargeCursor : public EngineFixture {
 protected:
  std::string rowsQuery(long rows) const {
    return seriesQuery(engine(), rows,
                       dialect("x, 'name ' || x, x * 0.5, datetime(x, 'unixepoch')",
                               "x, 'name ' || x, x * 0.5, to_timestamp(x)::timestamp"));
  }

  // Fetches rows from..to, checking each row's first field; the peak growth
  // of resident memory over `baseline` seen meanwhile.
  long fetchRange(long from, long to, long baseline) {
    long peak = 0;
    AnswerBuffer buffer;
    for (long x = from; x <= to; ++x) {
      const int32_t code = lib().fetch(buffer.data());
      if (code != 0) {
        ADD_FAILURE() << "row " << x << ": code " << code << ": " << callMsgGet();
        return peak;
      }
      const std::string text = buffer.text();
      if (text.compare(0, text.find('\t'), std::to_string(x)) != 0) {
        ADD_FAILURE() << "row " << x << " reads " << text;
        return peak;
      }
      if (x % 25000 == 0) peak = std::max(peak, residentBytes() - baseline);
    }
    return peak;
  }
};

TEST_P(LargeCursor, MillionRowsWithBoundedMemory) {
  const long baseline = residentBytes();
  ASSERT_EQ(lib().cursor(rowsQuery(kMillion).c_str()), 0) << callMsgGet();
  const long peak = fetchRange(1, kMillion, baseline);
  EXPECT_EQ(callFetch(), (Answer{100, ""}));
  if (kMemoryIsMeasurable) {
    EXPECT_LT(peak, kBoundBytes) << "resident memory grew by " << peak << " bytes";
  }
}

TEST_P(LargeCursor, ExecMidwayKeepsEveryRowAndBoundedMemory) {
  run("CREATE TABLE t (id INTEGER)");
  const long baseline = residentBytes();
  const long rows = 300000;
  ASSERT_EQ(lib().cursor(rowsQuery(rows).c_str()), 0) << callMsgGet();
  long peak = fetchRange(1, 10, baseline);
  ASSERT_EQ(callExec("INSERT INTO t VALUES (1)"), (Answer{0, "1"}));
  EXPECT_EQ(directCount("SELECT count(*) FROM t"), 1);
  peak = std::max(peak, fetchRange(11, rows, baseline));
  EXPECT_EQ(callFetch(), (Answer{100, ""}));
  if (kMemoryIsMeasurable) {
    EXPECT_LT(peak, kBoundBytes) << "resident memory grew by " << peak << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, LargeCursor, ZORV_ALL_ENGINES,
                         engineParamName);

}  // namespace

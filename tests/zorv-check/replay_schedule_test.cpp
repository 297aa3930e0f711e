#include "replay_schedule.h"

#include <gtest/gtest.h>

#include <sstream>

#include "divergence.h"

namespace zorv::check {
namespace {

// Expected values from Python's calendar.timegm, not from the code under test.
TEST(RecordTime, ReadsUtcTimesAndRefusesOtherForms) {
  const struct {
    const char* text;
    std::optional<int64_t> micros;
  } cases[] = {
      {"2026-12-08T12:00:01.000042Z", 1796731201000042},
      {"2024-02-29T23:59:59.5Z", 1709251199500000},
      {"1969-12-31T23:59:59Z", -1000000},
      {"2100-03-01T00:00:00.000000Z", 4107542400000000},
      {"2026-12-08T12:00:01.0000001Z", std::nullopt},  // finer than microseconds
      {"2026-12-08T12:00:01.000042", std::nullopt},    // no zone
      {"2026-12-08 12:00:01Z", std::nullopt},
      {"2026-13-08T12:00:01Z", std::nullopt},
      {"2026-12-08T12:00:01.Z", std::nullopt},
      {"2026-12-08T12:0a:01Z", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(recordTimeMicros(c.text), c.micros) << c.text;
}

TraceRecord recordOf(const std::string& lines) {
  std::istringstream in(
      R"({"format":"zorv-trace","version":1,"started":"2026-12-08T12:00:00.000000Z"})"
      "\n" +
      lines);
  return readTraceRecord(in);
}

std::string callAt(int seq, const char* time) {
  std::string line = R"({"seq":)" + std::to_string(seq) + R"(,"phase":"call","fn":"ZORVclose",)";
  if (time) line += R"("time":")" + std::string(time) + R"(",)";
  return line + R"("thread":7,"args":{}})" + "\n" + R"({"seq":)" + std::to_string(seq) +
         R"(,"phase":"return","fn":"ZORVclose","micros":12,"code":0})" + "\n";
}

// Offsets from the set's origin, divided by the pace; a call without a time
// or before the origin keeps the offset before it.
TEST(Schedule, KeepsRecordedGapsScaledByThePace) {
  const TraceRecord record =
      recordOf(callAt(1, "2026-12-08T12:00:01.000000Z") + callAt(2, nullptr) +
               callAt(3, "2026-12-08T12:00:03.000000Z") + callAt(4, "2026-12-08T11:59:00.000000Z"));
  ASSERT_EQ(record.started, 1796731200000000);
  EXPECT_EQ(record.calls[0].thread, 7u);
  EXPECT_EQ(record.calls[0].micros, 12);
  const int64_t origin = *record.started - 500000;  // another record started 0.5 s earlier
  EXPECT_EQ(originOf({&record}), *record.started);
  const std::vector<int64_t> recorded = {1'500'000'000, 1'500'000'000, 3'500'000'000,
                                         3'500'000'000};
  EXPECT_EQ(scheduleOf(record, origin, 1), recorded);
  EXPECT_EQ(scheduleOf(record, origin, 4),
            (std::vector<int64_t>{375'000'000, 375'000'000, 875'000'000, 875'000'000}));
  EXPECT_EQ(scheduleOf(record, origin, 0.5),
            (std::vector<int64_t>{3'000'000'000, 3'000'000'000, 7'000'000'000, 7'000'000'000}));
}

// Each differing call in one class; a failure repeated, or a message that
// differs only in its numbers, matches (in the child, so Matched here).
TEST(Divergence, PutsEachDifferingCallInOneClass) {
  auto call = [](BridgeEntry entry, int32_t code) {
    RecordedCall c;
    c.entry = entry;
    c.code = code;
    c.returned = true;
    return c;
  };
  TraceRecord record;
  record.calls = {call(BridgeEntry::Fetch, 100),  call(BridgeEntry::Cursor, 0),
                  call(BridgeEntry::Fetch, 0),    call(BridgeEntry::Fetch, 100),
                  call(BridgeEntry::Fetch, 0),    call(BridgeEntry::Fetch, 0),
                  call(BridgeEntry::MsgGet, 0),   call(BridgeEntry::Exec, -4),
                  call(BridgeEntry::Status, 1),   call(BridgeEntry::Close, 0),
                  call(BridgeEntry::FNames, 0)};
  ReplayRun run;
  auto result = [](Outcome outcome, int32_t code) {
    CallResult r;
    r.outcome = outcome;
    r.code = code;
    return r;
  };
  run.results = {result(Outcome::Differs, 0),       // no cursor before it: a code
                 result(Outcome::Matched, 0),
                 result(Outcome::Differs, 100),     // the end where the record had a row
                 result(Outcome::Differs, 0),       // a row where it had the end
                 result(Outcome::Differs, -3),      // a failure, no end: a code
                 result(Outcome::Differs, 0),       // another row
                 result(Outcome::Differs, 0),
                 result(Outcome::Matched, -4),
                 result(Outcome::NotExported, 0),
                 result(Outcome::Running, 0),
                 result(Outcome::NotRun, 0)};
  const std::vector<Divergence> expected = {
      Divergence::Code,    Divergence::None,   Divergence::Rows, Divergence::Rows,
      Divergence::Code,    Divergence::Answer, Divergence::Message, Divergence::None,
      Divergence::Code,    Divergence::Crash,  Divergence::NotRun};
  EXPECT_EQ(classify(record, run), expected);
  run.timedOut = true;
  EXPECT_EQ(classify(record, run)[9], Divergence::Hang);

  DivergenceCounts counts;
  for (Divergence d : classify(record, run)) counts.add(d);
  EXPECT_EQ(countsText(counts), "2 matched, 8 differed (3 code, 1 answer, 1 message, 2 rows, 0 crash, 1 hang)");
  EXPECT_EQ(counts.notRun, 1u);
}

}  // namespace
}  // namespace zorv::check

namespace zorv::check {
namespace {

TEST(Divergence, MessagesAlikeButForTheirNumbers) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"Process 4711 waits for ShareLock on transaction 812; blocked by process 4712.",
       "Process 90 waits for ShareLock on transaction 1000004; blocked by process 91.", true},
      {"deadlock detected", "deadlock detected", true},
      {"row 1", "row x", false},
      {"error 12", "error 12 ", false},
      {"error 12", "error", false},
      {"12", "", false},
      {"\x95\x5C 3", "\x95\x5C 45", true},  // 表 then a number
      {"\x95\x5C", "\x95\x31", false},       // a lead byte before another trail byte
  };
  for (const auto& c : cases) EXPECT_EQ(sameButNumbers(c.a, c.b), c.same) << c.a << " | " << c.b;
}

}  // namespace
}  // namespace zorv::check

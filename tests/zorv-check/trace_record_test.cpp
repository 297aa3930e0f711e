#include "trace_record.h"

#include <gtest/gtest.h>

#include <sstream>

namespace zorv::check {
namespace {

const std::string kHeader = R"({"format":"zorv-trace","version":1,"library":"/b/libzorv.so"})";

TraceRecord read(const std::string& lines) {
  std::istringstream in(kHeader + "\n" + lines);
  return readTraceRecord(in);
}

TEST(TraceRecord, GivesBackTheExactBytes) {
  const TraceRecord record = read(
      R"({"seq":2,"phase":"call","fn":"ZORVexec","args":{"statement":"select ソ表\t","buffer_in":{"hex":"8180FF00"}}})"
      "\r\n"
      R"({"seq":1,"phase":"call","fn":"ZORVlogin","args":{"connection":"password=********"},"masked":true})"
      "\n\n"
      R"({"seq":2,"phase":"return","fn":"ZORVexec","code":-7,"answer":{"hex":"955c"},"answer_terminated":true})"
      "\n"
      R"({"seq":1,"phase":"return","fn":"ZORVlogin","code":2147483647})"
      "\n");
  ASSERT_EQ(record.calls.size(), 2u);
  EXPECT_EQ(record.library, "/b/libzorv.so");
  const RecordedCall& login = record.calls[0];  // seq order, not line order
  EXPECT_EQ(login.seq, 1u);
  EXPECT_EQ(login.line, 3u);
  EXPECT_TRUE(login.masked);
  EXPECT_EQ(login.code, 2147483647);
  const RecordedCall& exec = record.calls[1];
  EXPECT_EQ(exec.text, "select \x83\x5C\x95\x5C\t");  // ソ and 表, trail bytes 0x5C
  EXPECT_EQ(exec.bufferIn, std::string("\x81\x80\xFF\0", 4));
  EXPECT_EQ(exec.code, -7);
  EXPECT_EQ(exec.answer, "\x95\x5C");
  EXPECT_FALSE(record.endsUnfinished());
}

TEST(TraceRecord, StopsAtTheFirstCallThatNeverReturned) {
  const TraceRecord record = read(R"({"seq":1,"phase":"call","fn":"ZORVclose","args":{}})"
                                  "\n"
                                  R"({"seq":2,"phase":"call","fn":"ZORVstatus","args":{}})"
                                  "\n"
                                  R"({"seq":2,"phase":"return","fn":"ZORVstatus","code":0})"
                                  "\n");
  ASSERT_EQ(record.calls.size(), 1u);
  EXPECT_TRUE(record.endsUnfinished());
  EXPECT_EQ(record.laterCalls, 1u);
}

// Each damaged record names the line and what is wrong with it.
TEST(TraceRecord, RefusesWhatIsNotVersionOne) {
  const std::string call = R"({"seq":1,"phase":"call","fn":"ZORVfetch","args":{"buffer_in":""}})";
  const struct {
    std::string text;
    size_t line;
    std::string says;
  } cases[] = {
      {"", 1, "empty"},
      {R"({"format":"other","version":1})", 1, "not a zorv-trace record"},
      {R"({"format":"zorv-trace","version":2})", 1, "version 2"},
      {kHeader + "\n" + call + "\n{\"seq\":1,", 3, "not a JSON line"},
      {kHeader + "\n" + R"({"seq":1,"phase":"return","fn":"ZORVfetch","code":0})", 2,
       "has no call line"},
      {kHeader + "\n" + call + "\n" + call, 3, "a second call line"},
      {kHeader + "\n" + call + "\n" + R"({"seq":1,"phase":"return","fn":"ZORVmsgget","code":0})", 3,
       "names ZORVmsgget"},
      {kHeader + "\n" + R"({"seq":0,"phase":"call","fn":"ZORVclose","args":{}})", 2, "\"seq\""},
      {kHeader + "\n" + R"({"seq":1,"phase":"call","fn":"ZORVopen","args":{}})", 2, "ZORVopen"},
      {kHeader + "\n" + R"({"seq":1,"phase":"call","fn":"ZORVfetch","args":{}})", 2, "buffer_in"},
      {kHeader + "\n" +
           R"({"seq":1,"phase":"call","fn":"ZORVcursor","args":{"statement":{"hex":"8"}}})",
       2, "odd hex"},
      {kHeader + "\n" + R"({"seq":1,"phase":"call","fn":"ZORVcursor","args":{"statement":"é"}})", 2,
       "no CP932 form"},
      {kHeader + "\n" + call + "\n" +
           R"({"seq":1,"phase":"return","fn":"ZORVfetch","code":2147483648,"answer":"","answer_terminated":true})",
       3, "out of range"},
      {kHeader + "\n" + call + "\n" +
           R"({"seq":1,"phase":"return","fn":"ZORVfetch","code":0,"answer":"x","answer_terminated":false})",
       3, "all 8192 bytes"},
      {kHeader + "\n" + call + "\n" +
           R"({"seq":3,"phase":"call","fn":"ZORVclose","args":{}})",
       3, "a call line is missing"},
      {kHeader + "\n" + call + "\n" +
           R"({"phase":"cut","calls":1,"reason":"No space left on device"})",
       3, "cut the record here, having lost lines: No space left on device"},
      {kHeader + "\n" + R"({"phase":"end","calls":0})" + "\n" + call, 3,
       "after the record's closing line"},
      {kHeader + "\n" + call + "\n" +
           R"({"seq":1,"phase":"return","fn":"ZORVfetch","code":0,"micros":-5,"answer":"","answer_terminated":true})",
       3, "\"micros\" is out of range"},
      {kHeader + "\n" + call + "\n" + R"({"phase":"end","calls":2})", 3,
       "the closing line counts 2 calls, the record holds 1"},
      // Refused at the limit (here 200 bytes), before the rest is read.
      {kHeader + "\n" + call + "\n" + std::string(300, ' ') + "\n", 3, "longer than 200 bytes"},
      {std::string(201, ' '), 1, "longer than 200 bytes"},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.text);
    try {
      readTraceRecord(in, 200);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const RecordError& error) {
      EXPECT_EQ(error.line(), c.line) << error.what();
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos)
          << error.what() << " does not say " << c.says;
    }
  }
}

}  // namespace
}  // namespace zorv::check

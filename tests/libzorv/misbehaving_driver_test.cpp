// The ODBC engine against a driver that breaks one promise at a time: every
// case ends in the code the table names with a message that says what the
// driver did, no row the driver did not write, the connection kept or
// dropped as the fault deserves, bounded memory at its peak, and every
// insert Exec reported done committed.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "test_engine.h"
#include "zorv_library.h"

namespace {

struct Misbehaviour {
  const char* name;
  const char* mode;
  const char* driverName;  // what SQL_DRIVER_NAME answers; empty for the fake's own
  // Every call's code in order: the Cursor, each Fetch until the first code
  // other than 0 and 1, then three insert Execs. A connection wrongly kept
  // or wrongly dropped shows in the Execs.
  const char* codes;
  const char* message;  // a part of the message of the first code below 0, or of a cut
  const char* cursor = "SELECT id, name FROM t";
};

void PrintTo(const Misbehaviour& c, std::ostream* out) { *out << c.name; }

const Misbehaviour kCases[] = {
    {"none", "none", "", "Cursor 0, Fetch 0 0 0 100, Exec 0 0 0", ""},
    {"negative_length", "negative_length", "", "Cursor 0, Fetch 0 -4, Exec 0 0 0",
     "the ODBC driver returned an invalid length (-5) for column 2"},
    {"min_length", "min_length", "", "Cursor 0, Fetch -4, Exec 0 0 0",
     sizeof(void*) == 8 ? "invalid length (-9223372036854775808) for column 1"
                        : "invalid length (-2147483648) for column 1"},
    {"overfetch", "overfetch", "", "Cursor 0, Fetch -4, Exec 0 0 0",
     "the ODBC driver reported 2000 rows fetched into an array of 1000"},
    {"bad_status", "bad_status", "", "Cursor 0, Fetch 0 -4, Exec 0 0 0",
     "the ODBC driver returned an invalid row status (77) for row 2"},
    {"many_diag", "many_diag", "", "Cursor -4, Exec -4 -4 -4", "further diagnostic records were not read"},
    {"huge_value", "huge_value", "", "Cursor 0, Fetch 1 0 0 100, Exec 0 0 0", ""},
    {"no_total", "no_total", "", "Cursor 0, Fetch 1 0 0 100, Exec 0 0 0", ""},
    {"bad_describe", "bad_describe", "", "Cursor -4, Exec 0 0 0",
     "the ODBC driver returned an invalid name length (-7) for column 1"},
    {"autocommit_fails", "autocommit_fails", "psqlodbcw.so", "Cursor 0, Fetch 0 0 0 -3, Exec -1 -1 -1",
     "could not switch autocommit back on"},
    // A driver nothing can hold to read-only: a statement that writes is refused.
    {"writing_cursor_refused", "none", "", "Cursor -4, Exec 0 0 0",
     "this ODBC driver cannot keep a cursor read-only", "INSERT INTO t VALUES (0) RETURNING id"},
};

// Growth of resident memory a case may cause at its peak; a driver's claims
// reach gigabytes.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemoryBound = 512L << 20;  // freed memory stays in the sanitizer's quarantine
#else
constexpr long kMemoryBound = 64L << 20;
#endif

const std::vector<std::string> kRows = {"1\tone", "2\ttwo", "3\tthree"};

class MisbehavingDriver : public ::testing::TestWithParam<Misbehaviour> {};

TEST_P(MisbehavingDriver, FailsWithTheDriversFaultAndLosesNoReportedWrite) {
  const Misbehaviour& c = GetParam();
  usePrivateOdbcSettings();
  const std::string committedFile = tempPath(std::string("zorv_misbehaving_") + c.name);
  std::remove(committedFile.c_str());
  std::string text = std::string("odbc='Driver=") + ZORV_MISBEHAVING_ODBC_DRIVER + ";Mode=" + c.mode +
                     ";Database=" + hostPath(committedFile);
  if (*c.driverName != '\0') text += std::string(";Name=") + c.driverName;
  ZorvLibrary& lib = ZorvLibrary::instance();
  const long residentBefore = residentBytes();
  resetResidentPeak();
  ASSERT_EQ(lib.login((text + "'").c_str()), 0) << callMsgGet();

  std::string codes;
  std::string message;
  auto note = [&](int32_t result) {
    codes += " " + std::to_string(result);
    if (message.empty() && result != 0 && result != 100) message = callMsgGet();
    return result;
  };
  codes = "Cursor";
  size_t read = 0;
  if (note(lib.cursor(c.cursor)) == 0) {
    codes += ", Fetch";
    for (int i = 0; i < 10; ++i) {
      const Answer row = callFetch();
      if (note(row.code) != 0 && row.code != 1) break;
      ASSERT_LT(read, kRows.size()) << "a row the driver never wrote: " << row.text;
      const std::string& expected = kRows[read++];
      if (row.code == 0) {
        EXPECT_EQ(row.text, expected);
      } else {
        // Cut: the row's start, then the streamed value as far as the answer holds.
        EXPECT_EQ(row.text.size(), size_t{ZORV_ANSWER_CAPACITY - 1}) << "a cut answer not filled";
        EXPECT_EQ(row.text.substr(0, 2), expected.substr(0, 2));
        EXPECT_EQ(row.text.find_first_not_of('x', 2), std::string::npos) << "not the driver's value";
      }
    }
  }
  codes += ", Exec";
  int reportedDone = 0;
  for (int i = 0; i < 3; ++i) reportedDone += note(callExec("INSERT INTO t VALUES (1)").code) == 0;
  lib.close();

  EXPECT_EQ(codes, c.codes) << message;
  EXPECT_NE(message.find(c.message), std::string::npos) << message;
  std::ifstream committed(committedFile);
  int lines = 0;
  for (std::string line; std::getline(committed, line);) ++lines;
  EXPECT_EQ(lines, reportedDone) << "inserts reported done but not committed";
  EXPECT_LT(residentPeakBytes() - residentBefore, kMemoryBound) << "memory grew with the driver's claims";
  std::remove(committedFile.c_str());
}

INSTANTIATE_TEST_SUITE_P(Modes, MisbehavingDriver, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Misbehaviour>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

// The ODBC engine against a driver that breaks one promise at a time: every
// case ends in the code the table names with a message that says what the
// driver did, no row the driver did not write, bounded memory, and every
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
  const char* mode;
  const char* driverName;  // what SQL_DRIVER_NAME answers; empty for the fake's own
  int32_t code;            // the first code other than 0 and 100 in the run
  const char* message;     // a part of the message that code left
  const char* cursor = "SELECT id, name FROM t";
};

void PrintTo(const Misbehaviour& c, std::ostream* out) { *out << c.mode; }

const Misbehaviour kCases[] = {
    {"none", "", 0, ""},
    {"negative_length", "", -4, "the ODBC driver returned an invalid length (-5) for column 2"},
    {"min_length", "", -4,
     sizeof(void*) == 8 ? "invalid length (-9223372036854775808) for column 1"
                        : "invalid length (-2147483648) for column 1"},
    {"overfetch", "", -4, "the ODBC driver reported 2000 rows fetched into an array of 1000"},
    {"bad_status", "", -4, "the ODBC driver returned an invalid row status (77) for row 2"},
    {"many_diag", "", -4, "further diagnostic records were not read"},
    {"huge_value", "", 1, "cut"},
    {"no_total", "", 1, "cut"},
    {"bad_describe", "", -4, "the ODBC driver returned an invalid name length (-7) for column 1"},
    {"autocommit_fails", "psqlodbcw.so", -3, "could not switch autocommit back on"},
    // A driver nothing can hold to read-only: a statement that writes is refused.
    {"none", "", -4, "this ODBC driver cannot keep a cursor read-only",
     "INSERT INTO t VALUES (0) RETURNING id"},
};

// Growth of resident memory a case may cause; a driver's claims reach gigabytes.
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
  const std::string committedFile = tempPath(std::string("zorv_misbehaving_") + c.mode);
  std::remove(committedFile.c_str());
  std::string text = std::string("odbc='Driver=") + ZORV_MISBEHAVING_ODBC_DRIVER + ";Mode=" + c.mode +
                     ";Database=" + hostPath(committedFile);
  if (*c.driverName != '\0') text += std::string(";Name=") + c.driverName;
  ZorvLibrary& lib = ZorvLibrary::instance();
  const long residentBefore = residentBytes();
  ASSERT_EQ(lib.login((text + "'").c_str()), 0) << callMsgGet();

  // A cursor read to its end, then three inserts: the first code other than
  // 0 and 100 is the outcome.
  int32_t code = 0;
  std::string message;
  auto note = [&](int32_t result, const char* call) {
    if (code == 0 && result != 0 && result != 100) {
      code = result;
      message = std::string(call) + ": " + callMsgGet();
    }
    return result;
  };
  size_t read = 0;
  if (note(lib.cursor(c.cursor), "Cursor") >= 0) {
    for (int i = 0; i < 10; ++i) {
      const Answer row = callFetch();
      if (note(row.code, "Fetch") < 0 || row.code == 100) break;
      ASSERT_LT(read, kRows.size()) << "a row the driver never wrote: " << row.text;
      const std::string& expected = kRows[read++];
      EXPECT_EQ(row.text.substr(0, row.code == 1 ? 2 : std::string::npos),
                row.code == 1 ? expected.substr(0, 2) : expected);
    }
  }
  int reportedDone = 0;
  for (int i = 0; i < 3; ++i) reportedDone += note(callExec("INSERT INTO t VALUES (1)").code, "Exec") == 0;
  lib.close();

  EXPECT_EQ(code, c.code) << message;
  EXPECT_NE(message.find(c.message), std::string::npos) << message;
  std::ifstream committed(committedFile);
  int lines = 0;
  for (std::string line; std::getline(committed, line);) ++lines;
  EXPECT_EQ(lines, reportedDone) << "inserts reported done but not committed";
  EXPECT_LT(residentBytes() - residentBefore, kMemoryBound) << "memory grew with the driver's claims";
  std::remove(committedFile.c_str());
}

INSTANTIATE_TEST_SUITE_P(Modes, MisbehavingDriver, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Misbehaviour>& info) {
                           return std::string(info.param.mode) +
                                  (*info.param.cursor == 'I' ? "_writing_cursor" : "");
                         });

}  // namespace

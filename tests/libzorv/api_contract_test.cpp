// The library's contract through its eight exported functions, for both
// engines: result codes, answers byte for byte, CP932 handling, cutting.
#include <string>
#include <vector>

#include "engine_fixture.h"

namespace {

class ApiContract : public EngineFixture {
 protected:
  void makeTable() {
    run("CREATE TABLE t (id INTEGER, name TEXT)");
    run("INSERT INTO t VALUES (1, 'one'), (2, 'two')");
  }
  long rowsOfT() { return directCount("SELECT count(*) FROM t"); }
};

// The largest prefix length of `full` that is at most `limit` bytes and ends
// at a character boundary of the CP932 text (ASCII or lead+trail pairs).
size_t boundaryPrefix(const std::string& full, size_t limit) {
  size_t at = 0;
  while (at < full.size()) {
    const auto byte = static_cast<unsigned char>(full[at]);
    const size_t width = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC) ? 2 : 1;
    if (at + width > limit) break;
    at += width;
  }
  return at;
}

std::string repeat(const std::string& unit, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += unit;
  return text;
}

TEST_P(ApiContract, StatusFollowsConnectionAndCursor) {
  makeTable();
  EXPECT_EQ(lib().status(), 1);
  ASSERT_EQ(lib().cursor("SELECT id FROM t"), 0) << callMsgGet();
  EXPECT_EQ(lib().status(), 2);
  EXPECT_EQ(lib().close(), 0);
  EXPECT_EQ(lib().status(), 0);
}

TEST_P(ApiContract, CallsWithoutConnectionAnswerNotConnected) {
  ASSERT_EQ(lib().close(), 0);
  EXPECT_EQ(lib().close(), -1);
  EXPECT_EQ(lib().cursor("SELECT 1"), -1);
  EXPECT_EQ(callFetch().code, -1);
  EXPECT_EQ(callFnames().code, -1);
  const Answer exec = callExec("SELECT 1");
  EXPECT_EQ(exec.code, -1);
  EXPECT_EQ(exec.text, "");
  EXPECT_NE(callMsgGet(), "");
  // A text that is not CP932 is reported before the missing connection.
  EXPECT_EQ(callExec("SELECT '\x83'").code, -6);
  EXPECT_EQ(lib().cursor("SELECT '\x83'"), -6);
}

TEST_P(ApiContract, CallsWithoutCursorAnswerNoCursor) {
  EXPECT_EQ(callFetch(), (Answer{-2, ""}));
  EXPECT_EQ(callFnames(), (Answer{-2, ""}));
  EXPECT_NE(callMsgGet(), "");
}

TEST_P(ApiContract, ExecAnswersRowsAndChangeCounts) {
  struct Case {
    std::string statement;
    std::string answer;
  };
  const std::vector<Case> cases = {
      {"CREATE TABLE t (id INTEGER, name TEXT, note TEXT)", "0"},
      {"INSERT INTO t VALUES (1, 'a', NULL), (2, 'tab\there', 'line\nbreak'), (3, '', 'x')", "3"},
      {"SELECT id, name, note FROM t ORDER BY id",
       "id\tname\tnote\r\n1\ta\t\r\n2\ttab\there\tline\nbreak\r\n3\t\tx\r\n"},
      {"UPDATE t SET note = 'y' WHERE id >= 2", "2"},
      {"DELETE FROM t WHERE id = 99", "0"},
      {"SELECT id FROM t WHERE id > 99", "id\r\n"},
      {"CREATE INDEX t_id ON t (id)", "0"},
      {"DELETE FROM t WHERE id = 1", "1"},
      {"DROP TABLE t", "0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(callExec(c.statement), (Answer{0, c.answer})) << c.statement;
    EXPECT_EQ(callMsgGet(), "") << c.statement;
  }
}

TEST_P(ApiContract, JapaneseTextWithBackslashTrailBytesRoundTrips) {
  const std::string column = "\x96\xBC" + kHyo;  // 名表
  const std::string values[] = {kSo + kHyo + kNou + kYo + kShin,
                                "C:\\dir\\" + kHyo + "\\" + kSo + "\\x", kSo + "'" + kSo};
  run("CREATE TABLE " + kHyo + " (id INTEGER, " + column + " TEXT)");
  for (size_t i = 0; i < std::size(values); ++i) {
    std::string literal;
    for (char c : values[i]) literal += c == '\'' ? std::string("''") : std::string(1, c);
    run("INSERT INTO " + kHyo + " VALUES (" + std::to_string(i) + ", '" + literal + "')");
  }

  const std::string query = "SELECT " + column + " FROM " + kHyo + " ORDER BY id";
  EXPECT_EQ(callExec(query),
            (Answer{0, column + "\r\n" + values[0] + "\r\n" + values[1] + "\r\n" + values[2] + "\r\n"}));
  ASSERT_EQ(lib().cursor(query.c_str()), 0) << callMsgGet();
  EXPECT_EQ(callFnames(), (Answer{0, column}));
  for (const auto& value : values) EXPECT_EQ(callFetch(), (Answer{0, value}));
  EXPECT_EQ(callFetch(), (Answer{100, ""}));

  // The text also survives as a filter, so it reached the database intact.
  ASSERT_EQ(lib().cursor(("SELECT id FROM " + kHyo + " WHERE " + column + " = '" + values[1] + "'").c_str()), 0);
  EXPECT_EQ(callFetch(), (Answer{0, "1"}));
}

TEST_P(ApiContract, CursorWalksRowsThenAnswersNoMoreRows) {
  run("CREATE TABLE t (id INTEGER, name TEXT)");
  run("INSERT INTO t VALUES (1, 'a'), (2, NULL), (3, 'c\td')");
  ASSERT_EQ(lib().cursor("SELECT id, name FROM t ORDER BY id"), 0) << callMsgGet();
  EXPECT_EQ(callMsgGet(), "");
  EXPECT_EQ(callFnames(), (Answer{0, "id\tname"}));
  EXPECT_EQ(callFetch(), (Answer{0, "1\ta"}));
  EXPECT_EQ(callFetch(), (Answer{0, "2\t"}));
  EXPECT_EQ(callFetch(), (Answer{0, "3\tc\td"}));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(callFetch(), (Answer{100, ""}));
    EXPECT_EQ(lib().status(), 2);
  }
  EXPECT_EQ(callFnames(), (Answer{0, "id\tname"}));
  // A new cursor replaces the finished one.
  ASSERT_EQ(lib().cursor("SELECT name FROM t WHERE id = 1"), 0);
  EXPECT_EQ(callFnames(), (Answer{0, "name"}));
  EXPECT_EQ(callFetch(), (Answer{0, "a"}));
}

TEST_P(ApiContract, RowThatFailsClosesTheCursorWithTheDatabaseMessage) {
  const std::string failing =
      dialect("CASE WHEN x = 2500 THEN abs(-9223372036854775807 - 1) ELSE x END",
              "CASE WHEN x = 2500 THEN 1 / (x - x) ELSE x END");
  ASSERT_EQ(lib().cursor(seriesQuery(engine(), 5000, failing).c_str()), 0) << callMsgGet();
  // Rows come in order until the failure; a server reading in batches may
  // report it at the start of the failing row's batch.
  Answer answer = callFetch();
  int x = 1;
  for (; answer.code == 0 && x < 2500; ++x, answer = callFetch()) {
    ASSERT_EQ(answer.text, std::to_string(x));
  }
  EXPECT_EQ(answer, (Answer{-4, ""})) << "after " << x - 1 << " rows";
  EXPECT_NE(callMsgGet(), "");
  EXPECT_EQ(lib().status(), 1);
  EXPECT_EQ(callExec("SELECT 1 AS one"), (Answer{0, "one\r\n1\r\n"}));
}

TEST_P(ApiContract, CursorRefusesWhatIsNotOneReadOnlyQuery) {
  makeTable();
  const std::vector<std::string> refused = {
      "INSERT INTO t VALUES (9, 'z')",
      "UPDATE t SET name = 'z'",
      "DELETE FROM t",
      "CREATE TABLE u (a INTEGER)",
      "INSERT INTO t VALUES (9, 'z') RETURNING id",
      "DELETE FROM t RETURNING id",
      "WITH d AS (DELETE FROM t RETURNING id) SELECT id FROM d",
      "SELECT 1; DELETE FROM t",
      "SELECT id FROM t; CREATE TABLE u (a INTEGER)",
      "",
      "   ",
      "-- only a comment",
      "SELEC 1",
      "SELECT * FROM missing_table",
  };
  for (const auto& statement : refused) {
    ASSERT_EQ(lib().cursor("SELECT id FROM t"), 0) << callMsgGet();
    EXPECT_EQ(lib().cursor(statement.c_str()), -4) << statement;
    EXPECT_NE(callMsgGet(), "") << statement;
    EXPECT_EQ(lib().status(), 1) << statement;
    EXPECT_EQ(callFetch().code, -2) << statement;
  }
  EXPECT_EQ(rowsOfT(), 2);
  EXPECT_EQ(callExec("SELECT a FROM u").code, -4);
}

// Inside the user's own transaction too: whatever a refused cursor would
// have written is not there once that transaction commits.
TEST_P(ApiContract, CursorNeverWritesInsideTheUsersTransaction) {
  makeTable();
  const std::vector<std::string> writes = {
      "INSERT INTO t VALUES (9, 'z') RETURNING id",
      "UPDATE t SET name = 'z' RETURNING id",
      "DELETE FROM t RETURNING id",
      "WITH d AS (DELETE FROM t RETURNING id) SELECT id FROM d",
  };
  for (const auto& statement : writes) {
    run("BEGIN");
    EXPECT_EQ(lib().cursor(statement.c_str()), -4) << statement;
    callExec("COMMIT");  // ends the transaction, whether the refusal aborted it or not
    EXPECT_EQ(directCount("SELECT count(*) FROM t WHERE name <> 'z'"), 2) << statement;
    EXPECT_EQ(rowsOfT(), 2) << statement;
  }
}

// A change runs to its end even when its rows no longer fit the answer.
TEST_P(ApiContract, ChangeWhoseAnswerIsCutChangesEveryRow) {
  run("CREATE TABLE t (id INTEGER, name TEXT)");
  run("INSERT INTO t " + seriesQuery(engine(), 3000, "x, 'a'"));
  // The SQLite ODBC driver answers such a change with its count, not its rows.
  const int32_t cut = engine() == Engine::OdbcSqlite ? 0 : 1;
  EXPECT_EQ(callExec("UPDATE t SET name = 'b' RETURNING id, name").code, cut) << callMsgGet();
  EXPECT_EQ(directCount("SELECT count(*) FROM t WHERE name = 'b'"), 3000);
  EXPECT_EQ(callExec("DELETE FROM t WHERE id > 10 RETURNING id, name").code, cut) << callMsgGet();
  EXPECT_EQ(rowsOfT(), 10);
}

TEST_P(ApiContract, CursorAcceptsReadOnlyQueryForms) {
  makeTable();
  const std::vector<std::pair<std::string, std::string>> accepted = {
      {"SELECT id FROM t ORDER BY id", "1"},
      {"VALUES (7)", "7"},
      {"WITH w AS (SELECT id FROM t) SELECT max(id) FROM w", "2"},
      {"  SELECT 5 ; ", "5"},
      {"SELECT 6 -- trailing comment", "6"},
  };
  for (const auto& [statement, first] : accepted) {
    ASSERT_EQ(lib().cursor(statement.c_str()), 0) << statement << ": " << callMsgGet();
    EXPECT_EQ(callFetch(), (Answer{0, first})) << statement;
  }
}

// Integer columns at their limits, beside NULL and text, read the same
// however an engine takes them from the database (as text or as numbers).
TEST_P(ApiContract, IntegersAtTheirLimitsReadAsDecimalText) {
  const std::string query = dialect(
      "SELECT -9223372036854775807 - 1, 9223372036854775807, -32768, -2147483648, NULL, 0, 'x'",
      "SELECT (-9223372036854775807 - 1)::int8, 9223372036854775807::int8, (-32768)::int2, "
      "(-2147483648)::int4, NULL::int4, 0::int2, 'x'");
  ASSERT_EQ(lib().cursor(query.c_str()), 0) << callMsgGet();
  EXPECT_EQ(callFetch(),
            (Answer{0, "-9223372036854775808\t9223372036854775807\t-32768\t-2147483648\t\t0\tx"}));
  EXPECT_EQ(callFetch().code, 100);
}

TEST_P(ApiContract, ExecRunsOneStatementOrNothing) {
  makeTable();
  const std::vector<std::string> refused = {
      "INSERT INTO t VALUES (9, 'z'); INSERT INTO t VALUES (10, 'z')",
      "INSERT INTO t VALUES (9, 'z'); SELECT 1",
      "SELECT 1; INSERT INTO t VALUES (9, 'z')",
      "INSERT INTO t VALUES (9, 'z');;DROP TABLE t",
      "DELETE FROM t; garbage that does not parse",
      "",
      " ; ",
  };
  for (const auto& statement : refused) {
    const Answer answer = callExec(statement);
    EXPECT_EQ(answer, (Answer{-4, ""})) << statement;
    EXPECT_NE(callMsgGet(), "") << statement;
  }
  EXPECT_EQ(rowsOfT(), 2);
  EXPECT_EQ(callExec("INSERT INTO t VALUES (9, 'z'); -- a comment"), (Answer{0, "1"}));
  EXPECT_EQ(callExec("SELECT 1 AS one;"), (Answer{0, "one\r\n1\r\n"}));
}

TEST_P(ApiContract, FailureKeepsTheDatabaseMessageUntilTheNextCall) {
  const Answer failed = callExec("SELECT * FROM no_such_table");
  EXPECT_EQ(failed, (Answer{-4, ""}));
  const std::string message = callMsgGet();
  EXPECT_NE(message.find("no_such_table"), std::string::npos) << message;
  EXPECT_EQ(callMsgGet(), message) << "MsgGet must not change the message";
  EXPECT_EQ(lib().status(), 1);
  EXPECT_EQ(lib().status(), 1);
  EXPECT_EQ(callMsgGet(), message) << "Status must not change the message";
  EXPECT_EQ(callExec("SELECT 1 AS one"), (Answer{0, "one\r\n1\r\n"}));
  EXPECT_EQ(callMsgGet(), "");
}

TEST_P(ApiContract, ExecCutsAtWholeLines) {
  run("CREATE TABLE t (id INTEGER, name TEXT)");
  const std::string name = kSo + "abcdefghij" + kHyo;
  run("INSERT INTO t " + seriesQuery(engine(), 600, "x, '" + name + "'"));
  std::string full = "id\tname\r\n";
  for (int i = 1; i <= 600; ++i) full += std::to_string(i) + "\t" + name + "\r\n";

  const Answer answer = callExec("SELECT id, name FROM t ORDER BY id");
  EXPECT_EQ(answer.code, 1);
  EXPECT_NE(callMsgGet(), "");
  ASSERT_LE(answer.text.size(), 8191u);
  EXPECT_EQ(answer.text, full.substr(0, answer.text.size()));
  ASSERT_GE(answer.text.size(), 2u);
  EXPECT_EQ(answer.text.substr(answer.text.size() - 2), "\r\n");
  const size_t nextEnd = full.find("\r\n", answer.text.size()) + 2;
  EXPECT_GT(nextEnd, 8191u) << "a further whole line would have fitted";
}

TEST_P(ApiContract, OverlongValueIsCutAtCharacterBoundary) {
  run("CREATE TABLE t (v TEXT)");
  const std::string value = "a" + repeat(kSo, 5000);
  run("INSERT INTO t VALUES ('" + value + "')");

  ASSERT_EQ(lib().cursor("SELECT v FROM t"), 0) << callMsgGet();
  const Answer fetched = callFetch();
  EXPECT_EQ(fetched.code, 1);
  EXPECT_EQ(fetched.text, value.substr(0, boundaryPrefix(value, 8191)));
  EXPECT_EQ(fetched.text.size(), 8191u);
  EXPECT_EQ(callFetch(), (Answer{100, ""}));

  // Exec keeps whole lines only: the header fits, the row does not.
  EXPECT_EQ(callExec("SELECT v FROM t"), (Answer{1, "v\r\n"}));
}

TEST_P(ApiContract, OverlongFirstLineIsCutAtCharacterBoundary) {
  // 200 columns whose names hold double-byte characters make a header line
  // longer than the buffer; the cut must not split a character.
  std::string select = "SELECT ";
  std::string header;
  for (int i = 0; i < 200; ++i) {
    const std::string index = std::to_string(1000 + i).substr(1);
    const std::string name = "n" + index + repeat(kSo, 19);
    select += std::string(i ? ", " : "") + "1 AS \"" + name + "\"";
    header += (i ? "\t" : "") + name;
  }
  ASSERT_GT(header.size(), 8191u);
  const std::string expected = header.substr(0, boundaryPrefix(header, 8191));

  EXPECT_EQ(callExec(select), (Answer{1, expected}));
  ASSERT_EQ(lib().cursor(select.c_str()), 0) << callMsgGet();
  EXPECT_EQ(callFnames(), (Answer{1, expected}));
  EXPECT_EQ(callFetch().code, 0);
}

TEST_P(ApiContract, CharactersWithoutCp932FormBecomeQuestionMarks) {
  const std::string accented = dialect("char(233)", "chr(233)");
  EXPECT_EQ(callExec("SELECT " + accented + " || 'x' AS v"), (Answer{2, "v\r\n?x\r\n"}));
  EXPECT_NE(callMsgGet(), "");
  ASSERT_EQ(lib().cursor(("SELECT " + accented + " || '" + kSo + "' AS v").c_str()), 0);
  EXPECT_EQ(callFetch(), (Answer{2, "?" + kSo}));
  // Cut and replaced at once: the lower code wins.
  ASSERT_EQ(lib().cursor(("SELECT " + accented + " || '" + repeat("a", 9000) + "'").c_str()), 0);
  const Answer both = callFetch();
  EXPECT_EQ(both.code, 1);
  EXPECT_EQ(both.text, "?" + repeat("a", 8190));
}

TEST_P(ApiContract, CharacterPairsOfLongValuesBecomeOneQuestionMarkEach) {
  // 2 + 2 x 3000 UTF-16 units: read in pieces, one of which ends inside a
  // surrogate pair; joined before conversion, each pair is one '?'.
  const std::string value = dialect("'ab' || replace(hex(zeroblob(1500)), '0', char(128512))",
                                    "'ab' || repeat(chr(128512), 3000)");
  const std::string shown = "ab" + repeat("?", 3000);
  ASSERT_EQ(lib().cursor(("SELECT " + value + " AS v, 1 AS n").c_str()), 0) << callMsgGet();
  EXPECT_EQ(callFetch(), (Answer{2, shown + "\t1"}));
  EXPECT_EQ(callExec("SELECT " + value + " AS v"), (Answer{2, "v\r\n" + shown + "\r\n"}));
}

TEST_P(ApiContract, ShortValuesAroundALongOneKeepTheirPlaces) {
  // The long value is read again in pieces after the short ones were seen:
  // neither its reading nor its length may move them.
  const std::string pairs = kSo + kHyo;
  const std::string value = dialect("replace(hex(zeroblob(700)), '00', '" + pairs + "')",
                                    "repeat('" + pairs + "', 700)");
  ASSERT_EQ(lib().cursor(("SELECT 'short' AS a, " + value + " AS b, 'x' AS c").c_str()), 0)
      << callMsgGet();
  EXPECT_EQ(callFetch(), (Answer{0, "short\t" + repeat(pairs, 700) + "\tx"}));
}

TEST_P(ApiContract, LongMessageIsCutToFit) {
  EXPECT_EQ(callExec("SELECT '" + repeat(kHyo, 6000)).code, -4);
  AnswerBuffer buffer;
  const int32_t code = lib().msgGet(buffer.data());
  EXPECT_TRUE(buffer.guardIntact());
  EXPECT_LE(buffer.text().size(), 8191u);
  EXPECT_NE(buffer.text(), "");
  // The ODBC drivers shorten such a message themselves (to about 1 KB, or
  // to a bare SQLSTATE past about 4 KB), so only the native engines' is long.
  if (!throughOdbc(engine())) {
    EXPECT_EQ(code, 1);
    EXPECT_GT(buffer.text().size(), 8000u);
  }
}

TEST_P(ApiContract, InvalidCp932IsRefusedBeforeAnythingRuns) {
  makeTable();
  ASSERT_EQ(lib().cursor("SELECT id FROM t ORDER BY id"), 0);
  const std::vector<std::string> invalid = {
      "INSERT INTO t VALUES (9, '\x83')",        // lead byte before a quote
      "INSERT INTO t VALUES (9, 'ab')\x83",      // lead byte at the end
      "INSERT INTO t VALUES (9, '\x81\x7F')",    // 0x7F is no trail byte
      "INSERT INTO t VALUES (9, '\x83\x0A')",    // nor is a newline
  };
  for (const auto& statement : invalid) {
    EXPECT_EQ(callExec(statement), (Answer{-6, ""}));
    EXPECT_NE(callMsgGet(), "");
    EXPECT_EQ(lib().cursor(statement.c_str()), -6);
    EXPECT_EQ(lib().login(statement.c_str()), -6);
    EXPECT_EQ(lib().status(), 2) << "a refused text must change nothing";
  }
  EXPECT_EQ(callFetch(), (Answer{0, "1"}));
  EXPECT_EQ(rowsOfT(), 2);
}

TEST_P(ApiContract, BadConnectionTextChangesNothing) {
  makeTable();
  ASSERT_EQ(lib().cursor("SELECT id FROM t ORDER BY id"), 0);
  const std::vector<std::string> bad = {
      "file",       "=x",           "file='abc",  "file=x mode=zz", "file=x bogus=1",
      "bogus=1",    "file=",        "host=x 'y",  "mode=ro",
  };
  for (const auto& text : bad) {
    EXPECT_EQ(lib().login(text.c_str()), -5) << text;
    EXPECT_NE(callMsgGet(), "") << text;
    EXPECT_EQ(lib().status(), 2) << text;
  }
  EXPECT_EQ(callFetch(), (Answer{0, "1"}));
}

TEST_P(ApiContract, ExecWhileCursorOpenCommitsAndKeepsTheCursor) {
  makeTable();
  ASSERT_EQ(lib().cursor(seriesQuery(engine(), 5000).c_str()), 0) << callMsgGet();
  for (int i = 1; i <= 10; ++i) ASSERT_EQ(callFetch(), (Answer{0, std::to_string(i)}));
  EXPECT_EQ(callExec("INSERT INTO t VALUES (3, 'three')"), (Answer{0, "1"}));
  EXPECT_EQ(rowsOfT(), 3) << "the insert must be visible to another connection";
  EXPECT_EQ(lib().status(), 2);
  for (int i = 11; i <= 5000; ++i) ASSERT_EQ(callFetch(), (Answer{0, std::to_string(i)}));
  EXPECT_EQ(callFetch(), (Answer{100, ""}));
}

// An Exec that ends the cursor's server-side rows first moves them to a
// file; when a later row fails on the way, the cursor is closed and whatever
// message Exec leaves (none, a cut answer's, its own failure's) says so and
// why. SQLite's cursor outlives Exec and is left open.
TEST_P(ApiContract, ExecSaysWhyTheCursorItCouldNotKeepWasClosed) {
  makeTable();
  const std::string failing =
      dialect("CASE WHEN x = 4000 THEN abs(-9223372036854775807 - 1) ELSE x END",
              "CASE WHEN x = 4000 THEN 1 / (x - x) ELSE x END");
  const std::string reason = dialect("integer overflow", "division by zero");
  const struct {
    std::string exec;
    int32_t code;
    std::string own;  // part of Exec's own message, "" for none
  } cases[] = {
      {"INSERT INTO t VALUES (3, 'three')", 0, ""},
      {seriesQuery(engine(), 5000), 1, "cut"},
      {"INSERT INTO no_such_table VALUES (1)", -4, "no_such_table"},
  };
  // Engines whose cursor holds nothing on the server keep it across Exec.
  const bool keepsCursor = engine() == Engine::Sqlite || engine() == Engine::Postgres;
  for (const auto& c : cases) {
    ASSERT_EQ(lib().cursor(seriesQuery(engine(), 5000, failing).c_str()), 0) << callMsgGet();
    for (int i = 1; i <= 10; ++i) ASSERT_EQ(callFetch(), (Answer{0, std::to_string(i)}));
    EXPECT_EQ(callExec(c.exec).code, c.code) << c.exec;
    const std::string message = callMsgGet();
    EXPECT_NE(message.find(c.own), std::string::npos) << c.exec << ": " << message;
    EXPECT_EQ(message.find("the open cursor was closed") != std::string::npos, !keepsCursor)
        << c.exec << ": " << message;
    EXPECT_EQ(message.find(reason) != std::string::npos, !keepsCursor) << c.exec << ": " << message;
    EXPECT_EQ(lib().status(), keepsCursor ? 2 : 1) << c.exec;
  }
}

TEST_P(ApiContract, UserTransactionIsLeftToTheUser) {
  makeTable();
  run("BEGIN");
  ASSERT_EQ(lib().cursor("SELECT id FROM t ORDER BY id"), 0) << callMsgGet();
  EXPECT_EQ(callFetch(), (Answer{0, "1"}));
  run("INSERT INTO t VALUES (3, 'three')");
  EXPECT_EQ(rowsOfT(), 2) << "uncommitted work must not be visible elsewhere";
  EXPECT_EQ(callFetch(), (Answer{0, "2"}));
  run("ROLLBACK");
  EXPECT_EQ(callExec("SELECT count(*) AS n FROM t"), (Answer{0, "n\r\n2\r\n"}));
  run("BEGIN");
  run("INSERT INTO t VALUES (4, 'four')");
  run("COMMIT");
  EXPECT_EQ(rowsOfT(), 3);
}

TEST_P(ApiContract, LoginWhileConnectedReplacesTheConnection) {
  makeTable();
  ASSERT_EQ(lib().cursor("SELECT id FROM t"), 0);
  ASSERT_EQ(lib().login(""), 0) << callMsgGet();
  EXPECT_EQ(lib().status(), 1);
  EXPECT_EQ(callExec("SELECT id FROM t").code, -4) << "a private database starts empty";
}

TEST_P(ApiContract, RandomTextsNeverBreakTheAnswerBuffer) {
  makeTable();
  const std::vector<std::string> pieces = {
      "SELECT ", "id", " FROM t", "'", "\"", ";", "\x83", "\x5C", kSo, "\x81", "\xFF", "\t",
      "\n", " WHERE ", "(", ")", "--", "/*", "*/", "1", "x", "INSERT INTO t VALUES (5, 'e')",
      "\x80", "\xA0", "\xE0", "\xFC\xFC"};
  unsigned state = 12345;
  auto next = [&] { return state = state * 1103515245u + 12345u, (state >> 16) & 0x7FFF; };
  for (int i = 0; i < 400; ++i) {
    std::string text;
    const unsigned count = next() % 12;
    for (unsigned j = 0; j < count; ++j) text += pieces[next() % pieces.size()];
    const Answer exec = callExec(text);
    EXPECT_TRUE(exec.code == 0 || exec.code == 2 || exec.code == -4 || exec.code == -6)
        << exec.code;
    const int32_t opened = lib().cursor(text.c_str());
    EXPECT_TRUE(opened == 0 || opened == -4 || opened == -6) << opened;
    if (opened == 0) {
      EXPECT_GE(callFetch().code, 0);
    }
    EXPECT_GE(lib().status(), 1);
  }
}

TEST_P(ApiContract, HugeStatementIsRefusedCleanly) {
  const std::string huge = "SELECT " + repeat("x", 2 * 1024 * 1024);
  EXPECT_EQ(callExec(huge), (Answer{-4, ""}));
  EXPECT_EQ(lib().cursor(huge.c_str()), -4);
  EXPECT_EQ(lib().status(), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, ApiContract, ZORV_ALL_ENGINES,
                         engineParamName);

// What SQLite stores is not held to UTF-8: its two engines read such text.
class SqliteText : public EngineFixture {};

TEST_P(SqliteText, StoredTextThatIsNotUtf8) {
  // Each byte that is not UTF-8 becomes '?' natively. Through ODBC such a
  // value is read again as the driver's wide text, which drops those bytes
  // and makes a cut sequence one U+FFFD, itself a '?'.
  ASSERT_EQ(lib().cursor("SELECT 'a' || CAST(x'FF' AS TEXT) || 'b', CAST(x'E382' AS TEXT), 'ok', "
                         "CAST(x'C0AF' AS TEXT) || 'z'"),
            0)
      << callMsgGet();
  EXPECT_EQ(callFetch(), (engine() == Engine::Sqlite ? Answer{2, "a?b\t??\tok\t??z"}
                                                    : Answer{2, "ab\t?\tok\tz"}));
}

INSTANTIATE_TEST_SUITE_P(Engines, SqliteText, ::testing::Values(Engine::Sqlite, Engine::OdbcSqlite),
                         engineParamName);

}  // namespace

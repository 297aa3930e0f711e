#include "odbc_connection_string.h"
#include "odbc_statement_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using zorv::lib::odbc::OdbcConnectionString;
using zorv::lib::odbc::StatementSplit;
using Kind = StatementSplit::Kind;

TEST(OdbcStrings, SplitFindsTheOneStatementOrRefuses) {
  struct Case {
    std::string sql;
    Kind kind;
    std::string first;
  };
  const std::vector<Case> cases = {
      {"SELECT 1", Kind::One, "SELECT 1"},
      {"  SELECT 5 ; ", Kind::One, "  SELECT 5"},
      {"SELECT 6 -- trailing comment", Kind::One, "SELECT 6"},
      {"INSERT INTO t VALUES (9, 'z'); -- a comment", Kind::One, "INSERT INTO t VALUES (9, 'z')"},
      {"SELECT 1;; /* done */ ;", Kind::One, "SELECT 1"},
      {"SELECT 'a;b', \"c;d\", `e;f`, [g;h] FROM t", Kind::One,
       "SELECT 'a;b', \"c;d\", `e;f`, [g;h] FROM t"},
      {"SELECT 'it''s; fine'", Kind::One, "SELECT 'it''s; fine'"},
      {"SELECT E'a\\'; b'", Kind::One, "SELECT E'a\\'; b'"},
      {"SELECT $$; x$$, $tag$ ; $$ ; $tag$", Kind::One, "SELECT $$; x$$, $tag$ ; $$ ; $tag$"},
      {"SELECT a$b; DROP TABLE t", Kind::Several, ""},
      {"SELECT 1 -- x; DROP TABLE t\n", Kind::One, "SELECT 1"},
      {"SELECT 'open; DROP TABLE t", Kind::One, "SELECT 'open; DROP TABLE t"},
      {"SELECT 1; DELETE FROM t", Kind::Several, ""},
      {"SELECT 1 \\; DROP TABLE t", Kind::Several, ""},
      {"SELECT $$; DROP TABLE t; $$; DROP TABLE t", Kind::Several, ""},
      {"INSERT INTO t VALUES (9, 'z');;DROP TABLE t", Kind::Several, ""},
      {"SELECT 1 /* a /* b */ ; DROP TABLE t */", Kind::Several, ""},
      {"SELECT 'a' 'b'; 'c'", Kind::Several, ""},
      {"", Kind::Empty, ""},
      {" ; ", Kind::Empty, ""},
      {"-- only a comment", Kind::Empty, ""},
      {"/* x */ ; SELECT 1", Kind::Empty, ""},
  };
  for (const auto& c : cases) {
    const StatementSplit split = zorv::lib::odbc::splitFirstStatement(c.sql);
    EXPECT_EQ(split.kind, c.kind) << c.sql;
    EXPECT_EQ(std::string(split.first), c.first) << c.sql;
  }
}

// Where no guard holds a driver to read-only, only these reach it as a cursor.
TEST(OdbcStrings, PlainQueryNamesNoChange) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"SELECT id, update_time FROM t WHERE note = 'DELETE me' -- INSERT", true},
      {"WITH w AS (SELECT 1) SELECT * FROM w /* DROP */", true},
      {"VALUES (1), (2)", true},
      {"SELECT $$INSERT$$, \"into\"", true},
      {"INSERT INTO t VALUES (1) RETURNING id", false},
      {"WITH d AS (DELETE FROM t RETURNING id) SELECT id FROM d", false},
      {"select * into u from t", false},
      {"SELECT * FROM t FOR UPDATE", false},
      {"SELECT 'open", false},
      {"EXEC sp_who", false},
  };
  for (const auto& [sql, plain] : cases) {
    EXPECT_EQ(zorv::lib::odbc::isPlainQuery(sql), plain) << sql;
  }
}

TEST(OdbcStrings, ConnectionStringAddsOnlyWhatIsMissing) {
  struct Case {
    std::string given;
    std::string added;  // after adding UseDeclareFetch=1 and Opt={a;b}
  };
  const std::vector<Case> cases = {
      {"DSN=x", "DSN=x;UseDeclareFetch=1;Opt={a;b}"},
      {"DSN=x; ", "DSN=x;UseDeclareFetch=1;Opt={a;b}"},
      {"DSN=x;usedeclarefetch=0", "DSN=x;usedeclarefetch=0;Opt={a;b}"},
      {" UseDeclareFetch = 0 ;opt={}}};DSN=x;", " UseDeclareFetch = 0 ;opt={}}};DSN=x;"},
      {"Driver={a;UseDeclareFetch=0}", "Driver={a;UseDeclareFetch=0};UseDeclareFetch=1;Opt={a;b}"},
      {"", "UseDeclareFetch=1;Opt={a;b}"},
  };
  for (const auto& c : cases) {
    OdbcConnectionString text(c.given);
    text.addIfAbsent("UseDeclareFetch", "1");
    text.addIfAbsent("Opt", "a;b");
    EXPECT_EQ(text.text().view(), c.added) << c.given;
  }
  const OdbcConnectionString secret("UID=u;PWD={p;}}w};pwd=second;Password=third");
  using Values = std::vector<zorv::lib::SecretString>;
  EXPECT_EQ(secret.values("PWD"), (Values{"p;}w", "second"}));
  EXPECT_EQ(secret.values("password"), (Values{"third"}));
}

}  // namespace

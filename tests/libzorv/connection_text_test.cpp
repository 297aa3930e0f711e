#include "connection_text.h"

#include <gtest/gtest.h>

#include "zorv_error.h"

namespace {

using zorv::lib::ConnectionOption;
using zorv::lib::ConnectionText;
using zorv::lib::ZorvError;
using Options = std::vector<ConnectionOption>;

TEST(ConnectionText, ParsesPairsTheWayServerConnectionStringsDo) {
  struct Case {
    std::string text;
    Options options;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {" \t\n", {}},
      {"file=a.db", {{"file", "a.db"}}},
      {"host=h  port=5432\tuser=u\n", {{"host", "h"}, {"port", "5432"}, {"user", "u"}}},
      {"a = 1", {{"a", "1"}}},
      {"a= b=c", {{"a", "b=c"}}},
      {"a='x y' b=2", {{"a", "x y"}, {"b", "2"}}},
      {"a='it\\'s'", {{"a", "it's"}}},
      {"a='c:\\\\dir\\\\'", {{"a", "c:\\dir\\"}}},
      {"a=''", {{"a", ""}}},
      {"a=", {{"a", ""}}},
      {"a=b\\ c", {{"a", "b c"}}},
      {"a='x'b=1", {{"a", "x"}, {"b", "1"}}},
      // UTF-8 of ソ and 表: no byte of them is a blank, quote or backslash.
      {"file=\xE3\x82\xBD\xE8\xA1\xA8.db", {{"file", "\xE3\x82\xBD\xE8\xA1\xA8.db"}}},
      {"file='C:\\\\\xE8\xA1\xA8\\\\x.db'", {{"file", "C:\\\xE8\xA1\xA8\\x.db"}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConnectionText::parse(c.text), c.options) << c.text;
  }
}

TEST(ConnectionText, RefusesMalformedTextsWithoutQuotingValues) {
  const std::vector<std::string> bad = {
      "secret",  "=1", "a='unclosed secret", "a b=1", "a='x\\'", "a=1 secret", "a=1 =2"};
  for (const auto& text : bad) {
    try {
      ConnectionText::parse(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const ZorvError& e) {
      EXPECT_EQ(e.code(), zorv::lib::kBadConnectionText) << text;
      EXPECT_EQ(std::string(e.what()).find("secret"), std::string::npos) << e.what();
    }
  }
}

}  // namespace

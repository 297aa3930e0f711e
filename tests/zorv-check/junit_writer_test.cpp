// JUnit files are read by CI servers' XML parsers: whatever a library or a
// record put into a sentence must leave the file well-formed and read back as written.
#include "junit_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using zorv::check::xmlText;

TEST(JUnitWriter, EscapesText) {
  const struct {
    const char* name;
    std::string text;
    const char* content;
    const char* attribute;
  } cases[] = {
      {"markup", "a&b<\"c\">", "a&amp;b&lt;&quot;c&quot;&gt;", "a&amp;b&lt;&quot;c&quot;&gt;"},
      {"tab and line feed", "a\tb\nc", "a\tb\nc", "a&#9;b&#10;c"},
      {"other controls", "a\x01\rb", "a??b", "a??b"},
      {"CP932 shown as UTF-8", "\xE8\xA1\xA8", "\xE8\xA1\xA8", "\xE8\xA1\xA8"},
      // A sentence cut to its field's size may end inside a character.
      {"cut character", "x\xE8\xA1", "x\xEF\xBF\xBD\xEF\xBF\xBD", "x\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"raw CP932 byte", "\x95\x5C", "\xEF\xBF\xBD\\", "\xEF\xBF\xBD\\"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(xmlText(c.text), c.content) << c.name;
    EXPECT_EQ(xmlText(c.text, true), c.attribute) << c.name;
  }
}

TEST(JUnitWriter, WritesOneCaseALine) {
  const auto path = std::filesystem::temp_directory_path() / "zorv_junit_writer_test.xml";
  using zorv::check::Verdict;
  ASSERT_TRUE(
      zorv::check::writeJUnit(path.string(), "lib&.so",
                              {{Verdict::Pass, "ZORVlogin", "call 1", "matched"},
                               {Verdict::Fail, "ZORVfetch", "call 2", "answer \"\xE8\xA1\"\nnow"}},
                              1.5));
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  in.close();  // Windows removes no file that is still open
  std::filesystem::remove(path);
  EXPECT_NE(
      text.str().find("name=\"zorv-check lib&amp;.so\" tests=\"2\" failures=\"1\" errors=\"0\" "
                      "skipped=\"0\" time=\"1.500\""),
      std::string::npos)
      << text.str();
  EXPECT_NE(text.str().find("<testcase classname=\"ZORVfetch\" name=\"call 2\"><failure message=\""
                            "answer &quot;\xEF\xBF\xBD\xEF\xBF\xBD&quot;&#10;now\"/></testcase>"),
            std::string::npos)
      << text.str();
}

}  // namespace

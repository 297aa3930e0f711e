// The trace library's pieces: password masking on CP932 bytes, the record's
// text forms, and the settings file in each encoding Notepad saves.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "dynamic_library.h"
#include "narrow_text.h"
#include "secret_masking.h"
#include "trace_settings.h"
#include "trace_text.h"
#include "utf_codec.h"

namespace zorv::trace {
namespace {

// CP932 bytes of UTF-8 text, from the bridge access layer's own tables.
std::string cp932(std::string_view utf8) {
  return std::string(narrowCopy(utf16FromUtf8(utf8)).bytes());
}

TEST(MaskPasswords, MasksOnlyPasswordValuesOnCp932Characters) {
  struct Row {
    std::string in, out;
  };
  const Row rows[] = {
      {"file=a.db mode=ro", "file=a.db mode=ro"},
      {"host=h password=secret user=u", "host=h password=******** user=u"},
      {"PassWord = 'se cret' user=u", "PassWord = '********' user=u"},
      {"password='it\\'s' x=1", "password='********' x=1"},
      {"password='a'user=u", "password='********'user=u"},  // no blank after the quote
      {"password=a\\ b x=1", "password=******** x=1"},
      {"password='never closed x=1", "password='********"},
      {"password= user=u", "password= ********"},  // blanks after '=': "user=u" is the value
      {"password=", "password="},
      {"mypassword=1 passwords=2 =3", "mypassword=******** passwords=******** =3"},
      {"user=u passport=p", "user=u passport=p"},
      {"odbc='DRIVER={SQLite3};Database=a.db;pwd={se;cret}}x};UID=u' user=v",
       "odbc='DRIVER={SQLite3};Database=a.db;pwd=********;UID=u' user=v"},
      {"odbc=DSN=x;PWD=abc;Password=def", "odbc=DSN=x;PWD=********;Password=********"},
      {"odbc='DSN=x; PwD = {a}' password=b", "odbc='DSN=x; PwD = ********' password=********"},
      // ソ and 表 end in 0x5C: read byte-wise, it would escape the quote and
      // hide the password inside user='...'.
      {cp932("user='ソ' password=表 file=表.db"), cp932("user='ソ' password=******** file=表.db")},
      {cp932("odbc='DSN=表;PWD=ソ}' x=y"), cp932("odbc='DSN=表;PWD=********' x=y")},
      // A lone lead byte at the end is a character of its own.
      {"password=x\x83", "password=********"},
  };
  for (const Row& row : rows) {
    const secrets::Masked masked = secrets::maskConnection(row.in);
    EXPECT_EQ(masked.text, row.out) << "connection: " << row.in;
    EXPECT_EQ(masked.masked, row.in != row.out) << "connection: " << row.in;
  }
}

TEST(RecordedText, IsTextWhenTheBytesComeBackElseHexAndAlwaysTheSameBytes) {
  struct Row {
    std::string bytes, json;
  };
  const Row rows[] = {
      {"select 1\r\n", R"("select 1\r\n")"},
      {cp932("select * from 商品 -- ソ表"), "\"select * from 商品 -- ソ表\""},
      {"", R"("")"},
      {"\x81\x80\xff", R"({"hex":"8180ff"})"},        // no character at 0x81 0x80, 0xFF
      {"abc\x83", R"({"hex":"61626383"})"},           // a lead byte cut off
      {"\xED\x40", R"({"hex":"ed40"})"},              // a duplicate that encodes back to FA 5C
      {"\xb1\xb2", "\"\xEF\xBD\xB1\xEF\xBD\xB2\""},  // half-width katakana
  };
  for (const Row& row : rows) {
    const Json value = recordedText(row.bytes);
    EXPECT_EQ(value.dump(-1, ' ', false), row.json);
    EXPECT_EQ(bytesOfRecordedText(Json::parse(row.json)), row.bytes) << row.json;
  }
  EXPECT_EQ(bytesOfRecordedText(Json::parse(R"({"hex":"8g"})")), std::nullopt);
  // The writer never writes a character without a CP932 form, so a reader
  // takes none for a '?' (zorv-check reads through the same rule).
  EXPECT_EQ(bytesOfRecordedText(Json("caf\u00e9")), std::nullopt);
  EXPECT_EQ(bytesOfRecordedText(Json::parse(R"({"hex":"955C"})")), "\x95\x5C");
  EXPECT_EQ(bytesOfRecordedText(Json(5)), std::nullopt);
}

TEST(RecordFileName, NamesDateTimeAndProcess) {
  const auto when = std::chrono::sys_days{std::chrono::year{2026} / 12 / 8} +
                    std::chrono::hours{9} + std::chrono::minutes{5} + std::chrono::seconds{7} +
                    std::chrono::microseconds{42};
  EXPECT_EQ(recordFileName(when, 4711), "zorv-trace-20261208-090507-4711.jsonl");
  EXPECT_EQ(utcTimestamp(when), "2026-12-08T09:05:07.000042Z");
}

TEST(RecordFileName, BesideAFileAnotherProcessWritesTheNameTakesTheProcessId) {
  EXPECT_EQ(ownRecordFileName("session.jsonl", 4711), "session-4711.jsonl");
  EXPECT_EQ(ownRecordFileName("記録.jsonl", 4711, 3), "記録-4711-3.jsonl");
  EXPECT_EQ(ownRecordFileName("record", 4711), "record-4711");
  EXPECT_EQ(ownRecordFileName(".hidden", 4711), ".hidden-4711");
}

TEST(ExpandVariables, NamesTheUsersFoldersInEachPlatformsWay) {
  const std::map<std::string, std::string> variables = {
      {"HOME", "/home/u"}, {"XDG_STATE_HOME", "/s"}, {"LOCALAPPDATA", "C:\\U\\AppData\\Local"}};
  const auto environment = [&](const char* name) -> std::optional<std::string> {
    const auto it = variables.find(name);
    if (it == variables.end()) return std::nullopt;
    return it->second;
  };
  using platform::VariableStyle;
  const struct {
    VariableStyle style;
    std::string in, out;
  } rows[] = {
      {VariableStyle::Posix, "~/t/", "/home/u/t/"},
      {VariableStyle::Posix, "~", "/home/u"},
      {VariableStyle::Posix, "a~/t", "a~/t"},
      {VariableStyle::Posix, "$HOME/t", "/home/u/t"},
      {VariableStyle::Posix, "${HOME}x", "/home/ux"},
      {VariableStyle::Posix, "$NONE/t", "/t"},
      {VariableStyle::Posix, "${XDG_STATE_HOME:-~/.local/state}/zorv-trace/", "/s/zorv-trace/"},
      {VariableStyle::Posix, "${NONE:-~/.local/state}/zorv-trace/",
       "/home/u/.local/state/zorv-trace/"},
      {VariableStyle::Posix, "cost$ 5$", "cost$ 5$"},
      {VariableStyle::Posix, "${HOME", "${HOME"},
      {VariableStyle::Posix, "%HOME%", "%HOME%"},
      {VariableStyle::Windows, "%LOCALAPPDATA%\\zorv-trace\\", "C:\\U\\AppData\\Local\\zorv-trace\\"},
      {VariableStyle::Windows, "50%NONE%HOME%", "50%NONE/home/u"},
      {VariableStyle::Windows, "100%", "100%"},
      {VariableStyle::Windows, "~\\$HOME", "~\\$HOME"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(expandVariables(row.in, row.style, environment), row.out) << row.in;
  }
}

TEST(SettingsText, ByteOrderMarkDecidesElseUtf8ElseCp932) {
  const std::u16string text = u"library=C:\\ブリッジ\\表.dll\r\ntrace=記録\r\n";
  const std::string utf8 = utf8FromUtf16(text);
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (const char16_t unit : text) {
    le += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    be += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
  }
  const std::map<std::string, std::string> encodings = {
      {"UTF-16LE with BOM", le},
      {"UTF-16BE with BOM", be},
      {"UTF-8 with BOM", "\xEF\xBB\xBF" + utf8},
      {"UTF-8", utf8},
      {"CP932", cp932(utf8)},
  };
  for (const auto& [name, bytes] : encodings) {
    EXPECT_EQ(settingsText(bytes), utf8) << name;
  }
}

class ReadTraceSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("zorv-trace-settings-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path folder_;
};

TEST_F(ReadTraceSettings, TakesTheFileTheEnvironmentFirstAndNamesWhatIsWrong) {
  using Kind = SetupProblem::Kind;
  struct Row {
    const char* name;
    std::optional<std::string> file;
    std::map<std::string, std::string> environment;
    std::optional<Kind> problem;
    std::string library, trace, problemValue;
  };
  const Row rows[] = {
      {"file", "; sample\n[trace]\n LIBRARY = \"/opt/b/libzorv.so\" \r\ntrace=rec\n", {},
       std::nullopt, "/opt/b/libzorv.so", "rec", ""},
      {"environment first", "library=a\ntrace=b\n", {{"ZORV_TRACE_LIBRARY", "c"}}, std::nullopt,
       "c", "b", ""},
      {"environment alone", std::nullopt,
       {{"ZORV_TRACE_LIBRARY", "c"}, {"ZORV_TRACE_FILE", "d"}}, std::nullopt, "c", "d", ""},
      {"no file", std::nullopt, {}, Kind::NoLibrary, "", "", ""},
      {"no trace", "library=a\n", {}, Kind::NoTrace, "", "", ""},
      {"empty library", "library=\ntrace=b\n", {}, Kind::NoLibrary, "", "", ""},
      {"misspelt", "library=a\n\nlibary=b\n", {}, Kind::BadLine, "", "", "3"},
      {"no equals", "library a\n", {}, Kind::BadLine, "", "", "1"},
  };
  for (const Row& row : rows) {
    const auto file = folder_ / kSettingsFileName;
    std::filesystem::remove(file);
    if (row.file) std::ofstream(file, std::ios::binary) << *row.file;
    const auto environment = [&](const char* name) -> std::optional<std::string> {
      const auto found = row.environment.find(name);
      if (found == row.environment.end()) return std::nullopt;
      return found->second;
    };
    try {
      const TraceSettings settings = readTraceSettings(file, environment);
      EXPECT_FALSE(row.problem) << row.name;
      EXPECT_EQ(settings.library.value, row.library) << row.name;
      EXPECT_EQ(settings.trace.value, row.trace) << row.name;
      EXPECT_EQ(settings.library.source.file.empty(),
                row.environment.contains("ZORV_TRACE_LIBRARY"))
          << row.name;
    } catch (const SetupProblem& problem) {
      ASSERT_TRUE(row.problem) << row.name << ": " << describe(problem, ReportLanguage::English);
      EXPECT_EQ(problem.kind, *row.problem) << row.name;
      EXPECT_EQ(problem.values.at(0), file.string()) << row.name;
      if (!row.problemValue.empty()) {
        EXPECT_EQ(problem.values.at(1), row.problemValue) << row.name;
      }
    }
  }
}

// The sample's folder is the user's own: under their home (POSIX) or their
// local application data (Windows), whichever variable names it.
TEST(SampleSettings, NameALibraryAndAFolderOfTheUsersOwn) {
  const auto user = [](const char* name) -> std::optional<std::string> {
    if (std::string_view(name) == "HOME" || std::string_view(name) == "LOCALAPPDATA") {
      return "/users/u";
    }
    return std::nullopt;
  };
  const TraceSettings sample =
      readTraceSettings(zorv::platform::pathFromUtf8(ZORV_TRACE_SAMPLE_SETTINGS), user);
  // The real bridge: where the Debian package installs it, or the renamed
  // DLL beside the program on Windows.
  const std::filesystem::path library = zorv::platform::pathFromUtf8(sample.library.value);
  EXPECT_TRUE((library.is_absolute() && library.filename() == "libzorv.so") ||
              (library.is_relative() && library == "libzorv-real.dll"))
      << sample.library.value;
  EXPECT_TRUE(sample.trace.value.starts_with("/users/u")) << sample.trace.value;
  EXPECT_TRUE(sample.trace.value.ends_with("/zorv-trace/") ||
              sample.trace.value.ends_with("\\zorv-trace\\"))
      << sample.trace.value;
}

}  // namespace
}  // namespace zorv::trace

#include <gtest/gtest.h>

#include <stdexcept>

#include "bridge_binding.h"
#include "failure_report.h"
#include "library_image.h"

namespace zorv {
namespace {

// Only a BridgeFailure is the library's fault; anything else must not be
// blamed on it. A library of the other bitness is named as such, with the
// console to use instead; every report reads in the user's language.
TEST(FailureReport, NamesTheBridgeOnlyForBridgeFailures) {
  constexpr auto en = ReportLanguage::English;
  constexpr auto ja = ReportLanguage::Japanese;
  const std::string ours = std::to_string(platform::kProcessBits);
  const auto missing = std::make_exception_ptr(
      BridgeFailure("libzorv.dll", "ZORVfnames", "error 127: not found"));
  const auto bits32 = std::make_exception_ptr(
      BridgeFailure("libzorv.dll", "ZORVlogin", "error 193: bad format", 32));
  const auto bits64 = std::make_exception_ptr(
      BridgeFailure("libzorv.dll", "ZORVlogin", "error 193: bad format", 64));
  struct Case {
    std::exception_ptr failure;
    ReportLanguage language;
    std::string starts;
    std::string holds;
    std::string lacks;
  };
  const Case cases[] = {
      {missing, en, "The bridge library cannot be used; the console ends.\n\n",
       "Cannot call ZORVfnames in libzorv.dll: error 127: not found", "bit"},
      {missing, ja, "ブリッジライブラリを使用できないため、コンソールを終了します。\n\n",
       "libzorv.dll の ZORVfnames を呼び出せません: error 127: not found", "ビット"},
      {bits32, en, "The bridge library cannot be used",
       "error 193: bad format\n\nlibzorv.dll is a 32-bit library and this console is " + ours +
           "-bit: use the 32-bit console from the x86 package.",
       "x64"},
      {bits64, en, "The bridge library cannot be used",
       "libzorv.dll is a 64-bit library and this console is " + ours +
           "-bit: use the 64-bit console from the x64 package.",
       "x86"},
      {bits32, ja, "ブリッジライブラリ",
       "libzorv.dll は 32 ビットのライブラリで、このコンソールは " + ours +
           " ビットです。x86 パッケージの 32 ビット版コンソールを使用してください。",
       "console"},
      {std::make_exception_ptr(std::bad_alloc()), en,
       "The console met an internal failure and ends.\n\n", "bad_alloc", "bridge"},
      {std::make_exception_ptr(std::bad_alloc()), ja,
       "コンソールで内部エラーが発生したため、終了します。\n\n", "bad_alloc", "ブリッジ"},
      {std::make_exception_ptr(42), en, "The console met an internal failure of unknown kind", "",
       "bridge"},
      {std::make_exception_ptr(42), ja, "コンソールで種類のわからない内部エラー", "", "ブリッジ"},
  };
  for (const Case& c : cases) {
    const std::string report = failureReport(c.failure, c.language);
    EXPECT_EQ(report.rfind(c.starts, 0), 0u) << report;
    EXPECT_NE(report.find(c.holds), std::string::npos) << report;
    EXPECT_EQ(report.find(c.lacks), std::string::npos) << report;
  }
  EXPECT_FALSE(failureOf([] {}).has_value());
}

TEST(FailureReport, JapaneseOnlyForJapaneseLocaleNames) {
  for (const char* name : {"ja", "ja_JP", "ja_JP.UTF-8", "ja_JP.eucJP", "ja.SJIS"}) {
    EXPECT_TRUE(isJapaneseLocaleName(name)) << name;
  }
  for (const char* name : {"", "C", "C.UTF-8", "en_US.UTF-8", "jam", "j", "POSIX", "de_JA"}) {
    EXPECT_FALSE(isJapaneseLocaleName(name)) << name;
  }
}

}  // namespace
}  // namespace zorv

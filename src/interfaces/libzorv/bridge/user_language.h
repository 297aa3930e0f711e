#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace zorv {

// The languages our own reports to the user are written in.
enum class ReportLanguage { English, Japanese };

// Japanese when the user's interface language is Japanese (the user's UI
// language on Windows, the locale's variables elsewhere), English otherwise.
ReportLanguage userReportLanguage();

// Whether a POSIX locale name ("ja_JP.UTF-8", "ja") names Japanese.
bool isJapaneseLocaleName(std::string_view name);

// `pattern` with "{1}".."{9}" replaced by the values in order; a number past
// the values stays as written. Lets each language put the values where its
// word order wants them.
std::string fillPattern(std::string_view pattern, std::initializer_list<std::string> values);

}  // namespace zorv

// The user's interface language from the locale's variables, in the order
// the C library gives them weight.
#include <cstdlib>

#include "user_language.h"

namespace zorv {

ReportLanguage userReportLanguage() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) {
      return isJapaneseLocaleName(value) ? ReportLanguage::Japanese : ReportLanguage::English;
    }
  }
  return ReportLanguage::English;
}

}  // namespace zorv

// The user's interface language as Windows keeps it.
#include <windows.h>

#include "user_language.h"

namespace zorv {

ReportLanguage userReportLanguage() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? ReportLanguage::Japanese
                                                                    : ReportLanguage::English;
}

}  // namespace zorv

// Windows' driver manager converts between wide and narrow text with the
// driver's own code page rules, not the C locale: nothing to set.
#include "odbc_locale.h"

namespace zorv::lib {

struct ScopedUtf8Locale::State {};

ScopedUtf8Locale::ScopedUtf8Locale() = default;
ScopedUtf8Locale::~ScopedUtf8Locale() = default;

bool narrowTextIsStoredUtf8() { return false; }

}  // namespace zorv::lib

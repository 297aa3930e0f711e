#pragma once

#include <memory>

namespace zorv::lib {

// While alive, the calling thread works in a UTF-8 character type locale,
// and the process's own locale is the same afterwards as before, even when a
// driver set it meanwhile. The driver manager picks the character set of its
// wide-to-narrow conversions from the locale when a connection handle is
// allocated, so handles are allocated and connected under this scope. One
// file per platform: odbc_locale_posix.cpp, odbc_locale_win32.cpp.
class ScopedUtf8Locale {
 public:
  ScopedUtf8Locale();
  ~ScopedUtf8Locale();
  ScopedUtf8Locale(const ScopedUtf8Locale&) = delete;
  ScopedUtf8Locale& operator=(const ScopedUtf8Locale&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// True where the driver manager passes a driver's narrow text on unchanged,
// so the SQLite driver's narrow text is its stored UTF-8 whatever the locale;
// false where narrow text is in the system's ANSI code page (Windows).
bool narrowTextIsStoredUtf8();

}  // namespace zorv::lib

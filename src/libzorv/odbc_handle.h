#pragma once

#include <string>
#include <string_view>

#include "odbc_api.h"

namespace zorv::lib::odbc {

// Owns one ODBC handle; a connection is ended before its handle is freed.
// Allocation failure throws ZorvError: kStatementFailed for a statement of a
// live connection, kConnectFailed otherwise.
class Handle {
 public:
  Handle(SQLSMALLINT type, SQLHANDLE parent, SQLSMALLINT parentType);
  ~Handle();
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }
  void setConnected() { connected_ = true; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
  bool connected_ = false;
};

// Every diagnostic record of a handle, read before the next call clears them.
struct Diagnostics {
  std::string message;  // "[SQLSTATE] text" records joined by "; "
  std::string state;    // the first record's SQLSTATE
  bool lost = false;    // a record says the connection is gone
  bool onlyOwnWarnings = true;
};

Diagnostics readDiagnostics(SQLSMALLINT type, SQLHANDLE handle);

// The text of a wide buffer up to its NUL, and never past `reported` units:
// drivers behind a narrow interface report lengths in bytes, not characters.
std::u16string_view untilNul(const std::u16string& buffer, SQLLEN reported);

inline const SQLWCHAR* wide(const std::u16string& text) {
  return reinterpret_cast<const SQLWCHAR*>(text.c_str());
}

inline SQLINTEGER wideLength(const std::u16string& text) {
  return static_cast<SQLINTEGER>(text.size());
}

}  // namespace zorv::lib::odbc

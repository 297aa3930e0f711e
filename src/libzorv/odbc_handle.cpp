#include "odbc_handle.h"

#include <algorithm>
#include <iterator>

#include "odbc_checks.h"
#include "utf_codec.h"
#include "zorv_error.h"

namespace zorv::lib::odbc {

namespace {

// A diagnostic record is read into this many units: more than an answer holds.
constexpr size_t kMessageUnits = 8200;
// Records read from one handle: a driver may offer them without end.
constexpr SQLSMALLINT kMaxRecords = 16;

// SQLSTATEs of a connection that is gone: communication link failure,
// connection does not exist or failed, server shut the session down.
bool isLostState(const std::string& state) {
  static const char* const kLost[] = {"08S01", "08003", "08007", "57P01", "57P02", "57P03"};
  return std::any_of(std::begin(kLost), std::end(kLost),
                     [&](const char* lost) { return state == lost; });
}

// SQLSTATEs of warnings that come from how this engine reads, not from the
// statement: a value longer than its slot, an option the driver adjusted.
bool isOwnWarning(const std::string& state) { return state == "01004" || state == "01S02"; }

}  // namespace

Handle::Handle(SQLSMALLINT type, SQLHANDLE parent, SQLSMALLINT parentType) : type_(type) {
  if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle_))) {
    handle_ = SQL_NULL_HANDLE;
    Diagnostics diagnostics;
    if (parent != SQL_NULL_HANDLE) diagnostics = readDiagnostics(parentType, parent);
    else diagnostics.message = "the ODBC driver manager cannot be used";
    // Only a statement of a live connection fails as a statement.
    const bool statement = type == SQL_HANDLE_STMT && !diagnostics.lost;
    throw ZorvError(statement ? kStatementFailed : kConnectFailed,
                    "cannot allocate an ODBC handle: " + diagnostics.message);
  }
}

Handle::~Handle() {
  if (type_ == SQL_HANDLE_DBC && connected_) {
    if (!SQL_SUCCEEDED(SQLDisconnect(handle_))) {
      SQLEndTran(SQL_HANDLE_DBC, handle_, SQL_ROLLBACK);
      SQLDisconnect(handle_);
    }
  }
  SQLFreeHandle(type_, handle_);
}

std::u16string_view untilNul(const std::u16string& buffer, SQLLEN reported) {
  const size_t limit = std::min(buffer.size(), static_cast<size_t>(std::max<SQLLEN>(reported, 0)));
  const size_t nul = buffer.find(u'\0');
  return std::u16string_view(buffer.data(), std::min(limit, nul));
}

Diagnostics readDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  Diagnostics diagnostics;
  // One read per record, large enough for any message the console can show:
  // some drivers continue a record where a short read stopped.
  std::u16string text(kMessageUnits, u'\0');
  for (SQLSMALLINT record = 1;; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::fill(text.begin(), text.end(), u'\0');
    const SQLRETURN rc = SQLGetDiagRecW(type, handle, record, state, &native,
                                        reinterpret_cast<SQLWCHAR*>(text.data()),
                                        static_cast<SQLSMALLINT>(text.size() - 1), &length);
    if (!SQL_SUCCEEDED(rc)) break;
    if (record > kMaxRecords) {
      if (!diagnostics.message.empty()) diagnostics.message += "; ";
      diagnostics.message += "further diagnostic records were not read";
      break;
    }
    const std::string sqlState =
        utf8FromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(state), 5));
    const size_t units = reportedUnits(length, text.size()).value_or(text.size());
    std::string body = utf8FromUtf16(untilNul(text, static_cast<SQLLEN>(units)));
    while (!body.empty() && (body.back() == '\n' || body.back() == ' ' || body.back() == ';')) {
      body.pop_back();
    }
    if (diagnostics.state.empty()) diagnostics.state = sqlState;
    diagnostics.lost = diagnostics.lost || isLostState(sqlState);
    if (isOwnWarning(sqlState)) continue;
    diagnostics.onlyOwnWarnings = false;
    if (!diagnostics.message.empty()) diagnostics.message += "; ";
    diagnostics.message += "[" + sqlState + "] " + body;
  }
  return diagnostics;
}

}  // namespace zorv::lib::odbc

#include "odbc_database.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "odbc_connection_string.h"
#include "odbc_data_source.h"
#include "odbc_handle.h"
#include "odbc_locale.h"
#include "odbc_row_reader.h"
#include "odbc_statement_split.h"
#include "secret_text.h"
#include "utf_codec.h"
#include "zorv_error.h"

namespace zorv::lib {

using odbc::Diagnostics;
using odbc::Handle;
using odbc::readDiagnostics;
using odbc::wide;
using odbc::wideLength;

namespace {

constexpr SQLUINTEGER kLoginTimeoutSeconds = 10;

// The profile of the driver a connection string will load: the one it
// names, or its data source's as the driver manager lists it (by name, else
// by file).
odbc::DriverProfile profileToLoad(const odbc::OdbcConnectionString& text, SQLHENV env) {
  const bool narrowUtf8 = narrowTextIsStoredUtf8();
  const auto named = text.values("driver");
  if (!named.empty()) return odbc::profileForDriver(named.front().view(), narrowUtf8);
  const auto source = text.values("dsn");
  if (source.empty()) return odbc::profileForDriver("", narrowUtf8);
  const auto listed = odbc::findDataSourceDriver(env, source.front().view());
  if (!listed) return odbc::profileForDriver("", narrowUtf8);
  const odbc::DriverProfile byName = odbc::profileForDriver(listed->name, narrowUtf8);
  return byName.kind != odbc::DriverKind::Other ? byName
                                                : odbc::profileForDriver(listed->file, narrowUtf8);
}

[[noreturn]] void refuseNotAQuery() {
  throw ZorvError(kStatementFailed,
                  "a cursor needs a read-only query that returns columns (SELECT, VALUES, "
                  "WITH ... SELECT)");
}

// The text's one statement, or ZorvError(kStatementFailed). The SQLite
// driver answers rows only for statements it sees as queries, which a bare
// VALUES is not: it gets the same rows and column names as a subquery.
std::u16string oneStatement(std::string_view sql, const odbc::DriverProfile& profile) {
  const odbc::StatementSplit split = odbc::splitFirstStatement(sql);
  switch (split.kind) {
    case odbc::StatementSplit::Kind::Empty:
      throw ZorvError(kStatementFailed, "the statement is empty");
    case odbc::StatementSplit::Kind::Several:
      throw ZorvError(kStatementFailed,
                      "the text holds more than one statement; only one may run per call");
    case odbc::StatementSplit::Kind::One:
      break;
  }
  if (profile.valuesAsSubquery && odbc::firstKeyword(split.first) == "VALUES") {
    return utf16FromUtf8("SELECT * FROM (" + std::string(split.first) + ")");
  }
  return utf16FromUtf8(split.first);
}

}  // namespace

OdbcDatabase::OdbcDatabase(std::string_view connection) {
  // The driver manager fixes its narrow character set per connection handle.
  ScopedUtf8Locale utf8Locale;
  env_ = std::make_unique<Handle>(SQL_HANDLE_ENV, nullptr, SQL_HANDLE_ENV);
  if (!SQL_SUCCEEDED(SQLSetEnvAttr(env_->get(), SQL_ATTR_ODBC_VERSION,
                                   reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_OV_ODBC3)),
                                   0))) {
    throw ZorvError(kConnectFailed, "connection failed: " +
                                        readDiagnostics(SQL_HANDLE_ENV, env_->get()).message);
  }
  odbc::OdbcConnectionString text(connection);
  for (const auto& option : profileToLoad(text, env_->get()).options) {
    text.addIfAbsent(option.key, option.value);
  }
  connect(text.text().view());
  SQLUINTEGER extensions = 0;
  if (SQL_SUCCEEDED(SQLGetInfoW(dbc_->get(), SQL_GETDATA_EXTENSIONS, &extensions,
                               sizeof extensions, nullptr))) {
    getDataExtensions_ = extensions;
  }
  notice_.clear();
}

OdbcDatabase::~OdbcDatabase() { closeCursor(); }

void OdbcDatabase::connect(std::string_view connection) {
  SecretU16String wideText(connection.size(), u'\0');
  wideText.resize(writeUtf16(connection, wideText.data()));
  // SQLDriverConnectW takes the text's length as a 16-bit count: a longer
  // text would reach the driver cut or with a negative length.
  if (wideText.size() > static_cast<size_t>(std::numeric_limits<SQLSMALLINT>::max())) {
    throw ZorvError(kConnectFailed,
                    "connection failed: the connection text is too long for the ODBC driver (" +
                        std::to_string(wideText.size()) + " UTF-16 units, at most " +
                        std::to_string(std::numeric_limits<SQLSMALLINT>::max()) + ")");
  }
  dbc_ = std::make_unique<Handle>(SQL_HANDLE_DBC, env_->get(), SQL_HANDLE_ENV);
  SQLSetConnectAttrW(dbc_->get(), SQL_ATTR_LOGIN_TIMEOUT,
                     reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(kLoginTimeoutSeconds)), 0);
  const SQLRETURN rc =
      SQLDriverConnectW(dbc_->get(), nullptr, reinterpret_cast<SQLWCHAR*>(wideText.data()),
                        static_cast<SQLSMALLINT>(wideText.size()), nullptr, 0, nullptr,
                        SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    const std::string reason = readDiagnostics(SQL_HANDLE_DBC, dbc_->get()).message;
    dbc_.reset();
    throw ZorvError(kConnectFailed,
                    "connection failed: " + (reason.empty() ? "the driver gave no reason" : reason));
  }
  dbc_->setConnected();
  std::u16string name(128, u'\0');
  SQLSMALLINT bytes = 0;
  if (SQL_SUCCEEDED(SQLGetInfoW(dbc_->get(), SQL_DRIVER_NAME, name.data(),
                               static_cast<SQLSMALLINT>(name.size() * sizeof(char16_t)), &bytes))) {
    name.resize(std::min<size_t>(static_cast<size_t>(bytes) / sizeof(char16_t), name.size() - 1));
    profile_ = odbc::profileForDriver(utf8FromUtf16(name), narrowTextIsStoredUtf8());
  }
  guard_ = odbc::CursorGuard(profile_.readOnly);
}

int16_t OdbcDatabase::check(int16_t rc, const Handle& handle) {
  if (rc == SQL_SUCCESS || rc == SQL_NO_DATA) return rc;
  Diagnostics diagnostics = readDiagnostics(handle.type(), handle.get());
  if (rc == SQL_SUCCESS_WITH_INFO) {
    if (!diagnostics.onlyOwnWarnings) notice_ = diagnostics.message;
    return rc;
  }
  if (diagnostics.message.empty()) {
    diagnostics.message = "the ODBC driver failed (return code " + std::to_string(rc) + ")";
  }
  if (diagnostics.lost || connectionDead()) {
    throw ZorvError(kConnectFailed,
                    "the connection to the database was lost: " + diagnostics.message);
  }
  throw ZorvError(kStatementFailed, diagnostics.message);
}

bool OdbcDatabase::connectionDead() const {
  SQLUINTEGER dead = SQL_CD_FALSE;
  return dbc_ && SQL_SUCCEEDED(SQLGetConnectAttrW(dbc_->get(), SQL_ATTR_CONNECTION_DEAD, &dead,
                                                  0, nullptr)) &&
         dead == SQL_CD_TRUE;
}

void OdbcDatabase::requireConnection() const {
  if (!dbc_) throw ZorvError(kConnectFailed, dropped_.empty() ? "not connected" : dropped_);
}

void OdbcDatabase::dropConnection(const std::string& reason) noexcept {
  reader_.reset();
  try {
    const std::string details = readDiagnostics(SQL_HANDLE_DBC, dbc_->get()).message;
    dropped_ = "the connection was closed: the ODBC driver " + reason +
               (details.empty() ? "" : ": " + details);
  } catch (...) {
    dropped_ = "the connection was closed";
  }
  dbc_.reset();  // disconnects, rolling back whatever is open
}

std::unique_ptr<Handle> OdbcDatabase::newStatement() {
  requireConnection();
  auto statement = std::make_unique<Handle>(SQL_HANDLE_STMT, dbc_->get(), SQL_HANDLE_DBC);
  // The text runs as written: no ODBC escape sequences are rewritten.
  SQLSetStmtAttrW(statement->get(), SQL_ATTR_NOSCAN,
                  reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_NOSCAN_ON)), 0);
  return statement;
}

bool OdbcDatabase::run(std::string_view sql, Diagnostics* failure) {
  auto statement = newStatement();
  const std::u16string text = utf16FromUtf8(sql);
  const SQLRETURN rc = SQLExecDirectW(statement->get(), const_cast<SQLWCHAR*>(wide(text)),
                                      wideLength(text));
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return true;
  const Diagnostics diagnostics = readDiagnostics(SQL_HANDLE_STMT, statement->get());
  if (diagnostics.lost || connectionDead()) {
    throw ZorvError(kConnectFailed,
                    "the connection to the database was lost: " + diagnostics.message);
  }
  if (failure != nullptr) *failure = diagnostics;
  return false;
}

bool OdbcDatabase::setAttribute(SQLINTEGER attribute, uintptr_t value) {
  return SQL_SUCCEEDED(
      SQLSetConnectAttrW(dbc_->get(), attribute, reinterpret_cast<SQLPOINTER>(value), 0));
}

std::optional<SQLUINTEGER> OdbcDatabase::attribute(SQLINTEGER attribute) {
  SQLUINTEGER value = 0;
  if (!SQL_SUCCEEDED(SQLGetConnectAttrW(dbc_->get(), attribute, &value, 0, nullptr))) {
    return std::nullopt;
  }
  return value;
}

void OdbcDatabase::switchAutocommitOff() {
  check(SQLSetConnectAttrW(dbc_->get(), SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_AUTOCOMMIT_OFF)),
                           0),
        *dbc_);
}

bool OdbcDatabase::rollBack() {
  return SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc_->get(), SQL_ROLLBACK));
}

void OdbcDatabase::beginGuard(std::string_view statement) {
  const odbc::GuardDecision decision = guard_.begin(*this, statement);
  switch (decision.action) {
    case odbc::GuardDecision::Action::Keep:
      return;
    case odbc::GuardDecision::Action::Refuse:
      throw ZorvError(kStatementFailed, decision.message);
    case odbc::GuardDecision::Action::DropConnection:
      dropConnection(decision.message);
      requireConnection();
      return;
  }
}

void OdbcDatabase::endGuard() noexcept {
  if (!dbc_) {
    guard_.abandon();
    return;
  }
  const odbc::GuardDecision decision = guard_.end(*this);
  if (decision.action == odbc::GuardDecision::Action::DropConnection) {
    dropConnection(decision.message);
  }
}

void OdbcDatabase::exec(std::string_view sql, ExecSink& sink) {
  const std::u16string text = oneStatement(sql, profile_);
  auto statement = newStatement();
  const SQLRETURN rc = check(
      SQLExecDirectW(statement->get(), const_cast<SQLWCHAR*>(wide(text)), wideLength(text)),
      *statement);
  // An UPDATE or DELETE that matched nothing.
  if (rc == SQL_NO_DATA) {
    sink.changed(0);
    return;
  }
  SQLSMALLINT columns = 0;
  check(SQLNumResultCols(statement->get(), &columns), *statement);
  if (columns == 0) {
    SQLLEN count = 0;
    check(SQLRowCount(statement->get(), &count), *statement);
    sink.changed(count > 0 ? static_cast<uint64_t>(count) : 0);
    return;
  }
  RowReader reader(*this, std::move(statement));
  std::vector<FieldView> names;
  for (const auto& name : reader.names()) names.push_back(FieldView{name.data(), name.size(), false});
  sink.columns(names);
  // A query stops once the answer is full; anything else runs to its end.
  const std::string keyword = odbc::firstKeyword(sql);
  const bool query = keyword == "SELECT" || keyword == "VALUES" || keyword == "TABLE";
  bool wanted = true;
  std::span<const FieldView> row;
  while (reader.next(row)) {
    if (wanted) wanted = sink.row(row);
    if (!wanted && query) break;
  }
}

void OdbcDatabase::openCursor(std::string_view sql) {
  closeCursor();
  requireConnection();
  const std::u16string text = oneStatement(sql, profile_);
  beginGuard(utf8FromUtf16(text));
  try {
    auto statement = newStatement();
    check(SQLPrepareW(statement->get(), const_cast<SQLWCHAR*>(wide(text)), wideLength(text)),
          *statement);
    SQLSMALLINT columns = 0;
    check(SQLNumResultCols(statement->get(), &columns), *statement);
    // Some drivers tell the columns of a prepared statement only for SELECT;
    // under a guard the database refuses writes, so it may run to tell.
    if (columns == 0 && !guard_.active()) refuseNotAQuery();
    const bool executed = columns == 0;
    if (executed) {
      check(SQLExecute(statement->get()), *statement);
      check(SQLNumResultCols(statement->get(), &columns), *statement);
      if (columns == 0) refuseNotAQuery();
    }
    SQLHSTMT stmt = statement->get();
    const Handle& handle = *statement;
    auto reader = std::make_unique<RowReader>(*this, std::move(statement));
    if (!executed) check(SQLExecute(stmt), handle);
    names_ = reader->names();
    reader_ = std::move(reader);
    cursorOpen_ = true;
  } catch (const ZorvError&) {
    reader_.reset();
    endGuard();
    requireConnection();
    throw;
  }
}

bool OdbcDatabase::fetch(std::span<const FieldView>& row) {
  if (!reader_) return false;
  try {
    if (reader_->next(row)) return true;
  } catch (const ZorvError& e) {
    closeCursor();
    // A lost connection's own reason (the server's, when it ended the
    // session) says more than the guard's end that failed after it.
    if (e.code() == kConnectFailed) throw;
    requireConnection();
    throw;
  }
  // Read to the end: the statement and its read-only guard end now.
  releaseStatement();
  requireConnection();
  return false;
}

void OdbcDatabase::releaseStatement() noexcept {
  reader_.reset();
  endGuard();
}

void OdbcDatabase::closeCursor() noexcept {
  releaseStatement();
  names_.clear();
  cursorOpen_ = false;
}

std::string OdbcDatabase::takeNotice() { return std::exchange(notice_, {}); }

}  // namespace zorv::lib

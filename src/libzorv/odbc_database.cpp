#include "odbc_database.h"

#if defined(_WIN32)
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <utility>

#include "odbc_locale.h"
#include "odbc_text.h"
#include "zorv_error.h"

namespace zorv::lib {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC wide text is UTF-16");

namespace {

// A cursor's block of rows: at most this many rows and about this many bytes.
constexpr SQLULEN kMaxBlockRows = 1000;
constexpr size_t kBlockBytes = 4u << 20;
// Units of a value's slot in the block: columns whose width the driver
// states up to kMaxSlotUnits get that width, others kLongSlotUnits; a value
// that does not fit its slot is read again whole, kPieceUnits at a time.
constexpr SQLLEN kMaxSlotUnits = 2048;
constexpr SQLLEN kLongSlotUnits = 256;
constexpr SQLLEN kPieceUnits = 4096;
constexpr SQLUINTEGER kLoginTimeoutSeconds = 10;
// A diagnostic record is read into this many units: more than an answer holds.
constexpr size_t kMessageUnits = 8200;

// Options that keep each known driver's memory flat and its calls bounded;
// added only where the user's string lacks the key.
struct DriverOption {
  OdbcDatabase::Driver driver;
  const char* key;
  const char* value;
};
constexpr DriverOption kDriverOptions[] = {
    // Read a result through a server-side cursor, 1,000 rows per round trip,
    // instead of all of it into memory.
    {OdbcDatabase::Driver::Postgres, "UseDeclareFetch", "1"},
    {OdbcDatabase::Driver::Postgres, "Fetch", "1000"},
    // The driver's query timeout is the server's: TCP keepalives notice a
    // server or network that vanished.
    {OdbcDatabase::Driver::Postgres, "KeepaliveTime", "10"},
    {OdbcDatabase::Driver::Postgres, "KeepaliveInterval", "5"},
    // Values as stored: the driver's Windows default turns LF into CR LF.
    {OdbcDatabase::Driver::Postgres, "LFConversion", "0"},
    // Step the statement row by row instead of reading all of it first.
    {OdbcDatabase::Driver::Sqlite, "StepAPI", "1"},
    // Wait for another process's lock as long as the native engine does.
    {OdbcDatabase::Driver::Sqlite, "Timeout", "5000"},
};

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

std::string utf8(std::u16string_view text) {
  std::string out;
  odbc::appendUtf8(text, out);
  return out;
}

const SQLWCHAR* wide(const std::u16string& text) {
  return reinterpret_cast<const SQLWCHAR*>(text.c_str());
}

SQLINTEGER wideLength(const std::u16string& text) { return static_cast<SQLINTEGER>(text.size()); }

OdbcDatabase::Driver driverNamed(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  if (name.find("psql") != std::string::npos || name.find("postgres") != std::string::npos) {
    return OdbcDatabase::Driver::Postgres;
  }
  if (name.find("sqlite") != std::string::npos) return OdbcDatabase::Driver::Sqlite;
  return OdbcDatabase::Driver::Other;
}

// Adds the driver's options the string lacks; true when any was added.
bool addDriverOptions(odbc::OdbcConnectionString& text, OdbcDatabase::Driver driver) {
  bool added = false;
  for (const auto& option : kDriverOptions) {
    if (option.driver != driver || text.has(option.key)) continue;
    text.addIfAbsent(option.key, option.value);
    added = true;
  }
  return added;
}

// Every diagnostic record of a handle, read before the next call clears them.
struct Diagnostics {
  std::string message;  // "[SQLSTATE] text" records joined by "; "
  std::string state;    // the first record's SQLSTATE
  bool lost = false;
  bool onlyOwnWarnings = true;
};

// The text of a wide buffer up to its NUL: drivers behind a narrow
// interface report lengths in bytes, not characters.
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
    const std::string sqlState =
        utf8(std::u16string_view(reinterpret_cast<const char16_t*>(state), 5));
    std::string body = utf8(untilNul(text, text.size()));
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

// The statement's first word in upper case.
std::string firstKeyword(std::string_view sql) {
  size_t i = 0;
  while (i < sql.size() && !std::isalpha(static_cast<unsigned char>(sql[i]))) {
    if (sql[i] == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      i = sql.find('\n', i);
      if (i == std::string_view::npos) return {};
    } else if (sql[i] == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      i = sql.find("*/", i);
      if (i == std::string_view::npos) return {};
      i += 2;
      continue;
    }
    ++i;
  }
  std::string word;
  while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i]))) {
    word.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++]))));
  }
  return word;
}

[[noreturn]] void refuseNotAQuery() {
  throw ZorvError(kStatementFailed,
                  "a cursor needs a read-only query that returns columns (SELECT, VALUES, "
                  "WITH ... SELECT)");
}

// The text's one statement, or ZorvError(kStatementFailed). The SQLite
// driver answers rows only for statements it sees as queries, which a bare
// VALUES is not: it gets the same rows and column names as a subquery.
std::u16string oneStatement(std::string_view sql, OdbcDatabase::Driver driver) {
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
  if (driver == OdbcDatabase::Driver::Sqlite && firstKeyword(split.first) == "VALUES") {
    return odbc::toUtf16("SELECT * FROM (" + std::string(split.first) + ")");
  }
  return odbc::toUtf16(split.first);
}

}  // namespace

// Owns one ODBC handle; a connection is ended before its handle is freed.
class OdbcDatabase::Handle {
 public:
  Handle(SQLSMALLINT type, SQLHANDLE parent, SQLSMALLINT parentType) : type_(type) {
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
  ~Handle() {
    if (type_ == SQL_HANDLE_DBC && connected_) {
      if (!SQL_SUCCEEDED(SQLDisconnect(handle_))) {
        SQLEndTran(SQL_HANDLE_DBC, handle_, SQL_ROLLBACK);
        SQLDisconnect(handle_);
      }
    }
    SQLFreeHandle(type_, handle_);
  }
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

// Reads an executed statement's rows as UTF-8 fields. With bound arrays it
// fetches blocks of rows; a value longer than its slot, and every value when
// the driver cannot read bound columns again, comes through SQLGetData in
// pieces joined before conversion, since a piece may end inside a pair or a
// UTF-8 sequence.
//
// Values are read as wide text, except from the SQLite driver outside
// Windows: its narrow text is the stored UTF-8 as is, whatever the locale,
// blobs and numbers written as for wide text, and reading it narrow spares a
// conversion and an allocation per value. A narrow value that is not
// well-formed UTF-8 (the driver's wide text drops or replaces such bytes in
// its own way), and one longer than its slot, is read again wide, so the
// text is the same either way. On Windows that driver's narrow text is in
// the ANSI code page, so it is read wide there.
class OdbcDatabase::RowReader {
 public:
  RowReader(OdbcDatabase& db, std::unique_ptr<Handle> statement)
      : db_(db), statement_(std::move(statement)), narrow_(readsNarrow(db.driver_)) {
    SQLHSTMT stmt = statement_->get();
    SQLSMALLINT count = 0;
    db_.check(SQLNumResultCols(stmt, &count), *statement_);
    columns_.resize(static_cast<size_t>(std::max<SQLSMALLINT>(count, 0)));
    size_t rowBytes = 0;
    std::u16string name(256, u'\0');
    for (SQLUSMALLINT i = 0; i < columns_.size(); ++i) {
      SQLSMALLINT length = 0;
      SQLSMALLINT type = 0;
      SQLULEN size = 0;
      SQLSMALLINT digits = 0;
      SQLSMALLINT nullable = 0;
      auto describe = [&] {
        return db_.check(SQLDescribeColW(stmt, i + 1, reinterpret_cast<SQLWCHAR*>(name.data()),
                                         static_cast<SQLSMALLINT>(name.size()), &length, &type,
                                         &size, &digits, &nullable),
                         *statement_);
      };
      std::fill(name.begin(), name.end(), u'\0');
      describe();
      if (length >= static_cast<SQLSMALLINT>(name.size())) {
        name.assign(static_cast<size_t>(length) + 1, u'\0');
        describe();
      }
      names_.push_back(utf8(untilNul(name, length)));
      SQLLEN display = 0;
      if (!SQL_SUCCEEDED(SQLColAttributeW(stmt, i + 1, SQL_DESC_DISPLAY_SIZE, nullptr, 0,
                                          nullptr, &display))) {
        display = 0;
      }
      // A character takes up to 3 UTF-8 bytes where it takes one UTF-16 unit.
      const SQLLEN units = display > 0 && display <= kMaxSlotUnits ? display + 1 : kLongSlotUnits;
      columns_[i].slotBytes = units * (narrow_ ? 3 : static_cast<SQLLEN>(sizeof(SQLWCHAR)));
      if (readsIntegers(db_.driver_, type)) {
        columns_[i].integer = true;
        columns_[i].slotBytes = sizeof(int64_t);
      }
      rowBytes += static_cast<size_t>(columns_[i].slotBytes) + sizeof(SQLLEN);
    }
    const uint32_t extensions = db_.getDataExtensions_;
    bound_ = (extensions & SQL_GD_BOUND) != 0 && !columns_.empty();
    blockRows_ = 1;
    if (bound_ && (extensions & SQL_GD_BLOCK) != 0) {
      blockRows_ = std::clamp<SQLULEN>(kBlockBytes / std::max<size_t>(rowBytes, 1), 1, kMaxBlockRows);
    }
    if (bound_) bind();
    row_.resize(columns_.size());
    ends_.resize(columns_.size());
  }

  const std::vector<std::string>& names() const { return names_; }

  // The next row, or false after the last one.
  bool next(std::span<const FieldView>& row) {
    if (done_) return false;
    if (at_ >= fetched_) {
      fetched_ = 0;
      at_ = 0;
      if (db_.check(SQLFetch(statement_->get()), *statement_) == SQL_NO_DATA) {
        done_ = true;
        return false;
      }
      if (!bound_) fetched_ = 1;
      if (fetched_ == 0) {
        done_ = true;
        return false;
      }
    }
    const SQLULEN r = at_++;
    if (bound_ && (status_[r] == SQL_ROW_ERROR || status_[r] == SQL_ROW_NOROW)) {
      throw ZorvError(kStatementFailed, "the driver could not read row " + std::to_string(r + 1) +
                                            " of a block");
    }
    text_.clear();
    bool positioned = blockRows_ == 1;
    for (size_t c = 0; c < columns_.size(); ++c) {
      Column& column = columns_[c];
      bool isNull = false;
      if (bound_) {
        const SQLLEN length = column.lengths[r];
        const SQLLEN capacity = column.slotBytes - terminatorBytes();
        if (length == SQL_NULL_DATA) {
          isNull = true;
        } else if (column.integer) {
          int64_t value = 0;
          std::memcpy(&value, slot(column, r), sizeof value);
          char digits[24];
          const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
          text_.append(digits, static_cast<size_t>(end - digits));
        } else if (length != SQL_NO_TOTAL && length <= capacity &&
                   (!narrow_ || odbc::isWellFormedUtf8(std::string_view(
                                    slot(column, r), static_cast<size_t>(length))))) {
          const char* value = slot(column, r);
          if (narrow_) {
            text_.append(value, static_cast<size_t>(length));
          } else {
            odbc::appendUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(value),
                                                 static_cast<size_t>(length) / sizeof(SQLWCHAR)),
                             text_);
          }
        } else {
          if (!positioned) {
            db_.check(SQLSetPos(statement_->get(), static_cast<SQLSETPOSIROW>(r + 1), SQL_POSITION,
                                SQL_LOCK_NO_CHANGE),
                      *statement_);
            positioned = true;
          }
          isNull = !readPieces(static_cast<SQLUSMALLINT>(c + 1));
        }
      } else {
        isNull = !readPieces(static_cast<SQLUSMALLINT>(c + 1));
      }
      ends_[c] = isNull ? SIZE_MAX : text_.size();
    }
    size_t start = 0;
    for (size_t c = 0; c < columns_.size(); ++c) {
      if (ends_[c] == SIZE_MAX) {
        row_[c] = FieldView{nullptr, 0, true};
      } else {
        row_[c] = FieldView{text_.data() + start, ends_[c] - start, false};
        start = ends_[c];
      }
    }
    row = row_;
    return true;
  }

 private:
  struct Column {
    SQLLEN slotBytes = 0;
    bool integer = false;  // bound as a 64-bit integer
    // Wide slots are read as char16_t: the buffer's alignment and even slot
    // sizes keep each slot aligned for it.
    std::vector<char> data;
    std::vector<SQLLEN> lengths;
  };

  static bool readsNarrow(Driver driver) {
#if defined(_WIN32)
    (void)driver;
    return false;
#else
    return driver == Driver::Sqlite;
#endif
  }

  // psqlODBC's integer columns are read as numbers: their text is the
  // number in decimal either way, and reading it as text costs the driver an
  // allocation and a conversion per value. Only for that driver: in SQLite
  // a column declared INTEGER may hold any value.
  static bool readsIntegers(Driver driver, SQLSMALLINT type) {
    return driver == Driver::Postgres &&
           (type == SQL_SMALLINT || type == SQL_INTEGER || type == SQL_BIGINT);
  }

  SQLSMALLINT cType(const Column& column) const {
    if (column.integer) return SQL_C_SBIGINT;
    return narrow_ ? SQL_C_CHAR : SQL_C_WCHAR;
  }
  SQLLEN terminatorBytes() const { return narrow_ ? 1 : static_cast<SQLLEN>(sizeof(SQLWCHAR)); }
  static const char* slot(const Column& column, SQLULEN row) {
    return column.data.data() + row * static_cast<size_t>(column.slotBytes);
  }

  void bind() {
    SQLHSTMT stmt = statement_->get();
    status_.assign(blockRows_, SQL_ROW_SUCCESS);
    db_.check(SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_BIND_TYPE,
                              reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_BIND_BY_COLUMN)), 0),
              *statement_);
    db_.check(SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_ARRAY_SIZE,
                              reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(blockRows_)), 0),
              *statement_);
    SQLULEN granted = 0;
    if (SQL_SUCCEEDED(SQLGetStmtAttrW(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &granted, 0, nullptr)) &&
        granted > 0 && granted < blockRows_) {
      blockRows_ = granted;
    }
    db_.check(SQLSetStmtAttrW(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched_, 0), *statement_);
    db_.check(SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_STATUS_PTR, status_.data(), 0), *statement_);
    for (SQLUSMALLINT i = 0; i < columns_.size(); ++i) {
      Column& column = columns_[i];
      column.data.assign(static_cast<size_t>(column.slotBytes) * blockRows_, 0);
      column.lengths.assign(blockRows_, 0);
      db_.check(SQLBindCol(stmt, i + 1, cType(column), column.data.data(), column.slotBytes,
                           column.lengths.data()),
                *statement_);
    }
  }

  // Appends the current row's column, read whole as wide text, to text_;
  // false for NULL.
  bool readPieces(SQLUSMALLINT column) {
    value_.clear();
    piece_.resize(static_cast<size_t>(kPieceUnits));
    while (true) {
      SQLLEN length = 0;
      const SQLRETURN rc = db_.check(
          SQLGetData(statement_->get(), column, SQL_C_WCHAR, piece_.data(),
                     kPieceUnits * static_cast<SQLLEN>(sizeof(SQLWCHAR)), &length),
          *statement_);
      if (rc == SQL_NO_DATA) break;
      if (length == SQL_NULL_DATA) return false;
      const size_t full = static_cast<size_t>(kPieceUnits - 1);
      const size_t units = length == SQL_NO_TOTAL
                               ? full
                               : std::min(full, static_cast<size_t>(length) / sizeof(SQLWCHAR));
      value_.append(reinterpret_cast<const char16_t*>(piece_.data()), units);
      if (rc == SQL_SUCCESS) break;
    }
    odbc::appendUtf8(value_, text_);
    return true;
  }

  OdbcDatabase& db_;
  std::unique_ptr<Handle> statement_;
  const bool narrow_;
  std::vector<std::string> names_;
  std::vector<Column> columns_;
  bool bound_ = false;
  SQLULEN blockRows_ = 1;
  SQLULEN fetched_ = 0;
  SQLULEN at_ = 0;
  std::vector<SQLUSMALLINT> status_;
  bool done_ = false;
  std::vector<SQLWCHAR> piece_;
  std::u16string value_;
  std::string text_;
  std::vector<size_t> ends_;
  std::vector<FieldView> row_;
};

OdbcDatabase::OdbcDatabase(const std::string& connection) {
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
  const auto named = text.values("driver");
  const Driver guessed = named.empty() ? Driver::Other : driverNamed(named.front());
  addDriverOptions(text, guessed);
  connect(text.text());
  // A DSN names its driver only in the driver manager's files: once
  // connected, the driver says who it is, and the options it lacked are
  // added by connecting again.
  if (driver_ != guessed) {
    odbc::OdbcConnectionString again(connection);
    if (addDriverOptions(again, driver_)) {
      const Driver known = driver_;
      dbc_.reset();
      connect(again.text());
      driver_ = known;
    }
  }
  SQLUINTEGER extensions = 0;
  if (SQL_SUCCEEDED(SQLGetInfoW(dbc_->get(), SQL_GETDATA_EXTENSIONS, &extensions,
                               sizeof extensions, nullptr))) {
    getDataExtensions_ = extensions;
  }
  notice_.clear();
}

OdbcDatabase::~OdbcDatabase() { closeCursor(); }

void OdbcDatabase::connect(const std::string& connection) {
  dbc_ = std::make_unique<Handle>(SQL_HANDLE_DBC, env_->get(), SQL_HANDLE_ENV);
  SQLSetConnectAttrW(dbc_->get(), SQL_ATTR_LOGIN_TIMEOUT,
                     reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(kLoginTimeoutSeconds)), 0);
  std::u16string wideText = odbc::toUtf16(connection);
  const SQLRETURN rc =
      SQLDriverConnectW(dbc_->get(), nullptr, const_cast<SQLWCHAR*>(wide(wideText)),
                        static_cast<SQLSMALLINT>(wideText.size()), nullptr, 0, nullptr,
                        SQL_DRIVER_NOPROMPT);
  std::fill(wideText.begin(), wideText.end(), u'\0');
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
    driver_ = driverNamed(utf8(name));
  }
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

std::unique_ptr<OdbcDatabase::Handle> OdbcDatabase::newStatement() {
  auto statement = std::make_unique<Handle>(SQL_HANDLE_STMT, dbc_->get(), SQL_HANDLE_DBC);
  // The text runs as written: no ODBC escape sequences are rewritten.
  SQLSetStmtAttrW(statement->get(), SQL_ATTR_NOSCAN,
                  reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_NOSCAN_ON)), 0);
  return statement;
}

bool OdbcDatabase::runFixed(const char* sql, std::string* state) {
  auto statement = newStatement();
  const std::u16string text = odbc::toUtf16(sql);
  const SQLRETURN rc = SQLExecDirectW(statement->get(), const_cast<SQLWCHAR*>(wide(text)),
                                      wideLength(text));
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return true;
  const Diagnostics diagnostics = readDiagnostics(SQL_HANDLE_STMT, statement->get());
  if (diagnostics.lost || connectionDead()) {
    throw ZorvError(kConnectFailed,
                    "the connection to the database was lost: " + diagnostics.message);
  }
  if (state != nullptr) *state = diagnostics.state;
  return false;
}

void OdbcDatabase::beginGuard() {
  guard_ = Guard::None;
  if (driver_ == Driver::Sqlite) {
    if (!runFixed("PRAGMA query_only = 1")) {
      throw ZorvError(kStatementFailed, "cannot make the cursor read-only");
    }
    guard_ = Guard::QueryOnly;
  } else if (driver_ == Driver::Postgres) {
    // A savepoint is refused outside a transaction block: that tells whether
    // the user opened one, which the cursor then joins as it is.
    std::string state;
    if (runFixed("SAVEPOINT zorv_cursor_probe", &state)) {
      runFixed("RELEASE SAVEPOINT zorv_cursor_probe");
      return;
    }
    if (state == "25P02") {
      throw ZorvError(kStatementFailed,
                      "the current transaction is aborted; end it with ROLLBACK first");
    }
    check(SQLSetConnectAttrW(dbc_->get(), SQL_ATTR_AUTOCOMMIT,
                             reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_AUTOCOMMIT_OFF)),
                             0),
          *dbc_);
    guard_ = Guard::OwnTransaction;
    if (!runFixed("SET TRANSACTION READ ONLY")) {
      endGuard();
      throw ZorvError(kStatementFailed, "cannot make the cursor read-only");
    }
  }
}

void OdbcDatabase::endGuard() noexcept {
  const Guard guard = std::exchange(guard_, Guard::None);
  try {
    if (guard == Guard::OwnTransaction) {
      SQLEndTran(SQL_HANDLE_DBC, dbc_->get(), SQL_ROLLBACK);
      SQLSetConnectAttrW(dbc_->get(), SQL_ATTR_AUTOCOMMIT,
                         reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_AUTOCOMMIT_ON)), 0);
    } else if (guard == Guard::QueryOnly) {
      runFixed("PRAGMA query_only = 0");
    }
  } catch (const ZorvError&) {
    // A lost connection shows at the next call.
  }
}

void OdbcDatabase::exec(std::string_view sql, ExecSink& sink) {
  const std::u16string text = oneStatement(sql, driver_);
  drainCursor();
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
  const std::string keyword = firstKeyword(sql);
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
  const std::u16string text = oneStatement(sql, driver_);
  beginGuard();
  try {
    auto statement = newStatement();
    check(SQLPrepareW(statement->get(), const_cast<SQLWCHAR*>(wide(text)), wideLength(text)),
          *statement);
    SQLSMALLINT columns = 0;
    check(SQLNumResultCols(statement->get(), &columns), *statement);
    // Some drivers tell the columns of a prepared statement only for SELECT;
    // under a guard the database refuses writes, so it may run to tell.
    if (columns == 0 && guard_ == Guard::None) refuseNotAQuery();
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
    throw;
  }
}

bool OdbcDatabase::fetch(std::span<const FieldView>& row) {
  if (spill_) return spill_->next(row);
  if (!reader_) return false;
  try {
    if (reader_->next(row)) return true;
  } catch (const ZorvError&) {
    closeCursor();
    throw;
  }
  // Read to the end: the statement and its read-only guard end now.
  releaseStatement();
  return false;
}

void OdbcDatabase::releaseStatement() noexcept {
  reader_.reset();
  endGuard();
}

void OdbcDatabase::drainCursor() {
  if (!reader_) return;
  try {
    auto spill = std::make_unique<SpillFile>(names_.size());
    std::span<const FieldView> row;
    while (reader_->next(row)) spill->append(row);
    spill->startReading();
    releaseStatement();
    spill_ = std::move(spill);
  } catch (const ZorvError& e) {
    // A cursor that cannot be kept is closed; the statement still runs.
    closeCursor();
    if (e.code() == kConnectFailed) throw;
    notice_ = std::string("the open cursor was closed: ") + e.what();
  }
}

void OdbcDatabase::closeCursor() noexcept {
  releaseStatement();
  spill_.reset();
  names_.clear();
  cursorOpen_ = false;
}

std::string OdbcDatabase::takeNotice() { return std::exchange(notice_, {}); }

}  // namespace zorv::lib

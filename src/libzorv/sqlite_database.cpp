#include "sqlite_database.h"

#include <sqlite3.h>

#include <limits>

#include "zorv_error.h"

namespace zorv::lib {
namespace {

// How long a statement waits for another process's lock before failing.
constexpr int kBusyTimeoutMs = 5000;

}  // namespace

void SqliteDatabase::CloseDb::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

void SqliteDatabase::Finalize::operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }

SqliteDatabase::SqliteDatabase(const std::string& path, Mode mode) {
  int flags = SQLITE_OPEN_NOMUTEX;
  switch (mode) {
    case Mode::ReadOnly: flags |= SQLITE_OPEN_READONLY; break;
    case Mode::ReadWrite: flags |= SQLITE_OPEN_READWRITE; break;
    case Mode::ReadWriteCreate: flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE; break;
  }
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    const std::string reason = raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
    throw ZorvError(kConnectFailed, "cannot open database file \"" + path + "\": " + reason);
  }
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  // A file that is not a database opens fine and fails on first read.
  const int probe =
      sqlite3_exec(raw, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
  if (probe != SQLITE_OK) {
    throw ZorvError(kConnectFailed,
                    "cannot read database file \"" + path + "\": " + sqlite3_errmsg(raw));
  }
}

SqliteDatabase::~SqliteDatabase() { closeCursor(); }

void SqliteDatabase::fail(const std::string& context) {
  throw ZorvError(kStatementFailed, context + sqlite3_errmsg(db_.get()));
}

SqliteDatabase::Statement SqliteDatabase::prepareOne(std::string_view sql) {
  if (sql.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
    throw ZorvError(kStatementFailed, "statement is too long");
  }
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db_.get(), sql.data(), static_cast<int>(sql.size()), &raw, &tail) !=
      SQLITE_OK) {
    fail("");
  }
  Statement stmt(raw);
  if (!stmt) throw ZorvError(kStatementFailed, "the statement is empty");

  // Whatever follows the first statement must be blanks and comments only.
  const char* end = sql.data() + sql.size();
  sqlite3_stmt* second = nullptr;
  const int rc = sqlite3_prepare_v2(db_.get(), tail, static_cast<int>(end - tail), &second,
                                    nullptr);
  Statement secondStmt(second);
  if (rc != SQLITE_OK || secondStmt) {
    throw ZorvError(kStatementFailed,
                    "the text holds more than one statement; only one may run per call");
  }
  return stmt;
}

void SqliteDatabase::readRow(sqlite3_stmt* stmt) {
  const int count = static_cast<int>(row_.size());
  for (int i = 0; i < count; ++i) {
    // The text of a NULL is a null pointer, so no separate type check is needed.
    FieldView& field = row_[i];
    field.data = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
    field.isNull = field.data == nullptr;
    field.size = field.isNull ? 0 : static_cast<size_t>(sqlite3_column_bytes(stmt, i));
  }
}

void SqliteDatabase::exec(std::string_view sql, ExecSink& sink) {
  Statement stmt = prepareOne(sql);
  const int columns = sqlite3_column_count(stmt.get());
  if (columns == 0) {
    const sqlite3_int64 before = sqlite3_total_changes64(db_.get());
    const int rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) fail("");
    // Only INSERT, UPDATE and DELETE move the total; others changed no rows.
    const bool counted = sqlite3_total_changes64(db_.get()) != before;
    sink.changed(counted ? static_cast<uint64_t>(sqlite3_changes64(db_.get())) : 0);
    return;
  }

  std::vector<FieldView> names(columns);
  for (int i = 0; i < columns; ++i) {
    const char* name = sqlite3_column_name(stmt.get(), i);
    names[i] = FieldView{name, name != nullptr ? std::char_traits<char>::length(name) : 0, false};
  }
  sink.columns(names);
  // A statement that changes data runs to its end even when the answer is full.
  const bool readOnly = sqlite3_stmt_readonly(stmt.get()) != 0;
  row_.assign(columns, FieldView{});
  bool wanted = true;
  while (true) {
    const int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW) fail("");
    if (wanted) {
      readRow(stmt.get());
      wanted = sink.row(row_);
    }
    if (!wanted && readOnly) break;
  }
}

void SqliteDatabase::openCursor(std::string_view sql) {
  closeCursor();
  Statement stmt = prepareOne(sql);
  const int columns = sqlite3_column_count(stmt.get());
  if (columns == 0 || sqlite3_stmt_readonly(stmt.get()) == 0) {
    throw ZorvError(kStatementFailed,
                    "a cursor needs a read-only query that returns columns (SELECT, VALUES, "
                    "WITH ... SELECT)");
  }
  std::vector<std::string> names;
  names.reserve(columns);
  for (int i = 0; i < columns; ++i) {
    const char* name = sqlite3_column_name(stmt.get(), i);
    names.emplace_back(name != nullptr ? name : "");
  }
  names_ = std::move(names);
  row_.assign(columns, FieldView{});
  cursor_ = std::move(stmt);
  cursorDone_ = false;
}

bool SqliteDatabase::fetch(std::span<const FieldView>& row) {
  if (cursorDone_) return false;
  const int rc = sqlite3_step(cursor_.get());
  if (rc == SQLITE_ROW) {
    readRow(cursor_.get());
    row = row_;
    return true;
  }
  if (rc == SQLITE_DONE) {
    // Ends the statement's read so it holds no lock while the cursor stays open.
    sqlite3_reset(cursor_.get());
    cursorDone_ = true;
    return false;
  }
  const std::string reason = sqlite3_errmsg(db_.get());
  closeCursor();
  throw ZorvError(kStatementFailed, reason);
}

void SqliteDatabase::closeCursor() noexcept {
  cursor_.reset();
  cursorDone_ = false;
  names_.clear();
  row_.clear();
}

}  // namespace zorv::lib

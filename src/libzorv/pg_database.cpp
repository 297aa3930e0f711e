#include "pg_database.h"

#include <libpq-fe.h>

#include <charconv>
#include <cstring>
#include <set>
#include <utility>

#include "zorv_error.h"

namespace zorv::lib {
namespace {

// Rows per round trip while the console fetches, and while draining.
constexpr int kBatchRows = 1000;
constexpr int kDrainBatchRows = 10000;
constexpr const char* kCursorName = "zorv_cursor";
constexpr const char* kSqlStateSyntaxError = "42601";

std::string trimmed(const char* text) {
  std::string s = text != nullptr ? text : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

// The keywords the client library accepts, read once.
const std::set<std::string>& knownKeywords() {
  static const std::set<std::string> keywords = [] {
    std::set<std::string> names;
    PQconninfoOption* defaults = PQconndefaults();
    if (defaults != nullptr) {
      for (const PQconninfoOption* o = defaults; o->keyword != nullptr; ++o) {
        names.insert(o->keyword);
      }
      PQconninfoFree(defaults);
    }
    return names;
  }();
  return keywords;
}

}  // namespace

void PgDatabase::Finish::operator()(pg_conn* conn) const { PQfinish(conn); }

void PgDatabase::Clear::operator()(pg_result* result) const { PQclear(result); }

void PgDatabase::checkKeywords(const std::vector<ConnectionOption>& options) {
  const auto& known = knownKeywords();
  for (const auto& option : options) {
    if (known.count(option.keyword) == 0) {
      throw ZorvError(kBadConnectionText,
                      "bad connection text: unknown keyword \"" + option.keyword + "\"");
    }
  }
}

PgDatabase::PgDatabase(const std::vector<ConnectionOption>& options) {
  std::vector<const char*> keys;
  std::vector<const char*> values;
  std::set<std::string> given;
  for (const auto& option : options) {
    given.insert(option.keyword);
    if (option.keyword == "client_encoding") continue;
    keys.push_back(option.keyword.c_str());
    values.push_back(option.value.c_str());
  }
  // Defaults that keep a dead server or network from hanging a call for long.
  const std::pair<const char*, const char*> defaults[] = {
      {"connect_timeout", "10"}, {"keepalives_idle", "10"}, {"keepalives_interval", "5"},
      {"keepalives_count", "3"}, {"fallback_application_name", "zorv"}};
  for (const auto& [key, value] : defaults) {
    if (given.count(key) == 0) {
      keys.push_back(key);
      values.push_back(value);
    }
  }
  keys.push_back("client_encoding");
  values.push_back("UTF8");
  keys.push_back(nullptr);
  values.push_back(nullptr);

  conn_.reset(PQconnectdbParams(keys.data(), values.data(), 0));
  if (!conn_) throw ZorvError(kConnectFailed, "connection failed: out of memory");
  if (PQstatus(conn_.get()) != CONNECTION_OK) {
    throw ZorvError(kConnectFailed, "connection failed: " + trimmed(PQerrorMessage(conn_.get())));
  }
  PQsetNoticeReceiver(conn_.get(), &PgDatabase::onNotice, this);
  ensureUtf8();
  notice_.clear();
}

// Finishing the connection ends the cursor and its transaction on the server.
PgDatabase::~PgDatabase() = default;

void PgDatabase::onNotice(void* self, const PGresult* notice) {
  auto* db = static_cast<PgDatabase*>(self);
  // A server ending the session says why in an error that arrives while the
  // client waits for nothing; libpq hands it over as a notice.
  if (!db->noteServerEnd(notice)) db->notice_ = trimmed(PQresultErrorMessage(notice));
}

bool PgDatabase::noteServerEnd(const PGresult* error) {
  const char* severity = PQresultErrorField(error, PG_DIAG_SEVERITY_NONLOCALIZED);
  // A pooler's own errors carry only the severity meant for people, in English.
  if (severity == nullptr) severity = PQresultErrorField(error, PG_DIAG_SEVERITY);
  const char* state = PQresultErrorField(error, PG_DIAG_SQLSTATE);
  if (severity == nullptr || state == nullptr ||
      (std::strcmp(severity, "FATAL") != 0 && std::strcmp(severity, "PANIC") != 0)) {
    return false;
  }
  serverEnded_ = std::string("the server ended the session: [") + state + "] " +
                 trimmed(PQresultErrorField(error, PG_DIAG_MESSAGE_PRIMARY));
  return true;
}

std::string PgDatabase::takeNotice() { return std::exchange(notice_, {}); }

void PgDatabase::ensureUtf8() {
  const char* encoding = PQparameterStatus(conn_.get(), "client_encoding");
  if (encoding == nullptr || std::strcmp(encoding, "UTF8") != 0) {
    if (PQsetClientEncoding(conn_.get(), "UTF8") != 0) {
      failWith("cannot set the client encoding to UTF8: " +
               trimmed(PQerrorMessage(conn_.get())));
    }
  }
}

void PgDatabase::failWith(const std::string& message) {
  if (PQstatus(conn_.get()) == CONNECTION_BAD) {
    if (!serverEnded_.empty()) {
      throw ZorvError(kConnectFailed, "the connection to the server was lost: " + serverEnded_);
    }
    // Without the server's word libpq's next lines only guess that the server
    // "terminated abnormally", also when it was switched over or a pooler
    // dropped the connection: its first line says what it saw.
    throw ZorvError(kConnectFailed, "the connection to the server was lost: " +
                                        message.substr(0, message.find('\n')) +
                                        "; Open to connect again");
  }
  throw ZorvError(kStatementFailed, message);
}

void PgDatabase::check(const pg_result* result, int wanted) {
  if (result != nullptr && PQresultStatus(result) == wanted) return;
  if (result != nullptr) noteServerEnd(result);
  std::string message = result != nullptr ? trimmed(PQresultErrorMessage(result)) : "";
  if (message.empty()) message = trimmed(PQerrorMessage(conn_.get()));
  failWith(message);
}

PgDatabase::Result PgDatabase::run(const std::string& sql) {
  Result result(PQexecParams(conn_.get(), sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0));
  const int status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  check(result.get(), status == PGRES_TUPLES_OK ? PGRES_TUPLES_OK : PGRES_COMMAND_OK);
  return result;
}

void PgDatabase::exec(std::string_view sql, ExecSink& sink) {
  const std::string text(sql);
  if (PQsendQueryParams(conn_.get(), text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) ==
      0) {
    failWith(trimmed(PQerrorMessage(conn_.get())));
  }
  // One row per result keeps memory flat however many rows the statement returns.
  PQsetSingleRowMode(conn_.get());

  bool headerWritten = false;
  bool wanted = true;
  uint64_t changed = 0;
  std::string error;
  std::vector<FieldView> fields;
  auto writeHeader = [&](const PGresult* result) {
    const int count = PQnfields(result);
    fields.resize(count);
    for (int i = 0; i < count; ++i) {
      const char* name = PQfname(result, i);
      fields[i] = FieldView{name, std::strlen(name), false};
    }
    sink.columns(fields);
    headerWritten = true;
  };

  while (Result result{PQgetResult(conn_.get())}) {
    switch (PQresultStatus(result.get())) {
      case PGRES_SINGLE_TUPLE:
        if (!headerWritten) writeHeader(result.get());
        if (wanted && error.empty()) {
          for (int i = 0; i < PQnfields(result.get()); ++i) {
            fields[i] = PQgetisnull(result.get(), 0, i)
                            ? FieldView{nullptr, 0, true}
                            : FieldView{PQgetvalue(result.get(), 0, i),
                                        static_cast<size_t>(PQgetlength(result.get(), 0, i)),
                                        false};
          }
          wanted = sink.row(fields);
        }
        break;
      case PGRES_TUPLES_OK:
        if (!headerWritten) writeHeader(result.get());
        break;
      case PGRES_COMMAND_OK: {
        const char* count = PQcmdTuples(result.get());
        std::from_chars(count, count + std::strlen(count), changed);
        break;
      }
      case PGRES_EMPTY_QUERY:
        if (error.empty()) error = "the statement is empty";
        break;
      case PGRES_COPY_IN:
        PQputCopyEnd(conn_.get(), "COPY from the client is not supported");
        break;
      case PGRES_COPY_OUT: {
        char* data = nullptr;
        while (PQgetCopyData(conn_.get(), &data, 0) > 0) PQfreemem(data);
        if (error.empty()) error = "COPY to the client is not supported";
        break;
      }
      default:
        noteServerEnd(result.get());
        if (error.empty()) error = trimmed(PQresultErrorMessage(result.get()));
        if (error.empty()) error = trimmed(PQerrorMessage(conn_.get()));
        break;
    }
    if (PQstatus(conn_.get()) == CONNECTION_BAD) break;
  }
  if (PQstatus(conn_.get()) == CONNECTION_BAD) {
    failWith(error.empty() ? trimmed(PQerrorMessage(conn_.get())) : error);
  }
  if (!error.empty()) failWith(error);
  ensureUtf8();
  if (!headerWritten) sink.changed(changed);
}

void PgDatabase::openCursor(std::string_view sql) {
  closeCursor();
  const std::string text(sql);
  // Every step below runs inside one transaction (the cursor's own or the
  // user's), so a pooler that hands each transaction to another server
  // connection keeps them all on one.
  switch (PQtransactionStatus(conn_.get())) {
    case PQTRANS_IDLE:
      run("BEGIN READ ONLY");
      ownTransaction_ = true;
      break;
    case PQTRANS_INTRANS:
      ownTransaction_ = false;
      break;
    case PQTRANS_INERROR:
      throw ZorvError(kStatementFailed,
                      "the current transaction is aborted; end it with ROLLBACK first");
    default:
      failWith(trimmed(PQerrorMessage(conn_.get())));
  }
  try {
    declareCursor(text);
  } catch (const ZorvError&) {
    abandonOwnTransaction();
    throw;
  }
  cursorOpen_ = true;
  serverOpen_ = true;
  if (ownTransaction_) readAhead();
}

void PgDatabase::declareCursor(const std::string& text) {
  // Preparing the text alone proves it is one statement and tells its columns.
  Result prepared(PQprepare(conn_.get(), "", text.c_str(), 0, nullptr));
  check(prepared.get(), PGRES_COMMAND_OK);
  Result described(PQdescribePrepared(conn_.get(), ""));
  check(described.get(), PGRES_COMMAND_OK);
  const int columns = PQnfields(described.get());
  if (columns == 0) {
    throw ZorvError(kStatementFailed,
                    "a cursor needs a read-only query that returns columns (SELECT, VALUES, "
                    "TABLE, WITH ... SELECT)");
  }
  std::vector<std::string> names;
  for (int i = 0; i < columns; ++i) names.emplace_back(PQfname(described.get(), i));

  // DECLARE accepts only a query, and the extended protocol only one statement.
  const std::string declare =
      std::string("DECLARE ") + kCursorName + " NO SCROLL CURSOR FOR " + text;
  Result declared(
      PQexecParams(conn_.get(), declare.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0));
  if (!declared || PQresultStatus(declared.get()) != PGRES_COMMAND_OK) {
    std::string message = declared ? trimmed(PQresultErrorMessage(declared.get())) : "";
    const char* state = declared ? PQresultErrorField(declared.get(), PG_DIAG_SQLSTATE) : nullptr;
    if (state != nullptr && std::strcmp(state, kSqlStateSyntaxError) == 0) {
      // The text alone parsed, so DECLARE refused it for not being a query.
      message = "a cursor needs a read-only query (SELECT, VALUES, TABLE, WITH ... SELECT)";
    }
    failWith(message.empty() ? trimmed(PQerrorMessage(conn_.get())) : message);
  }
  names_ = std::move(names);
  row_.assign(columns, FieldView{});
}

void PgDatabase::abandonOwnTransaction() noexcept {
  if (ownTransaction_ && PQstatus(conn_.get()) == CONNECTION_OK) {
    PQclear(PQexecParams(conn_.get(), "ROLLBACK", 0, nullptr, nullptr, nullptr, nullptr, 0));
  }
  ownTransaction_ = false;
}

void PgDatabase::readAhead() {
  // The first batch stays in memory; a result longer than that goes on to
  // the spill file, read in larger batches while the file is written.
  Result first;
  int firstRows = 0;
  try {
    sendFetch(kBatchRows);
    first = receiveFetch();
    firstRows = PQntuples(first.get());
    if (firstRows == kBatchRows) {
      spill_ = std::make_unique<SpillFile>(row_.size());
      sendFetch(kDrainBatchRows);
      std::span<const FieldView> row;
      for (bool more = true; more;) {
        const int asked = pendingRows_;
        batch_ = receiveFetch();
        batchRows_ = PQntuples(batch_.get());
        more = batchRows_ == asked;
        if (more) sendFetch(kDrainBatchRows);  // the server works while the file is written
        for (batchRow_ = 0; batchRow_ < batchRows_;) {
          readBatchRow(row);
          spill_->append(row);
        }
      }
      spill_->startReading();
    }
    endServerCursor();
  } catch (const ZorvError& e) {
    if (e.code() != kStatementFailed || PQstatus(conn_.get()) != CONNECTION_OK) {
      closeCursor();
      throw;
    }
    // The statement failed part way: the rows before the failing batch are
    // still the user's, and the failure comes after them.
    failedAfterRows_ = e.what();
    discardFetch();
    abandonOwnTransaction();
    serverOpen_ = false;
    if (spill_) {
      try {
        spill_->startReading();
      } catch (const ZorvError&) {
        closeCursor();
        throw;
      }
    }
  }
  batch_ = std::move(first);
  batchRows_ = firstRows;
  batchRow_ = 0;
}

void PgDatabase::sendFetch(int rows) {
  const std::string sql = "FETCH FORWARD " + std::to_string(rows) + " FROM " + kCursorName;
  if (PQsendQueryParams(conn_.get(), sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 0) {
    failWith(trimmed(PQerrorMessage(conn_.get())));
  }
  pendingRows_ = rows;
}

PgDatabase::Result PgDatabase::receiveFetch() {
  pendingRows_ = 0;
  Result first;
  while (Result result{PQgetResult(conn_.get())}) {
    if (!first) first = std::move(result);
  }
  check(first.get(), PGRES_TUPLES_OK);
  return first;
}

void PgDatabase::discardFetch() noexcept {
  if (pendingRows_ == 0) return;
  pendingRows_ = 0;
  while (PGresult* result = PQgetResult(conn_.get())) PQclear(result);
}

void PgDatabase::fetchBatch(int rows) {
  batch_.reset();
  batchRows_ = 0;
  batchRow_ = 0;
  try {
    if (pendingRows_ == 0) sendFetch(rows);
    const int asked = pendingRows_;
    batch_ = receiveFetch();
    batchRows_ = PQntuples(batch_.get());
    if (batchRows_ < asked) endServerCursor();
    else sendFetch(rows);  // the server produces the next batch while these are read
  } catch (const ZorvError&) {
    closeCursor();
    throw;
  }
}

void PgDatabase::endServerCursor() {
  run(ownTransaction_ ? "COMMIT" : std::string("CLOSE ") + kCursorName);
  serverOpen_ = false;
  ownTransaction_ = false;
}

bool PgDatabase::fetch(std::span<const FieldView>& row) {
  if (batchRow_ < batchRows_) [[likely]] {
    readBatchRow(row);
    return true;
  }
  return fetchBeyondBatch(row);
}

bool PgDatabase::fetchBeyondBatch(std::span<const FieldView>& row) {
  if (spill_) {
    try {
      if (spill_->next(row)) return true;
    } catch (const ZorvError&) {
      closeCursor();
      throw;
    }
    spill_.reset();
  }
  if (!failedAfterRows_.empty()) {
    const std::string message = std::move(failedAfterRows_);
    closeCursor();
    throw ZorvError(kStatementFailed, message);
  }
  while (batchRow_ >= batchRows_) {
    if (!serverOpen_) return false;
    fetchBatch(kBatchRows);
  }
  readBatchRow(row);
  return true;
}

void PgDatabase::readBatchRow(std::span<const FieldView>& row) {
  const PGresult* batch = batch_.get();
  for (int i = 0; i < static_cast<int>(row_.size()); ++i) {
    // Only an empty value can be NULL: one call less for every other field.
    const int length = PQgetlength(batch, batchRow_, i);
    row_[i] = length == 0 && PQgetisnull(batch, batchRow_, i)
                  ? FieldView{nullptr, 0, true}
                  : FieldView{PQgetvalue(batch, batchRow_, i), static_cast<size_t>(length), false};
  }
  ++batchRow_;
  row = row_;
}

void PgDatabase::readRest(SpillFile& spill) {
  std::span<const FieldView> row;
  while (batchRow_ < batchRows_) {
    fetch(row);
    spill.append(row);
  }
  while (serverOpen_) {
    fetchBatch(kDrainBatchRows);
    while (batchRow_ < batchRows_) {
      fetch(row);
      spill.append(row);
    }
  }
  batch_.reset();
  batchRows_ = batchRow_ = 0;
}

void PgDatabase::closeCursor() noexcept {
  discardFetch();
  if (serverOpen_ && PQstatus(conn_.get()) == CONNECTION_OK) {
    const char* sql = ownTransaction_ ? "ROLLBACK" : "CLOSE zorv_cursor";
    PQclear(PQexecParams(conn_.get(), sql, 0, nullptr, nullptr, nullptr, nullptr, 0));
  }
  cursorOpen_ = false;
  serverOpen_ = false;
  ownTransaction_ = false;
  names_.clear();
  row_.clear();
  batch_.reset();
  batchRows_ = batchRow_ = 0;
  spill_.reset();
  failedAfterRows_.clear();
}

}  // namespace zorv::lib

// A tiny ODBC driver for tests that breaks one promise of the ODBC contract,
// chosen by the connection string's Mode keyword; otherwise it behaves:
//
//   Driver=/path/libmisbehaving_odbc.so;Mode=MODE;Name=NAME;Database=FILE
//
// Any query (a statement starting with SELECT, VALUES or WITH, or one with
// RETURNING) answers the columns id and name with the rows (1, one), (2, two), (3, three). An INSERT
// changes one row: committed, it appends its text as a line to FILE; in a
// transaction it waits for SQLEndTran and is lost on disconnect. SAVEPOINT
// fails outside a transaction, as a server's would. Name is what
// SQL_DRIVER_NAME answers (default "libmisbehaving_odbc.so"). Modes:
//   negative_length  row 2's name indicator is -5
//   min_length       row 1's id indicator is the most negative SQLLEN
//   overfetch        the rows-fetched count is 1,000 more than the array size
//   bad_status       row 2's status is 77
//   many_diag        every statement fails with 1,000 diagnostic records
//                    (unixODBC's driver manager copies every record a driver
//                    hands out before the failing call returns, so a driver
//                    that never says SQL_NO_DATA hangs it: the fake stops)
//   huge_value       row 1's name is 2 GiB long (2 GiB less 2 bytes with a
//                    32-bit SQLLEN), streamed by SQLGetData
//   no_total         row 1's name has no total length, and SQLGetData
//                    answers SQL_NO_TOTAL with more data for ever
//   bad_describe     SQLDescribeColW reports column 1's name length as -7
//   autocommit_fails switching autocommit back on fails
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kColumns = 2;
struct FixedRow {
  const char* id;
  const char* name;
};
constexpr FixedRow kRows[] = {{"1", "one"}, {"2", "two"}, {"3", "three"}};
constexpr SQLULEN kRowCount = sizeof kRows / sizeof kRows[0];
// 2 GiB, or as near as a 32-bit SQLLEN comes.
constexpr SQLLEN kHugeBytes =
    static_cast<SQLLEN>(std::min<long long>(1LL << 31, std::numeric_limits<SQLLEN>::max() - 1));

struct Diagnostic {
  std::string state;
  std::string text;
};

struct Handle {
  SQLSMALLINT type;
  std::vector<Diagnostic> diagnostics;
};

struct Env : Handle {};

struct Dbc : Handle {
  std::string mode;
  std::string name = "libmisbehaving_odbc.so";
  std::string file;
  bool autocommit = true;
  std::vector<std::string> pending;
};

struct Binding {
  SQLSMALLINT cType = 0;
  char* data = nullptr;
  SQLLEN bytes = 0;
  SQLLEN* lengths = nullptr;
};

struct Stmt : Handle {
  Dbc* dbc = nullptr;
  std::string sql;
  bool query = false;
  bool executed = false;
  SQLLEN changed = -1;
  Binding bindings[kColumns];
  SQLULEN arraySize = 1;
  SQLULEN* fetched = nullptr;
  SQLUSMALLINT* statuses = nullptr;
  SQLULEN next = 0;       // the first row of the next block
  SQLULEN blockStart = 0;
  SQLULEN blockRows = 0;
  SQLULEN current = 0;    // the row SQLGetData reads
  int getDataColumn = 0;  // the column SQLGetData is streaming
  SQLLEN remaining = 0;   // bytes of that column not yet handed out
};

std::string narrow(const SQLWCHAR* text, SQLLEN length) {
  std::string out;
  if (text == nullptr) return out;
  if (length == SQL_NTS) {
    length = 0;
    while (text[length] != 0) ++length;
  }
  for (SQLLEN i = 0; i < length; ++i) out.push_back(static_cast<char>(text[i] < 128 ? text[i] : '?'));
  return out;
}

void post(Handle* handle, const char* state, const std::string& text) {
  handle->diagnostics.push_back({state, text});
}

std::string upperWord(const std::string& sql) {
  std::string word;
  size_t i = sql.find_first_not_of(" \t\r\n(");
  while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i]))) {
    word.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++]))));
  }
  return word;
}

bool mode(const Stmt* stmt, const char* name) { return stmt->dbc->mode == name; }

constexpr SQLSMALLINT kManyRecords = 1000;
bool isMany(const Handle* handle) {
  return handle->type == SQL_HANDLE_STMT && mode(static_cast<const Stmt*>(handle), "many_diag");
}

void commit(Dbc* dbc) {
  if (!dbc->pending.empty() && !dbc->file.empty()) {
    if (FILE* out = std::fopen(dbc->file.c_str(), "a")) {
      for (const auto& line : dbc->pending) std::fprintf(out, "%s\n", line.c_str());
      std::fclose(out);
    }
  }
  dbc->pending.clear();
}

// Writes `text` as a value of the binding's type into `target`, truncated to
// `bytes` with its NUL; the full length in bytes.
SQLLEN writeValue(SQLSMALLINT cType, const std::string& text, char* target, SQLLEN bytes) {
  if (cType == SQL_C_SBIGINT) {
    const int64_t value = std::stoll(text);
    std::memcpy(target, &value, sizeof value);
    return sizeof value;
  }
  const SQLLEN unit = cType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 1;
  const SQLLEN full = static_cast<SQLLEN>(text.size()) * unit;
  if (bytes < unit) return full;
  const size_t fits = std::min<size_t>(text.size(), static_cast<size_t>(bytes / unit - 1));
  for (size_t i = 0; i < fits; ++i) {
    if (unit == 1) target[i] = text[i];
    else reinterpret_cast<SQLWCHAR*>(target)[i] = static_cast<unsigned char>(text[i]);
  }
  if (unit == 1) target[fits] = 0;
  else reinterpret_cast<SQLWCHAR*>(target)[fits] = 0;
  return full;
}

// The fixed result's text of a row's column.
std::string valueOf(SQLULEN row, int column) {
  return column == 0 ? kRows[row].id : kRows[row].name;
}

SQLRETURN execute(Stmt* stmt) {
  Dbc* dbc = stmt->dbc;
  if (dbc->mode == "many_diag") {
    post(stmt, "HY000", "the fake driver refuses every statement");
    return SQL_ERROR;
  }
  const std::string word = upperWord(stmt->sql);
  stmt->executed = true;
  stmt->next = 0;
  stmt->blockRows = 0;
  stmt->changed = -1;
  if (word == "SAVEPOINT" && dbc->autocommit) {
    post(stmt, "25P01", "SAVEPOINT can only be used in transaction blocks");
    return SQL_ERROR;
  }
  if (word == "INSERT") {
    dbc->pending.push_back(stmt->sql);
    if (dbc->autocommit) commit(dbc);
    stmt->changed = 1;
  }
  return SQL_SUCCESS;
}

// Breaks the block just fetched as the mode says.
void misbehaveInBlock(Stmt* stmt) {
  Binding* id = &stmt->bindings[0];
  Binding* name = &stmt->bindings[1];
  const SQLULEN rows = stmt->blockRows;
  if (mode(stmt, "negative_length") && rows > 1 && name->lengths) name->lengths[1] = -5;
  if (mode(stmt, "min_length") && rows > 0 && id->lengths) id->lengths[0] = std::numeric_limits<SQLLEN>::min();
  if (mode(stmt, "overfetch") && stmt->fetched) *stmt->fetched = stmt->arraySize + 1000;
  if (mode(stmt, "bad_status") && rows > 1 && stmt->statuses) stmt->statuses[1] = 77;
  if (stmt->blockStart == 0 && rows > 0 && name->lengths) {
    if (mode(stmt, "huge_value")) name->lengths[0] = kHugeBytes;
    if (mode(stmt, "no_total")) name->lengths[0] = SQL_NO_TOTAL;
  }
}

}  // namespace

FAKE_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE parent, SQLHANDLE* out) {
  Handle* handle = nullptr;
  if (type == SQL_HANDLE_ENV) handle = new Env;
  else if (type == SQL_HANDLE_DBC) handle = new Dbc;
  else if (type == SQL_HANDLE_STMT) {
    auto* stmt = new Stmt;
    stmt->dbc = static_cast<Dbc*>(parent);
    handle = stmt;
  } else {
    return SQL_ERROR;
  }
  handle->type = type;
  *out = handle;
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  if (type == SQL_HANDLE_ENV) delete static_cast<Env*>(handle);
  else if (type == SQL_HANDLE_DBC) delete static_cast<Dbc*>(handle);
  else if (type == SQL_HANDLE_STMT) delete static_cast<Stmt*>(handle);
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT handle, SQLUSMALLINT option) {
  auto* stmt = static_cast<Stmt*>(handle);
  if (option == SQL_UNBIND) {
    for (auto& binding : stmt->bindings) binding = Binding{};
  } else if (option == SQL_CLOSE) {
    stmt->executed = false;
  }
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT handle) {
  static_cast<Stmt*>(handle)->executed = false;
  return SQL_SUCCESS;
}
FAKE_EXPORT SQLRETURN SQL_API SQLCancel(SQLHSTMT) { return SQL_SUCCESS; }

FAKE_EXPORT SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV, SQLINTEGER, SQLPOINTER value, SQLINTEGER,
                                            SQLINTEGER*) {
  if (value != nullptr) *static_cast<SQLUINTEGER*>(value) = SQL_OV_ODBC3;
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC handle, SQLHWND, SQLWCHAR* in,
                                                SQLSMALLINT inLength, SQLWCHAR* out,
                                                SQLSMALLINT outCapacity, SQLSMALLINT* outLength,
                                                SQLUSMALLINT) {
  auto* dbc = static_cast<Dbc*>(handle);
  const std::string text = narrow(in, inLength);
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(';', at);
    if (end == std::string::npos) end = text.size();
    const std::string pair = text.substr(at, end - at);
    const size_t equals = pair.find('=');
    if (equals != std::string::npos) {
      std::string key = pair.substr(0, equals);
      std::transform(key.begin(), key.end(), key.begin(), ::tolower);
      const std::string value = pair.substr(equals + 1);
      if (key == "mode") dbc->mode = value;
      else if (key == "name") dbc->name = value;
      else if (key == "database") dbc->file = value;
    }
    at = end + 1;
  }
  if (out != nullptr && outCapacity > 0) out[0] = 0;
  if (outLength != nullptr) *outLength = 0;
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLDisconnect(SQLHDBC handle) {
  static_cast<Dbc*>(handle)->pending.clear();  // an open transaction is rolled back
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC handle, SQLINTEGER attribute,
                                                 SQLPOINTER value, SQLINTEGER) {
  auto* dbc = static_cast<Dbc*>(handle);
  dbc->diagnostics.clear();
  if (attribute != SQL_ATTR_AUTOCOMMIT) return SQL_SUCCESS;
  const bool on = reinterpret_cast<uintptr_t>(value) == SQL_AUTOCOMMIT_ON;
  if (on && !dbc->autocommit && dbc->mode == "autocommit_fails") {
    post(dbc, "HY000", "the fake driver cannot switch autocommit back on");
    return SQL_ERROR;
  }
  if (on) commit(dbc);
  dbc->autocommit = on;
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC handle, SQLINTEGER attribute,
                                                 SQLPOINTER value, SQLINTEGER, SQLINTEGER*) {
  auto* dbc = static_cast<Dbc*>(handle);
  if (value == nullptr) return SQL_SUCCESS;
  if (attribute == SQL_ATTR_AUTOCOMMIT) {
    *static_cast<SQLUINTEGER*>(value) = dbc->autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
  } else {
    *static_cast<SQLUINTEGER*>(value) = 0;  // SQL_CD_FALSE and every other default
  }
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT kind) {
  if (type != SQL_HANDLE_DBC) return SQL_SUCCESS;
  auto* dbc = static_cast<Dbc*>(handle);
  if (kind == SQL_COMMIT) commit(dbc);
  else dbc->pending.clear();
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLGetInfoW(SQLHDBC handle, SQLUSMALLINT type, SQLPOINTER value,
                                          SQLSMALLINT capacity, SQLSMALLINT* length) {
  auto* dbc = static_cast<Dbc*>(handle);
  auto text = [&](const std::string& answer) {
    auto* out = static_cast<SQLWCHAR*>(value);
    const size_t units = capacity > 0 ? static_cast<size_t>(capacity) / sizeof(SQLWCHAR) : 0;
    const size_t fits = units > 0 ? std::min(answer.size(), units - 1) : 0;
    for (size_t i = 0; out != nullptr && i < fits; ++i) out[i] = static_cast<unsigned char>(answer[i]);
    if (out != nullptr && units > 0) out[fits] = 0;
    if (length != nullptr) *length = static_cast<SQLSMALLINT>(answer.size() * sizeof(SQLWCHAR));
    return SQL_SUCCESS;
  };
  auto number = [&](SQLUINTEGER answer) {
    if (value != nullptr) *static_cast<SQLUINTEGER*>(value) = answer;
    return SQL_SUCCESS;
  };
  auto small = [&](SQLUSMALLINT answer) {
    if (value != nullptr) *static_cast<SQLUSMALLINT*>(value) = answer;
    return SQL_SUCCESS;
  };
  switch (type) {
    case SQL_DRIVER_NAME: return text(dbc->name);
    case SQL_DRIVER_ODBC_VER: return text("03.80");
    case SQL_DRIVER_VER: return text("01.00.0000");
    case SQL_DBMS_NAME: return text("misbehaving");
    case SQL_GETDATA_EXTENSIONS:
      return number(SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND | SQL_GD_BLOCK);
    case SQL_TXN_CAPABLE: return small(SQL_TC_ALL);
    case SQL_CURSOR_COMMIT_BEHAVIOR:
    case SQL_CURSOR_ROLLBACK_BEHAVIOR: return small(SQL_CB_PRESERVE);
    default:
      post(dbc, "HY096", "information type not supported");
      return SQL_ERROR;
  }
}

FAKE_EXPORT SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT handle, SQLINTEGER attribute,
                                              SQLPOINTER value, SQLINTEGER) {
  auto* stmt = static_cast<Stmt*>(handle);
  switch (attribute) {
    case SQL_ATTR_ROW_ARRAY_SIZE:
      stmt->arraySize = std::max<SQLULEN>(reinterpret_cast<uintptr_t>(value), 1);
      break;
    case SQL_ATTR_ROWS_FETCHED_PTR: stmt->fetched = static_cast<SQLULEN*>(value); break;
    case SQL_ATTR_ROW_STATUS_PTR: stmt->statuses = static_cast<SQLUSMALLINT*>(value); break;
    default: break;
  }
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT handle, SQLINTEGER attribute,
                                              SQLPOINTER value, SQLINTEGER, SQLINTEGER*) {
  auto* stmt = static_cast<Stmt*>(handle);
  if (value == nullptr) return SQL_SUCCESS;
  if (attribute == SQL_ATTR_ROW_ARRAY_SIZE) *static_cast<SQLULEN*>(value) = stmt->arraySize;
  else *static_cast<SQLULEN*>(value) = 0;
  return SQL_SUCCESS;
}

// The exported entries never call each other: a driver manager loaded
// globally (Wine's) would take those calls, with the driver's handles.
static SQLRETURN prepare(Stmt* stmt, SQLWCHAR* text, SQLINTEGER length) {
  stmt->diagnostics.clear();
  if (stmt->dbc->mode == "many_diag") return execute(stmt);
  stmt->sql = narrow(text, length);
  const std::string word = upperWord(stmt->sql);
  stmt->query = word == "SELECT" || word == "VALUES" || word == "WITH" ||
                stmt->sql.find("RETURNING") != std::string::npos;
  stmt->executed = false;
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLPrepareW(SQLHSTMT handle, SQLWCHAR* text, SQLINTEGER length) {
  return prepare(static_cast<Stmt*>(handle), text, length);
}

FAKE_EXPORT SQLRETURN SQL_API SQLExecute(SQLHSTMT handle) {
  auto* stmt = static_cast<Stmt*>(handle);
  stmt->diagnostics.clear();
  return execute(stmt);
}

FAKE_EXPORT SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT handle, SQLWCHAR* text, SQLINTEGER length) {
  auto* stmt = static_cast<Stmt*>(handle);
  const SQLRETURN rc = prepare(stmt, text, length);
  return SQL_SUCCEEDED(rc) ? execute(stmt) : rc;
}

FAKE_EXPORT SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT handle, SQLSMALLINT* count) {
  *count = static_cast<Stmt*>(handle)->query ? kColumns : 0;
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLRowCount(SQLHSTMT handle, SQLLEN* count) {
  *count = static_cast<Stmt*>(handle)->changed;
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT handle, SQLUSMALLINT column, SQLWCHAR* name,
                                              SQLSMALLINT capacity, SQLSMALLINT* length,
                                              SQLSMALLINT* type, SQLULEN* size,
                                              SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  auto* stmt = static_cast<Stmt*>(handle);
  if (column < 1 || column > kColumns) return SQL_ERROR;
  const std::string text = column == 1 ? "id" : "name";
  for (size_t i = 0; name != nullptr && capacity > 0 && i < text.size() &&
                     i < static_cast<size_t>(capacity - 1);
       ++i) {
    name[i] = static_cast<SQLWCHAR>(text[i]);
    name[i + 1] = 0;
  }
  if (length != nullptr) {
    *length = static_cast<SQLSMALLINT>(text.size());
    if (mode(stmt, "bad_describe") && column == 1) *length = -7;
  }
  if (type != nullptr) *type = column == 1 ? SQL_INTEGER : SQL_VARCHAR;
  if (size != nullptr) *size = column == 1 ? 10 : 20;
  if (digits != nullptr) *digits = 0;
  if (nullable != nullptr) *nullable = SQL_NULLABLE;
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT, SQLUSMALLINT column, SQLUSMALLINT field,
                                               SQLPOINTER, SQLSMALLINT, SQLSMALLINT*,
                                               SQLLEN* number) {
  if (field == SQL_DESC_DISPLAY_SIZE && number != nullptr) *number = column == 1 ? 11 : 20;
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLBindCol(SQLHSTMT handle, SQLUSMALLINT column, SQLSMALLINT cType,
                                         SQLPOINTER data, SQLLEN bytes, SQLLEN* lengths) {
  auto* stmt = static_cast<Stmt*>(handle);
  if (column < 1 || column > kColumns) return SQL_ERROR;
  stmt->bindings[column - 1] = Binding{cType, static_cast<char*>(data), bytes, lengths};
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLFetch(SQLHSTMT handle) {
  auto* stmt = static_cast<Stmt*>(handle);
  stmt->diagnostics.clear();
  if (!stmt->executed || !stmt->query) {
    post(stmt, "24000", "invalid cursor state");
    return SQL_ERROR;
  }
  stmt->getDataColumn = 0;
  if (stmt->next >= kRowCount) return SQL_NO_DATA;
  const SQLULEN rows = std::min(stmt->arraySize, kRowCount - stmt->next);
  stmt->blockStart = stmt->next;
  stmt->blockRows = rows;
  stmt->current = stmt->next;
  for (SQLULEN r = 0; r < rows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      Binding& binding = stmt->bindings[c];
      if (binding.data == nullptr) continue;
      const SQLLEN full = writeValue(binding.cType, valueOf(stmt->next + r, c),
                                     binding.data + r * binding.bytes, binding.bytes);
      if (binding.lengths != nullptr) binding.lengths[r] = full;
    }
    if (stmt->statuses != nullptr) stmt->statuses[r] = SQL_ROW_SUCCESS;
  }
  if (stmt->fetched != nullptr) *stmt->fetched = rows;
  stmt->next += rows;
  misbehaveInBlock(stmt);
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLSetPos(SQLHSTMT handle, SQLSETPOSIROW row, SQLUSMALLINT,
                                        SQLUSMALLINT) {
  auto* stmt = static_cast<Stmt*>(handle);
  if (row < 1 || row > stmt->blockRows) return SQL_ERROR;
  stmt->current = stmt->blockStart + row - 1;
  stmt->getDataColumn = 0;
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLGetData(SQLHSTMT handle, SQLUSMALLINT column, SQLSMALLINT cType,
                                         SQLPOINTER target, SQLLEN bytes, SQLLEN* length) {
  auto* stmt = static_cast<Stmt*>(handle);
  if (column < 1 || column > kColumns || cType != SQL_C_WCHAR) return SQL_ERROR;
  const bool streaming = column == 2 && stmt->current == 0 &&
                         (mode(stmt, "huge_value") || mode(stmt, "no_total"));
  const SQLLEN units = bytes / static_cast<SQLLEN>(sizeof(SQLWCHAR));
  auto* out = static_cast<SQLWCHAR*>(target);
  if (!streaming) {
    if (stmt->getDataColumn == column) return SQL_NO_DATA;
    stmt->getDataColumn = column;
    *length = writeValue(SQL_C_WCHAR, valueOf(stmt->current, column - 1), static_cast<char*>(target),
                         bytes);
    return *length < bytes ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
  }
  if (stmt->getDataColumn != column) {
    stmt->getDataColumn = column;
    stmt->remaining = kHugeBytes;
  }
  const bool endless = mode(stmt, "no_total");
  if (!endless && stmt->remaining <= 0) return SQL_NO_DATA;
  const SQLLEN piece = std::min<SQLLEN>(units - 1, endless ? units : stmt->remaining / 2);
  for (SQLLEN i = 0; i < piece; ++i) out[i] = u'x';
  out[piece] = 0;
  *length = endless ? SQL_NO_TOTAL : stmt->remaining;
  if (!endless) stmt->remaining -= piece * static_cast<SQLLEN>(sizeof(SQLWCHAR));
  return endless || stmt->remaining > 0 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLGetDiagRecW(SQLSMALLINT, SQLHANDLE handle, SQLSMALLINT record,
                                             SQLWCHAR* state, SQLINTEGER* native, SQLWCHAR* text,
                                             SQLSMALLINT capacity, SQLSMALLINT* length) {
  auto* owner = static_cast<Handle*>(handle);
  Diagnostic diagnostic;
  if (isMany(owner) && record >= 1 && record <= kManyRecords) {
    diagnostic = {"HY000", "the fake driver's record " + std::to_string(record)};
  } else if (record >= 1 && static_cast<size_t>(record) <= owner->diagnostics.size()) {
    diagnostic = owner->diagnostics[static_cast<size_t>(record) - 1];
  } else {
    return SQL_NO_DATA;
  }
  for (int i = 0; state != nullptr && i < 5; ++i) state[i] = static_cast<SQLWCHAR>(diagnostic.state[i]);
  if (state != nullptr) state[5] = 0;
  if (native != nullptr) *native = 1;
  const size_t fits =
      capacity > 0 ? std::min(diagnostic.text.size(), static_cast<size_t>(capacity - 1)) : 0;
  for (size_t i = 0; text != nullptr && i < fits; ++i) text[i] = static_cast<SQLWCHAR>(diagnostic.text[i]);
  if (text != nullptr && capacity > 0) text[fits] = 0;
  if (length != nullptr) *length = static_cast<SQLSMALLINT>(diagnostic.text.size());
  return SQL_SUCCESS;
}

FAKE_EXPORT SQLRETURN SQL_API SQLGetDiagFieldW(SQLSMALLINT, SQLHANDLE handle, SQLSMALLINT record,
                                               SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT,
                                               SQLSMALLINT*) {
  auto* owner = static_cast<Handle*>(handle);
  if (record != 0 || value == nullptr) return SQL_NO_DATA;
  if (field == SQL_DIAG_NUMBER) {
    *static_cast<SQLINTEGER*>(value) =
        isMany(owner) ? kManyRecords : static_cast<SQLINTEGER>(owner->diagnostics.size());
    return SQL_SUCCESS;
  }
  return SQL_NO_DATA;
}

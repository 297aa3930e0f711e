#include "odbc_row_reader.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "odbc_checks.h"
#include "plain_ascii.h"
#include "utf_codec.h"
#include "zorv_error.h"

namespace zorv::lib {

namespace {

// A cursor's block of rows: at most this many rows and about this many bytes.
constexpr SQLULEN kMaxBlockRows = 1000;
constexpr size_t kBlockBytes = 4u << 20;
// Units of a value's slot in the block: a column whose display width the
// driver states up to kMaxSlotUnits gets that width, any other
// kDefaultSlotUnits; a value that does not fit its slot is read again whole,
// kPieceUnits at a time.
constexpr SQLLEN kMaxSlotUnits = 2048;
constexpr SQLLEN kDefaultSlotUnits = 256;
constexpr SQLLEN kPieceUnits = 4096;
// Units of a value read through SQLGetData, whatever the driver claims: two
// per byte an answer can hold, so a value cut here is longer than any answer
// shows (a character is at least one CP932 byte and at most two units).
constexpr size_t kMaxValueUnits = 2 * ZORV_ANSWER_CAPACITY;
// SQLGetData calls for one value: enough full pieces for kMaxValueUnits.
constexpr int kMaxPieces = static_cast<int>(kMaxValueUnits / (kPieceUnits - 1)) + 2;
// What a row status holds until the driver writes it: no valid status.
constexpr SQLUSMALLINT kUnwrittenStatus = 0xFFFF;
// ends_ of a field that is NULL or seen in its slot.
constexpr size_t kNotInText = SIZE_MAX;

SQLLEN terminatorBytes(bool narrow) { return narrow ? 1 : static_cast<SQLLEN>(sizeof(char16_t)); }

}  // namespace

namespace odbc {

namespace {

// decodeSlot's body, inlined into the row loop: it runs for every field, so
// the common case, a value that fits its slot, is tested first.
[[gnu::always_inline]] inline SlotValue decode(const BoundColumn& column, SQLULEN row,
                                               bool narrow, std::string& text,
                                               std::string_view& inPlace, bool& shortPlain) {
  const SQLLEN length = column.lengths[row];
  if (column.integer) {
    if (checkedLength(length, column.number) == SQL_NULL_DATA) return SlotValue::Null;
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, column.integers[row]).ptr;
    text.append(digits, static_cast<size_t>(end - digits));
    return SlotValue::Text;
  }
  if (length >= 0 && length <= column.slotBytes - terminatorBytes(narrow)) [[likely]] {
    const auto size = static_cast<size_t>(length);
    if (!narrow) {
      appendUtf8(
          std::u16string_view(column.wide.data() + row * column.slotUnits, size / sizeof(char16_t)),
          text);
      return SlotValue::Text;
    }
    const char* value = column.narrow.data() + row * static_cast<size_t>(column.slotBytes);
    // Short plain ASCII, most fields, is well-formed without a closer look.
    shortPlain =
        size <= 16 && plain_ascii::isShortPlain(reinterpret_cast<const unsigned char*>(value), size);
    if (!shortPlain && !isWellFormedUtf8(std::string_view(value, size))) return SlotValue::Reread;
    inPlace = std::string_view(value, size);
    return SlotValue::InPlace;
  }
  // NULL, a value longer than its slot, or a length no driver may write.
  if (checkedLength(length, column.number) == SQL_NULL_DATA) return SlotValue::Null;
  return SlotValue::Reread;
}

}  // namespace

SlotValue decodeSlot(const BoundColumn& column, SQLULEN row, bool narrow, std::string& text,
                     std::string_view& inPlace, bool& shortPlain) {
  return decode(column, row, narrow, text, inPlace, shortPlain);
}

}  // namespace odbc

OdbcDatabase::RowReader::RowReader(OdbcDatabase& db, std::unique_ptr<odbc::Handle> statement)
    : db_(db), statement_(std::move(statement)), narrow_(db.profile_.narrowText) {
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
    const size_t nameUnits = odbc::checkedNameUnits(length, name.size(), i + 1u);
    names_.push_back(utf8FromUtf16(odbc::untilNul(name, static_cast<SQLLEN>(nameUnits))));
    columns_[i].number = i + 1u;
    SQLLEN display = 0;
    if (!SQL_SUCCEEDED(SQLColAttributeW(stmt, i + 1, SQL_DESC_DISPLAY_SIZE, nullptr, 0,
                                        nullptr, &display))) {
      display = 0;
    }
    // A character takes up to 3 UTF-8 bytes where it takes one UTF-16 unit.
    const SQLLEN units = display > 0 && display <= kMaxSlotUnits ? display + 1 : kDefaultSlotUnits;
    columns_[i].slotBytes = units * (narrow_ ? 3 : static_cast<SQLLEN>(sizeof(char16_t)));
    if (db_.profile_.bindsAsInteger(type)) {
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

bool OdbcDatabase::RowReader::next(std::span<const FieldView>& row) {
  if (done_) return false;
  if (at_ >= fetched_) {
    fetched_ = 0;
    at_ = 0;
    // One row per fetch is common (drivers that cannot read a value again
    // inside a block): a store, not a call to fill.
    if (status_.size() == 1) status_[0] = kUnwrittenStatus;
    else std::fill(status_.begin(), status_.end(), kUnwrittenStatus);
    const SQLRETURN rc = SQLFetch(statement_->get());
    if (rc != SQL_SUCCESS && db_.check(rc, *statement_) == SQL_NO_DATA) {
      done_ = true;
      return false;
    }
    fetched_ = bound_ ? odbc::checkedRowsFetched(fetched_, blockRows_) : 1;
    if (fetched_ == 0) {
      done_ = true;
      return false;
    }
  }
  const SQLULEN r = at_++;
  ++rowNumber_;
  text_.clear();
  bool anyInText = false;
  const size_t count = columns_.size();
  if (bound_) {
    odbc::checkRowStatus(status_[r], rowNumber_);
    bool positioned = blockRows_ == 1;
    // Locals for what the loop reads: stores into the fields could
    // otherwise make the compiler load each member again.
    const odbc::BoundColumn* const columns = columns_.data();
    FieldView* const fields = row_.data();
    size_t* const ends = ends_.data();
    const bool narrow = narrow_;
    for (size_t c = 0; c < count; ++c) {
      std::string_view inPlace;
      bool shortPlain = false;
      const odbc::SlotValue value =
          odbc::decode(columns[c], r, narrow, text_, inPlace, shortPlain);
      ends[c] = kNotInText;
      if (value == odbc::SlotValue::InPlace) [[likely]] {
        fields[c] = FieldView{inPlace.data(), inPlace.size(), false, shortPlain};
      } else if (value == odbc::SlotValue::Text) {
        ends[c] = text_.size();
        anyInText = true;
      } else if (value == odbc::SlotValue::Null) {
        fields[c] = FieldView{nullptr, 0, true};
      } else {
        anyInText = reread(c, r, positioned) || anyInText;
      }
    }
  } else {
    for (size_t c = 0; c < count; ++c) anyInText = readPieces(c) || anyInText;
  }
  // text_ has stopped growing: its fields can point into it now.
  if (anyInText) {
    size_t start = 0;
    for (size_t c = 0; c < count; ++c) {
      if (ends_[c] == kNotInText) continue;
      row_[c] = FieldView{text_.data() + start, ends_[c] - start, false};
      start = ends_[c];
    }
  }
  row = std::span<const FieldView>(row_.data(), count);
  return true;
}

bool OdbcDatabase::RowReader::reread(size_t column, SQLULEN row, bool& positioned) {
  if (!positioned) {
    db_.check(SQLSetPos(statement_->get(), static_cast<SQLSETPOSIROW>(row + 1), SQL_POSITION,
                        SQL_LOCK_NO_CHANGE),
              *statement_);
    positioned = true;
  }
  return readPieces(column);
}

SQLSMALLINT OdbcDatabase::RowReader::cType(const odbc::BoundColumn& column) const {
  if (column.integer) return SQL_C_SBIGINT;
  return narrow_ ? SQL_C_CHAR : SQL_C_WCHAR;
}

void OdbcDatabase::RowReader::bind() {
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
    odbc::BoundColumn& column = columns_[i];
    SQLPOINTER slots = nullptr;
    if (column.integer) {
      column.integers.assign(blockRows_, 0);
      slots = column.integers.data();
    } else if (narrow_) {
      column.narrow.assign(static_cast<size_t>(column.slotBytes) * blockRows_, 0);
      slots = column.narrow.data();
    } else {
      column.slotUnits = static_cast<size_t>(column.slotBytes) / sizeof(char16_t);
      column.wide.assign(column.slotUnits * blockRows_, 0);
      slots = column.wide.data();
    }
    column.lengths.assign(blockRows_, 0);
    db_.check(SQLBindCol(stmt, i + 1, cType(column), slots, column.slotBytes, column.lengths.data()),
              *statement_);
  }
}

bool OdbcDatabase::RowReader::readPieces(size_t index) {
  const auto column = static_cast<SQLUSMALLINT>(index + 1);
  ends_[index] = kNotInText;
  value_.clear();
  piece_.resize(static_cast<size_t>(kPieceUnits));
  const size_t full = static_cast<size_t>(kPieceUnits - 1);
  // Stops once the value is longer than an answer shows: the rest is never read.
  for (int pieces = 0; value_.size() < kMaxValueUnits; ++pieces) {
    if (pieces == kMaxPieces) {
      throw ZorvError(kStatementFailed, "the ODBC driver kept answering pieces of column " +
                                            std::to_string(column) + " without filling them");
    }
    SQLLEN length = 0;
    const SQLRETURN rc = db_.check(
        SQLGetData(statement_->get(), column, SQL_C_WCHAR, piece_.data(),
                   kPieceUnits * static_cast<SQLLEN>(sizeof(char16_t)), &length),
        *statement_);
    if (rc == SQL_NO_DATA) break;
    length = odbc::checkedLength(length, column);
    if (length == SQL_NULL_DATA) {
      row_[index] = FieldView{nullptr, 0, true};
      return false;
    }
    const size_t units = length == SQL_NO_TOTAL
                             ? full
                             : std::min(full, static_cast<size_t>(length) / sizeof(char16_t));
    value_.append(piece_.data(), units);
    if (rc == SQL_SUCCESS) break;
  }
  appendUtf8(value_, text_);
  ends_[index] = text_.size();
  return true;
}

}  // namespace zorv::lib

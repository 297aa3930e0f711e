#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "field_view.h"
#include "odbc_database.h"
#include "odbc_handle.h"

namespace zorv::lib {

namespace odbc {

// One column of a block of bound rows. Its slots are in the one vector its
// kind is bound as: narrow text, wide text or 64-bit integers.
struct BoundColumn {
  size_t number = 0;  // 1-based, for messages
  SQLLEN slotBytes = 0;
  size_t slotUnits = 0;  // units of a wide slot: slotBytes / 2, kept for the row loop
  bool integer = false;  // bound as a 64-bit integer
  std::vector<char> narrow;
  std::vector<char16_t> wide;
  std::vector<int64_t> integers;
  std::vector<SQLLEN> lengths;
};

// What decodeSlot made of a bound value.
enum class SlotValue {
  Null,     // the value is NULL
  InPlace,  // the slot holds its UTF-8 text, which needs no copy
  Text,     // its text was appended
  Reread,   // the slot cannot show it whole: read it again with SQLGetData
};

// Decodes row `row` of a bound column: narrow text that is well-formed UTF-8
// is viewed where it stands (InPlace, valid until the next fetch; shortPlain
// set when it is at most 16 bytes of 0x01-0x7F), an integer is appended to
// text in decimal and wide text converted (Text). Appends nothing and leaves
// inPlace alone otherwise; an invalid length indicator throws ZorvError
// (odbc_checks.h).
SlotValue decodeSlot(const BoundColumn& column, SQLULEN row, bool narrow, std::string& text,
                     std::string_view& inPlace, bool& shortPlain);

}  // namespace odbc

// Reads an executed statement's rows as UTF-8 fields. With bound arrays it
// fetches blocks of rows; a value longer than its slot, and every value when
// the driver cannot read bound columns again, comes through SQLGetData in
// pieces joined before conversion, since a piece may end inside a pair or a
// UTF-8 sequence.
//
// Values are read as wide text, except where the driver's profile binds
// narrow text (its narrow text is the stored UTF-8) or integer columns as
// 64-bit numbers. A narrow value that is not well-formed UTF-8 (the driver's
// wide text drops or replaces such bytes in its own way), and one longer than
// its slot, is read again wide, so the text is the same either way.
class OdbcDatabase::RowReader {
 public:
  // Describes the statement's columns and binds them; failures throw
  // ZorvError through OdbcDatabase::check.
  RowReader(OdbcDatabase& db, std::unique_ptr<odbc::Handle> statement);

  const std::vector<std::string>& names() const { return names_; }

  // The next row, or false after the last one. The fields stay valid until
  // the next call.
  bool next(std::span<const FieldView>& row);

 private:
  SQLSMALLINT cType(const odbc::BoundColumn& column) const;
  void bind();
  // readPieces for bound row `row` of the block, positioned on it first
  // unless it already is; out of line, as it is seldom needed.
  [[gnu::noinline]] bool reread(size_t column, SQLULEN row, bool& positioned);
  // Reads column `index` (0-based) of the current row whole as wide text
  // into text_ and notes its end in ends_; false, and row_[index] NULL, for
  // NULL.
  bool readPieces(size_t index);

  OdbcDatabase& db_;
  std::unique_ptr<odbc::Handle> statement_;
  const bool narrow_;
  std::vector<std::string> names_;
  std::vector<odbc::BoundColumn> columns_;
  bool bound_ = false;
  SQLULEN blockRows_ = 1;
  SQLULEN fetched_ = 0;
  SQLULEN at_ = 0;
  size_t rowNumber_ = 0;  // rows handed out so far
  std::vector<SQLUSMALLINT> status_;
  bool done_ = false;
  std::vector<char16_t> piece_;
  std::u16string value_;
  std::string text_;
  std::vector<size_t> ends_;  // per column: its text's end in text_, or kNotInText
  std::vector<FieldView> row_;
};

}  // namespace zorv::lib

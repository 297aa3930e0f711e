// A block of bound rows as any driver could leave it (lengths, statuses,
// bytes, and the rows-fetched count): decoding never reads outside the
// block, appends only what the slot holds, and turns every broken promise
// into ZorvError.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "odbc_checks.h"
#include "odbc_row_reader.h"
#include "zorv_error.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

template <typename T>
T take(const uint8_t*& data, size_t& size) {
  T value{};
  const size_t n = size < sizeof value ? size : sizeof value;
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorv::lib;
  // Header: flags, slot units, array size, rows-fetched count.
  const auto flags = take<uint8_t>(data, size);
  const bool narrow = (flags & 1) != 0;
  const auto units = static_cast<SQLLEN>(1 + take<uint8_t>(data, size) % 64);
  const auto arraySize = static_cast<SQLULEN>(1 + take<uint8_t>(data, size) % 16);
  const auto claimed = static_cast<SQLULEN>(take<uint16_t>(data, size));

  odbc::BoundColumn column;
  column.number = 1;
  column.integer = (flags & 2) != 0;
  column.slotBytes = column.integer ? 8 : units * (narrow ? 1 : 2);
  column.data.assign(static_cast<size_t>(column.slotBytes) * arraySize, 0);
  column.lengths.assign(arraySize, 0);
  SQLUSMALLINT statuses[16] = {};
  for (SQLULEN r = 0; r < arraySize; ++r) {
    column.lengths[r] = take<SQLLEN>(data, size);
    statuses[r] = take<SQLUSMALLINT>(data, size);
  }
  const size_t bytes = size < column.data.size() ? size : column.data.size();
  std::memcpy(column.data.data(), data, bytes);

  SQLULEN rows = 0;
  try {
    rows = odbc::checkedRowsFetched(claimed, arraySize);
  } catch (const ZorvError&) {
    check(claimed > arraySize);
    return 0;
  }
  check(rows <= arraySize);
  for (SQLULEN r = 0; r < rows; ++r) {
    try {
      odbc::checkRowStatus(statuses[r], r + 1);
      std::string text;
      std::string_view inPlace;
      bool shortPlain = false;
      const SQLLEN length = column.lengths[r];
      const char* slot = column.data.data() + r * static_cast<size_t>(column.slotBytes);
      switch (odbc::decodeSlot(column, r, narrow, text, inPlace, shortPlain)) {
        case odbc::SlotValue::Null:
          check(length == SQL_NULL_DATA && text.empty());
          break;
        case odbc::SlotValue::Reread:
          check(text.empty() && (length == SQL_NO_TOTAL || length >= 0));
          break;
        case odbc::SlotValue::InPlace:
          // The value's own bytes, inside its slot and before its terminator.
          check(narrow && !column.integer && text.empty() && inPlace.data() == slot &&
                static_cast<SQLLEN>(inPlace.size()) == length && length < column.slotBytes);
          // The answer copies a short plain value unconverted: the mark must
          // be exact.
          check(shortPlain == (inPlace.size() <= 16 &&
                               std::all_of(inPlace.begin(), inPlace.end(), [](char byte) {
                                 const auto unit = static_cast<unsigned char>(byte);
                                 return unit != 0 && unit < 0x80;
                               })));
          break;
        case odbc::SlotValue::Text:
          // A wide unit is at most 3 UTF-8 bytes; an integer at most 20 digits and a sign.
          check(column.integer ? text.size() <= 20
                               : length >= 0 && text.size() <= static_cast<size_t>(length) * 3 / 2 + 3);
          break;
      }
    } catch (const ZorvError& e) {
      check(e.code() == kStatementFailed);
    }
  }
  return 0;
}

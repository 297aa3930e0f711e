// A block of bound rows as any driver could leave it (lengths, statuses,
// bytes, and the rows-fetched count): decoding never reads outside the
// block, fails exactly where a status or length is invalid, and every value
// it hands out is the slot's content. The oracle works from the raw input
// alone: which statuses and lengths are valid, and what a value's text is,
// are worked out here, not by calling the checks under test.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

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

void appendCodePoint(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 to UTF-8, a pair joined, a lone surrogate U+FFFD.
std::string utf8Of(const char16_t* units, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    const char32_t unit = units[i];
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      appendCodePoint(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00), out);
      ++i;
    } else {
      appendCodePoint(unit >= 0xD800 && unit < 0xE000 ? char32_t{0xFFFD} : unit, out);
    }
  }
  return out;
}

// Shortest forms of U+0000-U+10FFFF, no surrogates.
bool wellFormedUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2
                                          : lead >= 0xE0 && lead < 0xF0 ? 3
                                          : lead >= 0xF0 && lead < 0xF5 ? 4
                                                                        : 0;
    if (length == 0 || bytes.size() - i < length) return false;
    char32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto trail = static_cast<unsigned char>(bytes[i + k]);
      if ((trail & 0xC0) != 0x80) return false;
      c = (c << 6) | (trail & 0x3F);
    }
    const char32_t shortest = length == 1 ? 0 : length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (c < shortest || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return false;
    i += length;
  }
  return true;
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
  column.slotUnits = static_cast<size_t>(units);
  column.lengths.assign(arraySize, 0);
  SQLUSMALLINT statuses[16] = {};
  for (SQLULEN r = 0; r < arraySize; ++r) {
    column.lengths[r] = take<SQLLEN>(data, size);
    statuses[r] = take<SQLUSMALLINT>(data, size);
  }
  // The block's bytes as the driver wrote them, copied into the column's
  // own kind of slots.
  std::string block(static_cast<size_t>(column.slotBytes) * arraySize, '\0');
  std::memcpy(block.data(), data, std::min(size, block.size()));
  void* slots = nullptr;
  if (column.integer) {
    column.integers.assign(arraySize, 0);
    slots = column.integers.data();
  } else if (narrow) {
    column.narrow.assign(block.size(), 0);
    slots = column.narrow.data();
  } else {
    column.wide.assign(block.size() / 2, 0);
    slots = column.wide.data();
  }
  std::memcpy(slots, block.data(), block.size());

  SQLULEN rows = 0;
  try {
    rows = odbc::checkedRowsFetched(claimed, arraySize);
    check(claimed <= arraySize && rows == claimed);
  } catch (const ZorvError& e) {
    check(claimed > arraySize && e.code() == kStatementFailed);
    return 0;
  }
  for (SQLULEN r = 0; r < rows; ++r) {
    const SQLUSMALLINT status = statuses[r];
    const bool statusValid = status == SQL_ROW_SUCCESS || status == SQL_ROW_SUCCESS_WITH_INFO ||
                             status == SQL_ROW_UPDATED || status == SQL_ROW_ADDED;
    try {
      odbc::checkRowStatus(status, r + 1);
      check(statusValid);
    } catch (const ZorvError& e) {
      check(!statusValid && e.code() == kStatementFailed);
      continue;
    }

    const SQLLEN length = column.lengths[r];
    const std::string_view slot(block.data() + r * static_cast<size_t>(column.slotBytes),
                                static_cast<size_t>(column.slotBytes));
    const bool lengthValid = length >= 0 || length == SQL_NULL_DATA || length == SQL_NO_TOTAL;
    // Fits its slot with its terminator: the value is the slot's bytes up to the length.
    const bool fits = !column.integer && length >= 0 &&
                      length <= column.slotBytes - (narrow ? 1 : 2);
    std::string text;
    std::string_view inPlace;
    bool shortPlain = false;
    odbc::SlotValue value;
    try {
      value = odbc::decodeSlot(column, r, narrow, text, inPlace, shortPlain);
      check(lengthValid);
    } catch (const ZorvError& e) {
      check(!lengthValid && e.code() == kStatementFailed);
      continue;
    }
    if (length == SQL_NULL_DATA) {
      check(value == odbc::SlotValue::Null && text.empty());
    } else if (column.integer) {
      int64_t number = 0;
      std::memcpy(&number, slot.data(), sizeof number);
      check(value == odbc::SlotValue::Text && text == std::to_string(number));
    } else if (!fits) {
      check(value == odbc::SlotValue::Reread && text.empty());
    } else if (!narrow) {
      std::u16string wide(static_cast<size_t>(length) / 2, u'\0');
      std::memcpy(wide.data(), slot.data(), wide.size() * 2);
      check(value == odbc::SlotValue::Text && text == utf8Of(wide.data(), wide.size()));
    } else {
      const std::string_view bytes = slot.substr(0, static_cast<size_t>(length));
      if (!wellFormedUtf8(bytes)) {
        check(value == odbc::SlotValue::Reread && text.empty());
        continue;
      }
      // Viewed where it stands in the column's own slots.
      check(value == odbc::SlotValue::InPlace && text.empty() && inPlace == bytes &&
            inPlace.data() == column.narrow.data() + (bytes.data() - block.data()));
      // The answer copies a short plain value unconverted: the mark must be exact.
      check(shortPlain == (bytes.size() <= 16 && std::all_of(bytes.begin(), bytes.end(), [](char c) {
                             const auto unit = static_cast<unsigned char>(c);
                             return unit != 0 && unit < 0x80;
                           })));
    }
  }
  return 0;
}

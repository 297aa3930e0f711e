#pragma once

#include <cstddef>
#include <optional>

#include "odbc_api.h"

// What a driver writes is checked here before it is used, one function per
// kind of value. A broken promise throws ZorvError(kStatementFailed) with a
// message that names the driver as the one at fault. The checks that run per
// row or value are inline; their failures are thrown out of line.
namespace zorv::lib::odbc {

[[noreturn]] void invalidLength(SQLLEN length, size_t column);
[[noreturn]] void tooManyRowsFetched(SQLULEN fetched, SQLULEN arraySize);
[[noreturn]] void rowWithoutData(SQLUSMALLINT status, size_t row);

// A length indicator of column `column` (1-based), bound or from
// SQLGetData: SQL_NULL_DATA, SQL_NO_TOTAL or a byte count, which may exceed
// the buffer when the value was cut. Anything else throws.
inline SQLLEN checkedLength(SQLLEN length, size_t column) {
  if (length >= 0 || length == SQL_NULL_DATA || length == SQL_NO_TOTAL) [[likely]] return length;
  invalidLength(length, column);
}

// The rows SQLFetch says it wrote into an array of `arraySize` rows; more
// than the array throws.
inline SQLULEN checkedRowsFetched(SQLULEN fetched, SQLULEN arraySize) {
  if (fetched <= arraySize) [[likely]] return fetched;
  tooManyRowsFetched(fetched, arraySize);
}

// Throws unless row `row` (1-based, counted over the whole result) holds
// data: success, with a warning, updated or added. SQL_ROW_ERROR says the
// driver could not read it; any other status is invalid.
inline void checkRowStatus(SQLUSMALLINT status, size_t row) {
  if (status == SQL_ROW_SUCCESS || status == SQL_ROW_SUCCESS_WITH_INFO) [[likely]] return;
  if (status != SQL_ROW_UPDATED && status != SQL_ROW_ADDED) rowWithoutData(status, row);
}

// The units of a text the driver wrote into a buffer of `capacity` units
// (its NUL included) and reported `reported` units long: at most
// capacity - 1, never negative. Nothing when the report is negative.
std::optional<size_t> reportedUnits(SQLLEN reported, size_t capacity);

// A column name's length from SQLDescribeColW, as reportedUnits; a negative
// one throws.
size_t checkedNameUnits(SQLSMALLINT reported, size_t capacity, size_t column);

}  // namespace zorv::lib::odbc

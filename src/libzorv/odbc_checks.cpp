#include "odbc_checks.h"

#include <algorithm>
#include <string>

#include "zorv_error.h"

namespace zorv::lib::odbc {

namespace {

[[noreturn]] void driverFault(const std::string& what) {
  throw ZorvError(kStatementFailed, "the ODBC driver returned " + what);
}

}  // namespace

SQLLEN checkedLength(SQLLEN length, size_t column) {
  if (length >= 0 || length == SQL_NULL_DATA || length == SQL_NO_TOTAL) return length;
  driverFault("an invalid length (" + std::to_string(length) + ") for column " +
              std::to_string(column));
}

SQLULEN checkedRowsFetched(SQLULEN fetched, SQLULEN arraySize) {
  if (fetched <= arraySize) return fetched;
  throw ZorvError(kStatementFailed, "the ODBC driver reported " + std::to_string(fetched) +
                                        " rows fetched into an array of " +
                                        std::to_string(arraySize));
}

void checkRowStatus(SQLUSMALLINT status, size_t row) {
  switch (status) {
    case SQL_ROW_SUCCESS:
    case SQL_ROW_SUCCESS_WITH_INFO:
    case SQL_ROW_UPDATED:
    case SQL_ROW_ADDED:
      return;
    case SQL_ROW_ERROR:
      throw ZorvError(kStatementFailed,
                      "the ODBC driver could not read row " + std::to_string(row));
    default:
      driverFault("an invalid row status (" + std::to_string(status) + ") for row " +
                  std::to_string(row));
  }
}

std::optional<size_t> reportedUnits(SQLLEN reported, size_t capacity) {
  if (reported < 0) return std::nullopt;
  return std::min(static_cast<size_t>(reported), capacity > 0 ? capacity - 1 : 0);
}

size_t checkedNameUnits(SQLSMALLINT reported, size_t capacity, size_t column) {
  if (const auto units = reportedUnits(reported, capacity)) return *units;
  driverFault("an invalid name length (" + std::to_string(reported) + ") for column " +
              std::to_string(column));
}

}  // namespace zorv::lib::odbc

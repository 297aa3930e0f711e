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

void invalidLength(SQLLEN length, size_t column) {
  driverFault("an invalid length (" + std::to_string(length) + ") for column " +
              std::to_string(column));
}

void tooManyRowsFetched(SQLULEN fetched, SQLULEN arraySize) {
  throw ZorvError(kStatementFailed, "the ODBC driver reported " + std::to_string(fetched) +
                                        " rows fetched into an array of " +
                                        std::to_string(arraySize));
}

void rowWithoutData(SQLUSMALLINT status, size_t row) {
  if (status == SQL_ROW_ERROR) {
    throw ZorvError(kStatementFailed, "the ODBC driver could not read row " + std::to_string(row));
  }
  driverFault("an invalid row status (" + std::to_string(status) + ") for row " +
              std::to_string(row));
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

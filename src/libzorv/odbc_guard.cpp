#include "odbc_database.h"

#include <string>
#include <utility>

#include "odbc_handle.h"
#include "odbc_statement_split.h"
#include "zorv_error.h"

// The read-only guards a cursor runs under, one per driver, and their end.
namespace zorv::lib {

using odbc::Diagnostics;

namespace {

// Refuses a statement that may write where `who` cannot keep it read-only.
[[noreturn]] void refuseUnguardable(const std::string& who) {
  throw ZorvError(kStatementFailed,
                  "a cursor needs a plain query (SELECT, VALUES, WITH ... SELECT) that names no "
                  "change such as INSERT, UPDATE, DELETE or INTO: " + who +
                  " cannot keep a cursor read-only; run other statements with Exec");
}

}  // namespace

void OdbcDatabase::beginGuard(std::string_view statement) {
  guard_ = Guard::None;
  switch (driver_) {
    case Driver::Sqlite:
      if (!runGuardStatement("PRAGMA query_only = 1")) {
        throw ZorvError(kStatementFailed, "cannot make the cursor read-only");
      }
      guard_ = Guard::QueryOnly;
      return;
    case Driver::Postgres:
      beginReadOnlyTransaction(statement);
      return;
    case Driver::Other: {
      if (!odbc::isPlainQuery(statement)) refuseUnguardable("this ODBC driver");
      // Only a hint beside the words: the driver may accept the mode and
      // ignore it.
      SQLUINTEGER mode = SQL_MODE_READ_ONLY;
      if (SQL_SUCCEEDED(SQLGetConnectAttrW(dbc_->get(), SQL_ATTR_ACCESS_MODE, &mode, 0, nullptr)) &&
          mode == SQL_MODE_READ_WRITE &&
          setConnectionOption(SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY)) {
        guard_ = Guard::AccessMode;
      }
      return;
    }
  }
}

void OdbcDatabase::beginReadOnlyTransaction(std::string_view statement) {
  // A savepoint is refused outside a transaction block: that tells whether
  // the user opened one.
  Diagnostics failure;
  if (runGuardStatement("SAVEPOINT zorv_cursor", &failure)) {
    guard_ = Guard::Savepoint;
    // The driver runs each statement in a savepoint of its own, whose end
    // restores the read-write mode: only the statement's words can keep it
    // from writing, and rolling back to zorv_cursor at the end undoes
    // whatever a function it calls wrote.
    if (!odbc::isPlainQuery(statement)) {
      endGuard();
      requireConnection();
      refuseUnguardable("inside a transaction the PostgreSQL driver");
    }
    return;
  }
  if (failure.state == "25P02") {
    throw ZorvError(kStatementFailed,
                    "the current transaction is aborted; end it with ROLLBACK first");
  }
  check(SQLSetConnectAttrW(dbc_->get(), SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(SQL_AUTOCOMMIT_OFF)),
                           0),
        *dbc_);
  guard_ = Guard::OwnTransaction;
  if (!runGuardStatement("SET TRANSACTION READ ONLY")) {
    endGuard();
    requireConnection();
    throw ZorvError(kStatementFailed, "cannot make the cursor read-only");
  }
}

void OdbcDatabase::endGuard() noexcept {
  const Guard guard = std::exchange(guard_, Guard::None);
  if (guard == Guard::None || !dbc_) return;
  try {
    switch (guard) {
      case Guard::None:
        return;
      case Guard::OwnTransaction:
        if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc_->get(), SQL_ROLLBACK))) {
          return dropConnection("could not roll back the cursor's read-only transaction");
        }
        if (!setConnectionOption(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON)) {
          return dropConnection("could not switch autocommit back on after the cursor");
        }
        return;
      case Guard::Savepoint: {
        // 25P01: the driver already ended the whole transaction after a
        // failed statement, so nothing is left open.
        Diagnostics failure;
        const bool ended = runGuardStatement("ROLLBACK TO SAVEPOINT zorv_cursor", &failure)
                               ? runGuardStatement("RELEASE SAVEPOINT zorv_cursor", &failure)
                               : failure.state == "25P01";
        if (!ended) return dropConnection("could not end the cursor's savepoint: " + failure.message);
        return;
      }
      case Guard::QueryOnly: {
        Diagnostics failure;
        if (!runGuardStatement("PRAGMA query_only = 0", &failure)) {
          return dropConnection("could not end the cursor's read-only mode: " + failure.message);
        }
        return;
      }
      case Guard::AccessMode:
        if (!setConnectionOption(SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_WRITE)) {
          return dropConnection("could not make the connection read-write again after the cursor");
        }
        return;
    }
  } catch (const ZorvError& e) {
    dropConnection(std::string("lost the connection while ending the cursor's guard: ") + e.what());
  }
}

}  // namespace zorv::lib

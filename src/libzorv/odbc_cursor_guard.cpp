#include "odbc_cursor_guard.h"

#include <utility>

#include "odbc_statement_split.h"
#include "zorv_error.h"

namespace zorv::lib::odbc {

namespace {

// The refusal of a statement that may write where `who` cannot keep it
// read-only.
std::string unguardable(const std::string& who) {
  return "a cursor needs a plain query (SELECT, VALUES, WITH ... SELECT) that names no change "
         "such as INSERT, UPDATE, DELETE or INTO: " +
         who + " cannot keep a cursor read-only; run other statements with Exec";
}

constexpr const char* kCannotGuard = "cannot make the cursor read-only";

}  // namespace

GuardDecision CursorGuard::begin(GuardConnection& connection, std::string_view statement) {
  state_ = State::None;
  switch (method_) {
    case ReadOnlyMethod::QueryOnly:
      if (!connection.run("PRAGMA query_only = 1", nullptr)) {
        return GuardDecision::refuse(kCannotGuard);
      }
      state_ = State::QueryOnly;
      return GuardDecision::keep();
    case ReadOnlyMethod::Transaction:
      return beginTransaction(connection, statement);
    case ReadOnlyMethod::PlainQuery: {
      if (!isPlainQuery(statement)) return GuardDecision::refuse(unguardable("this ODBC driver"));
      // Only a hint beside the words: the driver may accept the mode and
      // ignore it.
      if (connection.attribute(SQL_ATTR_ACCESS_MODE) == SQLUINTEGER{SQL_MODE_READ_WRITE} &&
          connection.setAttribute(SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY)) {
        state_ = State::AccessMode;
      }
      return GuardDecision::keep();
    }
  }
  return GuardDecision::keep();
}

GuardDecision CursorGuard::beginTransaction(GuardConnection& connection,
                                            std::string_view statement) {
  // A savepoint is refused outside a transaction block: that tells whether
  // the user opened one.
  Diagnostics failure;
  if (connection.run("SAVEPOINT zorv_cursor", &failure)) {
    state_ = State::Savepoint;
    // The driver runs each statement in a savepoint of its own, whose end
    // restores the read-write mode: only the statement's words can keep it
    // from writing, and rolling back to zorv_cursor at the end undoes
    // whatever a function it calls wrote.
    if (!isPlainQuery(statement)) {
      return endAndRefuse(connection, unguardable("inside a transaction the PostgreSQL driver"));
    }
    return GuardDecision::keep();
  }
  if (failure.state == "25P02") {
    return GuardDecision::refuse("the current transaction is aborted; end it with ROLLBACK first");
  }
  connection.switchAutocommitOff();
  state_ = State::OwnTransaction;
  if (!connection.run("SET TRANSACTION READ ONLY", nullptr)) {
    return endAndRefuse(connection, kCannotGuard);
  }
  return GuardDecision::keep();
}

GuardDecision CursorGuard::endAndRefuse(GuardConnection& connection, std::string message) {
  GuardDecision ended = end(connection);
  if (ended.action == GuardDecision::Action::DropConnection) return ended;
  return GuardDecision::refuse(std::move(message));
}

GuardDecision CursorGuard::end(GuardConnection& connection) noexcept {
  const State state = std::exchange(state_, State::None);
  try {
    switch (state) {
      case State::None:
        return GuardDecision::keep();
      case State::OwnTransaction:
        if (!connection.rollBack()) {
          return GuardDecision::drop("could not roll back the cursor's read-only transaction");
        }
        if (!connection.setAttribute(SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_ON)) {
          return GuardDecision::drop("could not switch autocommit back on after the cursor");
        }
        return GuardDecision::keep();
      case State::Savepoint: {
        // 25P01: the driver already ended the whole transaction after a
        // failed statement, so nothing is left open.
        Diagnostics failure;
        const bool ended = connection.run("ROLLBACK TO SAVEPOINT zorv_cursor", &failure)
                               ? connection.run("RELEASE SAVEPOINT zorv_cursor", &failure)
                               : failure.state == "25P01";
        if (!ended) {
          return GuardDecision::drop("could not end the cursor's savepoint: " + failure.message);
        }
        return GuardDecision::keep();
      }
      case State::QueryOnly: {
        Diagnostics failure;
        if (!connection.run("PRAGMA query_only = 0", &failure)) {
          return GuardDecision::drop("could not end the cursor's read-only mode: " +
                                     failure.message);
        }
        return GuardDecision::keep();
      }
      case State::AccessMode:
        if (!connection.setAttribute(SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_WRITE)) {
          return GuardDecision::drop(
              "could not make the connection read-write again after the cursor");
        }
        return GuardDecision::keep();
    }
  } catch (const ZorvError& e) {
    return GuardDecision::drop(
        std::string("lost the connection while ending the cursor's guard: ") + e.what());
  } catch (...) {
    return GuardDecision::drop("failed while ending the cursor's guard");
  }
  return GuardDecision::keep();
}

}  // namespace zorv::lib::odbc

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "odbc_driver_profile.h"
#include "odbc_handle.h"

namespace zorv::lib::odbc {

// The calls on its connection a cursor's guard makes. Each may throw
// ZorvError(kConnectFailed) when the connection is lost.
class GuardConnection {
 public:
  virtual ~GuardConnection() = default;
  // Runs one of the guard's own statements; false, with its diagnostics in
  // `failure` when given, when the statement fails.
  virtual bool run(std::string_view sql, Diagnostics* failure) = 0;
  // Sets a connection attribute; false when the driver refuses.
  virtual bool setAttribute(SQLINTEGER attribute, uintptr_t value) = 0;
  // An integer connection attribute; nothing when the driver will not tell.
  virtual std::optional<SQLUINTEGER> attribute(SQLINTEGER attribute) = 0;
  // Switches autocommit off; a refusal throws ZorvError with the driver's
  // diagnostics.
  virtual void switchAutocommitOff() = 0;
  // Rolls back the connection's transaction; false when the driver fails.
  virtual bool rollBack() = 0;
};

// What the caller does after the guard began or ended.
struct GuardDecision {
  enum class Action {
    Keep,            // go on: the cursor may run (begin), the guard is over (end)
    Refuse,          // refuse the statement with `message`; nothing is left open
    DropConnection,  // a clean-up call failed (`message` says which): disconnect,
                     // which rolls back whatever is open
  };
  Action action = Action::Keep;
  std::string message;

  static GuardDecision keep() { return {}; }
  static GuardDecision refuse(std::string message) { return {Action::Refuse, std::move(message)}; }
  static GuardDecision drop(std::string message) {
    return {Action::DropConnection, std::move(message)};
  }
};

// Keeps one cursor's statement from writing, the driver profile's way, from
// begin to end. It runs its own statements through a GuardConnection and
// returns what the caller must do; it never throws a refusal or drops the
// connection itself.
class CursorGuard {
 public:
  explicit CursorGuard(ReadOnlyMethod method) : method_(method) {}

  // Makes what `statement` runs read-only. On Keep the guard may be open and
  // end must follow; on Refuse or DropConnection nothing of it is open. A
  // lost connection throws ZorvError(kConnectFailed).
  GuardDecision begin(GuardConnection& connection, std::string_view statement);
  // Ends what begin opened: Keep, or DropConnection when a clean-up call
  // failed or the connection was lost meanwhile. Keep when nothing is open.
  GuardDecision end(GuardConnection& connection) noexcept;
  // Forgets what is open, once the connection that held it is gone.
  void abandon() { state_ = State::None; }
  // Whether something keeps the cursor's statement from writing, so it may
  // run to tell its columns.
  bool active() const { return state_ != State::None; }

 private:
  enum class State { None, OwnTransaction, Savepoint, QueryOnly, AccessMode };

  GuardDecision beginTransaction(GuardConnection& connection, std::string_view statement);
  // Ends what is open, then refuses with `message` unless ending failed.
  GuardDecision endAndRefuse(GuardConnection& connection, std::string message);

  ReadOnlyMethod method_;
  State state_ = State::None;
};

}  // namespace zorv::lib::odbc

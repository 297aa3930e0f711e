#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "database.h"
#include "odbc_cursor_guard.h"
#include "odbc_driver_profile.h"
#include "odbc_handle.h"

namespace zorv::lib {

// A connection through an ODBC driver, W functions only. The driver's
// profile (odbc_driver_profile.h), chosen once when connected, says how its
// rows are read and how a cursor is kept read-only; no other code asks which
// driver it is.
//
// Values are read into bound arrays, a block of rows per fetch where the
// driver can read a bound row again, else one row per fetch; a value longer
// than its slot is read again whole in pieces (odbc_row_reader.h). Text is
// read as UTF-16 and converted here, so every driver's text reaches the
// console through the same CP932 table, except where the profile binds
// narrow text (the stored UTF-8) or integers as numbers.
//
// Known drivers are evened out: their streaming and keepalive options are
// added when the user's string lacks them, and a cursor is kept read-only by
// the database itself (a read-only transaction or a savepoint on PostgreSQL,
// query_only on SQLite). With any other driver a cursor runs only a plain
// query. The cursor's guard (odbc_cursor_guard.h) runs its statements through
// this connection and says what to do; when ending it fails, the connection
// is dropped here, rolling back whatever is open.
class OdbcDatabase : public Database, private odbc::GuardConnection {
 public:
  // Connects once with SQLDriverConnectW, no prompt: a data source's driver
  // is looked up in the driver manager's lists first, so its options go into
  // that one login. The completed connection string the driver could hand
  // back is never asked for, and every copy made here is wiped, so no copy of
  // a password outlives the call. Throws ZorvError(kConnectFailed), also for
  // a text longer than SQLDriverConnectW's 16-bit length can carry.
  explicit OdbcDatabase(std::string_view connection);
  ~OdbcDatabase() override;

  void exec(std::string_view sql, ExecSink& sink) override;
  void openCursor(std::string_view sql) override;
  bool fetch(std::span<const FieldView>& row) override;
  void closeCursor() noexcept override;
  bool execEndsCursor() const override { return reader_ != nullptr; }
  bool hasCursor() const override { return cursorOpen_; }
  const std::vector<std::string>& fieldNames() const override { return names_; }
  std::string takeNotice() override;
  bool hasNotice() const override { return !notice_.empty(); }

 private:
  class RowReader;  // odbc_row_reader.h

  void connect(std::string_view connection);
  // The one place a return code is judged: success and no-data pass, a
  // warning's text becomes the notice, anything else throws ZorvError with
  // the handle's diagnostics (kConnectFailed when the connection is gone).
  int16_t check(int16_t rc, const odbc::Handle& handle);
  bool connectionDead() const;
  std::unique_ptr<odbc::Handle> newStatement();

  // The guard's calls (odbc::GuardConnection).
  bool run(std::string_view sql, odbc::Diagnostics* failure) override;
  bool setAttribute(SQLINTEGER attribute, uintptr_t value) override;
  std::optional<SQLUINTEGER> attribute(SQLINTEGER attribute) override;
  void switchAutocommitOff() override;
  bool rollBack() override;

  // Makes what the cursor is about to run read-only, or throws its refusal.
  void beginGuard(std::string_view statement);
  // Ends the guard; when a clean-up call fails the connection is dropped,
  // so no later statement can run in a transaction nobody will commit.
  void endGuard() noexcept;
  // Disconnects (rolling back) after a clean-up call failed; the reason
  // names the failed call and is what requireConnection throws.
  void dropConnection(const std::string& reason) noexcept;
  // Throws ZorvError(kConnectFailed) once the connection was dropped.
  void requireConnection() const;
  // Ends the cursor's statement and its guard.
  void releaseStatement() noexcept;

  std::unique_ptr<odbc::Handle> env_;
  std::unique_ptr<odbc::Handle> dbc_;
  odbc::DriverProfile profile_;
  uint32_t getDataExtensions_ = 0;
  std::string notice_;
  std::string dropped_;  // why the connection was dropped

  bool cursorOpen_ = false;
  odbc::CursorGuard guard_{odbc::ReadOnlyMethod::PlainQuery};
  std::vector<std::string> names_;
  std::unique_ptr<RowReader> reader_;
};

}  // namespace zorv::lib

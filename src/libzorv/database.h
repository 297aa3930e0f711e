#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "exec_sink.h"
#include "field_view.h"
#include "spill_file.h"

namespace zorv::lib {

// One open database connection with at most one cursor. Statements are UTF-8.
// Failures throw ZorvError: kStatementFailed for a failed or refused
// statement, kConnectFailed when the connection itself is lost.
class Database {
 public:
  virtual ~Database() = default;

  // Runs exactly one statement and commits it unless the user opened a
  // transaction; a text holding more than one statement runs nothing.
  virtual void exec(std::string_view sql, ExecSink& sink) = 0;
  // Opens the cursor over one read-only query that returns columns; on any
  // failure no cursor is open afterwards. Any open cursor is closed first.
  virtual void openCursor(std::string_view sql) = 0;
  // The cursor's next row, or false after the last one (and on every later
  // call). On a failure the cursor is closed and ZorvError thrown.
  virtual bool fetch(std::span<const FieldView>& row) = 0;
  virtual void closeCursor() noexcept = 0;
  // True when a statement exec runs would end the open cursor before its
  // rows are all read (they wait on the server, or in a statement of the
  // same connection): the session then moves them to a spill file first.
  // Engines whose cursor outlives exec keep the default.
  virtual bool execEndsCursor() const { return false; }
  // Appends every row the open cursor has not yet returned to `spill`, in
  // order, reading it to its end. Throws as fetch does, the cursor closed.
  virtual void readRest(SpillFile& spill) {
    std::span<const FieldView> row;
    while (fetch(row)) spill.append(row);
  }
  virtual bool hasCursor() const = 0;
  virtual const std::vector<std::string>& fieldNames() const = 0;
  // A notice or warning the server sent during the last call, then cleared.
  virtual std::string takeNotice() { return {}; }
  // Whether takeNotice has something to say: asked after every row.
  virtual bool hasNotice() const { return false; }
};

}  // namespace zorv::lib

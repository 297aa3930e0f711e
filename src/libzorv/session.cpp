#include "session.h"

#include <algorithm>
#include <cstring>

#include "answer_writer.h"
#include "connection_text.h"
#include "cp932_codec.h"
#include "exec_answer.h"
#include "odbc_database.h"
#include "pg_database.h"
#include "secret_masking.h"
#include "sqlite_database.h"
#include "zorv_error.h"

namespace zorv::lib {
namespace {

constexpr const char* kCutMessage = "the answer was cut to fit the buffer";
constexpr const char* kReplacedMessage =
    "some characters have no CP932 form and were written as '?'";
constexpr const char* kMask = "********";

// Two messages as one, either of them possibly empty.
std::string joined(std::string_view first, std::string_view second) {
  if (first.empty()) return std::string(second);
  if (second.empty()) return std::string(first);
  std::string both(first);
  both.append("; ").append(second);
  return both;
}

// How a connection text selects the database to open.
struct ConnectionPlan {
  enum class Engine { Embedded, Server, Odbc };
  Engine engine = Engine::Embedded;
  std::string file = ":memory:";  // the embedded database's file
  SecretString odbc;              // the ODBC connection string
  SqliteDatabase::Mode mode = SqliteDatabase::Mode::ReadWriteCreate;
};

ConnectionPlan planFor(const std::vector<ConnectionOption>& options) {
  ConnectionPlan plan;
  bool hasFile = false;
  bool hasOdbc = false;
  for (const auto& option : options) {
    hasFile = hasFile || option.keyword == "file";
    hasOdbc = hasOdbc || option.keyword == "odbc";
  }
  if (hasOdbc) {
    // The ODBC connection string says everything; nothing may stand beside it.
    for (const auto& option : options) {
      if (option.keyword != "odbc") {
        throw ZorvError(kBadConnectionText, "bad connection text: keyword \"" + option.keyword +
                                                "\" cannot be used with odbc");
      }
    }
    if (options.size() > 1) {
      throw ZorvError(kBadConnectionText, "bad connection text: odbc is given more than once");
    }
    if (options.front().value.empty()) {
      throw ZorvError(kBadConnectionText, "bad connection text: odbc needs a connection string");
    }
    plan.engine = ConnectionPlan::Engine::Odbc;
    plan.odbc = options.front().value;
    return plan;
  }
  if (!options.empty() && !hasFile) {
    plan.engine = ConnectionPlan::Engine::Server;
    PgDatabase::checkKeywords(options);
    return plan;
  }
  for (const auto& option : options) {
    if (option.keyword == "file") {
      if (option.value.empty()) {
        throw ZorvError(kBadConnectionText, "bad connection text: file needs a path");
      }
      plan.file = option.value.view();
    } else if (option.keyword == "mode") {
      if (option.value == "ro") plan.mode = SqliteDatabase::Mode::ReadOnly;
      else if (option.value == "rw") plan.mode = SqliteDatabase::Mode::ReadWrite;
      else if (option.value == "rwc") plan.mode = SqliteDatabase::Mode::ReadWriteCreate;
      else throw ZorvError(kBadConnectionText, "bad connection text: mode must be ro, rw or rwc");
    } else {
      throw ZorvError(kBadConnectionText, "bad connection text: keyword \"" + option.keyword +
                                              "\" cannot be used with file");
    }
  }
  return plan;
}

}  // namespace

Session& Session::instance() {
  static Session session;
  return session;
}

void Session::setMessage(const std::string& utf8) noexcept {
  if (utf8.empty()) {
    message_.clear();
    return;
  }
  try {
    std::string message = utf8;
    for (const auto& secret : secrets_) {
      if (secret.empty()) continue;
      for (size_t at = message.find(secret.view()); at != std::string::npos;
           at = message.find(secret.view(), at + std::strlen(kMask))) {
        message.replace(at, secret.size(), kMask);
      }
    }
    message_ = std::move(message);
  } catch (...) {
    message_.clear();
  }
}

template <class String>
String Session::toUtf8(const char* text, const char* what) {
  String utf8;
  size_t bad = 0;
  if (!Cp932Codec::instance().toUtf8(text, utf8, &bad)) {
    throw ZorvError(kBadText, std::string("the ") + what + " is not valid CP932 (byte " +
                                  std::to_string(bad + 1) + "); nothing was run");
  }
  return utf8;
}

std::string Session::notice() { return db_ ? db_->takeNotice() : std::string(); }

int32_t Session::fail(int32_t code, std::string_view message, std::string_view also) {
  if (code == kConnectFailed) {
    kept_.reset();
    db_.reset();
  }
  setMessage(joined(message, also));
  return code;
}

int32_t Session::finishAnswerWithMessage(const AnswerWriter& writer, std::string_view also) {
  const int32_t code = writer.code();
  if (code == kCut) setMessage(joined(kCutMessage, also));
  else if (code == kReplaced) setMessage(joined(kReplacedMessage, also));
  else setMessage(joined(notice(), also));
  return code;
}

void Session::refuseWithoutCursor() const {
  if (!db_) throw ZorvError(kNotConnected, "not connected");
  throw ZorvError(kNoCursor, "no cursor is open");
}

std::string Session::keepCursorRows() {
  if (!db_->hasCursor() || !db_->execEndsCursor()) return {};
  try {
    auto kept = std::make_unique<KeptCursor>();
    kept->names = db_->fieldNames();
    kept->rows = std::make_unique<SpillFile>(kept->names.size());
    db_->readRest(*kept->rows);
    kept->rows->startReading();
    db_->closeCursor();
    kept_ = std::move(kept);
    return {};
  } catch (const ZorvError& e) {
    // A cursor that cannot be kept is closed; the statement still runs.
    db_->closeCursor();
    if (e.code() == kConnectFailed) throw;
    return std::string("the open cursor was closed: ") + e.what();
  }
}

int32_t Session::login(const char* connection) {
  try {
    const auto text = toUtf8<SecretString>(connection, "connection text");
    const auto options = ConnectionText::parse(text.view());
    const ConnectionPlan plan = planFor(options);
    // Every secret value, at every level of the text, as messages may quote it.
    std::vector<SecretString> secrets;
    secrets::Masked found = secrets::maskConnection(connection);
    for (std::string& secret : found.secrets) {
      try {
        secrets.push_back(toUtf8<SecretString>(secret.c_str(), "connection text"));
      } catch (const ZorvError&) {
        // not text the server can quote back
      }
      std::fill(secret.begin(), secret.end(), '\0');
    }
    std::fill(found.text.begin(), found.text.end(), '\0');
    kept_.reset();
    db_.reset();
    secrets_ = std::move(secrets);
    switch (plan.engine) {
      case ConnectionPlan::Engine::Embedded:
        db_ = std::make_unique<SqliteDatabase>(plan.file, plan.mode);
        break;
      case ConnectionPlan::Engine::Server:
        db_ = std::make_unique<PgDatabase>(options);
        break;
      case ConnectionPlan::Engine::Odbc:
        db_ = std::make_unique<OdbcDatabase>(plan.odbc.view());
        break;
    }
    setMessage("");
    return kOk;
  } catch (const ZorvError& e) {
    return fail(e.code(), e.what());
  }
}

int32_t Session::close() {
  if (!db_) return fail(kNotConnected, "not connected");
  kept_.reset();
  db_.reset();
  setMessage("");
  return kOk;
}

int32_t Session::cursor(const char* statement) {
  try {
    const std::string sql = toUtf8<std::string>(statement, "statement");
    if (!db_) throw ZorvError(kNotConnected, "not connected");
    notice();
    kept_.reset();
    db_->openCursor(sql);
    setMessage(notice());
    return kOk;
  } catch (const ZorvError& e) {
    return fail(e.code(), e.what());
  }
}

int32_t Session::fetch(char* buf) {
  AnswerWriter writer(buf);
  try {
    requireCursor();
    std::span<const FieldView> row;
    bool more = false;
    if (kept_) {
      try {
        more = kept_->rows->next(row);
      } catch (const ZorvError&) {
        kept_.reset();
        throw;
      }
    } else {
      more = db_->fetch(row);
    }
    if (!more) {
      setMessage("no more rows");
      return kNoMoreRows;
    }
    writer.appendFields(row);
    return finishAnswer(writer);
  } catch (const ZorvError& e) {
    writer.clear();
    return fail(e.code(), e.what());
  }
}

int32_t Session::msgGet(char* buf) {
  AnswerWriter writer(buf);
  writer.appendText(message_);
  return writer.cut() ? kCut : kOk;
}

int32_t Session::exec(const char* statement, char* buf) {
  AnswerWriter writer(buf);
  std::string cursorClosed;
  try {
    const std::string sql = toUtf8<std::string>(statement, "statement");
    if (!db_) throw ZorvError(kNotConnected, "not connected");
    notice();
    cursorClosed = keepCursorRows();
    ExecAnswer answer(writer);
    db_->exec(sql, answer);
    return finishAnswer(writer, cursorClosed);
  } catch (const ZorvError& e) {
    writer.clear();
    return fail(e.code(), e.what(), cursorClosed);
  }
}

int32_t Session::status() const {
  if (!db_) return 0;
  return cursorOpen() ? 2 : 1;
}

int32_t Session::fieldNames(char* buf) {
  AnswerWriter writer(buf);
  try {
    requireCursor();
    const auto& names = kept_ ? kept_->names : db_->fieldNames();
    std::vector<FieldView> fields;
    fields.reserve(names.size());
    for (const auto& name : names) fields.push_back(FieldView{name.data(), name.size(), false});
    writer.appendFields(fields);
    return finishAnswer(writer);
  } catch (const ZorvError& e) {
    writer.clear();
    return fail(e.code(), e.what());
  }
}

}  // namespace zorv::lib

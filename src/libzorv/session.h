#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "answer_writer.h"
#include "database.h"
#include "secret_text.h"

namespace zorv::lib {


// The library's one connection and its latest message, behind the eight
// exported functions. Each operation returns a result code and may throw
// only for internal errors (the caller turns those into kInternal).
class Session {
 public:
  static Session& instance();

  // Serialises calls from several threads.
  std::mutex& mutex() { return mutex_; }

  int32_t login(const char* connection);
  int32_t close();
  int32_t cursor(const char* statement);
  int32_t fetch(char* buf);
  int32_t msgGet(char* buf);
  int32_t exec(const char* statement, char* buf);
  int32_t status() const;
  int32_t fieldNames(char* buf);

  // Records the message MsgGet answers with; passwords are masked. Never throws.
  void setMessage(const std::string& utf8) noexcept;

 private:
  // Converts a CP932 argument to UTF-8 (a std::string, or a SecretString for
  // a text that may hold a password) or throws ZorvError(kBadText).
  template <class String>
  static String toUtf8(const char* text, const char* what);
  // Ends an answer-writing operation: the message for its code, the code;
  // `also` (when not empty) is added to whatever message that is. Inline for
  // the answer with nothing to say, every row of a cursor among them.
  int32_t finishAnswer(const AnswerWriter& writer, std::string_view also = {}) {
    if (writer.code() == kOk && also.empty() && !(db_ && db_->hasNotice())) {
      message_.clear();
      return kOk;
    }
    return finishAnswerWithMessage(writer, also);
  }
  int32_t finishAnswerWithMessage(const AnswerWriter& writer, std::string_view also);
  // Records a failure's message, with `also` added; a lost connection is
  // dropped.
  int32_t fail(int32_t code, std::string_view message, std::string_view also = {});
  void requireCursor() const {
    if (!db_ || !cursorOpen()) [[unlikely]] refuseWithoutCursor();
  }
  bool cursorOpen() const { return kept_ != nullptr || (db_ && db_->hasCursor()); }
  // Throws why no cursor is open: no connection, or none opened.
  [[noreturn]] void refuseWithoutCursor() const;
  std::string notice();
  // Before Exec: when the statement would end the engine's open cursor, its
  // remaining rows move to a spill file the later Fetches read. When that
  // fails the cursor is closed and the answer is why, for Exec's message;
  // empty otherwise. A lost connection throws.
  std::string keepCursorRows();

  // A cursor's rows kept in a spill file, its engine cursor closed.
  struct KeptCursor {
    std::vector<std::string> names;
    std::unique_ptr<SpillFile> rows;
  };

  std::mutex mutex_;
  std::unique_ptr<Database> db_;
  std::unique_ptr<KeptCursor> kept_;
  std::string message_;
  std::vector<SecretString> secrets_;  // the passwords messages mask
};

}  // namespace zorv::lib

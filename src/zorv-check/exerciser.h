#pragma once

#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

#include "board.h"
#include "bridge_binding.h"
#include "result_buffer.h"

namespace zorv::check {

// Makes bridge calls as the console makes them, in a child process: through
// the call routine that takes either convention, with narrow copies made by
// the bridge access layer, the answer buffer exchanged with
// the console's own ResultBuffer. Every argument lies in guarded pages (text
// read-only, the buffer's closing NUL against an inaccessible page) that are
// revoked when the call returns. Each call is judged and tallied on the
// board; a fault ends the process, and the checker explains it from the board.
class Exerciser {
 public:
  Exerciser(Board& board, BridgeBindings& bindings);
  ~Exerciser();
  Exerciser(const Exerciser&) = delete;
  Exerciser& operator=(const Exerciser&) = delete;

  // One call each; `stage` says where in the run it is ("its 2nd call in a
  // row"), for the report. Texts are UTF-8.
  ResultCode login(const std::string& text, const std::string& stage);
  ResultCode close(const std::string& stage);
  ResultCode cursor(const std::string& text, const std::string& stage);
  ResultCode answer(BridgeEntry entry, const std::string& stage);  // Fetch, MsgGet or FNames
  ResultCode exec(const std::string& text, const std::string& stage);
  // Any function with exact bytes: `text` is the text argument's CP932 bytes
  // (Login, Cursor, Exec); `buffer` the answer buffer's copy, its closing NUL
  // included, replaced by the copy as the call left it (Fetch, MsgGet, Exec,
  // FNames). The console's buffer is not used.
  ResultCode replay(BridgeEntry entry, std::string_view text, std::string& buffer,
                    const std::string& stage);

  ResultBuffer& buffer() { return buffer_; }
  // Whether the latest answer call changed any byte of its buffer.
  bool lastAnswerChanged() const { return lastChanged_; }

 private:
  struct Slot {
    char* base = nullptr;
    size_t pages = 0;  // data pages; one more, never accessible, follows them
  };

  char* place(std::string_view bytes, bool buffer, BridgeEntry entry, const std::string& what);
  void begin(BridgeEntry entry, const std::string& stage);
  void finish(BridgeEntry entry);
  ResultCode invoke(BridgeEntry entry, std::initializer_list<void*> args);
  template <typename Call>
  ResultCode textCall(BridgeEntry entry, std::string_view bytes, const std::string& stage,
                      Call&& call);
  template <typename Call>
  ResultCode exchange(BridgeEntry entry, const std::string& stage, Call&& call);
  template <typename Call>
  ResultCode exchangeBytes(BridgeEntry entry, std::string& bytes, const std::string& stage,
                           Call&& call);
  const char* placeText(BridgeEntry entry, std::string_view bytes, const std::string& stage);
  void judgeAnswer(BridgeEntry entry, std::string_view before, std::string_view after,
                   const std::string& stage);

  Board& board_;
  BridgeBindings& bindings_;
  ResultBuffer buffer_;
  std::array<Slot, Board::kRegions> slots_{};
  size_t nextSlot_ = 0;
  std::array<bool, Board::kRegions> liveSlots_{};
  bool lastChanged_ = false;
};

// Where the first byte sequence in `answer` that is no whole CP932 character
// starts, with a sentence saying what it is; an empty sentence when all are whole.
std::string cp932Flaw(std::string_view answer);

}  // namespace zorv::check

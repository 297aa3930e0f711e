#include "exerciser.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "convention.h"
#include "cp932_table.h"
#include "foreign_call.h"
#include "guarded_pages.h"
#include "narrow_text.h"
#include "utf_codec.h"

namespace zorv::check {

using platform::Access;

void fail(Tally& tally, const std::string& sentence) {
  if (tally.failed++ == 0) setText(tally.failure, sentence);
}

void warn(Tally& tally, const std::string& sentence) {
  if (tally.warned++ == 0) setText(tally.warning, sentence);
}

namespace {

std::string hexByte(unsigned char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

// The start of an answer as a person reads it, cut to a few characters.
std::string excerpt(std::string_view bytes) {
  const std::u16string wide = wideText(bytes.substr(0, 24));
  return "\"" + utf8FromUtf16(wide) + (bytes.size() > 24 ? "...\"" : "\"");
}

}  // namespace

std::string cp932Flaw(std::string_view answer) {
  const Cp932Table& table = Cp932Table::instance();
  for (size_t i = 0; i < answer.size();) {
    const auto [unit, length] = table.characterAt(answer, i);
    if (unit != Cp932Table::kNone) {
      i += length;
      continue;
    }
    const auto byte = static_cast<uint8_t>(answer[i]);
    if (table.isLead(byte) && i + 1 == answer.size()) {
      return "ends inside a double-byte character (lead byte " + hexByte(byte) +
             " right before its NUL, at byte " + std::to_string(i) + ")";
    }
    return "holds bytes that form no CP932 character (" + hexByte(byte) + " at byte " +
           std::to_string(i) + "), which the console shows as a replacement mark";
  }
  return {};
}

Exerciser::Exerciser(Board& board, BridgeBindings& bindings) : board_(board), bindings_(bindings) {}

Exerciser::~Exerciser() {
  for (Slot& slot : slots_) {
    if (slot.base) platform::unmapPages(slot.base, slot.pages + 1);
  }
}

// Takes the next slot of the ring, so an argument's pages stay revoked for
// the next few calls, and lays `bytes` so that their last byte abuts the
// slot's inaccessible page.
char* Exerciser::place(std::string_view bytes, bool buffer, BridgeEntry entry,
                       const std::string& what) {
  const size_t index = nextSlot_;
  nextSlot_ = (nextSlot_ + 1) % slots_.size();
  Slot& slot = slots_[index];
  const size_t page = platform::pageSize();
  const size_t pages = (bytes.size() + page - 1) / page;
  if (slot.pages < pages) {
    if (slot.base) platform::unmapPages(slot.base, slot.pages + 1);
    slot.pages = pages < 5 ? 5 : pages;  // room for any buffer copy
    slot.base = static_cast<char*>(platform::mapPages(slot.pages + 1));
  }
  char* const guard = slot.base + slot.pages * page;
  char* const start = guard - bytes.size();
  platform::setAccess(guard, 1, Access::None);  // a fault may have opened it
  platform::setAccess(slot.base, slot.pages, Access::ReadWrite);
  std::memcpy(start, bytes.data(), bytes.size());
  if (!buffer) platform::setAccess(slot.base, slot.pages, Access::ReadOnly);

  Region& region = board_.regions[index];
  region.start = reinterpret_cast<uintptr_t>(start);
  region.end = reinterpret_cast<uintptr_t>(guard);
  region.guardEnd = region.end + page;
  region.pagesStart = reinterpret_cast<uintptr_t>(slot.base);
  region.pages = slot.pages + 1;
  region.entry = static_cast<uint8_t>(entry);
  region.buffer = buffer;
  region.revoked = false;
  setText(region.what, what);
  liveSlots_[index] = true;
  return start;
}

void Exerciser::begin(BridgeEntry entry, const std::string& stage) {
  board_.entry = static_cast<uint8_t>(entry);
  setText(board_.call, stage);
  board_.calls.fetch_add(1);
  board_.inCall.store(1);
}

// After a call has returned: its arguments' pages are revoked, and the call
// counts for the promises it has kept.
void Exerciser::finish(BridgeEntry entry) {
  board_.inCall.store(0);
  std::array<bool, kBridgeEntryCount> heldEarlier{};
  for (size_t i = 0; i < slots_.size(); ++i) {
    Region& region = board_.regions[i];
    if (liveSlots_[i]) {
      platform::setAccess(slots_[i].base, slots_[i].pages + 1, Access::None);
      region.revoked = true;
      liveSlots_[i] = false;
    } else if (region.revoked) {
      heldEarlier[region.entry] = true;
    }
  }
  // Each function whose old arguments this call left alone.
  for (size_t e = 0; e < kBridgeEntryCount; ++e) {
    if (heldEarlier[e]) ++board_.tally(static_cast<BridgeEntry>(e), Check::NoKeptAddress).judged;
  }
  ++board_.tally(entry, Check::Returns).judged;
}

// One call of the library's function; on 32-bit x86 what its callee took off
// the stack tells its convention, or a prototype that fits neither.
ResultCode Exerciser::invoke(BridgeEntry entry, std::initializer_list<void*> args) {
  void* function = bindings_.bind(entry);
  const auto started = std::chrono::steady_clock::now();
  const bridge::ForeignCallResult result =
      bridge::callForeign(function, std::span<void* const>(args.begin(), args.size()));
  board_.callNanoseconds = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() -
                                                           started)
          .count());
  if constexpr (kTwoConventions) {
    CleanupCounts& counts = board_.cleanups[static_cast<size_t>(entry)];
    Tally& convention = board_.tally(entry, Check::Convention);
    switch (cleanupOf(entry, result.bytesTakenOff)) {
      case Cleanup::Callee:
        ++counts.byCallee;
        break;
      case Cleanup::Caller:
        ++counts.byCaller;
        break;
      case Cleanup::Either:
        ++counts.either;
        break;
      case Cleanup::Neither:
        fail(convention, wrongCleanupSentence(entry, result.bytesTakenOff, board_.call));
        return result.code;
    }
    ++convention.judged;
  }
  return result.code;
}

// Lays the text's bytes and a closing NUL in read-only pages.
const char* Exerciser::placeText(BridgeEntry entry, std::string_view bytes,
                                 const std::string& stage) {
  std::string text(bytes);
  text += '\0';
  return place(text, false, entry, "the text argument of its " + stage);
}

template <typename Call>
ResultCode Exerciser::textCall(BridgeEntry entry, std::string_view bytes, const std::string& stage,
                               Call&& call) {
  const char* argument = placeText(entry, bytes, stage);
  begin(entry, stage);
  const ResultCode code = call(argument);
  finish(entry);
  ++board_.tally(entry, Check::TextReadOnly).judged;
  return code;
}

// The console's exchange: the narrow copy of the whole buffer goes to the
// call, and the buffer is made back from every byte of the copy as it stands.
template <typename Call>
ResultCode Exerciser::exchange(BridgeEntry entry, const std::string& stage, Call&& call) {
  const NarrowCopy copy = narrowCopy(buffer_.units());
  std::string bytes(copy.data(), copy.length() + 1);
  const ResultCode code = exchangeBytes(entry, bytes, stage, std::forward<Call>(call));
  buffer_.store(wideText(std::string_view(bytes).substr(0, copy.length())));
  return code;
}

// The buffer's copy `bytes` (its NUL included) goes to the call in guarded
// pages and is replaced by what the call left there.
template <typename Call>
ResultCode Exerciser::exchangeBytes(BridgeEntry entry, std::string& bytes, const std::string& stage,
                                    Call&& call) {
  char* argument = place(bytes, true, entry, "the buffer of its " + stage);
  const ResultCode code = call(argument);
  std::string after(argument, bytes.size());
  finish(entry);
  judgeAnswer(entry, bytes, after, stage);
  bytes = std::move(after);
  return code;
}

void Exerciser::judgeAnswer(BridgeEntry entry, std::string_view before, std::string_view after,
                            const std::string& stage) {
  lastChanged_ = before != after;
  const std::string on = ", on its " + stage;
  const std::string copyBytes =
      " (the copy holds " + std::to_string(before.size() - 1) + " bytes and its NUL)";
  size_t past = kAnswerBytes;
  while (past < after.size() && after[past] == before[past]) ++past;
  Tally& inside = board_.tally(entry, Check::InsideBuffer);
  if (past < after.size()) {
    fail(inside, "wrote byte " + std::to_string(past) + " (" +
                     hexByte(static_cast<unsigned char>(after[past])) +
                     "), past the first 8192 bytes" + copyBytes + on);
  } else {
    ++inside.judged;
  }
  if (!lastChanged_) return;

  const std::string_view first = after.substr(0, kAnswerBytes);
  const size_t nul = first.find('\0');
  Tally& ended = board_.tally(entry, Check::NulWithin);
  if (nul == std::string_view::npos) {
    fail(ended, "left no NUL in the first 8192 bytes (answer " + excerpt(first) + ")" + on);
    return;
  }
  size_t changedAfter = nul + 1;
  while (changedAfter < kAnswerBytes && after[changedAfter] == before[changedAfter]) ++changedAfter;
  if (changedAfter < kAnswerBytes) {
    fail(ended, "changed byte " + std::to_string(changedAfter) + " after the NUL at byte " +
                    std::to_string(nul) + ": the answer does not start at the first byte" + on);
    return;
  }
  ++ended.judged;
  if (nul > ended.longest) ended.longest = static_cast<uint32_t>(nul);

  Tally& characters = board_.tally(entry, Check::Cp932);
  const std::string flaw = cp932Flaw(first.substr(0, nul));
  if (flaw.empty()) {
    ++characters.judged;
  } else {
    warn(characters, "answer " + excerpt(first.substr(0, nul)) + " " + flaw + on);
  }
}

ResultCode Exerciser::login(const std::string& text, const std::string& stage) {
  return textCall(
      BridgeEntry::Login, narrowCopy(utf16FromUtf8(text)).bytes(), stage,
      [this](const char* t) { return invoke(BridgeEntry::Login, {const_cast<char*>(t)}); });
}

ResultCode Exerciser::cursor(const std::string& text, const std::string& stage) {
  return textCall(
      BridgeEntry::Cursor, narrowCopy(utf16FromUtf8(text)).bytes(), stage,
      [this](const char* t) { return invoke(BridgeEntry::Cursor, {const_cast<char*>(t)}); });
}

ResultCode Exerciser::close(const std::string& stage) {
  begin(BridgeEntry::Close, stage);
  const ResultCode code = invoke(BridgeEntry::Close, {});
  finish(BridgeEntry::Close);
  return code;
}

ResultCode Exerciser::answer(BridgeEntry entry, const std::string& stage) {
  return exchange(entry, stage, [&](char* buffer) {
    begin(entry, stage);
    return invoke(entry, {buffer});
  });
}

ResultCode Exerciser::exec(const std::string& text, const std::string& stage) {
  const char* statement =
      placeText(BridgeEntry::Exec, narrowCopy(utf16FromUtf8(text)).bytes(), stage);
  const ResultCode code = exchange(BridgeEntry::Exec, stage, [&](char* buffer) {
    begin(BridgeEntry::Exec, stage);
    return invoke(BridgeEntry::Exec, {const_cast<char*>(statement), buffer});
  });
  ++board_.tally(BridgeEntry::Exec, Check::TextReadOnly).judged;
  return code;
}

ResultCode Exerciser::replay(BridgeEntry entry, std::string_view text, std::string& buffer,
                             const std::string& stage) {
  const char* argument = takesText(entry) ? placeText(entry, text, stage) : nullptr;
  ResultCode code = 0;
  if (writesAnswer(entry)) {
    code = exchangeBytes(entry, buffer, stage, [&](char* bytes) {
      begin(entry, stage);
      return argument ? invoke(entry, {const_cast<char*>(argument), bytes})
                      : invoke(entry, {bytes});
    });
  } else {
    begin(entry, stage);
    code = argument ? invoke(entry, {const_cast<char*>(argument)}) : invoke(entry, {});
    finish(entry);
  }
  if (argument) ++board_.tally(entry, Check::TextReadOnly).judged;
  return code;
}

}  // namespace zorv::check

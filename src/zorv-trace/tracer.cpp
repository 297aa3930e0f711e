#include "tracer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "cp932_table.h"
#include "dynamic_library.h"
#include "library_image.h"
#include "narrow_text.h"
#include "secret_masking.h"
#include "trace_platform.h"
#include "trace_settings.h"
#include "utf_codec.h"

namespace zorv::trace {

namespace {

// Bytes of an answer buffer a bridge may write, its ending NUL included.
constexpr size_t kAnswerCapacity = ZORV_ANSWER_CAPACITY;

bool hasText(BridgeEntry entry) {
  return entry == BridgeEntry::Login || entry == BridgeEntry::Cursor ||
         entry == BridgeEntry::Exec;
}

bool hasBuffer(BridgeEntry entry) {
  return entry == BridgeEntry::Fetch || entry == BridgeEntry::MsgGet ||
         entry == BridgeEntry::Exec || entry == BridgeEntry::FNames;
}

// The buffer's text up to its first NUL, never past the capacity the
// caller promises; `terminated` is false when no NUL lies within it.
std::string_view bufferText(const char* buffer, bool& terminated) {
  const void* nul = std::memchr(buffer, '\0', kAnswerCapacity);
  terminated = nul != nullptr;
  return {buffer, nul ? static_cast<size_t>(static_cast<const char*>(nul) - buffer)
                      : kAnswerCapacity};
}

// Writes `message` (UTF-8) into a caller's answer buffer as CP932, cut
// before the character that would not fit, and NUL-terminated.
void writeMessage(const std::string& message, char* buffer) {
  const NarrowCopy narrow = narrowCopy(utf16FromUtf8(message));
  const std::string_view bytes = narrow.bytes();
  const Cp932Table& table = Cp932Table::instance();
  size_t length = 0;
  while (length < bytes.size()) {
    const size_t step = table.characterAt(bytes, length).length;
    if (length + step > kAnswerCapacity - 1) break;
    length += step;
  }
  std::memcpy(buffer, bytes.data(), std::min(length, bytes.size()));
  buffer[std::min(length, bytes.size())] = '\0';
}

std::optional<std::string> environment(const char* name) {
  return platform::environmentValue(name);
}

}  // namespace

Tracer::Tracer(OwnEntries own, std::chrono::system_clock::time_point loaded)
    : own_(own), loaded_(loaded) {}

bool Tracer::ready() noexcept {
  if (!setUpDone_) {
    setUpDone_ = true;
    try {
      setUp();
    } catch (const SetupProblem& problem) {
      problem_ = problem;
    } catch (const std::exception& other) {
      problem_ = SetupProblem{SetupProblem::Kind::CannotLoad, {"?", other.what()}, {}};
    } catch (...) {
      problem_ = SetupProblem{SetupProblem::Kind::CannotLoad, {"?", "unknown failure"}, {}};
    }
    if (problem_) bindings_.reset();
  }
  return !problem_;
}

void Tracer::setUp() {
  const std::filesystem::path self = platform::ownLibraryFile();
  if (self.empty()) {
    // Never the working folder's settings instead.
    throw SetupProblem{SetupProblem::Kind::Unreadable,
                       {kSettingsFileName, "the trace library's own folder cannot be told"},
                       {}};
  }
  const std::filesystem::path folder = self.parent_path();
  const TraceSettings settings = readTraceSettings(folder / kSettingsFileName, environment);

  // The library named, as the loader will find it first: a relative path
  // is taken from the trace library's folder.
  const std::string& library = settings.library.value;
  const SettingSource& librarySource = settings.library.source;
  std::error_code error;
  const std::filesystem::path candidate = folder / ::zorv::platform::pathFromUtf8(library);
  if (std::filesystem::exists(candidate, error) &&
      std::filesystem::equivalent(candidate, self, error)) {
    throw SetupProblem{SetupProblem::Kind::SelfNamed, {library}, librarySource};
  }
  bindings_ = std::make_unique<BridgeBindings>(folder, library);
  for (size_t i = 0; i < kBridgeEntryCount; ++i) {
    const auto entry = static_cast<BridgeEntry>(i);
    void* address = nullptr;
    try {
      address = bindings_->bind(entry);
    } catch (const BridgeFailure& failure) {
      if (failure.libraryBits() != 0) {
        throw SetupProblem{SetupProblem::Kind::OtherBits,
                           {library, std::to_string(failure.libraryBits()),
                            std::to_string(::zorv::platform::kProcessBits)},
                           librarySource};
      }
      if (!bindings_->libraryLoaded()) {
        throw SetupProblem{SetupProblem::Kind::CannotLoad, {library, failure.reason()},
                           librarySource};
      }
      throw SetupProblem{SetupProblem::Kind::MissingEntry, {library, bridgeEntryName(entry)},
                         librarySource};
    }
    // Found by the loader's search or through a link: still this very library.
    if (address == own_[i]) {
      throw SetupProblem{SetupProblem::Kind::SelfNamed, {library}, librarySource};
    }
  }

  openRecord(settings.trace.value, folder, settings.trace.source);
  writeLine(Json{{"format", kFormatName},
                 {"version", kFormatVersion},
                 {"library", library},
                 {"platform", kThisPlatform},
                 {"process", platform::processId()},
                 {"started", utcTimestamp(loaded_)}});
}

// A folder is one that exists, or one written with a separator at its end,
// which is made, for its owner alone, when missing. Each record in it is a
// new file; a file named instead is this process's own unless another
// running process writes it, and then the record goes beside it.
void Tracer::openRecord(const std::string& trace, const std::filesystem::path& folder,
                        const SettingSource& source) {
  constexpr unsigned kAttempts = 100;
  const long long id = static_cast<long long>(platform::processId());
  std::filesystem::path record = folder / ::zorv::platform::pathFromUtf8(trace);
  try {
    if (trace.back() == '/' || trace.back() == '\\') platform::createPrivateFolders(record);
    std::error_code error;
    if (std::filesystem::is_directory(record, error)) {
      const std::filesystem::path inFolder = record;
      for (unsigned attempt = 1; !record_ && attempt <= kAttempts; ++attempt) {
        record = inFolder / ::zorv::platform::pathFromUtf8(recordFileName(loaded_, id, attempt));
        record_ = platform::createNewFile(record);
      }
    } else {
      record_ = platform::openOwnFile(record);
      const std::filesystem::path named = record;
      const std::string name = ::zorv::platform::utf8OfPath(named.filename());
      for (unsigned attempt = 1; !record_ && attempt <= kAttempts; ++attempt) {
        record = named.parent_path() /
                 ::zorv::platform::pathFromUtf8(ownRecordFileName(name, id, attempt));
        record_ = platform::createNewFile(record);
      }
    }
    if (!record_) {
      throw SetupProblem{SetupProblem::Kind::CannotWrite,
                         {::zorv::platform::utf8OfPath(record),
                          "it and the " + std::to_string(kAttempts - 1) +
                              " names after it are taken"},
                         source};
    }
  } catch (const std::system_error& failure) {
    throw SetupProblem{SetupProblem::Kind::CannotWrite,
                       {::zorv::platform::utf8OfPath(record), failure.code().message()}, source};
  }
}

void Tracer::finish() noexcept {
  // A thread still inside a call (a bridge that hangs) must not hold up the
  // process's end: the record then ends with that call open, as it is.
  std::unique_lock lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock() || !record_ || recordBroken_) return;
  try {
    writeLine(Json{{"phase", kPhaseEnd},
                   {"calls", calls_},
                   {"time", utcTimestamp(std::chrono::system_clock::now())}});
  } catch (...) {
  }
  recordBroken_ = true;
  record_.reset();
}

ResultCode Tracer::refuse(BridgeEntry entry, char* buffer) noexcept {
  if (entry == BridgeEntry::MsgGet && buffer) {
    try {
      writeMessage(describe(*problem_, userReportLanguage()), buffer);
    } catch (...) {
      buffer[0] = '\0';
    }
  }
  return kCannotForward;
}

void Tracer::writeLine(const Json& line) {
  writeText(line.dump(-1, ' ', false, Json::error_handler_t::replace));
}

namespace {
// Room kept aside past the record's end for the "cut" line (a reason is a
// short sentence), and the step in which room is asked of the disk.
constexpr uint64_t kCutLineRoom = 512;
constexpr uint64_t kReserveStep = 64 * 1024;
}  // namespace

void Tracer::writeText(std::string line) {
  if (recordBroken_) return;
  line += '\n';
  const uint64_t end = written_ + line.size();
  if (end + kCutLineRoom > reserved_) {
    std::string reason;
    if (record_->reserve(end + kCutLineRoom + kReserveStep, reason)) {
      reserved_ = end + kCutLineRoom + kReserveStep;
    } else if (record_->reserve(end + kCutLineRoom, reason)) {
      reserved_ = end + kCutLineRoom;
    } else {
      cut(reason);  // into the room kept for it
      return;
    }
  }
  if (const auto reason = record_->append(line)) {
    cut(*reason);
    return;
  }
  written_ = end;
}

void Tracer::cut(const std::string& reason) noexcept {
  recordBroken_ = true;
  try {
    record_->cutBack(written_);
    std::string line = Json{{"phase", kPhaseCut},
                            {"calls", calls_},
                            {"reason", reason.substr(0, 200)},
                            {"time", utcTimestamp(std::chrono::system_clock::now())}}
                           .dump(-1, ' ', false, Json::error_handler_t::replace);
    line += '\n';
    record_->append(line);
  } catch (...) {
  }
}

// The call's two lines are put together by hand, each text value written by
// the JSON library: an object per line cost more than the call it records.
namespace {

void appendField(std::string& out, const char* name) {
  out += ",\"";
  out += name;
  out += "\":";
}

// `{"seq":N,"phase":"P","fn":"F","thread":T`
std::string lineStart(uint64_t seq, std::string_view phase, BridgeEntry entry) {
  std::string out;
  out.reserve(256);
  out += "{\"seq\":";
  out += std::to_string(seq);
  appendField(out, "phase");
  out += '"';
  out += phase;
  out += '"';
  appendField(out, "fn");
  out += '"';
  out += bridgeEntryName(entry);
  out += '"';
  appendField(out, "thread");
  out += std::to_string(platform::threadId());
  return out;
}

}  // namespace

void Tracer::writeCall(uint64_t seq, BridgeEntry entry, const char* text,
                       const char* buffer) noexcept {
  try {
    std::string line = lineStart(seq, kPhaseCall, entry);
    appendField(line, "time");
    line += '"';
    line += utcTimestamp(std::chrono::system_clock::now());
    line += '"';
    appendField(line, "args");
    line += '{';
    bool masked = false;
    if (hasText(entry)) {
      line += entry == BridgeEntry::Login ? "\"connection\":" : "\"statement\":";
      if (text) {
        const secrets::Masked shown = entry == BridgeEntry::Login ? secrets::maskConnection(text)
                                                                   : secrets::maskStatement(text);
        masked = shown.masked;
        appendRecordedText(line, shown.text);
      } else {
        line += "null";
      }
    }
    if (hasBuffer(entry)) {
      if (hasText(entry)) line += ',';
      line += "\"buffer_in\":";
      bool terminated = true;
      if (buffer) {
        appendRecordedText(line, bufferText(buffer, terminated));
      } else {
        line += "null";
      }
    }
    line += '}';
    if (masked) {
      appendField(line, kMaskedField);
      line += "true";
    }
    line += '}';
    writeText(std::move(line));
  } catch (...) {
    recordBroken_ = true;
  }
}

void Tracer::writeReturn(uint64_t seq, BridgeEntry entry, ResultCode code, int64_t micros,
                         const char* buffer) noexcept {
  try {
    std::string line = lineStart(seq, kPhaseReturn, entry);
    appendField(line, "code");
    line += std::to_string(code);
    appendField(line, "micros");
    line += std::to_string(micros);
    if (hasBuffer(entry)) {
      bool terminated = true;
      appendField(line, "answer");
      if (buffer) {
        appendRecordedText(line, bufferText(buffer, terminated));
      } else {
        line += "null";
      }
      appendField(line, "answer_terminated");
      line += terminated ? "true" : "false";
    }
    line += '}';
    writeText(std::move(line));
  } catch (...) {
    recordBroken_ = true;
  }
}

}  // namespace zorv::trace

#include "trace_record.h"

#include <algorithm>
#include <limits>
#include <map>
#include "board.h"
#include "record_format.h"

namespace zorv::check {

namespace {

using json = trace::Json;
namespace format = trace;

// The longest buffer the console hands over: 8192 units of two bytes each.
constexpr size_t kLongestBuffer = 2 * kAnswerBytes;

// Thrown by the field readers; the line is added where the line is known.
struct FieldError {
  std::string reason;
};

const json& field(const json& object, const char* name) {
  const auto it = object.find(name);
  if (it == object.end()) throw FieldError{std::string("no \"") + name + "\" field"};
  return *it;
}

int64_t integerField(const json& object, const char* name, int64_t low, int64_t high) {
  const json& value = field(object, name);
  const FieldError range{std::string("\"") + name + "\" is out of range"};
  if (value.is_number_unsigned()) {
    const uint64_t n = value.get<uint64_t>();
    if (n > static_cast<uint64_t>(high) || (low > 0 && n < static_cast<uint64_t>(low))) throw range;
    return static_cast<int64_t>(n);
  }
  if (!value.is_number_integer()) throw FieldError{std::string("\"") + name + "\" is no integer"};
  const int64_t n = value.get<int64_t>();
  if (n < low || n > high) throw range;
  return n;
}

std::string stringField(const json& object, const char* name) {
  const json& value = field(object, name);
  if (!value.is_string()) throw FieldError{std::string("\"") + name + "\" is no string"};
  return value.get<std::string>();
}

// A text field's exact bytes, in the record format's one reading of a text.
std::string textField(const json& object, const char* name, size_t longest) {
  std::string bytes;
  if (const std::string problem = format::readRecordedText(field(object, name), bytes);
      !problem.empty()) {
    throw FieldError{std::string("\"") + name + "\" " + problem};
  }
  if (bytes.size() > longest) {
    throw FieldError{std::string("\"") + name + "\" holds " + std::to_string(bytes.size()) +
                     " bytes, more than the " + std::to_string(longest) + " it can"};
  }
  return bytes;
}

BridgeEntry entryField(const json& object) {
  const std::string name = stringField(object, "fn");
  for (size_t e = 0; e < kBridgeEntryCount; ++e) {
    if (name == bridgeEntryName(static_cast<BridgeEntry>(e))) return static_cast<BridgeEntry>(e);
  }
  throw FieldError{"\"fn\" names no bridge function: \"" + name + "\""};
}

// An optional time field: absent is nothing, present must be a record time.
std::optional<int64_t> timeField(const json& object, const char* name) {
  const auto it = object.find(name);
  if (it == object.end()) return std::nullopt;
  const std::optional<int64_t> micros =
      it->is_string() ? recordTimeMicros(it->get<std::string>()) : std::nullopt;
  if (!micros) throw FieldError{std::string("\"") + name + "\" is no UTC time"};
  return micros;
}

void readCall(const json& line, RecordedCall& call) {
  call.time = timeField(line, "time");
  if (line.contains("thread")) {
    call.thread = static_cast<uint64_t>(
        integerField(line, "thread", 0, std::numeric_limits<int64_t>::max()));
  }
  const json& args = field(line, "args");
  if (!args.is_object()) throw FieldError{"\"args\" is no object"};
  constexpr size_t kNoLimit = std::numeric_limits<size_t>::max();
  if (call.entry == BridgeEntry::Login) call.text = textField(args, "connection", kNoLimit);
  if (call.entry == BridgeEntry::Cursor || call.entry == BridgeEntry::Exec) {
    call.text = textField(args, "statement", kNoLimit);
  }
  if (writesAnswer(call.entry)) call.bufferIn = textField(args, "buffer_in", kLongestBuffer);
  if (const auto masked = line.find(format::kMaskedField); masked != line.end()) {
    if (!masked->is_boolean()) throw FieldError{"\"masked\" is no boolean"};
    call.masked = masked->get<bool>() && call.entry == BridgeEntry::Login;
  }
}

void readReturn(const json& line, RecordedCall& call) {
  call.code = static_cast<int32_t>(integerField(line, "code", std::numeric_limits<int32_t>::min(),
                                                std::numeric_limits<int32_t>::max()));
  if (line.contains("micros")) {
    call.micros = integerField(line, "micros", std::numeric_limits<int64_t>::min(),
                               std::numeric_limits<int64_t>::max());
  }
  if (!writesAnswer(call.entry)) return;
  call.answer = textField(line, "answer", kAnswerBytes);
  const json& terminated = field(line, "answer_terminated");
  if (!terminated.is_boolean()) throw FieldError{"\"answer_terminated\" is no boolean"};
  call.answerTerminated = terminated.get<bool>();
  if (!call.answerTerminated && call.answer.size() != kAnswerBytes) {
    throw FieldError{"an answer without its NUL holds all 8192 bytes, this one " +
                     std::to_string(call.answer.size())};
  }
}

void readHeader(const json& line, TraceRecord& record) {
  if (!line.is_object() || !line.contains("format") || line["format"] != format::kFormatName) {
    throw FieldError{"not a zorv-trace record (no \"format\":\"zorv-trace\" header)"};
  }
  const json& version = field(line, "version");
  if (version != format::kFormatVersion) {
    throw FieldError{"a zorv-trace record of version " + version.dump() +
                     ", which this zorv-check does not know (it reads version 1)"};
  }
  if (line.contains("library") && line["library"].is_string()) record.library = line["library"];
  if (line.contains("platform") && line["platform"].is_string()) {
    record.platform = line["platform"];
  }
  record.started = timeField(line, "started");
}

RecordError tooLong(size_t number, size_t longest) {
  return RecordError(number, "the line is longer than " + std::to_string(longest) +
                                 " bytes, the longest a record holds: the record is damaged");
}

// Reads line `number` into `text`, without its newline (nor a '\r' before
// it); false at the end. Stops reading once the line is longer than
// `longest`, so a damaged record never takes more memory than one line may.
bool readLine(std::streambuf& in, std::string& text, size_t longest, size_t number) {
  text.clear();
  for (;;) {
    const int c = in.sbumpc();
    if (c == std::char_traits<char>::eof() || c == '\n') {
      if (!text.empty() && text.back() == '\r') text.pop_back();
      if (text.size() > longest) throw tooLong(number, longest);
      return c == '\n' || !text.empty();
    }
    if (text.size() > longest) throw tooLong(number, longest);  // one byte over: a '\r' may follow
    text += static_cast<char>(c);
  }
}

}  // namespace

std::optional<int64_t> recordTimeMicros(std::string_view text) {
  // YYYY-MM-DDTHH:MM:SS[.ffffff]Z
  auto digits = [&](size_t at, size_t n) -> std::optional<int64_t> {
    if (at + n > text.size()) return std::nullopt;
    int64_t value = 0;
    for (size_t i = at; i < at + n; ++i) {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      value = value * 10 + (text[i] - '0');
    }
    return value;
  };
  if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text.back() != 'Z') {
    return std::nullopt;
  }
  const auto year = digits(0, 4), month = digits(5, 2), day = digits(8, 2);
  const auto hour = digits(11, 2), minute = digits(14, 2), second = digits(17, 2);
  if (!year || !month || !day || !hour || !minute || !second || *month < 1 || *month > 12 ||
      *day < 1 || *day > 31 || *hour > 23 || *minute > 59 || *second > 60) {
    return std::nullopt;
  }
  int64_t fraction = 0;
  const size_t fractionDigits = text.size() > 20 ? text.size() - 21 : 0;
  if (text.size() > 20) {
    if (text[19] != '.' || fractionDigits == 0 || fractionDigits > 6) return std::nullopt;
    const auto value = digits(20, fractionDigits);
    if (!value) return std::nullopt;
    fraction = *value;
    for (size_t i = fractionDigits; i < 6; ++i) fraction *= 10;
  }
  // Days from 1970-01-01 in the proleptic Gregorian calendar.
  const int64_t y = *year - (*month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yearOfEra = y - era * 400;
  const int64_t dayOfYear = (153 * (*month + (*month > 2 ? -3 : 9)) + 2) / 5 + *day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const int64_t days = era * 146097 + dayOfEra - 719468;
  return ((days * 24 + *hour) * 60 + *minute) * 60 * 1000000 + *second * 1000000 + fraction;
}

TraceRecord readTraceRecord(std::istream& in, size_t longestLine) {
  TraceRecord record;
  std::map<uint64_t, RecordedCall> calls;
  std::string text;
  size_t number = 0;
  bool haveHeader = false;
  std::streambuf* buffer = in.rdbuf();
  if (!buffer) throw RecordError(1, "the record cannot be read");
  while (readLine(*buffer, text, longestLine, number + 1)) {
    ++number;
    if (text.empty()) continue;
    try {
      const json line = json::parse(text);
      if (!haveHeader) {
        readHeader(line, record);
        haveHeader = true;
        continue;
      }
      if (!line.is_object()) throw FieldError{"not a JSON object"};
      if (record.closed) throw FieldError{"a line after the record's closing line"};
      if (const auto phase = line.find("phase"); phase != line.end() && *phase == format::kPhaseCut) {
        throw FieldError{"the trace cut the record here, having lost lines: " +
                         stringField(line, "reason")};
      }
      if (const auto phase = line.find("phase"); phase != line.end() && *phase == format::kPhaseEnd) {
        record.closed = true;
        continue;
      }
      const auto seq =
          static_cast<uint64_t>(integerField(line, "seq", 1, std::numeric_limits<int64_t>::max()));
      const BridgeEntry entry = entryField(line);
      const std::string phase = stringField(line, "phase");
      if (phase == format::kPhaseCall) {
        RecordedCall call;
        call.seq = seq;
        call.entry = entry;
        call.line = number;
        readCall(line, call);
        if (!calls.emplace(seq, std::move(call)).second) {
          throw FieldError{"a second call line for seq " + std::to_string(seq) +
                           ": a call line is repeated, the record is damaged"};
        }
      } else if (phase == format::kPhaseReturn) {
        const auto it = calls.find(seq);
        if (it == calls.end()) {
          throw FieldError{"the return of seq " + std::to_string(seq) +
                           " has no call line before it"};
        }
        RecordedCall& call = it->second;
        if (call.returned) throw FieldError{"a second return line for seq " + std::to_string(seq)};
        if (call.entry != entry) {
          throw FieldError{"the return of seq " + std::to_string(seq) + " names " +
                           bridgeEntryName(entry) + ", its call (line " +
                           std::to_string(call.line) + ") " + bridgeEntryName(call.entry)};
        }
        readReturn(line, call);
        call.returned = true;
      } else {
        throw FieldError{"\"phase\" is none of \"call\", \"return\", \"end\" and \"cut\": \"" +
                         phase + "\""};
      }
    } catch (const json::exception& error) {
      // nlohmann's messages start "[json.exception.parse_error.101] ": keep what follows.
      std::string reason = error.what();
      const size_t bracket = reason.find("] ");
      if (bracket != std::string::npos) reason.erase(0, bracket + 2);
      // Each line is parsed alone: its position within the line is what helps.
      const size_t atLine = reason.find("at line 1, ");
      if (atLine != std::string::npos) reason.erase(atLine + 3, 8);
      throw RecordError(number, "not a JSON line: " + reason);
    } catch (const FieldError& error) {
      throw RecordError(number, error.reason);
    }
  }
  if (!haveHeader) throw RecordError(number + 1, "the record is empty: no zorv-trace header");
  // The trace numbers calls 1, 2, 3 ... as it takes them: a number left out
  // is a call line lost.
  uint64_t expected = 1;
  for (const auto& [seq, call] : calls) {
    if (seq != expected) {
      throw RecordError(call.line, "call seq " + std::to_string(seq) + " comes after seq " +
                                       std::to_string(expected - 1) +
                                       ": a call line is missing, the record is damaged");
    }
    ++expected;
  }
  for (auto& [seq, call] : calls) {
    if (record.endsUnfinished()) {
      ++record.laterCalls;
      continue;
    }
    record.calls.push_back(std::move(call));
  }
  return record;
}

}  // namespace zorv::check

#include "divergence.h"

#include "zorv.h"

namespace zorv::check {

namespace {

// A fetch's code says whether it gave a row (success) or the end of the rows.
bool gaveRow(int32_t code) { return code >= 0 && code != ZORV_NO_MORE_ROWS; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool sameButNumbers(std::string_view a, std::string_view b) {
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (isDigit(a[i]) && isDigit(b[j])) {
      while (i < a.size() && isDigit(a[i])) ++i;
      while (j < b.size() && isDigit(b[j])) ++j;
    } else if (a[i++] != b[j++]) {
      return false;
    }
  }
  return i == a.size() && j == b.size();
}

std::vector<Divergence> classify(const TraceRecord& record, const ReplayRun& run) {
  std::vector<Divergence> classes(record.calls.size(), Divergence::None);
  bool afterCursor = false;
  for (size_t i = 0; i < record.calls.size() && i < run.results.size(); ++i) {
    const RecordedCall& call = record.calls[i];
    const CallResult& result = run.results[i];
    if (call.entry == BridgeEntry::Cursor) afterCursor = true;
    if (!call.returned) continue;
    Divergence& divergence = classes[i];
    switch (result.outcome) {
      case Outcome::Matched:
      case Outcome::NowReturns:
        divergence = Divergence::None;
        break;
      case Outcome::NotRun:
        divergence = Divergence::NotRun;
        break;
      case Outcome::Running:
        divergence = run.timedOut ? Divergence::Hang : Divergence::Crash;
        break;
      case Outcome::NotExported:
        divergence = Divergence::Code;
        break;
      case Outcome::Differs:
        if (call.entry == BridgeEntry::Fetch && afterCursor &&
            gaveRow(call.code) != gaveRow(result.code) &&
            (call.code == ZORV_NO_MORE_ROWS || result.code == ZORV_NO_MORE_ROWS)) {
          divergence = Divergence::Rows;
        } else if (call.code != result.code) {
          divergence = Divergence::Code;
        } else {
          divergence =
              call.entry == BridgeEntry::MsgGet ? Divergence::Message : Divergence::Answer;
        }
        break;
    }
  }
  return classes;
}

size_t DivergenceCounts::differed() const {
  size_t sum = 0;
  for (size_t n : classes) sum += n;
  return sum;
}

void DivergenceCounts::add(Divergence divergence) {
  ++replayed;
  if (divergence == Divergence::None) {
    ++matched;
  } else if (divergence == Divergence::NotRun) {
    ++notRun;
  } else {
    ++classes[static_cast<size_t>(divergence) - static_cast<size_t>(Divergence::Code)];
  }
}

DivergenceCounts& DivergenceCounts::operator+=(const DivergenceCounts& other) {
  replayed += other.replayed;
  matched += other.matched;
  notRun += other.notRun;
  for (size_t c = 0; c < kDivergenceClasses; ++c) classes[c] += other.classes[c];
  return *this;
}

std::string classesText(const DivergenceCounts& counts) {
  static constexpr const char* kNames[kDivergenceClasses] = {"code", "answer", "message",
                                                             "rows", "crash",  "hang"};
  std::string text = "(";
  for (size_t c = 0; c < kDivergenceClasses; ++c) {
    text += (c ? ", " : "") + std::to_string(counts.classes[c]) + " " + kNames[c];
  }
  return text + ")";
}

std::string countsText(const DivergenceCounts& counts) {
  return std::to_string(counts.matched) + " matched, " + std::to_string(counts.differed()) +
         " differed " + classesText(counts);
}

}  // namespace zorv::check

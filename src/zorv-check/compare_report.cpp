#include "compare_report.h"

#include <algorithm>
#include <cstdio>

#include "replay_report.h"

namespace zorv::check {

std::string shownTime(double seconds) {
  const struct {
    double scale;
    const char* unit;
  } units[] = {{1, "s"}, {1e-3, "ms"}, {1e-6, "us"}, {1e-9, "ns"}};
  for (const auto& u : units) {
    if (seconds >= u.scale || u.scale == 1e-9) {
      char text[32];
      std::snprintf(text, sizeof text, "%.3g %s", seconds / u.scale, u.unit);
      return text;
    }
  }
  return "";
}

std::string ratioText(double ratio) {
  char text[32];
  std::snprintf(text, sizeof text, ratio >= 1000 ? "%.0f" : "%.3g", ratio);
  return text;
}

namespace {

const char* changeWord(SpeedChange change) {
  switch (change) {
    case SpeedChange::Slower:
      return "slower";
    case SpeedChange::Faster:
      return "faster";
    case SpeedChange::TooFewCalls:
      return "too few calls to judge";
    case SpeedChange::Undecided:
      return "not enough rounds to say";
    case SpeedChange::SlowerAfterSlowerCall:
      return "slower after a slower call";
    case SpeedChange::NoClearChange:
      break;
  }
  return "no clear change";
}

// The verdict as the table shows it: who caused an after-effect, how many
// rounds would settle an undecided one.
std::string verdictText(const Comparison::Speed& s) {
  if (s.change == SpeedChange::SlowerAfterSlowerCall) {
    return std::string(changeWord(s.change)) + " (" + bridgeEntryName(s.after) + ")";
  }
  if (s.change == SpeedChange::Undecided) {
    return std::string(changeWord(s.change)) + " (about " + std::to_string(s.roundsNeeded) +
           " rounds would)";
  }
  return changeWord(s.change);
}

std::string percent(double confidence) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4g %%", confidence * 100);
  return text;
}

std::string summaryOf(const Comparison& c, bool codesOnly) {
  std::string summary = counted(c.calls, "call") + " compared" +
                        (codesOnly ? " (codes only)" : "") + ", " + counted(c.rounds, "round") +
                        " of each library timed: " + std::to_string(c.differences.size()) +
                        " differed";
  if (c.oldNotRun) summary += ", " + std::to_string(c.oldNotRun) + " not run by OLD";
  if (c.newNotRun) summary += ", " + std::to_string(c.newNotRun) + " not run by NEW";
  if (!c.unsteady.empty()) {
    summary += ", " + std::to_string(c.unsteady.size()) + " changed from round to round";
  }
  if (!c.brokenByNewAlone.empty()) {
    summary += "; " + counted(c.brokenByNewAlone.size(), "promise") + " broken by NEW alone";
  }
  if (!c.notMeasured.empty()) return summary + "; speed not measured: " + c.notMeasured;
  std::string slower;
  for (const Comparison::Speed& speed : c.speeds) {
    if (speed.change != SpeedChange::Slower) continue;
    slower += (slower.empty() ? "" : ", ") + std::string(bridgeEntryName(speed.entry));
  }
  summary += "; " + counted(c.slower(), "function") + " slower";
  if (!slower.empty()) summary += " (" + slower + ")";
  summary += ", " + std::to_string(c.faster()) + " faster";
  if (c.undecided() > 0) {
    size_t needed = 0;
    for (const Comparison::Speed& speed : c.speeds) needed = std::max(needed, speed.roundsNeeded);
    summary += ", " + std::to_string(c.undecided()) + " undecided (about " +
               std::to_string(needed) + " rounds of each would settle them: --rounds)";
  }
  return summary;
}

std::string speedSentence(const Comparison::Speed& s, double threshold, double confidence) {
  return verdictText(s) + ": NEW/OLD " + ratioText(s.interval.ratio) + ", " +
         percent(confidence) + " interval " + ratioText(s.interval.low) + " to " +
         ratioText(s.interval.high) + " (threshold " + ratioText(threshold) +
         ", OLD against itself " + ratioText(s.oldSelf.ratio) + "); median of round medians " +
         shownTime(s.oldMedian) + " OLD, " + shownTime(s.newMedian) + " NEW over " +
         std::to_string(s.oldTimes.size()) + " and " + std::to_string(s.newTimes.size()) +
         " rounds";
}

std::string padded(const std::string& text, size_t width, bool right = false) {
  if (text.size() >= width) return text;
  const std::string blanks(width - text.size(), ' ');
  return right ? blanks + text : text + blanks;
}

}  // namespace

CompareReport reportComparison(const TraceRecord& record, const Comparison& comparison,
                               bool codesOnly) {
  CompareReport report;
  report.text = summaryOf(comparison, codesOnly) + "\n";
  if (!comparison.unsteady.empty()) {
    std::string calls;
    for (size_t i : comparison.unsteady) {
      calls += (calls.empty() ? "" : ", ") + comparison.sourceOf(i) + std::to_string(record.calls[i].seq);
    }
    report.text +=
        "NOTE calls " + calls +
        " answered differently from round to round of each library: the record's own calls "
        "change the database (a record that writes writes again in every round), so they are "
        "not compared\n";
  }
  for (const Comparison::Difference& d : comparison.differences) {
    const RecordedCall& call = record.calls[d.call];
    report.text += "DIFF " + comparison.sourceOf(d.call) + callName(call) + " (line " + std::to_string(call.line) +
                   "): " + argumentsOf(call) + "\n  old: " + d.oldResult +
                   "\n  new: " + d.newResult + "\n";
    report.lines.push_back({Verdict::Fail, bridgeEntryName(call.entry),
                            comparison.sourceOf(d.call) + "call " + std::to_string(call.seq),
                            "OLD " + d.oldResult + "; NEW " + d.newResult});
  }
  // A promise NEW alone breaks fails; one OLD breaks too, or alone, is told.
  const struct {
    const std::vector<Line>& lines;
    Verdict verdict;
    const char* who;
  } promises[] = {{comparison.brokenByNewAlone, Verdict::Fail, " (NEW alone)"},
                  {comparison.brokenByBoth, Verdict::Warn, " (both)"},
                  {comparison.brokenByOldAlone, Verdict::Warn, " (OLD alone)"}};
  for (const auto& group : promises) {
    for (const Line& broken : group.lines) {
      const Line line{group.verdict, broken.function, broken.check + group.who, broken.sentence};
      report.text += textLine(line) + "\n";
      report.lines.push_back(line);
    }
  }
  if (comparison.speeds.empty()) return report;
  report.text += padded("function", 12) + padded("calls", 7, true) +
                 padded("OLD median", 12, true) + padded("NEW median", 12, true) +
                 padded("NEW/OLD", 9, true) + "  " +
                 padded(percent(comparison.confidence) + " interval", 20) + "verdict\n";
  for (const Comparison::Speed& s : comparison.speeds) {
    report.text +=
        padded(bridgeEntryName(s.entry), 12) + padded(std::to_string(s.calls), 7, true) +
        padded(shownTime(s.oldMedian), 12, true) + padded(shownTime(s.newMedian), 12, true) +
        padded(ratioText(s.interval.ratio), 9, true) + "  " +
        padded(ratioText(s.interval.low) + " to " + ratioText(s.interval.high) + " ", 20) +
        verdictText(s) + "\n";
    const Verdict verdict = s.change == SpeedChange::Slower      ? Verdict::Fail
                            : s.change == SpeedChange::Undecided ? Verdict::Warn
                                                                 : Verdict::Pass;
    report.lines.push_back({verdict, bridgeEntryName(s.entry), "speed",
                            speedSentence(s, comparison.threshold, comparison.confidence)});
  }
  return report;
}

}  // namespace zorv::check

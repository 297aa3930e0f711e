// The report of a replay of several records, or of one at a pace.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "divergence.h"
#include "junit_writer.h"
#include "record_format.h"
#include "replay.h"
#include "replay_report.h"
#include "replay_schedule.h"
#include "speed_statistics.h"

namespace zorv::check {

namespace {

// A time as the report writes it: "850 ns", "12.5 µs", "340 µs", "1.25 ms", "2.50 s".
std::string timeText(double seconds) {
  char text[32];
  const double magnitude = std::fabs(seconds);
  if (magnitude < 1e-6) {
    std::snprintf(text, sizeof text, "%.0f ns", seconds * 1e9);
  } else if (magnitude < 1e-4) {
    std::snprintf(text, sizeof text, "%.1f µs", seconds * 1e6);
  } else if (magnitude < 1e-3) {
    std::snprintf(text, sizeof text, "%.0f µs", seconds * 1e6);
  } else if (magnitude < 1) {
    std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.2f s", seconds);
  }
  return text;
}

// The value at or below which `percent` % of `values` lie (nearest rank); 0 for none.
double percentile(std::vector<double> values, double percent) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const double rank = std::ceil(percent / 100 * static_cast<double>(values.size()));
  const size_t at = rank < 1 ? 0 : static_cast<size_t>(rank) - 1;
  return values[std::min(at, values.size() - 1)];
}

std::string ratioText(double replayed, double recorded) {
  if (recorded <= 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", replayed / recorded);
  return text;
}

// A call's times, in seconds, by function: the record's `micros` and the replay's.
struct FunctionTimes {
  std::vector<double> recorded;
  std::vector<double> replayed;
};

// One row a function whose calls ran to completion in both.
std::string functionTable(const std::map<BridgeEntry, FunctionTimes>& times) {
  char line[256];
  std::snprintf(line, sizeof line, "%-11s %7s %16s %14s %6s %14s %12s %6s\n", "function", "calls",
                "recorded median", "replay median", "ratio", "recorded 99th", "replay 99th",
                "ratio");
  std::string table = line;
  for (BridgeEntry entry : kReportOrder) {
    const auto it = times.find(entry);
    if (it == times.end()) continue;
    const FunctionTimes& f = it->second;
    const double recordedMedian = median(f.recorded), replayMedian = median(f.replayed);
    const double recorded99 = percentile(f.recorded, 99), replay99 = percentile(f.replayed, 99);
    // "µs" is one column on screen but two bytes: widths are counted in bytes.
    auto cell = [](double seconds, int width) {
      std::string text = timeText(seconds);
      const size_t shown = text.size() - (text.find("µ") != std::string::npos ? 1 : 0);
      return std::string(static_cast<size_t>(width) > shown ? width - shown : 0, ' ') + text;
    };
    std::snprintf(line, sizeof line, "%-11s %7zu ", bridgeEntryName(entry), f.recorded.size());
    table += line + cell(recordedMedian, 16) + " " + cell(replayMedian, 14) + " ";
    std::snprintf(line, sizeof line, "%6s", ratioText(replayMedian, recordedMedian).c_str());
    table += line + std::string(" ") + cell(recorded99, 14) + " " + cell(replay99, 12) + " ";
    std::snprintf(line, sizeof line, "%6s\n", ratioText(replay99, recorded99).c_str());
    table += line;
  }
  return table;
}

// What became of the call a record ends in, which never returned there.
std::string unfinishedFate(const ReplayRun& run, Outcome outcome) {
  return outcome == Outcome::NowReturns    ? "now returns"
         : outcome == Outcome::NotExported ? "is not exported"
         : outcome == Outcome::NotRun      ? "was not reached"
         : run.timedOut                    ? "still hangs"
         : run.end.crashed                 ? "still crashes"
                                           : "ends the process";
}

}  // namespace

int runReplaySet(const Options& options, const std::vector<std::string>& arguments,
                 const std::vector<RecordInSet>& set, BridgeBindings& bindings,
                 const std::array<bool, kBridgeEntryCount>& exported,
                 std::chrono::steady_clock::time_point started) {
  for (const RecordInSet& entry : set) {
    if (!entry.record.platform.empty() && entry.record.platform != trace::kThisPlatform) {
      platform::writeText(stdout, "NOTE " + entry.name + " was made on " + entry.record.platform +
                                      ", replayed on " + trace::kThisPlatform + "\n");
    }
  }
  const std::vector<ReplayRun> runs = replaySet(set, options, bindings, exported, "", arguments);

  std::vector<JUnitSuite> suites;
  std::vector<std::string> recordLines;
  DivergenceCounts total;
  std::map<BridgeEntry, FunctionTimes> times;
  std::vector<double> lateness;
  bool clean = true;
  double recordedSpan = 0, replayedSpan = 0;
  std::vector<const TraceRecord*> records;
  for (const RecordInSet& entry : set) records.push_back(&entry.record);
  const int64_t origin = originOf(records);
  for (size_t k = 0; k < set.size(); ++k) {
    const RecordInSet& entry = set[k];
    const TraceRecord& record = entry.record;
    const ReplayRun& run = runs[k];
    const std::vector<Divergence> classes = classify(record, run);
    DivergenceCounts counts;
    JUnitSuite suite{entry.name, {}};
    std::string shown;
    std::string last;
    for (size_t i = 0; i < record.calls.size(); ++i) {
      const RecordedCall& call = record.calls[i];
      const CallResult& result = run.results[i];
      const AnswerWindow* window = run.windowOf(i);
      const CallReport report = reportCall(call, result, window, run.ending, options.codesOnly);
      shown += report.text;
      if (report.verdict != Verdict::Pass || !call.returned) {
        suite.lines.push_back(
            {report.verdict, bridgeEntryName(call.entry), "call " + std::to_string(call.seq),
             report.sentence});
      }
      if (result.outcome != Outcome::NotRun && result.outcome != Outcome::NotExported) {
        if (options.pace > 0) lateness.push_back(static_cast<double>(result.lateNanoseconds) / 1e9);
        if (result.outcome != Outcome::Running) {
          replayedSpan = std::max(
              replayedSpan,
              static_cast<double>(result.startNanoseconds + static_cast<int64_t>(result.nanoseconds)) /
                  1e9);
        }
      }
      if (call.time && call.micros) {
        recordedSpan =
            std::max(recordedSpan, static_cast<double>(*call.time + *call.micros - origin) / 1e6);
      }
      if (!call.returned) {
        last = unfinishedFate(run, result.outcome);
        continue;
      }
      counts.add(classes[i]);
      if (call.micros && (result.outcome == Outcome::Matched || result.outcome == Outcome::Differs)) {
        FunctionTimes& f = times[call.entry];
        f.recorded.push_back(static_cast<double>(*call.micros) / 1e6);
        f.replayed.push_back(static_cast<double>(result.nanoseconds) / 1e9);
      }
    }
    for (const Line& line : run.brokenPromises) shown += textLine(line) + "\n";
    suite.lines.insert(suite.lines.end(), run.brokenPromises.begin(), run.brokenPromises.end());
    if (!shown.empty()) platform::writeText(stdout, "RECORD " + entry.name + "\n" + shown);

    std::string line = entry.name + ": " + counted(counts.replayed, "call") + " replayed" +
                       (options.codesOnly ? " (codes only)" : "") + ": " + countsText(counts);
    if (counts.notRun) line += "; " + std::to_string(counts.notRun) + " not run";
    if (!last.empty()) line += "; the call that never returned in the record " + last;
    if (!run.brokenPromises.empty()) {
      line += "; " + counted(run.brokenPromises.size(), "promise") + " broken";
    }
    if (record.laterCalls) {
      line += "; " + counted(record.laterCalls, "later call") + " of other threads left out";
    }
    recordLines.push_back(line);
    suite.lines.insert(suite.lines.begin(),
                       {counts.differed() || counts.notRun ? Verdict::Fail : Verdict::Pass,
                        "record", "replay", line});
    suites.push_back(std::move(suite));
    total += counts;
    clean = clean && counts.differed() == 0 && counts.notRun == 0 && run.brokenPromises.empty() &&
            (last.empty() || last == "now returns");
  }
  std::string report;
  for (const std::string& line : recordLines) report += line + "\n";
  report += counted(set.size(), "record") + ", " + counted(total.replayed, "call") +
            " replayed at pace " + options.paceText + ": " + countsText(total);
  if (total.notRun) report += "; " + std::to_string(total.notRun) + " not run";
  report += "\n" + functionTable(times);
  if (options.pace > 0) {
    report += "late starts: median " + timeText(median(lateness)) + ", 99th percentile " +
              timeText(percentile(lateness, 99)) + ", maximum " +
              timeText(lateness.empty() ? 0 : *std::max_element(lateness.begin(), lateness.end())) +
              "\n";
  }
  report += "span: recorded " + timeText(recordedSpan) + ", replayed " + timeText(replayedSpan) +
            "\n";
  platform::writeText(stdout, report);
  std::fflush(stdout);
  if (!writeJUnitSuitesIfAsked(options.junitPath, suites, started)) return 2;
  return clean ? 0 : 1;
}

}  // namespace zorv::check

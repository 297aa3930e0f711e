#include "compare_html.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "child_process.h"
#include "compare_report.h"
#include "dynamic_library.h"
#include "junit_writer.h"
#include "replay_report.h"

namespace zorv::check {

namespace {

// The page's own words, English and Japanese side by side.
struct Words {
  const char* lang;
  const char* title;
  const char* builds;        // {1} OLD's file, {2} NEW's
  const char* calls;         // {1} calls, {2} rounds
  const char* codesOnly;
  const char* differed;
  const char* slower;
  const char* faster;
  const char* threshold;
  const char* notRun;        // {1} by OLD, {2} by NEW
  const char* notMeasured;   // {1} why
  const char* unsteady;      // {1} the calls' numbers
  const char* speedHeading;
  const char* plotCaption;
  const char* noScript;
  const char* inRecord;
  const char* oldMedian;
  const char* newMedian;
  const char* ratio;
  const char* interval;
  const char* verdict;
  const char* verdicts[4];   // in SpeedChange's order
  const char* differencesHeading;
  const char* noDifference;
  const char* call;
  const char* function;
  const char* line;
  const char* arguments;
  const char* promisesHeading;
  const char* check;
  const char* brokenBy;
  const char* whatHappened;
  const char* who[3];        // NEW alone, both, OLD alone
};

const Words kEnglish = {
    "en", "Comparison of two builds", "OLD: {1}<br>NEW: {2}",
    "{1} calls compared, {2} rounds of each library timed", " (result codes only)",
    "Calls that differed", "Functions slower", "Functions faster", "Threshold of NEW/OLD",
    "Calls not run: {1} by OLD, {2} by NEW", "Speed not measured: {1}",
    "Calls {1} answered differently from round to round of the same library: the record's own "
    "calls change the database, so they are not compared.",
    "Speed per function",
    "Time of each call on a log scale: a dot a call, the box its middle half, the bar its median.",
    "The plots need the page's script; the figures stand below.", "calls in the record",
    "OLD median", "NEW median", "NEW/OLD (ratio of medians)",
    "95 % interval (percentile bootstrap)", "Verdict",
    {"slower", "faster", "no clear change", "too few calls to judge"},
    "Behaviour differences", "No call differed between the builds.", "Call", "Function", "Line",
    "Arguments", "Promises broken", "Check", "Broken by", "What happened",
    {"NEW alone", "both", "OLD alone"}};

const Words kJapanese = {
    "ja", "2 つのビルドの比較", "OLD: {1}<br>NEW: {2}",
    "{1} 件の呼び出しを比較し、各ライブラリを {2} 回ずつ計測しました", " (結果コードのみ)",
    "結果が異なった呼び出し", "遅くなった関数", "速くなった関数", "NEW/OLD のしきい値",
    "実行されなかった呼び出し: OLD {1} 件、NEW {2} 件", "速度は計測していません: {1}",
    "呼び出し {1} は同じライブラリでも回ごとに結果が変わりました。記録の呼び出し自体がデータベースを"
    "変えるため、比較していません。",
    "関数ごとの速度",
    "各呼び出しの時間 (対数目盛)。点が 1 回の呼び出し、箱が中央の半分、縦線が中央値です。",
    "グラフの表示にはページのスクリプトが必要です。数値は下に示します。", "記録中の呼び出し数",
    "OLD の中央値", "NEW の中央値", "NEW/OLD (中央値の比)",
    "95 % 区間 (パーセンタイル・ブートストラップ)", "判定",
    {"遅くなった", "速くなった", "明らかな変化なし", "判定するには呼び出しが少なすぎる"},
    "動作の違い", "ビルド間で結果が異なった呼び出しはありません。", "呼び出し", "関数", "行",
    "引数", "破られた約束", "検査", "破ったビルド", "内容",
    {"NEW のみ", "両方", "OLD のみ"}};

// Relative units throughout, so the page reads the same at any zoom or
// display scaling; in print each function's section keeps to a page of its own.
const char kStyle[] = R"(
body { font-family: sans-serif; margin: 1.5rem auto; max-width: 60rem; padding: 0 1rem;
       line-height: 1.45; color: #1a1a1a; }
h1 { font-size: 1.6rem; } h2 { font-size: 1.25rem; margin-top: 2rem; }
dl.summary { display: grid; grid-template-columns: max-content auto; gap: 0.2rem 1rem; }
dl.summary dt { font-weight: bold; }
section.function { border-top: 1px solid #bbb; padding-top: 0.5rem; break-inside: avoid; }
.plot svg { width: 100%; height: auto; display: block; }
table { border-collapse: collapse; width: 100%; margin: 0.5rem 0; }
th, td { border: 1px solid #bbb; padding: 0.25rem 0.5rem; text-align: left; vertical-align: top;
         overflow-wrap: anywhere; }
td.number { text-align: right; white-space: nowrap; }
.slower { color: #a40000; font-weight: bold; } .faster { color: #006400; font-weight: bold; }
.old { fill: #1f5fa8; stroke: #1f5fa8; } .new { fill: #c2570c; stroke: #c2570c; }
.caption { font-size: 0.9rem; color: #444; }
@media print {
  body { max-width: none; margin: 0; }
  section.function { break-after: page; }
  section.differences, section.promises { break-before: page; }
}
)";

// Draws each function's plot from the data block: a row a build, a dot a
// call (spread up and down so equal times stay visible), the middle half as
// a box and the median as a bar, on one log scale per function.
const char kPlotScript[] = R"(
(function () {
  var data = JSON.parse(document.getElementById('zorv-times').textContent);
  function shown(s) {
    var units = [[1, 's'], [1e-3, 'ms'], [1e-6, '\u00b5s'], [1e-9, 'ns']];
    for (var i = 0; i < units.length; ++i) {
      if (s >= units[i][0] || i === units.length - 1) return +(s / units[i][0]).toPrecision(3) + ' ' + units[i][1];
    }
  }
  var width = 640, height = 130, left = 48, right = 16;
  data.forEach(function (f) {
    var all = f.old.concat(f.new).filter(function (t) { return t > 0; });
    if (all.length === 0) return;
    var x = d3.scaleLog().domain([d3.min(all) / 1.5, d3.max(all) * 1.5]).range([left, width - right]);
    var svg = d3.select('#plot-' + f.f).append('svg')
        .attr('viewBox', '0 0 ' + width + ' ' + height)
        .attr('preserveAspectRatio', 'xMidYMid meet')
        .attr('role', 'img').attr('aria-label', f.f);
    [['OLD', f.old, 30, 'old'], ['NEW', f.new, 72, 'new']].forEach(function (row) {
      var times = row[1].filter(function (t) { return t > 0; });
      var y = row[2];
      var g = svg.append('g').attr('class', row[3]);
      g.append('text').attr('x', 4).attr('y', y + 4).attr('font-size', 12).text(row[0]);
      g.selectAll('circle').data(times).enter().append('circle')
        .attr('cx', function (t) { return x(t); })
        .attr('cy', function (t, i) { return y + ((i * 0.618034) % 1 - 0.5) * 22; })
        .attr('r', 1.6).attr('fill-opacity', 0.35).attr('stroke', 'none');
      if (times.length === 0) return;
      var q1 = d3.quantile(times, 0.25), q3 = d3.quantile(times, 0.75), m = d3.quantile(times, 0.5);
      g.append('rect').attr('x', x(q1)).attr('y', y - 13).attr('height', 26)
        .attr('width', Math.max(1, x(q3) - x(q1))).attr('fill', 'none').attr('stroke-width', 1.2);
      g.append('line').attr('x1', x(m)).attr('x2', x(m)).attr('y1', y - 16).attr('y2', y + 16)
        .attr('stroke-width', 2.5);
    });
    // Labels at 1, 2 and 5 of each decade, or at 1 alone when those crowd.
    var ticks = x.ticks();
    function leading(t) { return Math.round(t / Math.pow(10, Math.floor(Math.log10(t) + 1e-9))); }
    var labelled = ticks.filter(function (t) { return [1, 2, 5].indexOf(leading(t)) >= 0; });
    if (labelled.length > 7) labelled = ticks.filter(function (t) { return leading(t) === 1; });
    if (labelled.length < 2) labelled = x.domain();
    svg.append('g').attr('transform', 'translate(0,' + (height - 22) + ')')
      .call(d3.axisBottom(x).tickValues(labelled).tickFormat(shown));
  });
})();
)";

std::string number(double value, const char* format = "%.4g") {
  char text[40];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string cell(const std::string& text, const char* cls = nullptr) {
  return std::string("<td") + (cls ? std::string(" class=\"") + cls + "\"" : "") + ">" + text +
         "</td>";
}

std::string timesJson(const std::vector<double>& times) {
  std::string out = "[";
  for (double t : plottedTimes(times)) out += (out.size() > 1 ? "," : "") + number(t);
  return out + "]";
}

void speedSections(const Comparison& c, const Words& w, std::string& page) {
  page += "<h2>" + std::string(w.speedHeading) + "</h2>\n<p class=\"caption\">" + w.plotCaption +
          "</p>\n<noscript><p>" + w.noScript + "</p></noscript>\n";
  for (const Comparison::Speed& s : c.speeds) {
    const std::string name = bridgeEntryName(s.entry);
    const char* cls = s.change == SpeedChange::Slower   ? "slower"
                      : s.change == SpeedChange::Faster ? "faster"
                                                        : nullptr;
    page += "<section class=\"function\" id=\"" + name + "\">\n<h3>" + name + "</h3>\n" +
            "<div class=\"plot\" id=\"plot-" + name + "\"></div>\n<table><tr><th>" + w.inRecord +
            "</th><th>" + w.oldMedian + "</th><th>" + w.newMedian + "</th><th>" + w.ratio +
            "</th><th>" + w.interval + "</th><th>" + w.verdict + "</th></tr>\n<tr>" +
            cell(std::to_string(s.calls), "number") + cell(shownTime(s.oldMedian), "number") +
            cell(shownTime(s.newMedian), "number") +
            cell(ratioText(s.interval.ratio), "number") +
            cell(ratioText(s.interval.low) + " &ndash; " + ratioText(s.interval.high), "number") +
            cell(w.verdicts[static_cast<int>(s.change)], cls) + "</tr></table>\n</section>\n";
  }
}

void differenceTable(const TraceRecord& record, const Comparison& c, const Words& w,
                     std::string& page) {
  page += "<section class=\"differences\">\n<h2>" + std::string(w.differencesHeading) + "</h2>\n";
  if (c.differences.empty()) {
    page += "<p>" + std::string(w.noDifference) + "</p>\n";
  } else {
    page += "<table><tr><th>" + std::string(w.call) + "</th><th>" + w.function + "</th><th>" +
            w.line + "</th><th>" + w.arguments + "</th><th>OLD</th><th>NEW</th></tr>\n";
    for (const Comparison::Difference& d : c.differences) {
      const RecordedCall& call = record.calls[d.call];
      page += "<tr>" + cell(std::to_string(call.seq), "number") +
              cell(bridgeEntryName(call.entry)) + cell(std::to_string(call.line), "number") +
              cell(xmlText(argumentsOf(call))) + cell(xmlText(d.oldResult)) +
              cell(xmlText(d.newResult)) + "</tr>\n";
    }
    page += "</table>\n";
  }
  page += "</section>\n";
}

void promiseTable(const Comparison& c, const Words& w, std::string& page) {
  const std::vector<Line>* groups[] = {&c.brokenByNewAlone, &c.brokenByBoth, &c.brokenByOldAlone};
  if (std::all_of(std::begin(groups), std::end(groups), [](auto* g) { return g->empty(); })) return;
  page += "<section class=\"promises\">\n<h2>" + std::string(w.promisesHeading) +
          "</h2>\n<table><tr><th>" + w.function + "</th><th>" + w.check + "</th><th>" +
          w.brokenBy + "</th><th>" + w.whatHappened + "</th></tr>\n";
  for (int g = 0; g < 3; ++g) {
    for (const Line& line : *groups[g]) {
      page += std::string(g == 0 ? "<tr class=\"slower\">" : "<tr>") +
              cell(xmlText(line.function)) + cell(xmlText(line.check)) + cell(w.who[g]) +
              cell(xmlText(line.sentence)) + "</tr>\n";
    }
  }
  page += "</table>\n</section>\n";
}

}  // namespace

std::vector<double> plottedTimes(std::vector<double> times, size_t count) {
  std::sort(times.begin(), times.end());
  if (times.size() <= count || count < 2) return times;
  std::vector<double> kept(count);
  for (size_t i = 0; i < count; ++i) kept[i] = times[i * (times.size() - 1) / (count - 1)];
  return kept;
}

std::string comparisonPage(const TraceRecord& record, const Comparison& c, bool codesOnly,
                           const std::string& oldName, const std::string& newName,
                           ReportLanguage language, std::string_view chartLibrary) {
  const Words& w = language == ReportLanguage::Japanese ? kJapanese : kEnglish;
  std::string page = std::string("<!DOCTYPE html>\n<html lang=\"") + w.lang +
                     "\">\n<head>\n<meta charset=\"utf-8\">\n"
                     // Opened from a disk or a mail: nothing may be fetched.
                     "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
                     "script-src 'unsafe-inline'; style-src 'unsafe-inline'\">\n"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                     "<title>" + w.title + "</title>\n<style>" + kStyle + "</style>\n</head>\n"
                     "<body>\n<h1>" + w.title + "</h1>\n<p>" +
                     fillPattern(w.builds, {xmlText(oldName), xmlText(newName)}) + "</p>\n<p>" +
                     fillPattern(w.calls, {std::to_string(c.calls), std::to_string(c.rounds)}) +
                     (codesOnly ? w.codesOnly : "") + "</p>\n<dl class=\"summary\">" +
                     "<dt>" + w.differed + "</dt><dd>" + std::to_string(c.differences.size()) +
                     "</dd><dt>" + w.slower + "</dt><dd>" + std::to_string(c.slower()) +
                     "</dd><dt>" + w.faster + "</dt><dd>" + std::to_string(c.faster()) +
                     "</dd><dt>" + w.threshold + "</dt><dd>" + ratioText(c.threshold) +
                     "</dd></dl>\n";
  if (c.oldNotRun || c.newNotRun) {
    page += "<p>" +
            fillPattern(w.notRun, {std::to_string(c.oldNotRun), std::to_string(c.newNotRun)}) +
            "</p>\n";
  }
  if (!c.unsteady.empty()) {
    std::string calls;
    for (size_t i : c.unsteady) {
      calls += (calls.empty() ? "" : ", ") + std::to_string(record.calls[i].seq);
    }
    page += "<p>" + fillPattern(w.unsteady, {calls}) + "</p>\n";
  }
  if (!c.notMeasured.empty()) {
    page += "<p class=\"slower\">" + fillPattern(w.notMeasured, {xmlText(c.notMeasured)}) +
            "</p>\n";
  }
  if (!c.speeds.empty()) speedSections(c, w, page);
  differenceTable(record, c, w, page);
  promiseTable(c, w, page);

  // Numbers and fixed function names only: nothing here needs escaping.
  std::string json = "[";
  for (const Comparison::Speed& s : c.speeds) {
    json += std::string(json.size() > 1 ? "," : "") + "{\"f\":\"" + bridgeEntryName(s.entry) +
            "\",\"old\":" + timesJson(s.oldTimes) + ",\"new\":" + timesJson(s.newTimes) + "}";
  }
  page += "<script type=\"application/json\" id=\"zorv-times\">" + json + "]</script>\n";
  page += "<script>" + std::string(chartLibrary) + "</script>\n<script>" + kPlotScript +
          "</script>\n</body>\n</html>\n";
  return page;
}

bool writeComparisonPage(const std::string& path, const TraceRecord& record,
                         const Comparison& comparison, bool codesOnly, const std::string& oldName,
                         const std::string& newName) {
  const std::string page =
      comparisonPage(record, comparison, codesOnly, oldName, newName, userReportLanguage(),
                     std::string_view(reinterpret_cast<const char*>(kChartLibrary), kChartLibrarySize));
  std::ofstream out(::zorv::platform::pathFromUtf8(path), std::ios::binary | std::ios::trunc);
  if (out && out.write(page.data(), static_cast<std::streamsize>(page.size())).flush()) {
    return true;
  }
  platform::writeText(stderr, "zorv-check: cannot write " + path + "\n");
  return false;
}

}  // namespace zorv::check

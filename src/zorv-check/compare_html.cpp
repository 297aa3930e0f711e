#include "compare_html.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "child_process.h"
#include "compare_report.h"
#include "compare_words.h"
#include "cp932_table.h"
#include "dynamic_library.h"
#include "junit_writer.h"
#include "utf_codec.h"

namespace zorv::check {

namespace {

// Characters of a record's or a library's text shown in a cell before "…".
constexpr size_t kShownCharacters = 120;

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

// The class that colours a verdict; null for one that calls for no attention.
const char* verdictClass(SpeedChange change) {
  switch (change) {
    case SpeedChange::Slower:
      return "slower";
    case SpeedChange::Faster:
      return "faster";
    case SpeedChange::SlowerAfterSlowerCall:
      return "after";
    case SpeedChange::Undecided:
      return "undecided";
    default:
      return nullptr;
  }
}

// For an undecided function, the rounds that would settle it; else nothing.
std::string roundsNote(const Comparison::Speed& s, const CompareWords& w) {
  if (s.change != SpeedChange::Undecided || s.roundsNeeded == 0) return "";
  return " <span class=\"note\">(" + fillPattern(w.roundsNeeded, {std::to_string(s.roundsNeeded)}) +
         ")</span>";
}

// The verdict beside its function's name, where a reader's eye lands first.
std::string verdictHtml(const Comparison::Speed& s, const CompareWords& w) {
  const char* cls = verdictClass(s.change);
  return std::string("<span class=\"verdict") + (cls ? std::string(" ") + cls : "") + "\">" +
         verdictWord(w, s.change) + "</span>" + roundsNote(s, w);
}

// The functions given `change`, each a link to its section; `none` when none is.
std::string namesWith(const Comparison& c, SpeedChange change, const CompareWords& w) {
  std::string out;
  for (const Comparison::Speed& s : c.speeds) {
    if (s.change != change) continue;
    const std::string name = bridgeEntryName(s.entry);
    out += (out.empty() ? "" : w.separator) + std::string("<a class=\"name ") +
           verdictClass(change) + "\" href=\"#" + name + "\">" + name + "</a>" + roundsNote(s, w);
  }
  return out.empty() ? w.none : out;
}

bool any(const Comparison& c, SpeedChange change) {
  return std::any_of(c.speeds.begin(), c.speeds.end(),
                     [&](const Comparison::Speed& s) { return s.change == change; });
}

std::string summary(const Comparison& c, const CompareWords& w) {
  const std::string differed =
      c.differences.empty()
          ? "0"
          : "<a href=\"#differences\">" + std::to_string(c.differences.size()) + "</a>";
  std::string out =
      "<dl class=\"summary\"><dt>" + std::string(w.differed) + "</dt><dd>" + differed + "</dd>\n";
  if (c.notMeasured.empty()) {
    out += "<dt>" + std::string(w.slower) + "</dt><dd>" + namesWith(c, SpeedChange::Slower, w) +
           "</dd>\n<dt>" + w.faster + "</dt><dd>" + namesWith(c, SpeedChange::Faster, w) +
           "</dd>\n";
    const struct {
      SpeedChange change;
      const char* label;
    } rare[] = {{SpeedChange::SlowerAfterSlowerCall, w.afterSlower},
                {SpeedChange::Undecided, w.undecided}};
    for (const auto& r : rare) {
      if (any(c, r.change)) {
        out += "<dt>" + std::string(r.label) + "</dt><dd>" + namesWith(c, r.change, w) + "</dd>\n";
      }
    }
  }
  return out + "<dt>" + w.threshold + "</dt><dd>" + ratioText(c.threshold) + "</dd></dl>\n";
}

void speedSections(const Comparison& c, const CompareWords& w, std::string& page) {
  char sure[32];
  std::snprintf(sure, sizeof sure, "%.4g", c.confidence * 100);
  const std::string interval = fillPattern(w.interval, {sure});
  page += "<h2>" + std::string(w.speedHeading) + "</h2>\n<p class=\"caption\">" + w.plotCaption +
          "</p>\n<noscript><p>" + w.noScript + "</p></noscript>\n";
  for (const Comparison::Speed& s : c.speeds) {
    const std::string name = bridgeEntryName(s.entry);
    page += "<section class=\"function\" id=\"" + name + "\">\n<h3><span class=\"name\">" + name +
            "</span> " + verdictHtml(s, w) + "</h3>\n" + "<div class=\"plot\" id=\"plot-" + name +
            "\"></div>\n<table><tr><th>" + w.inRecord + "</th><th>" + w.oldMedian + "</th><th>" +
            w.newMedian + "</th><th>" + w.ratio + "</th><th>" + interval + "</th></tr>\n<tr>" +
            cell(std::to_string(s.calls), "number") + cell(pageTime(s.oldMedian), "number") +
            cell(pageTime(s.newMedian), "number") + cell(ratioText(s.interval.ratio), "number") +
            cell(ratioText(s.interval.low) + " &ndash; " + ratioText(s.interval.high), "number") +
            "</tr></table>\n</section>\n";
  }
}

// An argument or an answer (`kind`) as a code box: `bytes` start at byte
// `offset` of a text of `whole` bytes, "…" marking what is left out.
std::string textBox(std::string_view bytes, const char* kind, size_t offset = 0, size_t whole = 0,
                    size_t mark = kNoMark) {
  bool cut = offset + bytes.size() < whole;
  std::string text = cp932Html(bytes, mark, kShownCharacters, &cut);
  return "<code class=\"text " + std::string(kind) + "\">" + std::string(offset > 0 ? "…" : "") +
         text + (cut ? "…" : "") + "</code>";
}

std::string argumentsHtml(const RecordedCall& call, const CompareWords& w) {
  std::string out;
  if (takesText(call.entry)) {
    out = std::string(call.entry == BridgeEntry::Login ? w.connection : w.statement) + " " +
          textBox(call.text, "argument");
  }
  if (writesAnswer(call.entry)) {
    out += (out.empty() ? "" : "<br>") + std::string(w.buffer) + " " +
           textBox(call.bufferIn, "argument");
  }
  return out.empty() ? w.noArguments : out;
}

// One build's result of a differing call in the page's words: its code and
// its answer from the difference's common byte, the first differing
// character marked.
std::string answerHtml(const RecordedCall& call, const Comparison::Difference& d,
                       const Comparison::Answer& a, bool codesOnly, const CompareWords& w) {
  switch (a.outcome) {
    case Outcome::NotRun:
      return w.notReached;
    case Outcome::NotExported:
      return w.notExported;
    case Outcome::Running:
      return fillPattern(w.endedIn, {xmlText(a.ending)});
    default:
      break;
  }
  std::string out = fillPattern(w.code, {std::to_string(a.code)});
  if (codesOnly || !writesAnswer(call.entry)) return out;
  if (!a.kept) {
    return out + "<br><span class=\"note\">" +
           fillPattern(w.notKept, {std::to_string(ReplayBoard::kWindows)}) + "</span>";
  }
  const size_t mark =
      d.firstDifference == Comparison::Difference::kAlike || d.firstDifference < d.from
          ? kNoMark
          : d.firstDifference - d.from;
  std::string facts = fillPattern(w.answerBytes, {std::to_string(a.length)});
  if (d.from > 0) facts += w.separator + fillPattern(w.shownFrom, {std::to_string(d.from)});
  if (!a.terminated) facts += w.separator + std::string(w.noNul);
  return out + "<br>" + textBox(a.bytes, "answer", d.from, a.length, mark) +
         " <span class=\"note\">(" + facts + ")</span>";
}

void differenceTable(const TraceRecord& record, const Comparison& c, bool codesOnly,
                     const CompareWords& w, std::string& page) {
  page += "<section class=\"differences\" id=\"differences\">\n<h2>" +
          std::string(w.differencesHeading) + "</h2>\n";
  if (c.differences.empty()) {
    page += "<p>" + std::string(w.noDifference) + "</p>\n</section>\n";
    return;
  }
  page += "<table><tr><th>" + std::string(w.call) + "</th><th>" + w.function + "</th><th>" +
          w.line + "</th><th>" + w.arguments + "</th><th>" + w.build + "</th><th>" + w.result +
          "</th></tr>\n";
  for (const Comparison::Difference& d : c.differences) {
    const RecordedCall& call = record.calls[d.call];
    const std::string both = "<td rowspan=\"2\"";
    page += "<tr>" + both + " class=\"number\">" + xmlText(c.sourceOf(d.call)) +
            std::to_string(call.seq) + "</td>" + both +
            "><span class=\"name\">" + bridgeEntryName(call.entry) + "</span></td>" + both +
            " class=\"number\">" + std::to_string(call.line) + "</td>" + both + ">" +
            argumentsHtml(call, w) + "</td>";
    const struct {
      const char* build;
      const Comparison::Answer& answer;
      const std::string& result;
    } sides[] = {{"OLD", d.oldAnswer, d.oldResult}, {"NEW", d.newAnswer, d.newResult}};
    for (const auto& side : sides) {
      if (side.build[0] == 'N') page += "<tr>";
      page +=
          cell(side.build, "build") +
          cell(d.aligned ? answerHtml(call, d, side.answer, codesOnly, w) : xmlText(side.result)) +
          "</tr>\n";
    }
  }
  page += "</table>\n</section>\n";
}

void promiseTable(const Comparison& c, const CompareWords& w, std::string& page) {
  const std::vector<Line>* groups[] = {&c.brokenByNewAlone, &c.brokenByBoth, &c.brokenByOldAlone};
  if (std::all_of(std::begin(groups), std::end(groups), [](auto* g) { return g->empty(); })) return;
  page += "<section class=\"promises\">\n<h2>" + std::string(w.promisesHeading) +
          "</h2>\n<table><tr><th>" + w.function + "</th><th>" + w.check + "</th><th>" + w.brokenBy +
          "</th><th>" + w.whatHappened + "</th></tr>\n";
  for (int g = 0; g < 3; ++g) {
    for (const Line& line : *groups[g]) {
      page += std::string(g == 0 ? "<tr class=\"slower\">" : "<tr>") +
              cell("<span class=\"name\">" + xmlText(line.function) + "</span>") +
              cell(xmlText(line.check)) + cell(w.who[g]) + cell(xmlText(line.sentence)) + "</tr>\n";
    }
  }
  page += "</table>\n</section>\n";
}

std::string_view embedded(const unsigned char* bytes, size_t size) {
  return {reinterpret_cast<const char*>(bytes), size};
}

}  // namespace

std::string pageTime(double seconds) {
  const struct {
    double scale;
    const char* unit;
  } units[] = {{1, "s"}, {1e-3, "ms"}, {1e-6, "µs"}, {1e-9, "ns"}};
  for (const auto& u : units) {
    // 999.96 ns shows as "1 µs", not "1e+03 ns".
    if (seconds >= u.scale * 0.9995 || u.scale == 1e-9) {
      char text[32];
      std::snprintf(text, sizeof text, "%.3g %s", seconds / u.scale, u.unit);
      return text;
    }
  }
  return "";
}

std::string cp932Html(std::string_view bytes, size_t mark, size_t characters, bool* cut) {
  const Cp932Table& table = Cp932Table::instance();
  std::string out;
  size_t shown = 0;
  size_t i = 0;
  for (; i < bytes.size() && shown < characters; ++shown) {
    const Cp932Table::Character c = table.characterAt(bytes, i);
    const bool marked = mark >= i && mark < i + c.length;
    std::string text;
    const char16_t unit = c.unit == Cp932Table::kNone ? u'\uFFFD' : c.unit;
    if (unit < 0x20 || unit == 0x7F) {
      static const char* names[] = {"\\0",   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, "\\t",   "\\n",   nullptr, nullptr, "\\r"};
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned>(unit));
      text = "<span class=\"escape\">" +
             std::string(unit < std::size(names) && names[unit] ? names[unit] : hex) + "</span>";
    } else {
      text = xmlText(utf8FromUtf16(std::u16string_view(&unit, 1)));
    }
    out += marked ? "<mark>" + text + "</mark>" : text;
    i += c.length;
  }
  if (i < bytes.size()) {
    if (cut) *cut = true;
    return out;
  }
  return mark == bytes.size() ? out + "<mark class=\"end\"></mark>" : out;
}

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
  const CompareWords& w = compareWords(language);
  std::string page =
      std::string("<!DOCTYPE html>\n<html lang=\"") + w.lang +
      "\">\n<head>\n<meta charset=\"utf-8\">\n"
      // Opened from a disk or a mail: nothing may be fetched.
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
      "script-src 'unsafe-inline'; style-src 'unsafe-inline'\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>" +
      w.title + "</title>\n<style>" + std::string(embedded(kPageStyle, kPageStyleSize)) +
      "</style>\n</head>\n"
      "<body>\n<h1>" +
      w.title + "</h1>\n<p>" + fillPattern(w.builds, {xmlText(oldName), xmlText(newName)}) +
      "</p>\n<p>" + fillPattern(w.calls, {std::to_string(c.calls), std::to_string(c.rounds)}) +
      (codesOnly ? w.codesOnly : "") + "</p>\n" + summary(c, w);
  if (c.oldNotRun || c.newNotRun) {
    page += "<p>" +
            fillPattern(w.notRun, {std::to_string(c.oldNotRun), std::to_string(c.newNotRun)}) +
            "</p>\n";
  }
  if (!c.unsteady.empty()) {
    std::string calls;
    for (size_t i : c.unsteady) {
      calls += (calls.empty() ? "" : ", ") + xmlText(c.sourceOf(i)) +
               std::to_string(record.calls[i].seq);
    }
    page += "<p>" + fillPattern(w.unsteady, {calls}) + "</p>\n";
  }
  if (!c.notMeasured.empty()) {
    page +=
        "<p class=\"slower\">" + fillPattern(w.notMeasured, {xmlText(c.notMeasured)}) + "</p>\n";
  }
  if (!c.speeds.empty()) speedSections(c, w, page);
  differenceTable(record, c, codesOnly, w, page);
  promiseTable(c, w, page);

  // Numbers and fixed function names only: nothing here needs escaping.
  std::string json = "[";
  for (const Comparison::Speed& s : c.speeds) {
    json += std::string(json.size() > 1 ? "," : "") + "{\"f\":\"" + bridgeEntryName(s.entry) +
            "\",\"old\":" + timesJson(s.oldTimes) + ",\"new\":" + timesJson(s.newTimes) + "}";
  }
  page += "<script type=\"application/json\" id=\"zorv-times\">" + json + "]</script>\n";
  page += "<script>" + std::string(chartLibrary) + "</script>\n<script>" +
          std::string(embedded(kPageScript, kPageScriptSize)) + "</script>\n</body>\n</html>\n";
  return page;
}

bool writeComparisonPage(const std::string& path, const TraceRecord& record,
                         const Comparison& comparison, bool codesOnly, const std::string& oldName,
                         const std::string& newName) {
  const std::string page =
      comparisonPage(record, comparison, codesOnly, oldName, newName, userReportLanguage(),
                     embedded(kChartLibrary, kChartLibrarySize));
  std::ofstream out(::zorv::platform::pathFromUtf8(path), std::ios::binary | std::ios::trunc);
  if (out && out.write(page.data(), static_cast<std::streamsize>(page.size())).flush()) {
    return true;
  }
  platform::writeText(stderr, "zorv-check: cannot write " + path + "\n");
  return false;
}

}  // namespace zorv::check

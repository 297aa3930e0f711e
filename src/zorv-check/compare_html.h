#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "comparison.h"
#include "trace_record.h"
#include "user_language.h"

namespace zorv::check {

// --compare's report for a person: one self-contained HTML page in
// `language`, every word of its own in that language. It loads nothing:
// `chartLibrary` (the charting library's script) and the page's own style
// and script are written into the page, and a Content-Security-Policy
// forbids every connection. The summary names, with a link to its section,
// each function called slower or faster, slower after a slower call, or
// undecided (with the rounds that would settle it). Each function the record
// calls gets a section with its verdict beside its name, a plot of both
// builds' per-call times (drawn by the page's script on a log scale) and its
// ratio and interval; the differing calls follow, OLD's and NEW's answers
// from one byte with the first differing character marked, then the broken
// promises. Every text from the record or a library is HTML-escaped;
// `chartLibrary` must not hold "</script". `oldName` and `newName` name the
// two builds' files.
std::string comparisonPage(const TraceRecord& record, const Comparison& comparison, bool codesOnly,
                           const std::string& oldName, const std::string& newName,
                           ReportLanguage language, std::string_view chartLibrary);

// At most `count` of `times`, sorted: evenly spaced order statistics when
// there are more, so a plot of many calls keeps their distribution and the
// page stays small.
std::vector<double> plottedTimes(std::vector<double> times, size_t count = 1000);

// A time as the page shows it, three digits in the fitting unit: "812 ns",
// "1.25 µs", "2.1 ms", "1.05 s".
std::string pageTime(double seconds);

// CP932 `bytes` as HTML text, a character at a time (a double-byte character
// is never split): escaped, control characters shown as \t, \n, \x01, at most
// `characters` characters (`*cut` set true when more were left off), and the
// character holding byte `mark` in <mark>; a `mark` at the end of all the
// bytes is an empty <mark class="end">.
inline constexpr size_t kNoMark = static_cast<size_t>(-1);
std::string cp932Html(std::string_view bytes, size_t mark = kNoMark, size_t characters = 120,
                      bool* cut = nullptr);

// The charting library written into every page (generated at build time
// from the installed file).
extern const unsigned char kChartLibrary[];
extern const size_t kChartLibrarySize;
// The page's style and script (page/compare.css, page/compare.js), generated
// at build time from those files.
extern const unsigned char kPageStyle[];
extern const size_t kPageStyleSize;
extern const unsigned char kPageScript[];
extern const size_t kPageScriptSize;

// Writes the page for --html to `path` (UTF-8) in the user's language; on failure says so in one
// line on standard error and returns false.
bool writeComparisonPage(const std::string& path, const TraceRecord& record,
                         const Comparison& comparison, bool codesOnly, const std::string& oldName,
                         const std::string& newName);

}  // namespace zorv::check

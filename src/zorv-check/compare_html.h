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
// `language`. It loads nothing: `chartLibrary` (the charting library's
// script) is written into the page, and a Content-Security-Policy forbids
// every connection. Each function the record calls gets a section with a
// plot of both builds' per-call times (drawn by the page's script on a log
// scale) and its ratio, interval and verdict as text; the differing calls
// and the broken promises follow as tables. Every text from the record or a
// library is HTML-escaped; `chartLibrary` must not hold "</script".
// `oldName` and `newName` name the two builds' files.
std::string comparisonPage(const TraceRecord& record, const Comparison& comparison, bool codesOnly,
                           const std::string& oldName, const std::string& newName,
                           ReportLanguage language, std::string_view chartLibrary);

// At most `count` of `times`, sorted: evenly spaced order statistics when
// there are more, so a plot of many calls keeps their distribution and the
// page stays small.
std::vector<double> plottedTimes(std::vector<double> times, size_t count = 1000);

// The charting library written into every page (generated at build time
// from the installed file).
extern const unsigned char kChartLibrary[];
extern const size_t kChartLibrarySize;

// Writes the page for --html to `path` (UTF-8) in the user's language; on failure says so in one
// line on standard error and returns false.
bool writeComparisonPage(const std::string& path, const TraceRecord& record,
                         const Comparison& comparison, bool codesOnly, const std::string& oldName,
                         const std::string& newName);

}  // namespace zorv::check

#pragma once

#include <string>
#include <vector>

#include "comparison.h"
#include "report.h"
#include "trace_record.h"

namespace zorv::check {

// --compare's report: the summary line first, then the differences between
// the libraries, then the table of functions; and the JUnit test cases, one
// a function (its speed) and one a differing call.
struct CompareReport {
  std::string text;
  std::vector<Line> lines;
};
CompareReport reportComparison(const TraceRecord& record, const Comparison& comparison,
                               bool codesOnly);

// A time as the table shows it, three digits in the fitting unit: "812 ns",
// "1.25 us", "2.10 ms", "1.05 s".
std::string shownTime(double seconds);
// A ratio as the reports show it: three digits, whole numbers from 1000 on.
std::string ratioText(double ratio);

}  // namespace zorv::check

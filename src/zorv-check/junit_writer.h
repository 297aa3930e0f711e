#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "report.h"

namespace zorv::check {

// `text` as XML 1.0 character data, for an element's content or (with
// `attribute`) a double-quoted attribute value: markup characters as
// entities; a byte sequence that is not UTF-8 as U+FFFD, a character per
// byte it spoils; a control character XML cannot hold as '?'; in an
// attribute, a tab or line feed as a character reference, so a reader gets
// it back instead of a blank.
std::string xmlText(std::string_view text, bool attribute = false);

// JUnit XML of the lines: one test case a line, a failure for FAIL, the
// sentence as standard output for PASS and WARN. False when it cannot be written.
bool writeJUnit(const std::string& path, const std::string& library, const std::vector<Line>& lines,
                double seconds);

// One <testsuite> of a JUnit file: its name and its test cases.
struct JUnitSuite {
  std::string name;
  std::vector<Line> lines;
};

// JUnit XML of several suites, each as writeJUnit writes its one. False when
// it cannot be written.
bool writeJUnitSuites(const std::string& path, const std::vector<JUnitSuite>& suites,
                      double seconds);

// With a `path` (--junit), writes the lines of a run of LIBRARY that started at
// `started`; when the file cannot be written, says so in one line on standard
// error and returns false (the run's exit status is then 2). True otherwise.
bool writeJUnitIfAsked(const std::string& path, const std::string& library,
                       const std::vector<Line>& lines,
                       std::chrono::steady_clock::time_point started);

// writeJUnitIfAsked for several suites.
bool writeJUnitSuitesIfAsked(const std::string& path, const std::vector<JUnitSuite>& suites,
                             std::chrono::steady_clock::time_point started);

}  // namespace zorv::check

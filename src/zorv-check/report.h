#pragma once

#include <string>
#include <vector>

namespace zorv::check {

enum class Verdict { Pass, Fail, Warn };

// One checked promise of one function: a report line.
struct Line {
  Verdict verdict;
  std::string function;  // "ZORVfetch", or "library"
  std::string check;     // "inside-buffer"
  std::string sentence;  // what was seen
};

// "FAIL ZORVfetch inside-buffer: wrote byte 8192 ..."
std::string textLine(const Line& line);
// "N passed, N failed, N warned"
std::string summaryLine(const std::vector<Line>& lines);
// JUnit XML of the lines: one test case a line, a failure for FAIL, the
// sentence as standard output for PASS and WARN. False when it cannot be written.
bool writeJUnit(const std::string& path, const std::string& library, const std::vector<Line>& lines,
                double seconds);

}  // namespace zorv::check

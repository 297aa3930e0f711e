#pragma once

#include <cstddef>
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

// "PASS", "FAIL" or "WARN"
const char* verdictWord(Verdict verdict);
// "FAIL ZORVfetch inside-buffer: wrote byte 8192 ..."
std::string textLine(const Line& line);
// "N passed, N failed, N warned"
std::string summaryLine(const std::vector<Line>& lines);
// "1 call", "2 calls": `n` and the noun, plural but for one.
std::string counted(size_t n, const std::string& noun);
// A number of seconds as the report writes it: "10", "0.5".
std::string seconds(double s);

}  // namespace zorv::check

#include "report.h"

#include <cstdio>

namespace zorv::check {

namespace {

size_t count(const std::vector<Line>& lines, Verdict v) {
  size_t n = 0;
  for (const Line& line : lines) n += line.verdict == v;
  return n;
}

}  // namespace

const char* verdictWord(Verdict v) {
  return v == Verdict::Pass ? "PASS" : v == Verdict::Fail ? "FAIL" : "WARN";
}

std::string textLine(const Line& line) {
  return std::string(verdictWord(line.verdict)) + " " + line.function + " " + line.check + ": " +
         line.sentence;
}

std::string summaryLine(const std::vector<Line>& lines) {
  return std::to_string(count(lines, Verdict::Pass)) + " passed, " +
         std::to_string(count(lines, Verdict::Fail)) + " failed, " +
         std::to_string(count(lines, Verdict::Warn)) + " warned";
}

std::string counted(size_t n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", s);
  return text;
}

}  // namespace zorv::check

#include "report.h"

#include <cstdio>
#include <fstream>

#include "dynamic_library.h"

namespace zorv::check {

namespace {

const char* word(Verdict v) {
  return v == Verdict::Pass ? "PASS" : v == Verdict::Fail ? "FAIL" : "WARN";
}

size_t count(const std::vector<Line>& lines, Verdict v) {
  size_t n = 0;
  for (const Line& line : lines) n += line.verdict == v;
  return n;
}

std::string xml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // Control characters are not allowed in XML 1.0.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
          out += '?';
        } else {
          out += c;
        }
    }
  }
  return out;
}

}  // namespace

std::string textLine(const Line& line) {
  return std::string(word(line.verdict)) + " " + line.function + " " + line.check + ": " +
         line.sentence;
}

std::string summaryLine(const std::vector<Line>& lines) {
  return std::to_string(count(lines, Verdict::Pass)) + " passed, " +
         std::to_string(count(lines, Verdict::Fail)) + " failed, " +
         std::to_string(count(lines, Verdict::Warn)) + " warned";
}

bool writeJUnit(const std::string& path, const std::string& library, const std::vector<Line>& lines,
                double seconds) {
  // The path is UTF-8; a narrow path on Windows would be read in the ANSI code page.
  std::ofstream out(::zorv::platform::pathFromUtf8(path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", seconds);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<testsuites>\n<testsuite name=\"zorv-check " << xml(library) << "\" tests=\""
      << lines.size() << "\" failures=\"" << count(lines, Verdict::Fail)
      << "\" errors=\"0\" skipped=\"0\" time=\"" << time << "\">\n";
  for (const Line& line : lines) {
    out << "  <testcase classname=\"" << xml(line.function) << "\" name=\"" << xml(line.check)
        << "\">";
    if (line.verdict == Verdict::Fail) {
      out << "<failure message=\"" << xml(line.sentence) << "\"/>";
    } else {
      out << "<system-out>" << word(line.verdict) << " " << xml(line.sentence) << "</system-out>";
    }
    out << "</testcase>\n";
  }
  out << "</testsuite>\n</testsuites>\n";
  return static_cast<bool>(out.flush());
}

}  // namespace zorv::check

#include "junit_writer.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "child_process.h"
#include "dynamic_library.h"
#include "utf_codec.h"

namespace zorv::check {

std::string xmlText(std::string_view text, bool attribute) {
  std::string wellFormed;
  if (!isWellFormedUtf8(text)) {
    wellFormed = utf8FromUtf16(utf16FromUtf8(text));
    text = wellFormed;
  }
  std::string out;
  out.reserve(text.size());
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
      case '\t':
        out += attribute ? "&#9;" : "\t";
        break;
      case '\n':
        out += attribute ? "&#10;" : "\n";
        break;
      default:
        // XML 1.0 holds no other control character; a carriage return would
        // be read back as a line feed.
        out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
  }
  return out;
}

bool writeJUnitSuites(const std::string& path, const std::vector<JUnitSuite>& suites,
                      double seconds) {
  // The path is UTF-8; a narrow path on Windows would be read in the ANSI code page.
  std::ofstream out(::zorv::platform::pathFromUtf8(path), std::ios::binary | std::ios::trunc);
  if (!out) return false;
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", seconds);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n";
  for (const JUnitSuite& suite : suites) {
    const auto failures =
        std::count_if(suite.lines.begin(), suite.lines.end(),
                      [](const Line& line) { return line.verdict == Verdict::Fail; });
    out << "<testsuite name=\"" << xmlText(suite.name, true) << "\" tests=\"" << suite.lines.size()
        << "\" failures=\"" << failures << "\" errors=\"0\" skipped=\"0\" time=\"" << time
        << "\">\n";
    for (const Line& line : suite.lines) {
      out << "  <testcase classname=\"" << xmlText(line.function, true) << "\" name=\""
          << xmlText(line.check, true) << "\">";
      if (line.verdict == Verdict::Fail) {
        out << "<failure message=\"" << xmlText(line.sentence, true) << "\"/>";
      } else {
        out << "<system-out>" << verdictWord(line.verdict) << " " << xmlText(line.sentence)
            << "</system-out>";
      }
      out << "</testcase>\n";
    }
    out << "</testsuite>\n";
  }
  out << "</testsuites>\n";
  return static_cast<bool>(out.flush());
}

bool writeJUnit(const std::string& path, const std::string& library, const std::vector<Line>& lines,
                double seconds) {
  return writeJUnitSuites(path, {{"zorv-check " + library, lines}}, seconds);
}

bool writeJUnitIfAsked(const std::string& path, const std::string& library,
                       const std::vector<Line>& lines,
                       std::chrono::steady_clock::time_point started) {
  return writeJUnitSuitesIfAsked(path, {{"zorv-check " + library, lines}}, started);
}

bool writeJUnitSuitesIfAsked(const std::string& path, const std::vector<JUnitSuite>& suites,
                             std::chrono::steady_clock::time_point started) {
  if (path.empty()) return true;
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (writeJUnitSuites(path, suites, elapsed)) return true;
  platform::writeText(stderr, "zorv-check: cannot write " + path + "\n");
  return false;
}

}  // namespace zorv::check

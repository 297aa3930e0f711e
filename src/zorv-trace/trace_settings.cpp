#include "trace_settings.h"

#include <fstream>
#include <system_error>

#include "dynamic_library.h"
#include "narrow_text.h"
#include "utf_codec.h"

namespace zorv::trace {

namespace {

// Far more than any settings file needs; a larger file is not one.
constexpr size_t kMaxSettingsBytes = 64 * 1024;

std::u16string utf16Units(std::string_view bytes, bool bigEndian) {
  std::u16string out;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    out += static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
  }
  return out;
}

std::string_view trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool startsName(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool inName(char c) { return startsName(c) || (c >= '0' && c <= '9'); }

std::string variable(const Environment& environment, const std::string& name) {
  return environment(name.c_str()).value_or("");
}

std::string expandPosix(std::string_view value, const Environment& environment) {
  std::string out;
  size_t i = 0;
  if (!value.empty() && value[0] == '~' && (value.size() == 1 || value[1] == '/')) {
    out = variable(environment, "HOME");
    i = 1;
  }
  while (i < value.size()) {
    const char c = value[i];
    if (c != '$' || i + 1 == value.size()) {
      out += c;
      ++i;
      continue;
    }
    if (startsName(value[i + 1])) {
      size_t end = i + 1;
      while (end < value.size() && inName(value[end])) ++end;
      out += variable(environment, std::string(value.substr(i + 1, end - i - 1)));
      i = end;
      continue;
    }
    const size_t close = value[i + 1] == '{' ? value.find('}', i + 2) : std::string_view::npos;
    if (close == std::string_view::npos) {
      out += c;
      ++i;
      continue;
    }
    const std::string_view inside = value.substr(i + 2, close - i - 2);
    const size_t dash = inside.find(":-");
    const std::string name(inside.substr(0, dash));
    std::string found = variable(environment, name);
    if (found.empty() && dash != std::string_view::npos) {
      found = expandPosix(inside.substr(dash + 2), environment);
    }
    out += found;
    i = close + 1;
  }
  return out;
}

std::string expandWindows(std::string_view value, const Environment& environment) {
  std::string out;
  size_t i = 0;
  while (i < value.size()) {
    const size_t close = value[i] == '%' ? value.find('%', i + 1) : std::string_view::npos;
    if (close == std::string_view::npos || close == i + 1) {
      out += value[i++];
      continue;
    }
    const std::string name(value.substr(i + 1, close - i - 1));
    if (const auto found = environment(name.c_str())) {
      out += *found;
      i = close + 1;
    } else {
      out += value.substr(i, close - i);  // the closing '%' may open the next one
      i = close;
    }
  }
  return out;
}

}  // namespace

std::string expandVariables(std::string_view value, platform::VariableStyle style,
                            const Environment& environment) {
  return style == platform::VariableStyle::Posix ? expandPosix(value, environment)
                                                 : expandWindows(value, environment);
}

std::string settingsText(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return utf8FromUtf16(utf16FromUtf8(bytes.substr(3)));
  if (bytes.starts_with("\xFF\xFE")) return utf8FromUtf16(utf16Units(bytes.substr(2), false));
  if (bytes.starts_with("\xFE\xFF")) return utf8FromUtf16(utf16Units(bytes.substr(2), true));
  if (isWellFormedUtf8(bytes)) return std::string(bytes);
  return utf8FromUtf16(wideText(bytes));
}

TraceSettings readTraceSettings(const std::filesystem::path& settingsFile,
                                const Environment& environment, platform::VariableStyle style) {
  const std::string fileName = ::zorv::platform::utf8OfPath(settingsFile);
  TraceSettings settings{{"", {"library", "ZORV_TRACE_LIBRARY", fileName}},
                         {"", {"trace", "ZORV_TRACE_FILE", fileName}}};
  std::error_code error;
  if (std::filesystem::exists(settingsFile, error)) {
    std::ifstream in(settingsFile, std::ios::binary);
    std::string bytes(kMaxSettingsBytes + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad() || (!in && !in.eof())) {
      throw SetupProblem{SetupProblem::Kind::Unreadable, {fileName, "the file cannot be read"}, {}};
    }
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (bytes.size() > kMaxSettingsBytes) {
      throw SetupProblem{SetupProblem::Kind::Unreadable,
                         {fileName, "it is larger than 64 KiB, so no settings file"}, {}};
    }
    const std::string text = settingsText(bytes);
    size_t lineNumber = 0;
    for (size_t at = 0; at <= text.size();) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      const std::string_view line = trimmed(std::string_view(text).substr(at, end - at));
      at = end + 1;
      ++lineNumber;
      if (line.empty() || line.front() == ';' || line.front() == '#' ||
          (line.front() == '[' && line.back() == ']')) {
        continue;
      }
      const size_t equals = line.find('=');
      const std::string keyword =
          equals == std::string_view::npos ? "" : lowered(trimmed(line.substr(0, equals)));
      Setting* setting = keyword == "library" ? &settings.library
                         : keyword == "trace" ? &settings.trace
                                              : nullptr;
      if (!setting) {
        throw SetupProblem{SetupProblem::Kind::BadLine,
                           {fileName, std::to_string(lineNumber), std::string(line)}, {}};
      }
      std::string_view value = trimmed(line.substr(equals + 1));
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
      }
      setting->value = expandVariables(value, style, environment);
    }
  }
  for (Setting* setting : {&settings.library, &settings.trace}) {
    if (auto value = environment(setting->source.variable.c_str())) {
      setting->value = *value;
      setting->source.file.clear();
    }
  }
  if (settings.library.value.empty()) {
    throw SetupProblem{SetupProblem::Kind::NoLibrary, {fileName}, {}};
  }
  if (settings.trace.value.empty()) throw SetupProblem{SetupProblem::Kind::NoTrace, {fileName}, {}};
  return settings;
}

}  // namespace zorv::trace

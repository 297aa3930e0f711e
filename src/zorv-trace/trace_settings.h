#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "setup_problem.h"
#include "trace_platform.h"

namespace zorv::trace {

// The name of the settings file, looked for beside the trace library.
inline constexpr const char* kSettingsFileName = "libzorv-trace.ini";

// One setting's value (UTF-8) and where it came from.
struct Setting {
  std::string value;
  SettingSource source;
};

// Where the real bridge library is and where the record goes.
struct TraceSettings {
  Setting library;
  Setting trace;
};

// The text of a settings file as UTF-8, decoded as Notepad may have saved
// it: a byte-order mark decides (UTF-16LE, UTF-16BE, UTF-8); without one,
// text that is valid UTF-8 is UTF-8 and anything else CP932.
std::string settingsText(std::string_view bytes);

using Environment = std::function<std::optional<std::string>(const char*)>;

// `value` (UTF-8) with the environment variables it names replaced by their
// values, an unset one by nothing. POSIX: "$VAR", "${VAR}", "${VAR:-text}"
// (the text, itself expanded, when VAR is unset or empty) and a "~" that
// starts the value or that text (HOME); a '$' that starts no name stays.
// Windows: "%VAR%"; an unset one stays as written, as the command line
// leaves it.
std::string expandVariables(std::string_view value, platform::VariableStyle style,
                            const Environment& environment);

// Reads `settingsFile` when it exists, then the environment (ZORV_TRACE_LIBRARY,
// ZORV_TRACE_FILE) through `environment`, whose values take precedence.
// The file holds library= and trace= lines (keywords in any letter case,
// blanks around them and double quotes around a value ignored), blank
// lines, comments starting with ';' or '#', and [section] lines, which are
// ignored. Throws SetupProblem when the file cannot be read, holds any
// other line, or a setting is missing in both places. The file's values are
// expanded by expandVariables in `style`; the environment's are taken as
// they are, a shell having expanded them already.
TraceSettings readTraceSettings(const std::filesystem::path& settingsFile,
                                const Environment& environment,
                                platform::VariableStyle style = platform::kVariableStyle);

}  // namespace zorv::trace

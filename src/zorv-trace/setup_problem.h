#pragma once

#include <string>
#include <vector>

#include "user_language.h"

namespace zorv::trace {

// Where a setting came from: the settings file (UTF-8 path) or, when that
// is empty, the environment variable.
struct SettingSource {
  std::string keyword;   // "library" or "trace"
  std::string variable;  // "ZORV_TRACE_LIBRARY" or "ZORV_TRACE_FILE"
  std::string file;      // the settings file, empty when the variable gave it
};

// Why the trace library cannot forward calls: it then answers every call
// itself, with a failure code, and ZORVmsgget with what the user must fix.
struct SetupProblem {
  enum class Kind {
    NoLibrary,     // values: the settings file
    NoTrace,       // values: the settings file
    BadLine,       // values: the settings file, the line's number, the line
    Unreadable,    // values: the settings file, the system's reason
    SelfNamed,     // values: the library as named
    CannotLoad,    // values: the library as named, the system's reason
    OtherBits,     // values: the library as named, its bits, this process's bits
    MissingEntry,  // values: the library as named, the entry
    CannotWrite,   // values: the record's path, the system's reason
  };
  Kind kind;
  std::vector<std::string> values;
  SettingSource source;  // the setting to change; unused for the file's own problems
};

// What to tell the user, in UTF-8 and their language: what is wrong and
// which setting (or file) to change.
std::string describe(const SetupProblem& problem, ReportLanguage language);

}  // namespace zorv::trace

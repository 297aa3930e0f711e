#include "options.h"

#include <cmath>
#include <cstdlib>

namespace zorv::check {

namespace {

// `value` as a number in (low, high]; nothing when it is not one.
std::optional<double> numberIn(const std::string& value, double low, double high) {
  char* end = nullptr;
  const double number = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || !std::isfinite(number) || number <= low || number > high) {
    return std::nullopt;
  }
  return number;
}

}  // namespace

std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error) {
  Options options;
  std::vector<std::string> libraries;
  bool compare = false;    // --compare was given
  bool comparing = false;  // an option that only --compare takes was given
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    const bool takesValue = arg == "--connect" || arg == "--query" || arg == "--exec" ||
                            arg == "--timeout" || arg == "--junit" || arg == "--replay" ||
                            arg == "--login" || arg == "--compare" || arg == "--rounds" ||
                            arg == "--time" || arg == "--threshold" || arg == "--html" ||
                            arg == "--pace" || arg == "--logins";
    if (takesValue && i + 1 == arguments.size()) {
      error = arg + " needs a value";
      return std::nullopt;
    }
    if (arg == "--help" || arg == "--version") {
      Options answer;
      answer.action = arg == "--help" ? Options::Action::Help : Options::Action::Version;
      return answer;
    }
    if (arg == "--connect") {
      options.connect = arguments[++i];
    } else if (arg == "--query") {
      options.query = arguments[++i];
    } else if (arg == "--exec") {
      options.execs.push_back(arguments[++i]);
    } else if (arg == "--timeout") {
      const std::string& value = arguments[++i];
      char* end = nullptr;
      const double seconds = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 ||
          seconds > 86400) {
        error = "--timeout takes a number of seconds above 0, not \"" + value + "\"";
        return std::nullopt;
      }
      options.timeoutSeconds = seconds;
    } else if (arg == "--junit") {
      options.junitPath = arguments[++i];
    } else if (arg == "--replay") {
      options.replay = arguments[++i];
      options.records.push_back(*options.replay);
    } else if (arg == "--pace") {
      const std::string& value = arguments[++i];
      const std::optional<double> factor =
          value == "fast" ? 0.0 : value == "recorded" ? 1.0 : numberIn(value, 0, 1e6);
      if (!factor) {
        error = "--pace takes fast, recorded or a factor above 0, not \"" + value + "\"";
        return std::nullopt;
      }
      options.pace = *factor;
      options.paceText = value;
    } else if (arg == "--logins") {
      options.loginsPath = arguments[++i];
    } else if (arg == "--compare") {
      options.replay = arguments[++i];
      options.records.push_back(*options.replay);
      compare = true;
    } else if (arg == "--rounds" || arg == "--time" || arg == "--threshold") {
      const std::string& value = arguments[++i];
      const bool rounds = arg == "--rounds";
      const std::optional<double> number =
          numberIn(value, rounds ? 0 : arg == "--time" ? 0 : 1, rounds ? 10000 : 86400);
      if (!number || (rounds && *number != std::floor(*number))) {
        error = arg + (rounds                ? " takes a whole number from 1 to 10000"
                       : arg == "--time"     ? " takes a number of seconds above 0"
                                             : " takes a ratio above 1") +
                ", not \"" + value + "\"";
        return std::nullopt;
      }
      if (rounds) options.rounds = static_cast<size_t>(*number);
      if (arg == "--time") options.timeSeconds = *number;
      if (arg == "--threshold") options.threshold = *number;
      comparing = true;
    } else if (arg == "--html") {
      options.htmlPath = arguments[++i];
      comparing = true;
    } else if (arg == "--login") {
      options.login = arguments[++i];
    } else if (arg == "--codes-only") {
      options.codesOnly = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return std::nullopt;
    } else {
      libraries.push_back(arg);
    }
  }
  if (compare) {
    // --compare RECORD [RECORD...] OLD NEW: the last two are the libraries.
    const size_t n = libraries.size();
    if (n < 2 || libraries[n - 2].empty() || libraries[n - 1].empty()) {
      error = "--compare takes two libraries, OLD and NEW";
      return std::nullopt;
    }
    options.records.insert(options.records.end(), libraries.begin(), libraries.end() - 2);
    options.library = libraries[n - 2];
    options.newLibrary = libraries[n - 1];
  } else if (options.replay && !libraries.empty()) {
    // --replay RECORD [RECORD...] LIBRARY: the last is the library, the rest records.
    options.records.insert(options.records.end(), libraries.begin(), libraries.end() - 1);
    options.library = libraries.back();
    if (options.library.empty()) {
      error = "no LIBRARY given";
      return std::nullopt;
    }
  } else if (comparing) {
    error = "--rounds, --time, --threshold and --html go with --compare";
    return std::nullopt;
  } else if (libraries.size() > 1) {
    error = "one LIBRARY only, got \"" + libraries[0] + "\" and \"" + libraries[1] + "\"";
    return std::nullopt;
  } else if (libraries.empty() || libraries[0].empty()) {
    error = "no LIBRARY given";
    return std::nullopt;
  } else {
    options.library = libraries[0];
  }
  if (options.replay && (options.connect || options.query || !options.execs.empty())) {
    error = std::string(compare ? "--compare" : "--replay") +
            " runs the record's calls: it takes no --connect, --query or --exec";
    return std::nullopt;
  }
  if (!options.replay && (options.login || options.codesOnly)) {
    error = "--login and --codes-only go with --replay or --compare";
    return std::nullopt;
  }
  if (options.records.empty() && (!options.loginsPath.empty() || options.paceText != "fast")) {
    error = "--pace and --logins go with --replay or --compare";
    return std::nullopt;
  }
  if (options.login && !options.loginsPath.empty()) {
    error = "--login and --logins exclude each other: one text for all records, or one each";
    return std::nullopt;
  }
  return options;
}

}  // namespace zorv::check

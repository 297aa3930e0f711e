#include "options.h"

#include <cmath>
#include <cstdlib>

namespace zorv::check {

std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error) {
  Options options;
  bool haveLibrary = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& arg = arguments[i];
    const bool takesValue = arg == "--connect" || arg == "--query" || arg == "--exec" ||
                            arg == "--timeout" || arg == "--junit" || arg == "--replay" ||
                            arg == "--login";
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
    } else if (arg == "--login") {
      options.login = arguments[++i];
    } else if (arg == "--codes-only") {
      options.codesOnly = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return std::nullopt;
    } else if (haveLibrary) {
      error = "one LIBRARY only, got \"" + options.library + "\" and \"" + arg + "\"";
      return std::nullopt;
    } else {
      options.library = arg;
      haveLibrary = true;
    }
  }
  if (!haveLibrary || options.library.empty()) {
    error = "no LIBRARY given";
    return std::nullopt;
  }
  if (options.replay && (options.connect || options.query || !options.execs.empty())) {
    error = "--replay runs the record's calls: it takes no --connect, --query or --exec";
    return std::nullopt;
  }
  if (!options.replay && (options.login || options.codesOnly)) {
    error = "--login and --codes-only go with --replay";
    return std::nullopt;
  }
  return options;
}

}  // namespace zorv::check

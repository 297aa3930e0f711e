// zorv-check: loads a bridge library as the console does and checks, call by
// call in crash-isolated children, the promises the console relies on.
#include <cstdio>
#include <string>
#include <vector>

#include "checker.h"
#include "child_process.h"
#include "child_supervisor.h"
#include "compare.h"
#include "options.h"
#include "replay.h"

int main(int argc, char** argv) {
  using namespace zorv::check;
  const std::vector<std::string> arguments = platform::commandLine(argc, argv);
  if (!arguments.empty() && arguments[0] == kChildArgument) {
    return runChildProcess(std::vector<std::string>(arguments.begin() + 1, arguments.end()));
  }
  std::string error;
  const auto options = parseOptions(arguments, error);
  if (!options) {
    platform::writeText(stderr, "zorv-check: " + error + " (" + kUsage + ")\n");
    return 2;
  }
  switch (options->action) {
    case Options::Action::Help:
      std::printf("%s\n%s\n%s\n\n%s", kUsage, kReplayUsage, kCompareUsage, kHelp);
      return 0;
    case Options::Action::Version:
      std::printf("zorv-check %s\n", ZORV_VERSION);
      return 0;
    case Options::Action::Check:
      break;
  }
  if (options->newLibrary) return runCompare(*options, arguments);
  return options->replay ? runReplay(*options, arguments) : runChecks(*options, arguments);
}

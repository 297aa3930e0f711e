#include <cstring>
#include <fstream>
#include <string>

#include "loop_platform.h"

namespace {

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
long statusKib(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t length = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, length, field) == 0 && line[length] == ':') {
      return std::stol(line.substr(length + 1));
    }
  }
  return -1;
}

}  // namespace

long residentKib() { return statusKib("VmRSS"); }

long peakKib() { return statusKib("VmHWM"); }

// Lowers VmHWM to the current VmRSS so the peak is measured from here on.
void resetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

void makeOutputBinary() {}

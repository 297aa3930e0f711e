#include "child_process.h"

bool ChildProcess::readLine(std::string& line) {
  size_t end;
  while ((end = pending_.find('\n')) == std::string::npos) {
    if (!readSome()) return false;
  }
  line.assign(pending_, 0, end);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  pending_.erase(0, end + 1);
  return true;
}

ChildProcess::~ChildProcess() {
  if (started_ && !waited_) {
    kill();
    int code;
    waitKilled(code);
  }
  release();
}

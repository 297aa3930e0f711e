#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "answer_buffer.h"
#include "zorv.h"

// The library under test, loaded the way the console loads it (the bridge
// access layer's loader, from the library's folder) with its eight entries.
class ZorvLibrary {
 public:
  // Our own library's entries, in the convention zorv.h declares for them.
  using TextFn = int32_t(ZORV_CALL*)(const char*);
  using VoidFn = int32_t(ZORV_CALL*)();
  using BufFn = int32_t(ZORV_CALL*)(char*);
  using ExecFn = int32_t(ZORV_CALL*)(const char*, char*);

  // The process's one loaded copy; aborts the test binary if it cannot load.
  static ZorvLibrary& instance();

  TextFn login;
  VoidFn close;
  TextFn cursor;
  BufFn fetch;
  BufFn msgGet;
  ExecFn exec;
  VoidFn status;
  BufFn fnames;

 private:
  ZorvLibrary();
  void* handle_;
};

// A result code with the answer it wrote.
struct Answer {
  int32_t code;
  std::string text;

  bool operator==(const Answer&) const = default;
};

// Shows an answer in failure messages with control bytes escaped.
void PrintTo(const Answer& answer, std::ostream* out);

// Convenience calls that also check the buffer contract (gtest failures).
Answer callExec(const std::string& statement);
Answer callFetch();
Answer callFnames();
std::string callMsgGet();

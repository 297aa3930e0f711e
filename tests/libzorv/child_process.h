#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A child process whose standard output the parent reads through a pipe,
// ended from outside the way a crash or a user ends a program: SIGKILL on
// POSIX, TerminateProcess on Windows. One file per platform
// (child_process_posix.cpp, child_process_win32.cpp).
class ChildProcess {
 public:
  // Starts `program` with `arguments`; started() tells whether it runs.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
  // Kills and waits for a child still running.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return started_; }
  // The next line the child wrote, without its line end; false at the end
  // of its output.
  bool readLine(std::string& line);
  // Ends the child at once.
  void kill();
  // Waits for the child's end. True when kill() ended it; otherwise false
  // with the exit code it ended with.
  bool waitKilled(int& exitCode);

 private:
  bool readSome();
  // Releases the pipe and process handles (the platform's part of the end).
  void release();

  bool started_ = false;
  bool waited_ = false;
  std::string pending_;
  // pipe read end and process: an fd and a pid, or two HANDLEs
  std::intptr_t output_ = -1;
  std::intptr_t process_ = -1;
};

#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Crash-isolated children and the memory they share with the checker. One
// file per platform: fork on POSIX; on Windows the checker starts itself
// again with a hidden argument.
namespace zorv::check::platform {

// The program's arguments after its name, as UTF-8.
std::vector<std::string> commandLine(int argc, char** argv);

// Writes UTF-8 `text` to `stream` (stdout or stderr): on a Windows console as
// its UTF-16 characters, whatever the console's code page; elsewhere, and
// into a file or pipe, as the UTF-8 bytes.
void writeText(std::FILE* stream, const std::string& text);

// Whether `stream` (stdout or stderr) is a terminal, not a file or a pipe.
bool isTerminal(std::FILE* stream);

// The environment variable `name` as UTF-8; nothing when it is not set.
std::optional<std::string> environmentText(const char* name);

// In a replay child, before its first call: makes the pages it can read
// present and its private ones its own, so a call's time holds no first
// touch of a page the child inherited.
void warmPages();

// Memory shared by the checker and its children, zero-filled at first.
class SharedMemory {
 public:
  // New memory; name() tells a child started afresh where to find it.
  static SharedMemory create(size_t bytes);
  // The memory a checker created, opened in a child started afresh.
  static SharedMemory open(const std::string& name, size_t bytes);

  SharedMemory(SharedMemory&& other) noexcept;
  SharedMemory& operator=(SharedMemory&&) = delete;
  ~SharedMemory();

  void* data() const { return data_; }
  const std::string& name() const { return name_; }

 private:
  SharedMemory(void* data, size_t bytes, std::string name, void* handle)
      : data_(data), bytes_(bytes), name_(std::move(name)), handle_(handle) {}
  void* data_;
  size_t bytes_;
  std::string name_;
  void* handle_;
};

// How a child ended.
struct ChildEnd {
  bool crashed = false;  // a signal or an unhandled exception ended it
  int code = 0;          // exit status, signal number or exception code
  std::string how;       // e.g. "died of signal 11 (Segmentation fault)"
};

// One child running one check. The child's standard output goes to the
// checker's standard error, so nothing a library prints mixes with the report.
class ChildProcess {
 public:
  // POSIX: forks and runs `body` in the child; its result is the exit status.
  // Windows: starts this executable with `arguments`, the first of them the
  // hidden argument whose handling in main runs the same body.
  ChildProcess(const std::function<int()>& body, const std::vector<std::string>& arguments);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Kills a child still running, and reaps it.
  ~ChildProcess();

  // Waits up to `milliseconds`; true once the child has ended.
  bool wait(int milliseconds);
  void kill();
  const ChildEnd& end() const { return end_; }

 private:
  long long id_ = 0;        // process id
  void* handle_ = nullptr;  // process handle where the platform has one
  bool running_ = false;
  ChildEnd end_;
};

}  // namespace zorv::check::platform

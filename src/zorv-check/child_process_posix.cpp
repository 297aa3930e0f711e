#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "child_process.h"

namespace zorv::check::platform {

std::vector<std::string> commandLine(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

SharedMemory SharedMemory::create(size_t bytes) {
  void* data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) {
    std::perror("zorv-check: mmap");
    std::_Exit(2);
  }
  return SharedMemory(data, bytes, "", nullptr);
}

// A forked child inherits the memory; it never opens it by name.
SharedMemory SharedMemory::open(const std::string&, size_t) {
  std::fputs("zorv-check: shared memory is inherited on this platform\n", stderr);
  std::_Exit(2);
}

SharedMemory::SharedMemory(SharedMemory&& other) noexcept
    : data_(other.data_), bytes_(other.bytes_), name_(std::move(other.name_)), handle_(nullptr) {
  other.data_ = nullptr;
}

SharedMemory::~SharedMemory() {
  if (data_) munmap(data_, bytes_);
}

ChildProcess::ChildProcess(const std::function<int()>& body, const std::vector<std::string>&) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    std::perror("zorv-check: fork");
    std::_Exit(2);
  }
  if (pid == 0) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    const int status = body();
    std::fflush(nullptr);
    std::_Exit(status);
  }
  id_ = pid;
  running_ = true;
}

ChildProcess::~ChildProcess() {
  if (running_) {
    kill();
    while (!wait(1000)) {
    }
  }
}

bool ChildProcess::wait(int milliseconds) {
  if (!running_) return true;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    int status = 0;
    const pid_t done = waitpid(static_cast<pid_t>(id_), &status, WNOHANG);
    if (done == static_cast<pid_t>(id_)) {
      running_ = false;
      if (WIFSIGNALED(status)) {
        end_.crashed = true;
        end_.code = WTERMSIG(status);
        end_.how =
            "died of signal " + std::to_string(end_.code) + " (" + strsignal(end_.code) + ")";
      } else {
        end_.code = WEXITSTATUS(status);
        end_.how = "exited with status " + std::to_string(end_.code);
      }
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void ChildProcess::kill() {
  if (running_) ::kill(static_cast<pid_t>(id_), SIGKILL);
}

std::optional<std::string> environmentText(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

void writeText(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace zorv::check::platform

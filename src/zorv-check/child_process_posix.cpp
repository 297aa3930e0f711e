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

// Linux gives a forked child no page table entries for memory it has not yet
// touched, and copies a private page at its first write: a cost each round
// would pay inside the first call that touches the page. It reads redzones
// a sanitizer watches, on purpose, and only gives back what it read.
__attribute__((no_sanitize("address", "undefined"))) void warmPages() {
  // Larger mappings are reservations (a sanitizer's shadow), not memory in use.
  constexpr unsigned long kLargest = 64ul << 20;
  std::FILE* maps = std::fopen("/proc/self/maps", "r");
  if (!maps) return;
  const unsigned long page = static_cast<unsigned long>(sysconf(_SC_PAGESIZE));
  char line[4096];
  while (std::fgets(line, sizeof line, maps)) {
    unsigned long start = 0, end = 0;
    char access[5] = {};
    if (std::sscanf(line, "%lx-%lx %4s", &start, &end, access) != 3) continue;
    // Private and readable; not the kernel's [vvar] and [vsyscall] pages.
    if (access[0] != 'r' || access[3] != 'p' || std::strstr(line, "[v") || end - start > kLargest) {
      continue;
    }
    for (unsigned long at = start; at < end; at += page) {
      volatile char* byte = reinterpret_cast<volatile char*>(at);
      const char value = *byte;
      if (access[1] == 'w') *byte = value;  // the child is single-threaded: nothing races it
    }
  }
  std::fclose(maps);
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

bool isTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

std::optional<std::string> environmentText(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

void writeText(std::FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace zorv::check::platform

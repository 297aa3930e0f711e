#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>

#include "child_process.h"

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);  // dup2 clears close-on-exec on the copy
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return;
  }
  output_ = fds[0];
  process_ = pid;
  started_ = true;
}

void ChildProcess::release() {
  if (output_ >= 0) close(static_cast<int>(output_));
}

bool ChildProcess::readSome() {
  char chunk[4096];
  const ssize_t n = read(static_cast<int>(output_), chunk, sizeof chunk);
  if (n <= 0) return false;
  pending_.append(chunk, static_cast<size_t>(n));
  return true;
}

void ChildProcess::kill() { ::kill(static_cast<pid_t>(process_), SIGKILL); }

bool ChildProcess::waitKilled(int& exitCode) {
  int status = 0;
  waitpid(static_cast<pid_t>(process_), &status, 0);
  waited_ = true;
  exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

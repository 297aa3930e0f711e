#include <windows.h>

#include <cstdint>

#include "child_process.h"

namespace {

// The exit code TerminateProcess gives the child; the insert child never
// ends with it by itself.
constexpr UINT kKilledExitCode = 0xDEAD;

// One argument quoted as the C runtime's command line parser reads it back:
// backslashes are literal except before a quote, where they are doubled.
void appendQuoted(std::wstring& line, const std::string& argument) {
  line += L" \"";
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    line.append(c == '"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    line += static_cast<wchar_t>(static_cast<unsigned char>(c));
  }
  line.append(2 * backslashes, L'\\');
  line += L'"';
}

}  // namespace

// Arguments are ASCII (the tests pass connection texts and numbers).
ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  std::wstring line;
  appendQuoted(line, program);
  for (const auto& argument : arguments) appendQuoted(line, argument);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  const std::wstring application(program.begin(), program.end());
  const BOOL created = CreateProcessW(application.c_str(), line.data() + 1, nullptr, nullptr, TRUE,
                                      0, nullptr, nullptr, &startup, &info);
  CloseHandle(write);
  if (!created) {
    CloseHandle(read);
    return;
  }
  CloseHandle(info.hThread);
  output_ = reinterpret_cast<std::intptr_t>(read);
  process_ = reinterpret_cast<std::intptr_t>(info.hProcess);
  started_ = true;
}

void ChildProcess::release() {
  if (started_) {
    CloseHandle(reinterpret_cast<HANDLE>(output_));
    CloseHandle(reinterpret_cast<HANDLE>(process_));
  }
}

bool ChildProcess::readSome() {
  char chunk[4096];
  DWORD n = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(output_), chunk, sizeof chunk, &n, nullptr) || n == 0) {
    return false;
  }
  pending_.append(chunk, n);
  return true;
}

void ChildProcess::kill() { TerminateProcess(reinterpret_cast<HANDLE>(process_), kKilledExitCode); }

bool ChildProcess::waitKilled(int& exitCode) {
  const HANDLE process = reinterpret_cast<HANDLE>(process_);
  WaitForSingleObject(process, INFINITE);
  waited_ = true;
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  exitCode = static_cast<int>(code);
  return code == kKilledExitCode;
}

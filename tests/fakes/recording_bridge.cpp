// A bridge library for tests: it records every call with the exact bytes it
// received, and answers from a script of byte strings and result codes.
//
// In-process tests drive it through the `fake*` functions (found with dlsym
// on the same file, which the loader hands back as the same object). Tests of
// a separate console process use two files instead:
//   ZORV_FAKE_SCRIPT  lines "<code> <hex bytes written into the buffer>",
//                     taken one per call in order ("-" writes nothing);
//   ZORV_FAKE_LOG     each call is appended as "<entry> <hex of arg 1> [<hex of arg 2>]".
// ZORV_FAKE_DELAY_MS makes every call sleep that long first, or only the
// calls of the entry named by ZORV_FAKE_DELAY_ENTRY when that is set.
// ZORV_FAKE_CRASH_AT=N makes the Nth call made while it is set die of a fault.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fake_export.h"

namespace {

// The console's answer buffer is the narrow copy of 8192 units: at least
// 8192 bytes and its closing NUL. The bytes of a buffer argument are
// recorded up to the first NUL at or after that size, which is within the copy.
constexpr size_t kBufferBytes = 8192;

struct Step {
  int32_t code = 0;
  bool writes = false;
  std::string bytes;
};

struct Call {
  std::string entry;
  std::string first;   // text argument or buffer
  std::string second;  // buffer of ZORVexec
};

struct State {
  std::mutex mutex;
  std::deque<Step> script;
  std::vector<Call> calls;
  bool recording = true;
  Step fallback;  // answers every call once the script is used up
  bool fileScriptLoaded = false;
};

State& state() {
  static State s;
  return s;
}

std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out.empty() ? "-" : out;
}

std::string unhex(const std::string& text) {
  std::string out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
  }
  return out;
}

void loadFileScript(State& s) {
  if (s.fileScriptLoaded) return;
  s.fileScriptLoaded = true;
  const char* path = std::getenv("ZORV_FAKE_SCRIPT");
  if (!path) return;
  std::ifstream in(path);
  long code;
  std::string bytes;
  while (in >> code >> bytes) {
    s.script.push_back(Step{static_cast<int32_t>(code), bytes != "-", bytes == "-" ? "" : unhex(bytes)});
  }
}

std::string textArg(const char* text) { return text ? std::string(text) : std::string(); }

std::string bufferArg(const char* buffer) {
  size_t n = kBufferBytes;
  while (buffer[n] != '\0') ++n;
  return std::string(buffer, n);
}

// A real fault, as a bridge that crashes causes one.
__attribute__((no_sanitize("undefined"))) void crashAtCall(const char* when) {
  static std::atomic<long> calls{0};
  if (when && ++calls == std::atol(when)) {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
  }
}

int32_t answer(const char* entry, std::string first, std::string second, char* buffer) {
  crashAtCall(std::getenv("ZORV_FAKE_CRASH_AT"));
  const char* delay = std::getenv("ZORV_FAKE_DELAY_MS");
  const char* delayed = std::getenv("ZORV_FAKE_DELAY_ENTRY");
  if (delay && (!delayed || std::strcmp(delayed, entry) == 0)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(delay)));
  }
  State& s = state();
  std::lock_guard lock(s.mutex);
  loadFileScript(s);
  if (s.recording) s.calls.push_back(Call{entry, first, second});
  if (const char* log = std::getenv("ZORV_FAKE_LOG")) {
    std::ofstream out(log, std::ios::app);
    out << entry << ' ' << hex(first);
    if (!second.empty()) out << ' ' << hex(second);
    out << '\n';
  }
  Step step = s.fallback;
  if (!s.script.empty()) {
    step = s.script.front();
    s.script.pop_front();
  }
  if (step.writes && buffer) std::memcpy(buffer, step.bytes.data(), step.bytes.size());
  return step.code;
}

}  // namespace

FAKE_ENTRY int32_t ZORVlogin(const char* connection) {
  return answer("ZORVlogin", textArg(connection), "", nullptr);
}
FAKE_ENTRY int32_t ZORVclose() { return answer("ZORVclose", "", "", nullptr); }
FAKE_ENTRY int32_t ZORVcursor(const char* statement) {
  return answer("ZORVcursor", textArg(statement), "", nullptr);
}
FAKE_ENTRY int32_t ZORVfetch(char* buffer) {
  return answer("ZORVfetch", bufferArg(buffer), "", buffer);
}
FAKE_ENTRY int32_t ZORVmsgget(char* buffer) {
  return answer("ZORVmsgget", bufferArg(buffer), "", buffer);
}
FAKE_ENTRY int32_t ZORVexec(const char* statement, char* buffer) {
  return answer("ZORVexec", textArg(statement), bufferArg(buffer), buffer);
}
FAKE_ENTRY int32_t ZORVstatus() { return answer("ZORVstatus", "", "", nullptr); }
#ifndef FAKE_WITHOUT_FNAMES
FAKE_ENTRY int32_t ZORVfnames(char* buffer) {
  return answer("ZORVfnames", bufferArg(buffer), "", buffer);
}
#endif

// Test control: script the next answers and read back the calls.
FAKE_EXPORT void fakeReset() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.script.clear();
  s.calls.clear();
}
// The next call writes `size` bytes (or nothing when `bytes` is null) and returns `code`.
FAKE_EXPORT void fakeScript(int32_t code, const char* bytes, size_t size) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.script.push_back(Step{code, bytes != nullptr, bytes ? std::string(bytes, size) : ""});
}
// Once the script is used up, every call writes `size` bytes and returns `code`.
FAKE_EXPORT void fakeFallback(int32_t code, const char* bytes, size_t size) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.fallback = Step{code, bytes != nullptr, bytes ? std::string(bytes, size) : ""};
}
// Whether calls are kept for fakeCall*; long runs turn it off to keep memory flat.
FAKE_EXPORT void fakeRecord(bool on) {
  State& s = state();
  std::lock_guard lock(s.mutex);
  s.recording = on;
}
FAKE_EXPORT size_t fakeCallCount() {
  State& s = state();
  std::lock_guard lock(s.mutex);
  return s.calls.size();
}
// Entry name and arguments of call `index`; the pointers stay valid until the next call or reset.
FAKE_EXPORT const char* fakeCallEntry(size_t index) { return state().calls.at(index).entry.c_str(); }
FAKE_EXPORT const char* fakeCallArg(size_t index, int which, size_t* size) {
  const Call& call = state().calls.at(index);
  const std::string& arg = which == 0 ? call.first : call.second;
  *size = arg.size();
  return arg.data();
}

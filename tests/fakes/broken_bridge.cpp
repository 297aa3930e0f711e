// A bridge library for the conformance checker's tests: it keeps every
// promise of the bridge but the one named by FAKE_BREAK when it is built, so
// each build shows whether the checker catches that breach, names it, and
// blames nothing else. Without FAKE_BREAK it keeps them all; with
// FAKE_WITHOUT_FETCH it lacks the entry ZORVfetch. FAKE_ONE_ARGUMENT_EXEC
// declares ZORVexec with its statement alone: a wrong prototype, which as
// stdcall takes 4 bytes off the stack where the caller pushed 8.
// FAKE_BREAK=TimedFetch is no breach: it makes ZORVfetch take a set time, for
// measuring what --compare can tell apart.
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#ifdef _WIN32
#include <process.h>
#include <windows.h>
#define getpid _getpid
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include "fake_export.h"

namespace {

enum class Break {
  None,
  PastBuffer,    // ZORVfetch also writes the byte after the 8192 it may use
  NoNul,         // ZORVexec writes its answer without the closing NUL
  WritesText,    // ZORVcursor writes into its statement text
  KeepsBuffer,   // ZORVfnames keeps the buffer's address and writes there on its next call
  Crash,         // ZORVlogin dereferences a null pointer
  Hang,          // ZORVmsgget never returns
  CutCharacter,  // ZORVmsgget's answer ends after the lead byte of a double-byte character
  KeepsText,     // ZORVlogin keeps its connection text and compares the next one with it
  LongAnswer,    // ZORVmsgget writes a 9000-byte message whole, uncut
  CrashOnLoad,   // the library's start-up code dereferences a null pointer
  RaiseSegv,     // ZORVcursor sends its own thread SIGSEGV, as a runtime re-raising a fault does
  RaiseBus,      // ZORVcursor sends its own thread SIGBUS
  SlowFetch,     // ZORVfetch takes 2 ms longer
  ChangingRows,  // ZORVfetch's rows hold the process id: they differ from process to process,
                 // as rows that a record's own writes change differ from replay to replay
  TimedFetch,    // ZORVfetch busy-waits the microseconds its folder's name gives, "fetch-<N>us",
                 // so two copies of one build take set, different times; "fetch-<N>us-spread<P>"
                 // makes each process take its own time within P % of N, as processes of
                 // one build on a real machine do; "-echo<K>" after either makes a
                 // ZORVmsgget right after a ZORVfetch take 1/K of the Fetch's time, as a
                 // call slowed by what the call before it left behind
};

#ifndef FAKE_BREAK
#define FAKE_BREAK None
#endif
constexpr Break kBreak = Break::FAKE_BREAK;

constexpr size_t kBufferBytes = 8192;

bool connected = false;
int rowsLeft = 0;

// A real fault, not a sanitizer's report of one: the checker must see the
// process die as it would in a user's build.
__attribute__((no_sanitize("undefined"))) void crash() {
  volatile int* volatile nowhere = nullptr;  // opaque, so the store is made
  *nowhere = 1;
}

// The path of this library file, "" when it cannot be found.
std::string ownPath() {
  static const char marker = 0;
#ifdef _WIN32
  HMODULE self = nullptr;
  char path[MAX_PATH] = "";
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         &marker, &self)) {
    GetModuleFileNameA(self, path, MAX_PATH);
  }
  return path;
#else
  Dl_info info{};
  return dladdr(&marker, &info) && info.dli_fname ? info.dli_fname : "";
#endif
}

double fetchMicros = 0;
double fetchSpread = 0;  // a share of fetchMicros
double fetchEcho = 0;    // the share of the Fetch's time the next ZORVmsgget takes
bool lastWasFetch = false;

// For TimedFetch: N of the last "fetch-<N>us" in the library's path (52.5
// will do) into fetchMicros, else 0, P of a "-spread<P>" after it and K of
// a "-echo<K>" after either.
void fetchMicrosFromPath() {
  const std::string path = ownPath();
  const size_t at = path.rfind("fetch-");
  if (at == std::string::npos) return;
  char* end = nullptr;
  const double micros = std::strtod(path.c_str() + at + 6, &end);
  if (!end || std::strncmp(end, "us", 2) != 0 || micros <= 0) return;
  fetchMicros = micros;
  end += 2;
  if (std::strncmp(end, "-spread", 7) == 0) fetchSpread = std::strtod(end + 7, &end) / 100;
  if (std::strncmp(end, "-echo", 5) == 0) fetchEcho = 1 / std::strtod(end + 5, nullptr);
}

// fetchMicros times a factor drawn once a process (a forked one too), evenly
// within fetchSpread of 1.
double processFetchMicros() {
  static long long drawnFor = -1;
  static double micros = 0;
  const long long pid = getpid();
  if (pid != drawnFor) {
    drawnFor = pid;
    const uint64_t seed =
        (static_cast<uint64_t>(pid) * 0x9E3779B97F4A7C15ull) ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const double even = static_cast<double>((seed * 0xD1B54A32D192ED03ull) >> 11) * 0x1p-53;
    micros = fetchMicros * (1 + fetchSpread * (2 * even - 1));
  }
  return micros;
}

// Runs when the library is loaded.
struct StartUp {
  StartUp() {
    if constexpr (kBreak == Break::CrashOnLoad) crash();
    if constexpr (kBreak == Break::TimedFetch) fetchMicrosFromPath();
  }
} startUp;

// A busy wait on the steady clock: a sleep this short overshoots by tens of
// microseconds, and by an amount that varies from call to call.
[[maybe_unused]] void spin(double micros) {
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::nanoseconds(static_cast<int64_t>(micros * 1000));
  while (std::chrono::steady_clock::now() < until) {
  }
}

int32_t answer(char* buffer, const char* text) {
  std::memcpy(buffer, text, std::strlen(text) + 1);
  return 0;
}

}  // namespace

FAKE_ENTRY int32_t ZORVlogin(const char* connection) {
  lastWasFetch = false;
  if constexpr (kBreak == Break::Crash) crash();
  if constexpr (kBreak == Break::KeepsText) {
    static const char* previous = nullptr;
    if (previous && std::strcmp(previous, connection) == 0 && connected) return 0;
    previous = connection;
  }
  connected = true;
  return 0;
}

FAKE_ENTRY int32_t ZORVclose() {
  lastWasFetch = false;
  connected = false;
  rowsLeft = 0;
  return 0;
}

FAKE_ENTRY int32_t ZORVcursor(const char* statement) {
  lastWasFetch = false;
  if constexpr (kBreak == Break::RaiseSegv) std::raise(SIGSEGV);
#ifdef SIGBUS
  if constexpr (kBreak == Break::RaiseBus) std::raise(SIGBUS);
#endif
  if constexpr (kBreak == Break::WritesText) {
    // Upper-cases the statement's first letter in place.
    const_cast<char*>(statement)[0] = static_cast<char>(statement[0] & ~0x20);
  }
  rowsLeft = connected ? 3 : 0;
  return connected ? 0 : -1;
}

#ifndef FAKE_WITHOUT_FETCH
FAKE_ENTRY int32_t ZORVfetch(char* buffer) {
  if constexpr (kBreak == Break::TimedFetch) spin(processFetchMicros());
  lastWasFetch = true;
  if constexpr (kBreak == Break::PastBuffer) buffer[kBufferBytes] = 'x';
  if (rowsLeft == 0) return answer(buffer, "") + 100;
  // "row N", a TAB and 表 in CP932.
  char row[] = "row 0\t\x95\x5C";
  row[4] = static_cast<char>('0' + rowsLeft--);
  if constexpr (kBreak == Break::SlowFetch) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if constexpr (kBreak == Break::ChangingRows) {
    return answer(buffer, (row + std::string(" ") + std::to_string(getpid())).c_str());
  }
  return answer(buffer, row);
}
#endif

FAKE_ENTRY int32_t ZORVmsgget(char* buffer) {
  if constexpr (kBreak == Break::TimedFetch) {
    if (lastWasFetch && fetchEcho > 0) spin(processFetchMicros() * fetchEcho);
  }
  lastWasFetch = false;
  if constexpr (kBreak == Break::Hang) {
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  if constexpr (kBreak == Break::CutCharacter) return answer(buffer, "message \x95");
  if constexpr (kBreak == Break::LongAnswer) {
    std::memset(buffer, 'm', 9000);
    buffer[9000] = '\0';
    return 0;
  }
  return answer(buffer, connected ? "connected" : "not connected");
}

#ifdef FAKE_ONE_ARGUMENT_EXEC
FAKE_ENTRY int32_t ZORVexec(const char*) { return 0; }
#else
FAKE_ENTRY int32_t ZORVexec(const char*, char* buffer) {
  lastWasFetch = false;
  if constexpr (kBreak == Break::NoNul) {
    std::memcpy(buffer, "1 row", 5);
    return 0;
  }
  return answer(buffer, "1 row");
}
#endif

FAKE_ENTRY int32_t ZORVstatus() {
  lastWasFetch = false;
  return connected ? 1 : 0;
}

FAKE_ENTRY int32_t ZORVfnames(char* buffer) {
  lastWasFetch = false;
  if constexpr (kBreak == Break::KeepsBuffer) {
    static char* kept = nullptr;
    if (kept) kept[0] = 'k';
    kept = buffer;
  }
  return answer(buffer, "name\tprice");
}

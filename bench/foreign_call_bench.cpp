// The foreign call's own cost: a bridge-shaped call (two pointer arguments)
// through callForeign against the same call through a typed pointer, in one
// run. On 32-bit Windows the callee is built in both conventions.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "foreign_call.h"

namespace {

#if ZORV_TWO_CONVENTIONS
#define BENCH_STDCALL __attribute__((stdcall))
#define BENCH_CDECL __attribute__((cdecl))
#else
#define BENCH_STDCALL
#define BENCH_CDECL
#endif

// Kept out of line, as a function in a loaded library is.
__attribute__((noinline)) int32_t BENCH_STDCALL execStdcall(const char* statement, char* buffer) {
  benchmark::DoNotOptimize(buffer);
  return statement[0];
}
__attribute__((noinline)) int32_t BENCH_CDECL execCdecl(const char* statement, char* buffer) {
  benchmark::DoNotOptimize(buffer);
  return statement[0];
}

char gStatement[] = "select 1";
char gBuffer[8192];

template <typename Fn>
void typedCall(benchmark::State& state, Fn fn) {
  Fn volatile entry = fn;  // a pointer read at run time, as a bound entry is
  for (auto _ : state) benchmark::DoNotOptimize(entry(gStatement, gBuffer));
}

void foreignCall(benchmark::State& state, void* entry) {
  void* volatile address = entry;
  void* const args[] = {gStatement, gBuffer};
  for (auto _ : state) benchmark::DoNotOptimize(zorv::bridge::callForeign(address, args));
}

void BM_TypedStdcall(benchmark::State& state) { typedCall(state, &execStdcall); }
void BM_TypedCdecl(benchmark::State& state) { typedCall(state, &execCdecl); }
void BM_ForeignStdcall(benchmark::State& state) {
  foreignCall(state, reinterpret_cast<void*>(&execStdcall));
}
void BM_ForeignCdecl(benchmark::State& state) {
  foreignCall(state, reinterpret_cast<void*>(&execCdecl));
}

BENCHMARK(BM_TypedStdcall);
BENCHMARK(BM_TypedCdecl);
BENCHMARK(BM_ForeignStdcall);
BENCHMARK(BM_ForeignCdecl);

}  // namespace

BENCHMARK_MAIN();

#include "foreign_call.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using zorv::ResultCode;
using zorv::bridge::callForeign;

// 32-bit Windows has two conventions a library may use; everywhere else both
// names mean the one convention, and no callee takes anything off.
#if ZORV_TWO_CONVENTIONS
#define TEST_STDCALL __attribute__((stdcall))
#define TEST_CDECL __attribute__((cdecl))
constexpr bool kCalleePops = true;
#else
#define TEST_STDCALL
#define TEST_CDECL
constexpr bool kCalleePops = false;
#endif

// Each callee folds its arguments into decimal digits, first argument first,
// so a swapped or lost argument changes the result; the one without
// arguments answers a negative code, which must come back negative.
ResultCode digits(std::span<void* const> args) {
  ResultCode value = 0;
  for (void* a : args) value = value * 10 + static_cast<ResultCode>(reinterpret_cast<intptr_t>(a));
  return value;
}

template <typename... P>
ResultCode fold(P... args) {
  void* const all[] = {args...};
  return digits(all);
}

#define DEFINE_CALLEES(conv, tag)                                                        \
  ResultCode conv tag##0() { return -3; }                                               \
  ResultCode conv tag##1(void* a) { return fold(a); }                                   \
  ResultCode conv tag##2(void* a, void* b) { return fold(a, b); }                       \
  ResultCode conv tag##3(void* a, void* b, void* c) { return fold(a, b, c); }           \
  ResultCode conv tag##4(void* a, void* b, void* c, void* d) { return fold(a, b, c, d); }

DEFINE_CALLEES(TEST_STDCALL, stdcall)
DEFINE_CALLEES(TEST_CDECL, cdecl)

struct Callee {
  std::string name;
  void* entry;
  size_t argc;
  bool calleePops;
};

std::vector<Callee> callees() {
  std::vector<Callee> all;
  void* const stdcalls[] = {reinterpret_cast<void*>(&stdcall0), reinterpret_cast<void*>(&stdcall1),
                            reinterpret_cast<void*>(&stdcall2), reinterpret_cast<void*>(&stdcall3),
                            reinterpret_cast<void*>(&stdcall4)};
  void* const cdecls[] = {reinterpret_cast<void*>(&cdecl0), reinterpret_cast<void*>(&cdecl1),
                          reinterpret_cast<void*>(&cdecl2), reinterpret_cast<void*>(&cdecl3),
                          reinterpret_cast<void*>(&cdecl4)};
  for (size_t n = 0; n <= 4; ++n) {
    all.push_back({"stdcall/" + std::to_string(n), stdcalls[n], n, kCalleePops});
    all.push_back({"cdecl/" + std::to_string(n), cdecls[n], n, false});
  }
  return all;
}

TEST(ForeignCall, PassesArgumentsInOrderAndReportsWhatTheCalleePopped) {
  const std::vector<void*> args = {reinterpret_cast<void*>(intptr_t{1}), reinterpret_cast<void*>(intptr_t{2}),
                                   reinterpret_cast<void*>(intptr_t{3}), reinterpret_cast<void*>(intptr_t{4})};
  for (const Callee& c : callees()) {
    const std::span<void* const> given(args.data(), c.argc);
    const auto result = callForeign(c.entry, given);
    const ResultCode expected = c.argc == 0 ? -3 : digits(given);
    EXPECT_EQ(result.code, expected) << c.name;
    EXPECT_EQ(result.bytesTakenOff, c.calleePops ? 4 * c.argc : 0) << c.name;
  }
}

// Alternating conventions many times over must leave the caller's frame as it
// was: a stack off by one word would move these locals or the return address.
TEST(ForeignCall, KeepsTheCallersStackAcrossMixedConventions) {
  volatile std::uint32_t canaryBelow = 0x5a5a5a5a;
  const std::vector<Callee> all = callees();
  void* const args[] = {reinterpret_cast<void*>(intptr_t{7}), reinterpret_cast<void*>(intptr_t{8}),
                        reinterpret_cast<void*>(intptr_t{9}), reinterpret_cast<void*>(intptr_t{6})};
  volatile std::uint32_t canaryAbove = 0xa5a5a5a5;
  long long total = 0;
  for (int round = 0; round < 1000; ++round) {
    for (const Callee& c : all) total += callForeign(c.entry, {args, c.argc}).code;
  }
  long long perRound = 0;
  for (const Callee& c : all) perRound += c.argc == 0 ? -3 : digits({args, c.argc});
  EXPECT_EQ(total, 1000 * perRound);
  EXPECT_EQ(canaryBelow, 0x5a5a5a5au);
  EXPECT_EQ(canaryAbove, 0xa5a5a5a5u);
}

}  // namespace

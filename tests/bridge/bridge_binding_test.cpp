#include "bridge_binding.h"

#include <gtest/gtest.h>

#include <string>

#include "bridge_calls.h"
#include "library_image.h"
#include "foreign_call.h"
#include "test_library.h"

namespace zorv {
namespace {

const std::filesystem::path kFakes = ZORV_FAKES_DIR;
const std::string kLibrary = platform::kBridgeLibraryFileName;

// What the system says when the library or one of its entries is missing:
// the loader's own words on POSIX name the file and the symbol; Windows
// gives its error codes ERROR_MOD_NOT_FOUND and ERROR_PROC_NOT_FOUND.
#ifdef _WIN32
const std::string kMissingLibraryReason = "error 126";
const std::string kMissingEntryReason = "error 127";
#else
const std::string kMissingLibraryReason = kLibrary;
const std::string kMissingEntryReason = "ZORVfnames";
#endif

// True when the bridge library file in `folder` is loaded in this process now.
bool loaded(const std::filesystem::path& folder) { return test::isLoaded(folder / kLibrary); }

// The recording library's own control functions.
template <typename Fn>
Fn control(const char* name) {
  void* address = test::symbol(kFakes / "recording" / kLibrary, name);
  EXPECT_NE(address, nullptr) << "recording library not loaded or without " << name;
  return reinterpret_cast<Fn>(address);
}

// Checks that need a process in which no bridge library was loaded yet run
// in a freshly started copy of this test program.
template <typename Check>
void inFreshProcess(Check check) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        check();
        std::exit(::testing::Test::HasFailure() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(BridgeBindings, LoadsNothingUntilTheFirstCallAndThenBindsOnlyThatEntry) {
  inFreshProcess([] {
    BridgeBindings bindings(kFakes / "recording");
    EXPECT_FALSE(loaded(kFakes / "recording"));
    EXPECT_FALSE(bindings.libraryLoaded());

    char buffer[8193] = {};
    EXPECT_EQ(bridge::callFetch(bindings, buffer), 0);
    EXPECT_TRUE(loaded(kFakes / "recording"));
    for (size_t i = 0; i < kBridgeEntryCount; ++i) {
      const auto& record = bindings.binding(static_cast<BridgeEntry>(i));
      EXPECT_EQ(record.libraryName, kLibrary);
      const bool isFetch = static_cast<BridgeEntry>(i) == BridgeEntry::Fetch;
      EXPECT_EQ(record.entryAddress != nullptr, isFetch) << record.entryName;
      EXPECT_EQ(record.lookups, isFetch ? 1 : 0) << record.entryName;
    }
  });
}

TEST(BridgeBindings, LooksEachEntryUpOnceAndPassesArgumentsAndResultsUnchanged) {
  BridgeBindings bindings(kFakes / "recording");
  char buffer[8193] = {};
  bridge::callClose(bindings);  // loads the library so its controls can be reached
  control<void (*)()>("fakeReset")();
  auto script = control<void (*)(int32_t, const char*, size_t)>("fakeScript");
  auto count = control<size_t (*)()>("fakeCallCount");
  auto entryOf = control<const char* (*)(size_t)>("fakeCallEntry");
  auto argOf = control<const char* (*)(size_t, int, size_t*)>("fakeCallArg");

  script(INT32_MIN, nullptr, 0);
  script(INT32_MAX, nullptr, 0);
  script(-1, "ok", 3);
  EXPECT_EQ(bridge::callLogin(bindings, "host=a"), INT32_MIN);
  EXPECT_EQ(bridge::callLogin(bindings, "host=b"), INT32_MAX);
  EXPECT_EQ(bridge::callExec(bindings, "select 1", buffer), -1);
  EXPECT_STREQ(buffer, "ok");
  for (int i = 0; i < 100; ++i) bridge::callCursor(bindings, "x");

  EXPECT_EQ(bindings.binding(BridgeEntry::Login).lookups, 1);
  EXPECT_EQ(bindings.binding(BridgeEntry::Cursor).lookups, 1);
  EXPECT_EQ(bindings.binding(BridgeEntry::Exec).lookups, 1);
  ASSERT_EQ(count(), 103u);
  const auto argument = [&](size_t call) {
    size_t size = 0;
    const char* bytes = argOf(call, 0, &size);
    return std::string(bytes, size);
  };
  EXPECT_STREQ(entryOf(1), "ZORVlogin");
  EXPECT_EQ(argument(1), "host=b");
  EXPECT_STREQ(entryOf(2), "ZORVexec");
  EXPECT_EQ(argument(2), "select 1");
}

// The recording library in each calling convention it is built in, with the
// argument bytes its ZORVexec takes off the stack itself.
struct ConventionCase {
  const char* folder;
  uint32_t execPops;
};
#if ZORV_TWO_CONVENTIONS
const ConventionCase kConventions[] = {{"recording", 8}, {"recording-cdecl", 0}};
#else
const ConventionCase kConventions[] = {{"recording", 0}};
#endif

TEST(BridgeBindings, CallsALibraryOfEitherConventionAndKeepsTheStack) {
  for (const ConventionCase& c : kConventions) {
    BridgeBindings bindings(kFakes / c.folder);
    char buffer[8193] = {};
    const char* statement = "select 1";
    void* const args[] = {const_cast<char*>(statement), buffer};
    const auto direct = bridge::callForeign(bindings.bind(BridgeEntry::Exec), args);
    EXPECT_EQ(direct.bytesTakenOff, c.execPops) << c.folder;
    // A routine that trusted one convention would drift by 8 bytes a call
    // against the other and crash or corrupt this frame within these calls.
    volatile uint32_t canary = 0xc0ffee;
    for (int i = 0; i < 2000; ++i) {
      EXPECT_EQ(bridge::callExec(bindings, statement, buffer), direct.code) << c.folder;
      EXPECT_EQ(bridge::callClose(bindings), bridge::callClose(bindings)) << c.folder;
    }
    EXPECT_EQ(canary, 0xc0ffeeu) << c.folder;
  }
}

TEST(BridgeBindings, ReusesTheLibraryAlreadyLoaded) {
  BridgeBindings first(kFakes / "recording");
  BridgeBindings second(kFakes / "recording");
  char buffer[8193] = {};
  bridge::callFetch(first, buffer);
  bridge::callFetch(second, buffer);
  EXPECT_EQ(first.binding(BridgeEntry::Fetch).libraryHandle,
            second.binding(BridgeEntry::Fetch).libraryHandle);
  EXPECT_EQ(first.binding(BridgeEntry::Fetch).entryAddress,
            second.binding(BridgeEntry::Fetch).entryAddress);
}

TEST(BridgeBindings, AMissingEntryFailsForThatFunctionOnlyAndNamesIt) {
  BridgeBindings bindings(kFakes / "no_fnames");
  char buffer[8193] = {};
  EXPECT_NO_THROW(bridge::callLogin(bindings, ""));
  EXPECT_NO_THROW(bridge::callFetch(bindings, buffer));
  try {
    bridge::callFNames(bindings, buffer);
    FAIL() << "a missing entry must fail";
  } catch (const BridgeFailure& failure) {
    EXPECT_EQ(failure.library(), kLibrary);
    EXPECT_EQ(failure.entry(), "ZORVfnames");
    EXPECT_NE(failure.reason().find(kMissingEntryReason), std::string::npos) << failure.reason();
    EXPECT_NE(std::string(failure.what()).find("ZORVfnames"), std::string::npos);
    EXPECT_NE(std::string(failure.what()).find(kLibrary), std::string::npos);
  }
  EXPECT_EQ(bindings.binding(BridgeEntry::FNames).entryAddress, nullptr);
  // The other functions keep working after the failure.
  EXPECT_NO_THROW(bridge::callMsgGet(bindings, buffer));
}

TEST(BridgeBindings, NoLibraryFailsWithAMessageNamingTheFile) {
  inFreshProcess([] {
    BridgeBindings bindings(kFakes / "none");
    try {
      bridge::callLogin(bindings, "host=x");
      FAIL() << "a missing library must fail";
    } catch (const BridgeFailure& failure) {
      EXPECT_EQ(failure.library(), kLibrary);
      EXPECT_EQ(failure.entry(), "ZORVlogin");
      EXPECT_NE(failure.reason().find(kMissingLibraryReason), std::string::npos) << failure.reason();
      EXPECT_NE(std::string(failure.what()).find(kLibrary), std::string::npos) << failure.what();
    }
    EXPECT_FALSE(bindings.libraryLoaded());
    EXPECT_EQ(bindings.binding(BridgeEntry::Login).lookups, 0);
  });
}

#ifdef _WIN32
// A library for the other bitness is refused by the loader with error 193;
// the failure carries the file's bitness, and the system's message arrives
// as UTF-8 in the user's language with its "%1" filled.
TEST(BridgeBindings, ALibraryOfTheOtherBitnessFailsSayingItsBitness) {
  inFreshProcess([] {
    BridgeBindings bindings(kFakes / "other_bits");
    try {
      bridge::callLogin(bindings, "host=x");
      FAIL() << "a library of the other bitness must fail";
    } catch (const BridgeFailure& failure) {
      EXPECT_EQ(failure.libraryBits(), platform::kProcessBits == 64 ? 32 : 64);
      const std::string& reason = failure.reason();
      EXPECT_EQ(reason.rfind("error 193: ", 0), 0u) << reason;
      EXPECT_EQ(reason.find('%'), std::string::npos) << "an insert left unfilled: " << reason;
      const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reason.data(),
                                            static_cast<int>(reason.size()), nullptr, 0);
      EXPECT_GT(units, 0) << "the reason is not UTF-8: " << reason;
    }
    EXPECT_FALSE(bindings.libraryLoaded());
  });
  // A library that is simply missing has no bitness to tell.
  inFreshProcess([] {
    BridgeBindings bindings(kFakes / "none");
    try {
      bridge::callLogin(bindings, "host=x");
      FAIL() << "a missing library must fail";
    } catch (const BridgeFailure& failure) {
      EXPECT_EQ(failure.libraryBits(), 0);
    }
  });
}
#endif

TEST(BridgeBindings, NeverLoadsALibraryPlantedInTheWorkingFolder) {
  inFreshProcess([] {
    const std::filesystem::path decoy = kFakes / "decoy";
    ASSERT_TRUE(std::filesystem::exists(decoy / kLibrary)) << "no decoy at " << decoy;
    std::filesystem::current_path(decoy);
    BridgeBindings careful(kFakes / "none");
    EXPECT_THROW(bridge::callLogin(careful, "host=x"), BridgeFailure);
    EXPECT_FALSE(loaded(decoy)) << "the library in the working folder was loaded";
    EXPECT_FALSE(careful.libraryLoaded());

    // The decoy itself is a working library: named on purpose, it loads and
    // is seen as loaded, so the check above could have seen it.
    BridgeBindings named(decoy);
    EXPECT_NO_THROW(bridge::callLogin(named, "host=x"));
    EXPECT_TRUE(loaded(decoy));
  });
}

}  // namespace
}  // namespace zorv

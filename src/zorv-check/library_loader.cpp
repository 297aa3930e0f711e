#include "library_loader.h"

#include <cstdio>
#include <filesystem>

#include "child_supervisor.h"
#include "convention.h"
#include "dynamic_library.h"
#include "library_image.h"
#include "report.h"

namespace zorv::check {

std::array<bool, kBridgeEntryCount> lookUpEntries(
    BridgeBindings& bindings, std::array<std::string, kBridgeEntryCount>& missing) {
  std::array<bool, kBridgeEntryCount> exported{};
  for (size_t e = 0; e < kBridgeEntryCount; ++e) {
    try {
      bindings.bind(static_cast<BridgeEntry>(e));
      exported[e] = true;
    } catch (const BridgeFailure& failure) {
      if (!bindings.libraryLoaded()) throw;
      missing[e] = failure.reason();
    }
  }
  return exported;
}

std::array<std::string, kBridgeEntryCount> decoratedForms(
    const BridgeBindings& bindings, const std::array<bool, kBridgeEntryCount>& exported) {
  std::array<std::string, kBridgeEntryCount> forms;
  for (size_t e = 0; e < kBridgeEntryCount; ++e) {
    if (exported[e]) continue;
    forms[e] = decoratedExport(static_cast<BridgeEntry>(e), [&](const std::string& name) {
      std::string reason;
      return ::zorv::platform::findEntry(bindings.library(), name.c_str(), reason) != nullptr;
    });
  }
  return forms;
}

std::unique_ptr<BridgeBindings> bindingsFor(const std::string& library, std::string& error) {
  namespace fs = std::filesystem;
  if (library.find_first_of("/\\") == std::string::npos) {
    return std::make_unique<BridgeBindings>(::zorv::platform::executableFolder(), library);
  }
  std::error_code failed;
  const fs::path path = fs::absolute(::zorv::platform::pathFromUtf8(library), failed);
  if (failed || !fs::is_regular_file(path, failed)) {
    error = "no such file";
    return nullptr;
  }
  return std::make_unique<BridgeBindings>(path.parent_path(),
                                          ::zorv::platform::utf8OfPath(path.filename()));
}

namespace {

// Loading runs the library's own start-up code, so it is tried in a child
// first: a library that crashes or hangs while loading cannot take the
// checker with it. Returns why the library cannot be used, or nothing.
std::string tryLoading(const Options& options, const std::vector<std::string>& arguments,
                       BridgeBindings& bindings, const std::string& build) {
  platform::ChildProcess child(
      [&] {
        endChildOnFault();
        std::array<std::string, kBridgeEntryCount> missing;
        try {
          lookUpEntries(bindings, missing);
          return 0;
        } catch (const BridgeFailure&) {
          return 2;
        }
      },
      childArguments(build.empty() ? kLoadTask : build + ":" + kLoadTask, arguments));
  if (!child.wait(static_cast<int>(options.timeoutSeconds * 1000))) {
    child.kill();
    return "loading it did not end within " + seconds(options.timeoutSeconds) + " s";
  }
  return child.end().crashed ? "loading it " + child.end().how : "";
}

}  // namespace

std::string otherBitsAdvice(int libraryBits) {
  if (libraryBits != 32 && libraryBits != 64) return "";
  const std::string bits = std::to_string(libraryBits);
  return "; it is a " + bits + "-bit library and this zorv-check is " +
         std::to_string(::zorv::platform::kProcessBits) + "-bit: check it with the " + bits +
         "-bit zorv-check.exe from the " + (libraryBits == 32 ? "x86" : "x64") + " package";
}

std::unique_ptr<BridgeBindings> openLibrary(const Options& options,
                                            const std::vector<std::string>& arguments,
                                            std::array<bool, kBridgeEntryCount>& exported,
                                            std::array<std::string, kBridgeEntryCount>& missing,
                                            const std::string& build) {
  std::string error;
  std::unique_ptr<BridgeBindings> bindings = bindingsFor(options.library, error);
  if (bindings) error = tryLoading(options, arguments, *bindings, build);
  if (error.empty() && bindings) {
    try {
      exported = lookUpEntries(*bindings, missing);
    } catch (const BridgeFailure& failure) {
      error = failure.reason() + otherBitsAdvice(failure.libraryBits());
    }
  }
  if (error.empty()) return bindings;
  platform::writeText(stderr, "zorv-check: cannot load " + options.library + ": " + error + "\n");
  return nullptr;
}

}  // namespace zorv::check

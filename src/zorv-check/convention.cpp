#include "convention.h"

#include <array>

namespace zorv::check {

namespace {

// Each function's parameters as the library must declare them.
constexpr std::array<const char*, kBridgeEntryCount> kParameters = {
    "const char* connection",
    "void",
    "const char* statement",
    "char* buf",
    "char* buf",
    "const char* statement, char* buf",
    "void",
    "char* buf"};

std::string bytes(uint32_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

std::string calls(uint32_t n) { return std::to_string(n) + (n == 1 ? " call" : " calls"); }

std::string prototype(BridgeEntry entry) {
  return std::string("int32_t ") + bridgeEntryName(entry) + "(" +
         kParameters[static_cast<size_t>(entry)] + ")";
}

}  // namespace

int argumentCount(BridgeEntry entry) {
  switch (entry) {
    case BridgeEntry::Close:
    case BridgeEntry::Status:
      return 0;
    case BridgeEntry::Exec:
      return 2;
    default:
      return 1;
  }
}

Cleanup cleanupOf(BridgeEntry entry, uint32_t bytesTakenOff) {
  const uint32_t own = argumentBytes(entry);
  if (own == 0) return bytesTakenOff == 0 ? Cleanup::Either : Cleanup::Neither;
  if (bytesTakenOff == own) return Cleanup::Callee;
  return bytesTakenOff == 0 ? Cleanup::Caller : Cleanup::Neither;
}

std::string conventionSentence(BridgeEntry entry, const CleanupCounts& counts, bool& mixed) {
  const std::string own = bytes(argumentBytes(entry));
  mixed = counts.byCallee > 0 && counts.byCaller > 0;
  if (mixed) return {};
  if (counts.byCallee > 0) {
    return "stdcall: the function took its " + own + " off the stack, on all " +
           calls(counts.byCallee);
  }
  if (counts.byCaller > 0) {
    return "cdecl: the caller removes the arguments (the function left its " + own + "), on all " +
           calls(counts.byCaller);
  }
  return "takes no arguments, so stdcall and cdecl make the same call, on all " +
         calls(counts.either);
}

std::string mixedSentence(BridgeEntry entry, const CleanupCounts& counts) {
  return "took its " + bytes(argumentBytes(entry)) + " off the stack on " + calls(counts.byCallee) +
         " (stdcall) and left them on " + calls(counts.byCaller) +
         " (cdecl): a function keeps one convention";
}

std::string wrongCleanupSentence(BridgeEntry entry, uint32_t bytesTakenOff,
                                 const std::string& stage) {
  const uint32_t own = argumentBytes(entry);
  std::string sentence = "took " + bytes(bytesTakenOff) + " off the stack on its " + stage +
                         ", but its arguments are " + bytes(own) + ": stdcall takes off " +
                         bytes(own) + ", cdecl none. The library declares it otherwise than " +
                         prototype(entry);
  if (bytesTakenOff % 4 == 0 && bytesTakenOff <= 64) {
    const uint32_t n = bytesTakenOff / 4;
    sentence += " (a stdcall function of " + std::to_string(n) +
                (n == 1 ? " argument" : " arguments") + " takes off " + bytes(bytesTakenOff) + ")";
  }
  return sentence;
}

std::string decoratedExport(BridgeEntry entry,
                            const std::function<bool(const std::string&)>& exports) {
  const std::string name = bridgeEntryName(entry);
  // The byte count of its own prototype first, then those of wrong ones.
  std::array<uint32_t, 6> counts{argumentBytes(entry), 0, 4, 8, 12, 16};
  for (size_t i = 0; i < counts.size(); ++i) {
    if (i > 0 && counts[i] == counts[0]) continue;
    for (const char* prefix : {"", "_"}) {
      const std::string decorated = prefix + name + "@" + std::to_string(counts[i]);
      if (exports(decorated)) return decorated;
    }
  }
  return {};
}

std::string missingSentence(BridgeEntry entry, const std::string& reason,
                            const std::string& decorated) {
  const bool called = entry != BridgeEntry::Status;
  const std::string notExported =
      called ? "is not exported (" + reason + ")" : std::string("is not exported");
  const std::string effect = called ? "the console fails at its button"
                                    : "nothing calls it, so the console works without it";
  if (decorated.empty()) return notExported + "; " + effect;

  std::string sentence =
      notExported + ", only as " + decorated +
      ", the decorated name a 32-bit compiler gives a stdcall function, which the console "
      "never looks up; " +
      effect + ". Export the plain names with a .def file (under EXPORTS, " +
      bridgeEntryName(entry) + " and the seven others; with MinGW also link with -Wl,--kill-at)";
  const std::string own = "@" + std::to_string(argumentBytes(entry));
  if (!decorated.ends_with(own)) {
    sentence += ". Its decoration states other argument bytes than its " +
                bytes(argumentBytes(entry)) + ": the library declares it otherwise than " +
                prototype(entry);
  }
  return sentence;
}

}  // namespace zorv::check

#include "failure_report.h"

#include "bridge_binding.h"
#include "library_image.h"

namespace zorv {

namespace {

struct Wording {
  const char* bridgeEnds;
  const char* cannotCall;  // entry, library, reason
  const char* otherBits;   // library, its bits, ours, ours, the package
  const char* internalEnds;
  const char* unknownEnds;
};

constexpr Wording kEnglish = {
    "The bridge library cannot be used; the console ends.",
    "Cannot call {1} in {2}: {3}",
    "{1} is a {2}-bit library and this console is {3}-bit: use the {2}-bit console from the {4} "
    "package.",
    "The console met an internal failure and ends.",
    "The console met an internal failure of unknown kind and ends.",
};

constexpr Wording kJapanese = {
    "ブリッジライブラリを使用できないため、コンソールを終了します。",
    "{2} の {1} を呼び出せません: {3}",
    "{1} は {2} ビットのライブラリで、このコンソールは {3} "
    "ビットです。{4} パッケージの {2} ビット版コンソールを使用してください。",
    "コンソールで内部エラーが発生したため、終了します。",
    "コンソールで種類のわからない内部エラーが発生したため、終了します。",
};

std::string bridgeReport(const BridgeFailure& bridge, const Wording& words) {
  std::string report =
      std::string(words.bridgeEnds) + "\n\n" +
      fillPattern(words.cannotCall, {bridge.entry(), bridge.library(), bridge.reason()});
  const int bits = bridge.libraryBits();
  if (bits == 32 || bits == 64) {
    report += "\n\n" + fillPattern(words.otherBits, {bridge.library(), std::to_string(bits),
                                                     std::to_string(platform::kProcessBits),
                                                     bits == 32 ? "x86" : "x64"});
  }
  return report;
}

}  // namespace

std::string failureReport(const std::exception_ptr& failure, ReportLanguage language) {
  const Wording& words = language == ReportLanguage::Japanese ? kJapanese : kEnglish;
  try {
    std::rethrow_exception(failure);
  } catch (const BridgeFailure& bridge) {
    return bridgeReport(bridge, words);
  } catch (const std::exception& other) {
    return std::string(words.internalEnds) + "\n\n" + other.what();
  } catch (...) {
    return words.unknownEnds;
  }
}

}  // namespace zorv

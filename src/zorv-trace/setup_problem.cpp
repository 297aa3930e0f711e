#include "setup_problem.h"

namespace zorv::trace {

namespace {

// One pattern per kind, in SetupProblem::Kind's order: {1}.. are the
// problem's values, and the number after them is the setting to change.
struct Wording {
  const char* patterns[9];
  const char* settingInFile;  // keyword, file
};

constexpr Wording kEnglish = {
    {
        "libzorv-trace has no bridge library to call: write library=PATH (the real bridge "
        "library) in {1}, or set ZORV_TRACE_LIBRARY.",
        "libzorv-trace has nowhere to write its record: write trace=FILE or trace=FOLDER in {1}, "
        "or set ZORV_TRACE_FILE.",
        "{1}, line {2}: \"{3}\" is not a setting of libzorv-trace. Write library=PATH and "
        "trace=PATH, one a line.",
        "libzorv-trace cannot read {1}: {2}",
        "{1} is libzorv-trace itself: {2} must name the real bridge library.",
        "libzorv-trace cannot load the bridge library {1}: {2}. Correct {3}.",
        "{1} is a {2}-bit library and this program is {3}-bit: {4} must name the {3}-bit build "
        "of the bridge library.",
        "{1} has no entry {2}, so it is no bridge library: {3} must name the real bridge library.",
        "libzorv-trace cannot write its record {1}: {2}. {3} must name a file or folder this "
        "program may write.",
    },
    "{1}= in {2}",
};

constexpr Wording kJapanese = {
    {
        "libzorv-trace の呼び出し先のブリッジライブラリが指定されていません。{1} に "
        "library=パス (本来のブリッジライブラリ) を書くか、ZORV_TRACE_LIBRARY "
        "を設定してください。",
        "libzorv-trace の記録の書き込み先が指定されていません。{1} に trace=ファイル または "
        "trace=フォルダー を書くか、ZORV_TRACE_FILE を設定してください。",
        "{1} の {2} 行目「{3}」は libzorv-trace の設定ではありません。library=パス と "
        "trace=パス を 1 行に 1 つずつ書いてください。",
        "libzorv-trace は {1} を読み込めません: {2}",
        "{1} は libzorv-trace 自身です。{2} には本来のブリッジライブラリを指定してください。",
        "libzorv-trace はブリッジライブラリ {1} を読み込めません: {2}。{3} "
        "を修正してください。",
        "{1} は {2} ビットのライブラリで、このプログラムは {3} ビットです。{4} には {3} "
        "ビット版のブリッジライブラリを指定してください。",
        "{1} にはエントリ {2} がないため、ブリッジライブラリではありません。{3} "
        "には本来のブリッジライブラリを指定してください。",
        "libzorv-trace は記録 {1} を書き込めません: {2}。{3} "
        "には書き込めるファイルかフォルダーを指定してください。",
    },
    "{2} の {1}=",
};

}  // namespace

std::string describe(const SetupProblem& problem, ReportLanguage language) {
  const Wording& words = language == ReportLanguage::Japanese ? kJapanese : kEnglish;
  const SettingSource& source = problem.source;
  const std::string setting = source.file.empty()
                                  ? source.variable
                                  : fillPattern(words.settingInFile, {source.keyword, source.file});
  const auto& v = problem.values;
  auto at = [&](size_t i) { return i < v.size() ? v[i] : i == v.size() ? setting : std::string(); };
  return fillPattern(words.patterns[static_cast<size_t>(problem.kind)],
                     {at(0), at(1), at(2), at(3)});
}

}  // namespace zorv::trace

#include "compare_words.h"

#include <type_traits>

namespace zorv::check {

namespace {

static_assert(static_cast<int>(SpeedChange::SlowerAfterSlowerCall) + 1 ==
                  std::extent_v<decltype(CompareWords::verdicts)>,
              "a word for every verdict");

const CompareWords kEnglish = {
    .lang = "en",
    .title = "Comparison of two builds",
    .builds = "OLD: {1}<br>NEW: {2}",
    .calls = "{1} calls compared, {2} rounds of each library timed",
    .codesOnly = " (result codes only)",
    .differed = "Calls that differed",
    .slower = "Functions slower",
    .faster = "Functions faster",
    .afterSlower = "Slower after a slower call",
    .undecided = "Not enough rounds to say",
    .none = "none",
    .threshold = "Threshold of NEW/OLD",
    .notRun = "Calls not run: {1} by OLD, {2} by NEW",
    .notMeasured = "Speed not measured: {1}",
    .unsteady =
        "Calls {1} answered differently from round to round of the same library: the record's own "
        "calls change the database, so they are not compared.",
    .speedHeading = "Speed per function",
    .plotCaption =
        "Each round's median time a call, on a log scale: a dot a round, the box their middle "
        "half, the bar their median.",
    .noScript = "The plots need the page's script; the figures stand below.",
    .inRecord = "Calls in the record",
    .oldMedian = "OLD median",
    .newMedian = "NEW median",
    .ratio = "NEW/OLD (ratio of medians)",
    .interval = "{1} % interval (bootstrap over the rounds)",
    .verdicts = {"slower", "faster", "no clear change", "too few calls to judge",
                 "not enough rounds to say", "slower after a slower call"},
    .roundsNeeded = "about {1} rounds of each would settle it",
    .differencesHeading = "Behaviour differences",
    .noDifference = "No call differed between the builds.",
    .call = "Call",
    .function = "Function",
    .line = "Line",
    .arguments = "Arguments",
    .build = "Build",
    .result = "Result",
    .connection = "connection",
    .statement = "statement",
    .buffer = "buffer before the call",
    .noArguments = "no arguments",
    .code = "code {1}",
    .answerBytes = "{1} bytes",
    .noNul = "no NUL",
    .separator = ", ",
    .shownFrom = "shown from byte {1}",
    .notKept = "answer not kept: over {1} calls differed before it",
    .notExported = "not exported by this library",
    .notReached = "not run: the replay ended before it",
    .endedIn = "the run ended in this call: {1}",
    .promisesHeading = "Promises broken",
    .check = "Check",
    .brokenBy = "Broken by",
    .whatHappened = "What happened",
    .who = {"NEW alone", "both", "OLD alone"},
};

const CompareWords kJapanese = {
    .lang = "ja",
    .title = "2 つのビルドの比較",
    .builds = "OLD: {1}<br>NEW: {2}",
    .calls = "{1} 件の呼び出しを比較し、各ライブラリを {2} 回ずつ計測しました",
    .codesOnly = " (結果コードのみ)",
    .differed = "結果が異なった呼び出し",
    .slower = "遅くなった関数",
    .faster = "速くなった関数",
    .afterSlower = "遅い呼び出しの後で遅くなった関数",
    .undecided = "回数が足りず判定できない関数",
    .none = "なし",
    .threshold = "NEW/OLD のしきい値",
    .notRun = "実行されなかった呼び出し: OLD {1} 件、NEW {2} 件",
    .notMeasured = "速度は計測していません: {1}",
    .unsteady =
        "呼び出し {1} "
        "は同じライブラリでも回ごとに結果が変わりました。記録の呼び出し自体がデータベースを"
        "変えるため、比較していません。",
    .speedHeading = "関数ごとの速度",
    .plotCaption =
        "ラウンドごとの 1 回の呼び出しの時間の中央値 (対数目盛)。点が 1 ラウンド、箱が中央の半分、"
        "縦線が中央値です。",
    .noScript = "グラフの表示にはページのスクリプトが必要です。数値は下に示します。",
    .inRecord = "記録中の<wbr>呼び出し数",
    .oldMedian = "OLD の<wbr>中央値",
    .newMedian = "NEW の<wbr>中央値",
    .ratio = "NEW/OLD (中央値の比)",
    .interval = "{1} % 区間 (ラウンドの<wbr>ブートストラップ)",
    .verdicts = {"遅くなった", "速くなった", "明らかな変化なし", "判定するには呼び出しが少なすぎる",
                 "判定するには回数が足りない", "遅い呼び出しの後で遅くなった"},
    .roundsNeeded = "各 {1} 回ほど計測すれば判定できます",
    .differencesHeading = "動作の違い",
    .noDifference = "ビルド間で結果が異なった呼び出しはありません。",
    .call = "呼び出し",
    .function = "関数",
    .line = "行",
    .arguments = "引数",
    .build = "ビルド",
    .result = "結果",
    .connection = "接続文字列",
    .statement = "文",
    .buffer = "呼び出し前のバッファ",
    .noArguments = "引数なし",
    .code = "コード {1}",
    .answerBytes = "{1} バイト",
    .noNul = "NUL なし",
    .separator = "、",
    .shownFrom = "{1} バイト目から表示",
    .notKept = "答えは残していません: それまでに {1} 件を超える呼び出しが異なりました",
    .notExported = "このライブラリはエクスポートしていません",
    .notReached = "実行されず: リプレイがこの呼び出しの前に終わりました",
    .endedIn = "この呼び出しで実行が終わりました: {1}",
    .promisesHeading = "破られた約束",
    .check = "検査",
    .brokenBy = "破ったビルド",
    .whatHappened = "内容",
    .who = {"NEW のみ", "両方", "OLD のみ"},
};

}  // namespace

const CompareWords& compareWords(ReportLanguage language) {
  return language == ReportLanguage::Japanese ? kJapanese : kEnglish;
}

const char* verdictWord(const CompareWords& words, SpeedChange change) {
  switch (change) {
    case SpeedChange::Slower:
    case SpeedChange::Faster:
    case SpeedChange::NoClearChange:
    case SpeedChange::TooFewCalls:
    case SpeedChange::Undecided:
    case SpeedChange::SlowerAfterSlowerCall:
      return words.verdicts[static_cast<int>(change)];
  }
  return words.verdicts[static_cast<int>(SpeedChange::NoClearChange)];
}

}  // namespace zorv::check

#include "compare_words.h"

#include <type_traits>

namespace zorv::check {

namespace {

static_assert(static_cast<int>(SpeedChange::SlowerAfterSlowerCall) + 1 ==
                  std::extent_v<decltype(CompareWords::verdicts)>,
              "a word for every verdict");

const CompareWords kEnglish = {
    "en", "Comparison of two builds", "OLD: {1}<br>NEW: {2}",
    "{1} calls compared, {2} rounds of each library timed", " (result codes only)",
    "Calls that differed", "Functions slower", "Functions faster", "Slower after a slower call",
    "Not enough rounds to say", "none", "Threshold of NEW/OLD",
    "Calls not run: {1} by OLD, {2} by NEW", "Speed not measured: {1}",
    "Calls {1} answered differently from round to round of the same library: the record's own "
    "calls change the database, so they are not compared.",
    "Speed per function",
    "Time of each call on a log scale: a dot a call, the box its middle half, the bar its median.",
    "The plots need the page's script; the figures stand below.", "Calls in the record",
    "OLD median", "NEW median", "NEW/OLD (ratio of medians)",
    "95 % interval (percentile bootstrap)",
    {"slower", "faster", "no clear change", "too few calls to judge", "not enough rounds to say",
     "slower after a slower call"},
    "about {1} rounds of each would settle it",
    "Behaviour differences", "No call differed between the builds.", "Call", "Function", "Line",
    "Arguments", "Build", "Result", "connection", "statement", "buffer before the call",
    "no arguments", "code {1}", "{1} bytes", "no NUL", "shown from byte {1}",
    "answer not kept: over {1} calls differed before it", "not exported by this library",
    "not run: the replay ended before it", "the run ended in this call: {1}",
    "Promises broken", "Check", "Broken by", "What happened", {"NEW alone", "both", "OLD alone"}};

const CompareWords kJapanese = {
    "ja", "2 つのビルドの比較", "OLD: {1}<br>NEW: {2}",
    "{1} 件の呼び出しを比較し、各ライブラリを {2} 回ずつ計測しました", " (結果コードのみ)",
    "結果が異なった呼び出し", "遅くなった関数", "速くなった関数", "遅い呼び出しの後で遅くなった関数",
    "回数が足りず判定できない関数", "なし", "NEW/OLD のしきい値",
    "実行されなかった呼び出し: OLD {1} 件、NEW {2} 件", "速度は計測していません: {1}",
    "呼び出し {1} は同じライブラリでも回ごとに結果が変わりました。記録の呼び出し自体がデータベースを"
    "変えるため、比較していません。",
    "関数ごとの速度",
    "各呼び出しの時間 (対数目盛)。点が 1 回の呼び出し、箱が中央の半分、縦線が中央値です。",
    "グラフの表示にはページのスクリプトが必要です。数値は下に示します。", "記録中の<wbr>呼び出し数",
    "OLD の<wbr>中央値", "NEW の<wbr>中央値", "NEW/OLD (中央値の比)",
    "95 % 区間 (パーセンタイル・<wbr>ブートストラップ)",
    {"遅くなった", "速くなった", "明らかな変化なし", "判定するには呼び出しが少なすぎる",
     "判定するには回数が足りない", "遅い呼び出しの後で遅くなった"},
    "各 {1} 回ほど計測すれば判定できます",
    "動作の違い", "ビルド間で結果が異なった呼び出しはありません。", "呼び出し", "関数", "行",
    "引数", "ビルド", "結果", "接続文字列", "文", "呼び出し前のバッファ", "引数なし",
    "コード {1}", "{1} バイト", "NUL なし", "{1} バイト目から表示",
    "答えは残していません: それまでに {1} 件を超える呼び出しが異なりました",
    "このライブラリはエクスポートしていません", "実行されず: リプレイがこの呼び出しの前に終わりました",
    "この呼び出しで実行が終わりました: {1}",
    "破られた約束", "検査", "破ったビルド", "内容", {"NEW のみ", "両方", "OLD のみ"}};

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

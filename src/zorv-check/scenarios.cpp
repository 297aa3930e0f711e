#include "scenarios.h"

#include "exerciser.h"

namespace zorv::check {

namespace {

constexpr BridgeEntry kCalled[] = {BridgeEntry::Login, BridgeEntry::Close,  BridgeEntry::Cursor,
                                   BridgeEntry::Fetch, BridgeEntry::MsgGet, BridgeEntry::Exec,
                                   BridgeEntry::FNames};
constexpr long kMaxRows = 100000;

// The buffer the console holds after a long double-byte answer: 4095
// two-byte characters, then blanks; its narrow copy is 12,287 bytes.
std::u16string afterDoubleByteAnswer() { return std::u16string(4095, u'\u8868'); }

class Run {
 public:
  Run(const Options& options, Board& board, BridgeBindings& bindings)
      : options_(options), bindings_(bindings), x_(board, bindings) {}

  bool has(BridgeEntry e) {
    try {
      bindings_.bind(e);
      return true;
    } catch (const BridgeFailure&) {
      return false;
    }
  }

  ResultCode call(BridgeEntry e, const std::string& stage) {
    switch (e) {
      case BridgeEntry::Login:
        return x_.login(options_.loginText(), stage);
      case BridgeEntry::Close:
        return x_.close(stage);
      case BridgeEntry::Cursor:
        return x_.cursor(options_.statementText(), stage);
      case BridgeEntry::Exec:
        return x_.exec(options_.execText(), stage);
      default:
        return x_.answer(e, stage);
    }
  }

  void alone(BridgeEntry e) {
    const bool answers = writesAnswer(e);
    call(e, answers ? "1st call, before any Open (on 8192 NULs, the console's first buffer)"
                    : "1st call, before any Open");
    call(e, "2nd call in a row");
    if (answers) {
      x_.buffer().store(u"");
      call(e, "3rd call (on 8192 blanks)");
    }
    if (e != BridgeEntry::Close && has(BridgeEntry::Close)) {
      x_.close(std::string("call between two calls of ") + bridgeEntryName(e));
    }
    if (answers) x_.buffer().store(afterDoubleByteAnswer());
    call(e, answers ? "call after Close (on a 12287-byte copy, as after a long double-byte "
                      "answer)"
                    : "call after Close");
  }

  void session() {
    x_.login(*options_.connect, "call in the session: Open with the --connect text");
    if (options_.query) {
      if (has(BridgeEntry::Cursor))
        x_.cursor(*options_.query, "call in the session: Cursor with the --query text");
      if (has(BridgeEntry::FNames))
        x_.answer(BridgeEntry::FNames, "call in the session: Header after Cursor");
      if (has(BridgeEntry::Fetch)) fetchAll();
      if (has(BridgeEntry::MsgGet))
        x_.answer(BridgeEntry::MsgGet, "call in the session: MsgGet after the fetches");
    }
    for (size_t i = 0; i < options_.execs.size() && has(BridgeEntry::Exec); ++i) {
      x_.exec(options_.execs[i],
              "call in the session: Exec of --exec text " + std::to_string(i + 1));
    }
    if (has(BridgeEntry::Close)) x_.close("call in the session: Close");
  }

 private:
  // Fetches until the result code repeats on an unchanged buffer.
  void fetchAll() {
    ResultCode previous = 0;
    for (long row = 1; row <= kMaxRows; ++row) {
      const ResultCode code =
          x_.answer(BridgeEntry::Fetch, "call in the session: Fetch " + std::to_string(row));
      if (row > 1 && code == previous && !x_.lastAnswerChanged()) return;
      previous = code;
    }
  }

  const Options& options_;
  BridgeBindings& bindings_;
  Exerciser x_;
};

}  // namespace

std::vector<Scenario> scenarios(const Options& options,
                                const std::array<bool, kBridgeEntryCount>& exported) {
  std::vector<Scenario> out;
  for (BridgeEntry e : kCalled) {
    if (exported[static_cast<size_t>(e)]) out.push_back({e, false});
  }
  if (options.connect && exported[static_cast<size_t>(BridgeEntry::Login)]) {
    out.push_back({BridgeEntry::Login, true});
  }
  return out;
}

int runScenario(const Scenario& scenario, const Options& options, Board& board,
                BridgeBindings& bindings) {
  Run run(options, board, bindings);
  if (scenario.session) {
    run.session();
  } else {
    run.alone(scenario.entry);
  }
  return 0;
}

}  // namespace zorv::check

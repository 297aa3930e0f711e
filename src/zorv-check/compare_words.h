#pragma once

#include "speed_statistics.h"
#include "user_language.h"

namespace zorv::check {

// The words of --compare's page in one language, as HTML (a <br>, or a <wbr>
// where a Japanese heading may break); "{1}", "{2}" stand for
// values, placed where the language's word order wants them (fillPattern).
struct CompareWords {
  const char* lang;  // the page's lang attribute
  const char* title;
  const char* builds;  // {1} OLD's file, {2} NEW's
  const char* calls;   // {1} calls, {2} rounds
  const char* codesOnly;
  const char* differed;
  const char* slower;
  const char* faster;
  const char* afterSlower;
  const char* undecided;
  const char* none;
  const char* threshold;
  const char* notRun;       // {1} by OLD, {2} by NEW
  const char* notMeasured;  // {1} why
  const char* unsteady;     // {1} the calls' numbers
  const char* speedHeading;
  const char* plotCaption;
  const char* noScript;
  const char* inRecord;
  const char* oldMedian;
  const char* newMedian;
  const char* ratio;
  const char* interval;  // {1} how sure, in per cent
  const char* verdicts[6];   // in SpeedChange's order
  const char* roundsNeeded;  // {1} rounds of each
  const char* differencesHeading;
  const char* noDifference;
  const char* call;
  const char* function;
  const char* line;
  const char* arguments;
  const char* build;
  const char* result;
  const char* connection;
  const char* statement;
  const char* buffer;
  const char* noArguments;
  const char* code;         // {1} the result code
  const char* answerBytes;  // {1} the answer's length in bytes
  const char* noNul;
  const char* separator;  // between facts in a list: ", "
  const char* shownFrom;  // {1} the first byte shown
  const char* notKept;    // {1} how many differing answers are kept
  const char* notExported;
  const char* notReached;
  const char* endedIn;  // {1} how the run ended, in the replay's words
  const char* promisesHeading;
  const char* check;
  const char* brokenBy;
  const char* whatHappened;
  const char* who[3];  // NEW alone, both, OLD alone
};

// The page's words in `language`.
const CompareWords& compareWords(ReportLanguage language);

// The verdict's words: every SpeedChange has one.
const char* verdictWord(const CompareWords& words, SpeedChange change);

}  // namespace zorv::check

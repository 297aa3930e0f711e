#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zorv::check {

// What the command line asks for. Texts are UTF-8.
struct Options {
  // --help and --version answer without a library; anything else checks one.
  enum class Action { Check, Help, Version };
  Action action = Action::Check;
  std::optional<std::string> connect;  // --connect: run the session after the single calls
  std::optional<std::string> query;    // --query: the session's cursor
  std::vector<std::string> execs;      // --exec, in order
  double timeoutSeconds = 10;          // --timeout: the limit of each call
  std::string junitPath;               // --junit: also write JUnit XML there
  std::string library;                 // a path, or a bare name for the console's search
  std::optional<std::string> replay;   // --replay: the (first) record whose calls to run again
  // --replay RECORD [RECORD...]: every record or folder of records named, in order.
  std::vector<std::string> records;
  // --pace: 0 runs each record's calls back to back; above 0, each call starts
  // at its recorded offset divided by this factor.
  double pace = 0;
  std::string paceText = "fast";       // the pace as given: "fast", "recorded" or the factor
  std::optional<std::string> login;    // --login: the connection text for a masked ZORVlogin
  std::string loginsPath;              // --logins: a record's file name -> its connection text
  bool codesOnly = false;              // --codes-only: compare result codes, not answers
  // --compare RECORD... OLD NEW: `records` the records, `library` OLD and this NEW.
  std::optional<std::string> newLibrary;
  size_t rounds = 20;          // --rounds: the counted rounds of each library
  double timeSeconds = 60;     // --time: no pair of rounds starts that would end after this
  double threshold = 1.10;     // --threshold: the ratio NEW/OLD that counts as slower
  std::string htmlPath;        // --html: also write the comparison as a page there

  // The text of a call made before any Open: what the console passes with
  // an empty input box unless the command line gave one.
  std::string loginText() const { return connect.value_or(""); }
  std::string statementText() const { return query.value_or(""); }
  std::string execText() const { return execs.empty() ? "" : execs.front(); }
};

inline constexpr const char* kUsage =
    "usage: zorv-check [--connect TEXT] [--query TEXT] [--exec TEXT]... [--timeout SECONDS] "
    "[--junit FILE] LIBRARY";
inline constexpr const char* kReplayUsage =
    "       zorv-check --replay RECORD [RECORD...] [--pace fast|recorded|FACTOR] "
    "[--login TEXT | --logins FILE] [--codes-only] [--timeout SECONDS] [--junit FILE] LIBRARY";
inline constexpr const char* kCompareUsage =
    "       zorv-check --compare RECORD [RECORD...] [--pace fast|recorded|FACTOR] "
    "[--login TEXT | --logins FILE] [--codes-only] [--rounds N] [--time SECONDS] "
    "[--threshold RATIO] [--timeout SECONDS] [--junit FILE] [--html FILE] OLD NEW";

// What --help prints after the usage line.
inline constexpr const char* kHelp =
    "Loads a bridge library as the console does and checks the promises the console\n"
    "relies on, each function's calls in a child process of their own.\n"
    "\n"
    "  LIBRARY            a path with a slash, or a bare name looked for the console's way\n"
    "  --connect TEXT     open a session with this connection text after the single calls\n"
    "  --query TEXT       in the session: Cursor, Header and Fetch on this statement\n"
    "  --exec TEXT        in the session: Exec this statement (may be repeated)\n"
    "  --timeout SECONDS  the limit of each call (default 10)\n"
    "  --junit FILE       also write the report as JUnit XML to FILE\n"
    "  --replay RECORD... run the calls of zorv-trace records against LIBRARY instead, each\n"
    "                     record in a guarded child of its own, all at once, and compare\n"
    "                     each result code and answer; a folder stands for its *.jsonl\n"
    "                     files in name order\n"
    "  --pace PACE        with --replay or --compare: fast (default) runs each record's calls back to back;\n"
    "                     recorded starts each call at its recorded time after the earliest\n"
    "                     start of all the records; a FACTOR above 0 divides those times\n"
    "                     (2 = twice as fast) and reports how late the calls started\n"
    "  --login TEXT       with --replay or --compare: the connection text for a ZORVlogin\n"
    "                     whose password the record masked, one for every record\n"
    "                     (default: ZORV_LOGIN)\n"
    "  --logins FILE      with --replay or --compare: a JSON object mapping a record's file name to the\n"
    "                     connection text of its masked ZORVlogin, one per record\n"
    "  --codes-only       with --replay or --compare: compare the result codes only\n"
    "  --compare RECORD... run the records' calls against OLD and NEW in alternating\n"
    "                     rounds, each round the whole set of records at once at the\n"
    "                     chosen --pace, each record in a guarded child, and report the calls whose results\n"
    "                     differ (a call that changes from round to round in one build\n"
    "                     alone is a difference) and each function's speed: the median\n"
    "                     of NEW's round medians over OLD's, with a bootstrap interval\n"
    "                     over the rounds (fixed seed), Bonferroni-corrected: with k\n"
    "                     functions judged (a median at 1 us or more) each interval\n"
    "                     holds 1 - 0.05/k. Verdicts:\n"
    "                     slower, faster, no clear change, not enough rounds to say\n"
    "                     (with the rounds that would settle it), slower after a slower\n"
    "                     call (an after-effect of another function), too few calls.\n"
    "                     The record runs many times against the database its connection\n"
    "                     text names: a record that writes writes every round, so compare\n"
    "                     against a scratch copy or with a record that only reads\n"
    "  --rounds N         with --compare: timed rounds of each library (default 20)\n"
    "  --time SECONDS     with --compare: start no pair of rounds that would, with the\n"
    "                     statistics after it, end after this (default 60); the warm-ups\n"
    "                     and the first pair always run\n"
    "  --threshold RATIO  with --compare: a function is slower when the whole interval lies\n"
    "                     above RATIO and above what OLD's own rounds surely differ by\n"
    "                     (those after NEW's against those before), faster when below the\n"
    "                     inverse (default 1.1)\n"
    "  --html FILE        with --compare: also write a page with a plot per function to FILE,\n"
    "                     self-contained, in the user's language\n"
    "  --help             print this help and exit\n"
    "  --version          print the version and exit\n"
    "\n"
    "Exit status: 0 when no check failed (no replayed call differed; with --compare, no\n"
    "call differed between the libraries and no function was slower: not enough rounds\n"
    "to say, faster and slower after a slower call do not fail), 1 when one did,\n"
    "2 when the library cannot be loaded, the record cannot be read or the command\n"
    "line is wrong.\n";

// Reads the arguments after the program's name. On a mistake returns nothing
// and sets `error` to a one-line reason. --help or --version met before any
// mistake wins over everything else on the line.
std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error);

}  // namespace zorv::check

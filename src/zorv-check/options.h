#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zorv::check {

// What the command line asks for. Texts are UTF-8.
struct Options {
  std::optional<std::string> connect;  // --connect: run the session after the single calls
  std::optional<std::string> query;    // --query: the session's cursor
  std::vector<std::string> execs;      // --exec, in order
  double timeoutSeconds = 10;          // --timeout: the limit of each call
  std::string junitPath;               // --junit: also write JUnit XML there
  std::string library;                 // a path, or a bare name for the console's search

  // The text of a call made before any Open: what the console passes with
  // an empty input box unless the command line gave one.
  std::string loginText() const { return connect.value_or(""); }
  std::string statementText() const { return query.value_or(""); }
  std::string execText() const { return execs.empty() ? "" : execs.front(); }
};

inline constexpr const char* kUsage =
    "usage: zorv-check [--connect TEXT] [--query TEXT] [--exec TEXT]... [--timeout SECONDS] "
    "[--junit FILE] LIBRARY";

// Reads the arguments after the program's name. On a mistake returns nothing
// and sets `error` to a one-line reason.
std::optional<Options> parseOptions(const std::vector<std::string>& arguments, std::string& error);

}  // namespace zorv::check

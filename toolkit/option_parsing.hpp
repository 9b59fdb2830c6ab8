#pragma once
// What qrk and qrk-sim share about their command lines, parsed with CLI11:
// the help layout, flags that take no value, number checks, and usage
// errors as one line that says which subcommand and which argument is wrong.
// main() prints a UsageError as "PROGRAM: REASON (see PROGRAM [COMMAND]
// --help)" and exits with status 2.
#include <CLI/CLI.hpp>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace velmor::toolkit {

struct UsageError : std::invalid_argument {
  explicit UsageError(const std::string& reason, std::string command = {})
      : std::invalid_argument(reason), command(std::move(command)) {}
  /// The subcommand whose arguments are wrong; empty for the program's own.
  std::string command;
};

/// Sets what both programs share: -h/--help, flags that refuse a value
/// ("--silent=yes"), and help text wrapped to 100 columns. Call before
/// adding options or subcommands, which inherit it.
void PrepareApp(CLI::App& app);

/// Parses `args`, the arguments after the program's name, into what `app`'s
/// options are bound to. Returns false when --help stopped the parse: then
/// `app.help()` describes the subcommand it was given to. Throws UsageError
/// with one line: the reason, after "COMMAND: " when a subcommand was chosen.
bool ParseArguments(CLI::App& app, const std::vector<std::string>& args);

enum class LowerBound { kIncluded, kExcluded };

/// Accepts a finite decimal number from `min` (included or not) to `max`;
/// refuses "nan", "inf" and trailing text.
CLI::Validator FiniteNumber(double min, double max, LowerBound lower = LowerBound::kIncluded);

/// Refuses an empty value; `what` names it in the message ("empty path").
CLI::Validator NonEmpty(const std::string& what);

}  // namespace velmor::toolkit

#pragma once
// Command line of qrk. One table per subcommand is the source of both the
// parser and the help text. Usage errors throw UsageError, which main()
// prints as one line and exits with status 2.
#include <stdexcept>
#include <string>
#include <vector>

namespace velmor::cli {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class RecordFormat { kCsv, kJsonl };

struct CommandLine {
  /// "scan", "info", "monitor" or "record"; empty with --help or --version alone.
  std::string command;
  /// The serial number as given, normalised by the command that needs it.
  std::string serial;
  /// scan: listening time; monitor: how long to run (0 until Ctrl-C);
  /// record: recording time.
  double seconds = 0.0;
  bool json = false;
  std::string output;
  RecordFormat format = RecordFormat::kCsv;
  bool help = false;
  bool version = false;
};

/// Parses the arguments after the program name. Throws UsageError with a
/// one-line reason.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

/// The help text of one subcommand, or of the program for an empty name.
std::string HelpText(const std::string& command);

}  // namespace velmor::cli

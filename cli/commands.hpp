#pragma once
// The subcommands of qrk. Each returns the process's exit status: 0 done,
// 1 failed (with a message on stderr). Usage errors never get this far.
#include <string>

#include "cli/command_line.hpp"

namespace velmor::cli {

int RunScan(const CommandLine& line);
int RunInfo(const CommandLine& line);
int RunMonitor(const CommandLine& line);
int RunRecord(const CommandLine& line);
int RunServe(const CommandLine& line);

/// The warning for a serial number that more than one server answers for.
std::string ServedTwiceWarning(const std::string& serial, int servers);

}  // namespace velmor::cli

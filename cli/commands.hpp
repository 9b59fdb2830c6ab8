#pragma once
// The subcommands of qrk. Each returns the process's exit status: 0 done,
// 1 failed (with a message on stderr). Usage errors never get this far.
#include "cli/command_line.hpp"

namespace velmor::cli {

int RunScan(const CommandLine& line);
int RunInfo(const CommandLine& line);
int RunMonitor(const CommandLine& line);
int RunRecord(const CommandLine& line);

}  // namespace velmor::cli

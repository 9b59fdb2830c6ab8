#include <cstdio>

#include "cli/commands.hpp"

namespace velmor::cli {

int RunScan(const CommandLine&) { return 1; }
int RunInfo(const CommandLine&) { return 1; }
int RunMonitor(const CommandLine&) { return 1; }
int RunRecord(const CommandLine&) { return 1; }

}  // namespace velmor::cli

// qrk: find robots, inspect one, watch it live, record every sample. See
// --help.
#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/command_line.hpp"
#include "cli/commands.hpp"
#include "toolkit/option_parsing.hpp"

#ifndef VELMOR_VERSION
#define VELMOR_VERSION "unknown"
#endif

namespace {

int Dispatch(const velmor::cli::CommandLine& line) {
  if (line.command == "scan") return velmor::cli::RunScan(line);
  if (line.command == "info") return velmor::cli::RunInfo(line);
  if (line.command == "monitor") return velmor::cli::RunMonitor(line);
  if (line.command == "serve") return velmor::cli::RunServe(line);
  return velmor::cli::RunRecord(line);
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe or FIFO then fails the write with EPIPE, reported like any
  // other write error, instead of killing the program mid-recording.
  std::signal(SIGPIPE, SIG_IGN);
  // stdout carries the command's output; the client's own log lines go to
  // stderr, warnings and worse only.
  spdlog::set_default_logger(spdlog::stderr_color_mt("qrk"));
  spdlog::set_level(spdlog::level::warn);
  try {
    const auto line = velmor::cli::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (line.version) {
      std::printf("qrk %s\n", VELMOR_VERSION);
      return 0;
    }
    if (line.help) {
      std::fputs(velmor::cli::HelpText(line.command).c_str(), stdout);
      return 0;
    }
    return Dispatch(line);
  } catch (const velmor::toolkit::UsageError& error) {
    // The subcommand's own help describes its arguments; the program's lists the commands.
    const std::string help = error.command.empty() ? "qrk --help" : "qrk " + error.command + " --help";
    std::fprintf(stderr, "qrk: %s (see %s)\n", error.what(), help.c_str());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qrk: %s\n", error.what());
    return 1;
  }
}

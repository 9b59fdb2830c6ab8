#pragma once
// Command line of qrk-sim, parsed with CLI11 (toolkit/option_parsing.hpp):
// each option is declared once, for both the parser and the --help text.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/fault_switches.hpp"
#include "sim/safety_script.hpp"

namespace velmor::sim {

struct SimOptions {
  std::vector<std::string> serials;
  double rate = 1000.0;
  std::vector<std::uint16_t> groups{0, 2, 3, 4, 5};
  std::string version = "v2.1";
  /// Seconds until a clean exit; 0 runs until SIGINT, SIGTERM or SIGHUP.
  double duration = 0.0;
  /// zenoh session mode, "peer" or "client", and endpoints to connect to:
  /// how a robot placed behind a router reaches it.
  std::string mode = "peer";
  std::vector<std::string> connect;
  bool verbose = false;
  bool help = false;
  FaultSwitches faults;
  /// The operator's presses and releases (--event), in the order given.
  std::vector<SafetyEvent> events;
};

inline constexpr double kMaxRate = 10000.0;

/// Parses the arguments after the program name. Accepts "--name value" and
/// "--name=value". Throws toolkit::UsageError (a std::invalid_argument) with
/// a one-line reason for an unknown option, a missing or bad value, or a
/// missing --serial (unless --help is given).
SimOptions ParseOptions(const std::vector<std::string>& args);

/// The --help text.
std::string UsageText();

}  // namespace velmor::sim

#include "sim/options.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <sstream>
#include <stdexcept>

#include "sim/robot_layout.hpp"
#include "toolkit/option_parsing.hpp"

namespace velmor::sim {
namespace {

using toolkit::FiniteNumber;
using toolkit::LowerBound;

constexpr const char* kDescription =
    "Simulates the data server of a robot with two 7-joint arms and a 2-axis external axis\n"
    "(16 joints): publishes the basic and extra state streams and answers remote procedures\n"
    "on velmor/robot/<SN>/{basic_stream_data,extra_stream_data,rpc} with zenoh's default\n"
    "configuration (unless --mode or --connect change it). Prints \"ready\" on stdout once\n"
    "every endpoint is declared; logs go to stderr.";

std::uint16_t GroupNumber(const std::string& item) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
  const auto layout = error == std::errc() && end == item.data() + item.size() && value <= 0xFFFF
                          ? FindGroup(static_cast<std::uint16_t>(value))
                          : std::nullopt;
  if (!layout) throw CLI::ValidationError("--groups", fmt::format("the robot has no joint group '{}'", item));
  return layout->group;
}

std::vector<std::uint16_t> ParseGroups(const std::string& text) {
  std::vector<std::uint16_t> groups;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    const std::uint16_t group = GroupNumber(item);
    if (std::find(groups.begin(), groups.end(), group) != groups.end()) {
      throw CLI::ValidationError("--groups", fmt::format("group {} listed twice", item));
    }
    groups.push_back(group);
  }
  if (groups.empty()) throw CLI::ValidationError("--groups", "the list is empty");
  return groups;
}

void CheckSerials(const std::vector<std::string>& serials) {
  for (auto serial = serials.begin(); serial != serials.end(); ++serial) {
    if (serial->empty()) throw CLI::ValidationError("--serial", "empty serial number");
    if (std::find(serials.begin(), serial, *serial) != serial) {
      throw CLI::ValidationError("--serial", fmt::format("{} given twice", *serial));
    }
  }
}

void AddRobotOptions(CLI::App& app, SimOptions& o) {
  app.add_option_function<std::vector<std::string>>(
         "--serial",
         [&o](const std::vector<std::string>& serials) {
           CheckSerials(serials);
           o.serials = serials;
         },
         "serve the robot with this serial number, used verbatim in its keys (repeat for more robots; at least one)")
      ->type_name("SN")
      ->required()
      ->allow_extra_args(false);
  app.add_option("--rate", o.rate, "publish rate of both streams (default 1000, at most 10000)")
      ->type_name("HZ")
      ->check(FiniteNumber(0.0, kMaxRate, LowerBound::kExcluded));
  app.add_option_function<std::string>(
         "--groups", [&o](const std::string& list) { o.groups = ParseGroups(list); },
         "comma-separated joint groups reported in the streams and replies, from 0 (ALL), 2 (ARMS), "
         "3 (ARM_1), 4 (ARM_2), 5 (EXT_AXIS) (default 0,2,3,4,5)")
      ->type_name("LIST")
      ->multi_option_policy(CLI::MultiOptionPolicy::Throw);
  app.add_option("--version", o.version,
                 "server version reported by procedure 1 (default v2.1; anything else makes clients refuse)")
      ->type_name("STR");
  app.add_option("--duration", o.duration,
                 "exit cleanly after this time (default 0: run until SIGINT, SIGTERM or SIGHUP)")
      ->type_name("SECONDS")
      ->check(FiniteNumber(0.0, 1e9));
}

void AddFaultOptions(CLI::App& app, FaultSwitches& faults) {
  const std::string group = "Faults";
  app.add_flag("--silent", faults.silent, "hold every query without replying; held queries are let go after 5 s")
      ->group(group);
  app.add_flag("--malformed", faults.malformed, "reply to every query with bytes that do not decode")->group(group);
  app.add_option("--corrupt-primitives", faults.corrupt_primitives,
                 "the first N primitive-state replies (procedure 3) of each robot contain one empty entry")
      ->type_name("N")
      ->check(CLI::Range(0, 1000000000).description(""))
      ->group(group);
  app.add_flag("--pause-streams", faults.pause_streams, "publish nothing on either stream (queries are still answered)")
      ->group(group);
  app.add_flag("--start-paused", faults.start_paused,
               "publish nothing until SIGUSR1 arrives, then stream as usual (queries are answered throughout)")
      ->group(group);
  app.add_option("--garbage-rate", faults.garbage_rate,
                 "also publish this many undecodable stream payloads per second, alternating between "
                 "the streams (at most one per stream tick; default 0)")
      ->type_name("HZ")
      ->check(FiniteNumber(0.0, kMaxRate))
      ->group(group);
  app.add_flag("--reachability-success", faults.reachability_success,
               "answer the reachability procedure (0) with success true, which clients reject")
      ->group(group);
}

void AddEventOptions(CLI::App& app, std::vector<SafetyEvent>& events) {
  app.add_option_function<std::vector<std::string>>(
         "--event",
         [&events](const std::vector<std::string>& texts) {
           for (const std::string& text : texts) {
             try {
               events.push_back(ParseSafetyEvent(text));
             } catch (const std::invalid_argument& error) {
               throw CLI::ValidationError("--event", error.what());
             }
           }
         },
         "press or release the E-stop, the enabling device or a digital input at SECONDS on the simulator's clock: "
         "estop:press@S, estop:release@S, enabling:off@S, enabling:on@S, di:N:on@S, di:N:off@S (N from 0 to 19; "
         "repeat for more). An input named rests (E-stop released, enabling device held, input off) until its first "
         "event. SIGUSR2 toggles the E-stop at any time")
      ->type_name("EVENT@SECONDS")
      ->allow_extra_args(false)
      ->group("Safety events");
}

void AddSessionOptions(CLI::App& app, SimOptions& o) {
  const std::string group = "Zenoh session";
  app.add_option("--mode", o.mode,
                 "zenoh session mode: peer (default), or client, which talks only through the routers it connects to")
      ->type_name("MODE")
      ->check(CLI::IsMember({"peer", "client"}).description(""))
      ->group(group);
  app.add_option("--connect", o.connect,
                 "connect to this zenoh endpoint, such as a router's tcp/10.0.0.1:7447 (repeat for more; default none)")
      ->type_name("ENDPOINT")
      ->allow_extra_args(false)
      ->check(toolkit::NonEmpty("endpoint"))
      ->group(group);
  app.add_flag("--verbose", o.verbose, "log at debug level, including every query and its procedure number");
}

// Declares the whole command line on `app`, bound to `options`.
void Declare(CLI::App& app, SimOptions& options) {
  toolkit::PrepareApp(app);
  AddRobotOptions(app, options);
  AddFaultOptions(app, options.faults);
  AddEventOptions(app, options.events);
  AddSessionOptions(app, options);
}

}  // namespace

SimOptions ParseOptions(const std::vector<std::string>& args) {
  SimOptions options;
  CLI::App app(kDescription, "qrk-sim");
  Declare(app, options);
  options.help = !toolkit::ParseArguments(app, args);
  return options;
}

std::string UsageText() {
  SimOptions unused;
  CLI::App app(kDescription, "qrk-sim");
  Declare(app, unused);
  return app.help();
}

}  // namespace velmor::sim

#include "sim/options.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "sim/robot_layout.hpp"

namespace velmor::sim {
namespace {

double ParseNumber(std::string_view option, const std::string& text, double min, double max) {
  std::size_t used = 0;
  double value = 0.0;
  try {
    value = std::stod(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || !std::isfinite(value)) {
    throw std::invalid_argument(fmt::format("{}: not a number: '{}'", option, text));
  }
  if (value < min || value > max) {
    throw std::invalid_argument(fmt::format("{}: {} is outside {} to {}", option, text, min, max));
  }
  return value;
}

int ParseCount(std::string_view option, const std::string& text) {
  const double value = ParseNumber(option, text, 0, 1e9);
  if (value != std::floor(value))
    throw std::invalid_argument(fmt::format("{}: not a whole number: '{}'", option, text));
  return static_cast<int>(value);
}

std::vector<std::uint16_t> ParseGroups(const std::string& text) {
  std::vector<std::uint16_t> groups;
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    const int value = ParseCount("--groups", item);
    const auto layout = value <= 0xFFFF ? FindGroup(static_cast<std::uint16_t>(value)) : std::nullopt;
    if (!layout) throw std::invalid_argument(fmt::format("--groups: the robot has no joint group {}", item));
    if (std::find(groups.begin(), groups.end(), layout->group) != groups.end()) {
      throw std::invalid_argument(fmt::format("--groups: group {} listed twice", item));
    }
    groups.push_back(layout->group);
  }
  if (groups.empty()) throw std::invalid_argument("--groups: the list is empty");
  return groups;
}

constexpr std::size_t kUsageWidth = 100;

struct OptionEntry {
  std::string_view name;
  std::string_view value_name;  // empty for a flag
  std::string_view help;
  void (*apply)(SimOptions& options, const std::string& value);
};

constexpr OptionEntry kOptions[] = {
    {"--serial", "SN",
     "serve the robot with this serial number, used verbatim in its keys (repeat for more robots; at least one)",
     [](SimOptions& o, const std::string& v) {
       if (v.empty()) throw std::invalid_argument("--serial: empty serial number");
       if (std::find(o.serials.begin(), o.serials.end(), v) != o.serials.end()) {
         throw std::invalid_argument(fmt::format("--serial: {} given twice", v));
       }
       o.serials.push_back(v);
     }},
    {"--rate", "HZ", "publish rate of both streams (default 1000, at most 10000)",
     [](SimOptions& o, const std::string& v) {
       o.rate = ParseNumber("--rate", v, 0.0, kMaxRate);
       if (o.rate <= 0.0) throw std::invalid_argument("--rate: must be above 0");
     }},
    {"--groups", "LIST",
     "comma-separated joint groups reported in the streams and replies, from 0 (ALL), 2 (ARMS), "
     "3 (ARM_1), 4 (ARM_2), 5 (EXT_AXIS) (default 0,2,3,4,5)",
     [](SimOptions& o, const std::string& v) { o.groups = ParseGroups(v); }},
    {"--version", "STR", "server version reported by procedure 1 (default v2.1; anything else makes clients refuse)",
     [](SimOptions& o, const std::string& v) { o.version = v; }},
    {"--duration", "SECONDS", "exit cleanly after this time (default 0: run until SIGINT or SIGTERM)",
     [](SimOptions& o, const std::string& v) { o.duration = ParseNumber("--duration", v, 0.0, 1e9); }},
    {"--silent", "", "hold every query without replying; held queries are let go after 5 s",
     [](SimOptions& o, const std::string&) { o.faults.silent = true; }},
    {"--malformed", "", "reply to every query with bytes that do not decode",
     [](SimOptions& o, const std::string&) { o.faults.malformed = true; }},
    {"--corrupt-primitives", "N",
     "the first N primitive-state replies (procedure 3) of each robot contain one empty entry",
     [](SimOptions& o, const std::string& v) { o.faults.corrupt_primitives = ParseCount("--corrupt-primitives", v); }},
    {"--pause-streams", "", "publish nothing on either stream (queries are still answered)",
     [](SimOptions& o, const std::string&) { o.faults.pause_streams = true; }},
    {"--garbage-rate", "HZ",
     "also publish this many undecodable stream payloads per second, alternating between "
     "the streams (at most one per stream tick; default 0)",
     [](SimOptions& o, const std::string& v) {
       o.faults.garbage_rate = ParseNumber("--garbage-rate", v, 0.0, kMaxRate);
     }},
    {"--reachability-success", "", "answer the reachability procedure (0) with success true, which clients reject",
     [](SimOptions& o, const std::string&) { o.faults.reachability_success = true; }},
    {"--mode", "MODE",
     "zenoh session mode: peer (default), or client, which talks only through the routers it connects to",
     [](SimOptions& o, const std::string& v) {
       if (v != "peer" && v != "client")
         throw std::invalid_argument(fmt::format("--mode: not peer or client: '{}'", v));
       o.mode = v;
     }},
    {"--connect", "ENDPOINT",
     "connect to this zenoh endpoint, such as a router's tcp/10.0.0.1:7447 (repeat for more; default none)",
     [](SimOptions& o, const std::string& v) {
       if (v.empty()) throw std::invalid_argument("--connect: empty endpoint");
       o.connect.push_back(v);
     }},
    {"--verbose", "", "log at debug level, including every query and its procedure number",
     [](SimOptions& o, const std::string&) { o.verbose = true; }},
    {"--help", "", "print this text and exit", [](SimOptions& o, const std::string&) { o.help = true; }},
};

const OptionEntry* FindOption(std::string_view name) {
  for (const OptionEntry& entry : kOptions) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

}  // namespace

SimOptions ParseOptions(const std::vector<std::string>& args) {
  SimOptions options;
  bool groups_given = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "-h") arg = "--help";
    const auto equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const OptionEntry* entry = FindOption(name);
    if (entry == nullptr) throw std::invalid_argument(fmt::format("unknown option '{}'", args[i]));
    std::string value;
    if (equals != std::string_view::npos) {
      if (entry->value_name.empty()) throw std::invalid_argument(fmt::format("{} takes no value", name));
      value = std::string(arg.substr(equals + 1));
    } else if (!entry->value_name.empty()) {
      if (i + 1 >= args.size())
        throw std::invalid_argument(fmt::format("{} needs a value {}", name, entry->value_name));
      value = args[++i];
    }
    if (entry->name == "--groups") {
      if (groups_given) throw std::invalid_argument("--groups given twice");
      groups_given = true;
    }
    entry->apply(options, value);
  }
  if (!options.help && options.serials.empty()) throw std::invalid_argument("at least one --serial is required");
  return options;
}

std::string UsageText() {
  std::string text =
      "Usage: qrk-sim --serial SN [--serial SN ...] [options]\n\n"
      "Simulates the data server of a robot with two 7-joint arms and a 2-axis external axis\n"
      "(16 joints): publishes the basic and extra state streams and answers remote procedures\n"
      "on velmor/robot/<SN>/{basic_stream_data,extra_stream_data,rpc} with zenoh's default\n"
      "configuration (unless --mode or --connect change it). Prints \"ready\" on stdout once\n"
      "every endpoint is declared; logs go to stderr.\n\n"
      "Options:\n";
  for (const OptionEntry& entry : kOptions) {
    std::string left(entry.name);
    if (!entry.value_name.empty()) left += " " + std::string(entry.value_name);
    text += fmt::format("  {:<26}", left);
    // Wrap the help at word boundaries into a column starting at 28.
    std::size_t column = 28;
    std::stringstream words{std::string(entry.help)};
    std::string word;
    bool first = true;
    while (words >> word) {
      if (!first && column + 1 + word.size() > kUsageWidth) {
        text += "\n" + std::string(28, ' ');
        column = 28;
        first = true;
      }
      if (!first) {
        text += ' ';
        ++column;
      }
      text += word;
      column += word.size();
      first = false;
    }
    text += '\n';
  }
  return text;
}

}  // namespace velmor::sim

#include "cli/command_line.hpp"

#include <fmt/format.h>

#include <cmath>
#include <string_view>

#include "client/serial_number.hpp"

namespace velmor::cli {
namespace {

struct OptionEntry {
  std::string_view name;
  std::string_view value_name;  // empty for a flag
  std::string_view help;
  void (*apply)(CommandLine& line, const std::string& value);
};

struct CommandEntry {
  std::string_view name;
  std::string_view arguments;  // the positional part of the synopsis
  std::string_view summary;
  bool takes_serial;
  std::vector<OptionEntry> options;
  double default_seconds;
};

double ParseSeconds(const std::string& text, bool zero_allowed) {
  std::size_t used = 0;
  double value = 0.0;
  try {
    value = std::stod(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != text.size() || !std::isfinite(value) || value < 0.0 || (value == 0.0 && !zero_allowed) ||
      value > 1e7) {
    throw UsageError(fmt::format("--seconds: not a duration in seconds: '{}'", text));
  }
  return value;
}

const std::vector<CommandEntry>& Commands() {
  static const std::vector<CommandEntry> commands = {
      {"scan",
       "",
       "list every robot seen on the network: stream rates, joint groups, protocol version, round-trip time",
       false,
       {{"--seconds", "S", "how long to listen (default 2)",
         [](CommandLine& l, const std::string& v) { l.seconds = ParseSeconds(v, false); }}},
       2.0},
      {"info",
       "SN",
       "print everything the client can tell about one robot, once",
       true,
       {{"--json", "", "print one JSON document", [](CommandLine& l, const std::string&) { l.json = true; }}},
       0.0},
      {"monitor",
       "SN",
       "live view of one robot, refreshed in place on a terminal (plain lines otherwise); Ctrl-C ends it",
       true,
       {{"--seconds", "S", "stop after S seconds (default: run until Ctrl-C)",
         [](CommandLine& l, const std::string& v) { l.seconds = ParseSeconds(v, true); }}},
       0.0},
      {"record",
       "SN",
       "record every sample of both streams to PATH.basic.EXT and PATH.extra.EXT, with PATH.meta.json",
       true,
       {{"--seconds", "S", "recording time (required; Ctrl-C or SIGTERM ends it early)",
         [](CommandLine& l, const std::string& v) { l.seconds = ParseSeconds(v, false); }},
        {"-o", "PATH", "output path prefix (required)",
         [](CommandLine& l, const std::string& v) {
           if (v.empty()) throw UsageError("-o: empty path");
           l.output = v;
         }},
        {"--format", "csv|jsonl", "row format (default csv)",
         [](CommandLine& l, const std::string& v) {
           if (v == "csv") {
             l.format = RecordFormat::kCsv;
           } else if (v == "jsonl") {
             l.format = RecordFormat::kJsonl;
           } else {
             throw UsageError(fmt::format("--format: expected csv or jsonl, not '{}'", v));
           }
         }}},
       0.0},
  };
  return commands;
}

const CommandEntry* FindCommand(std::string_view name) {
  for (const auto& command : Commands()) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

const OptionEntry* FindOption(const CommandEntry& command, std::string_view name) {
  for (const auto& option : command.options) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

// One option at args[i]; returns the index of the last argument it used.
std::size_t ApplyOption(const CommandEntry& command, const std::vector<std::string>& args, std::size_t i,
                        CommandLine& line) {
  const std::string& arg = args[i];
  const auto equals = arg.find('=');
  const std::string name = arg.substr(0, equals);
  const OptionEntry* option = FindOption(command, name);
  if (option == nullptr) throw UsageError(fmt::format("{}: unknown option '{}'", command.name, name));
  if (option->value_name.empty()) {
    if (equals != std::string::npos) throw UsageError(fmt::format("{} takes no value", name));
    option->apply(line, {});
    return i;
  }
  if (equals != std::string::npos) {
    option->apply(line, arg.substr(equals + 1));
    return i;
  }
  if (i + 1 >= args.size()) throw UsageError(fmt::format("{}: missing value {}", name, option->value_name));
  option->apply(line, args[i + 1]);
  return i + 1;
}

void CheckRequired(const CommandEntry& command, CommandLine& line) {
  if (command.takes_serial) {
    if (line.serial.empty()) throw UsageError(fmt::format("{}: missing serial number SN", command.name));
    try {
      qrk::NormalizeSerialNumber(line.serial);
    } catch (const std::invalid_argument&) {
      throw UsageError(fmt::format("{}: invalid serial number '{}'", command.name, line.serial));
    }
  }
  if (command.name == "record") {
    if (line.seconds <= 0.0) throw UsageError("record: missing --seconds S");
    if (line.output.empty()) throw UsageError("record: missing -o PATH");
  }
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  std::size_t i = 0;
  for (; i < args.size() && line.command.empty(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg == "--version") {
      line.version = true;
    } else if (!arg.empty() && arg[0] == '-') {
      throw UsageError(fmt::format("unknown option '{}'", arg));
    } else if (FindCommand(arg) == nullptr) {
      throw UsageError(fmt::format("unknown command '{}'", arg));
    } else {
      line.command = arg;
    }
  }
  if (line.command.empty()) {
    if (!line.help && !line.version) throw UsageError("missing command (scan, info, monitor or record)");
    return line;
  }
  const CommandEntry& command = *FindCommand(line.command);
  line.seconds = command.default_seconds;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      line.help = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      i = ApplyOption(command, args, i, line);
    } else if (command.takes_serial && line.serial.empty()) {
      line.serial = arg;
    } else {
      throw UsageError(fmt::format("{}: unexpected argument '{}'", command.name, arg));
    }
  }
  if (!line.help) CheckRequired(command, line);
  return line;
}

std::string HelpText(const std::string& name) {
  if (name.empty()) {
    std::string text =
        "usage: qrk [--help] [--version] COMMAND [ARGS]\n"
        "\n"
        "Finds, inspects, watches and records Velmor robots' data servers over zenoh.\n"
        "\n"
        "commands:\n";
    for (const auto& command : Commands()) text += fmt::format("  {:<9}{}\n", command.name, command.summary);
    text += "\n'qrk COMMAND --help' describes one command. Exit status: 0 done, 1 failed, 2 usage error.\n";
    return text;
  }
  const CommandEntry& command = *FindCommand(name);
  std::string text = fmt::format("usage: qrk {}{}{} [options]\n\n{}\n\noptions:\n", command.name,
                                 command.arguments.empty() ? "" : " ", command.arguments, command.summary);
  for (const auto& option : command.options) {
    const std::string head =
        option.value_name.empty() ? std::string(option.name) : fmt::format("{} {}", option.name, option.value_name);
    text += fmt::format("  {:<20}{}\n", head, option.help);
  }
  text += fmt::format("  {:<20}{}\n", "--help", "show this text");
  if (command.takes_serial) {
    text += "\nSN is the robot's serial number, written as for velmorqrk.Client (for example AB-12-345).\n";
  }
  return text;
}

}  // namespace velmor::cli

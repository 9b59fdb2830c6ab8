#include "cli/command_line.hpp"

#include <fmt/format.h>

#include <charconv>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "cli/recorder/event_detector.hpp"
#include "cli/recorder/snapshot_ring.hpp"
#include "client/serial_number.hpp"
#include "toolkit/option_parsing.hpp"

namespace velmor::cli {
namespace {

using toolkit::FiniteNumber;
using toolkit::LowerBound;

constexpr double kMostSeconds = 1e7;

constexpr const char* kSerialRule =
    "a serial number is letters and digits in groups joined by hyphens or single spaces, then a hyphen and "
    "the robot's own part (AB-12-345); no underscore anywhere, and none of * $ / ? # after the last hyphen";

constexpr const char* kSerialFootnote =
    "SN is the robot's serial number, written as for velmorqrk.Client (for example AB-12-345): letters and digits "
    "in groups joined by hyphens or single spaces, then a hyphen and the robot's own part; no underscore "
    "anywhere, and none of * $ / ? # or control characters after the last hyphen.";

// The serial is checked here, so that a mistyped one is a usage error and
// not a robot that is never found.
void AddSerial(CLI::App& command, CommandLine& line) {
  command
      .add_option_function<std::string>(
          "SN",
          [&line](const std::string& serial) {
            try {
              qrk::NormalizeSerialNumber(serial);
            } catch (const std::invalid_argument&) {
              throw CLI::ValidationError(fmt::format("invalid serial number '{}': {}", serial, kSerialRule));
            }
            line.serial = serial;
          },
          "the robot's serial number")
      ->type_name("")
      ->required();
  command.footer(kSerialFootnote);
}

// An option that takes one of a few names; any other is a usage error that
// lists them.
template <class T>
void AddChoice(CLI::App& command, const std::string& option, std::vector<std::pair<std::string, T>> choices, T& target,
               const std::string& help) {
  std::string names;
  std::string type;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    names += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i].first;
    type += (i == 0 ? "" : "|") + choices[i].first;
  }
  command
      .add_option_function<std::string>(
          option,
          [&target, choices, option, names](const std::string& given) {
            for (const auto& [name, value] : choices) {
              if (name == given) {
                target = value;
                return;
              }
            }
            throw CLI::ValidationError(option, fmt::format("expected {}, not '{}'", names, given));
          },
          help)
      ->type_name(type);
}

// --seconds S, from 0 (included or not) to kMostSeconds.
CLI::Option* AddSeconds(CLI::App& command, CommandLine& line, const std::string& help, LowerBound zero) {
  return command.add_option("--seconds", line.seconds, help)
      ->type_name("S")
      ->check(FiniteNumber(0.0, kMostSeconds, zero));
}

std::vector<std::pair<std::string, RecordFormat>> FormatChoices() {
  std::vector<std::pair<std::string, RecordFormat>> choices;
  for (const FormatEntry& entry : RecordFormats()) choices.emplace_back(entry.name, entry.format);
  return choices;
}

// Each format with its files: "csv: rows in PATH.basic.csv and
// PATH.extra.csv with PATH.meta.json; ...".
std::string FormatHelp() {
  std::string help;
  for (const FormatEntry& entry : RecordFormats()) {
    help += fmt::format("{}{}: {}", help.empty() ? "" : "; ", entry.name, entry.purpose);
    const auto& suffixes = entry.suffixes;
    for (std::size_t i = 0; i < suffixes.size(); ++i) {
      const bool description = i + 1 == suffixes.size() && i > 0;
      help += fmt::format("{}PATH{}", description ? " with " : i == 0 ? " in " : " and ", suffixes[i]);
    }
  }
  return help + fmt::format(" (default {})", RecordFormats().front().name);
}

void AddScan(CLI::App& app, CommandLine& line) {
  CLI::App* scan = app.add_subcommand(
      "scan", "list every robot seen on the network: stream rates, joint groups, protocol version, round-trip time");
  scan->preparse_callback([&line](std::size_t) { line.seconds = 2.0; });
  AddSeconds(*scan, line, "how long to listen (default 2)", LowerBound::kExcluded);
  scan->add_flag("--json", line.json, "print one JSON array, an object per robot");
}

void AddInfo(CLI::App& app, CommandLine& line) {
  CLI::App* info = app.add_subcommand("info", "print everything the client can tell about one robot, once");
  AddSerial(*info, line);
  info->add_flag("--json", line.json, "print one JSON document");
}

void AddMonitor(CLI::App& app, CommandLine& line) {
  CLI::App* monitor = app.add_subcommand(
      "monitor", "live view of one robot, refreshed in place on a terminal (plain lines otherwise); Ctrl-C ends it");
  AddSerial(*monitor, line);
  AddSeconds(*monitor, line, "stop after S seconds (default: run until Ctrl-C)", LowerBound::kIncluded);
}

void AddJointNames(CLI::App& command, CommandLine& line, const char* where) {
  command
      .add_option("--joint-names", line.joint_names,
                  fmt::format("name the joints {} from a YAML or JSON mapping of robot-wide joint index to name, "
                              "such as {{0: shoulder_pan_joint, 1: shoulder_lift_joint}} (a robot model's names; "
                              "default joint_<index>)",
                              where))
      ->type_name("FILE")
      ->check(toolkit::NonEmpty("file"));
}

// Three descriptors per viewer (its connection, the relay's, the server's)
// stay well inside the usual limit of 1024 open files.
constexpr unsigned kMostViewers = 256;

unsigned WholeNumber(const char* option, const std::string& text, unsigned min, unsigned max, const char* what) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    throw CLI::ValidationError(option, fmt::format("not {} from {} to {}: '{}'", what, min, max, text));
  }
  return value;
}

// A size in bytes, with an optional decimal unit: 500M, 2G.
std::uint64_t ByteCount(const char* option, const std::string& text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  const std::string_view unit(end, static_cast<std::size_t>(text.data() + text.size() - end));
  constexpr std::pair<std::string_view, std::uint64_t> kUnits[] = {
      {"", 1}, {"k", 1000}, {"K", 1000}, {"M", 1000'000}, {"G", 1000'000'000}, {"T", 1000'000'000'000}};
  for (const auto& [name, factor] : kUnits) {
    if (error == std::errc() && value > 0 && unit == name && value <= UINT64_MAX / factor) return value * factor;
  }
  throw CLI::ValidationError(option, fmt::format("not a number of bytes above 0 (such as 500M or 2G): '{}'", text));
}

// A long recording in pieces, and how many of them are kept.
void AddSplitting(CLI::App& record, CommandLine& line) {
  record
      .add_option_function<double>(
          "--split-seconds", [&line](double seconds) { line.split_seconds = seconds; },
          "record a series of complete files, PATH-STAMP-NUMBER plus the format's endings, the next begun once "
          "the open one is S seconds old; a restart with the same -o continues the series")
      ->type_name("S")
      ->check(FiniteNumber(0.0, kMostSeconds, LowerBound::kExcluded));
  const auto bytes = [&record](const char* option, std::optional<std::uint64_t>& target, const char* help) {
    record
        .add_option_function<std::string>(
            option, [&target, option](const std::string& text) { target = ByteCount(option, text); }, help)
        ->type_name("B");
  };
  bytes("--split-bytes", line.split_bytes, "as --split-seconds, the next file begun once the open one holds B bytes");
  bytes("--keep-bytes", line.keep_bytes,
        "after each file of a series, delete its oldest complete files until the series holds at most B bytes");
  record
      .add_option_function<std::string>(
          "--keep-files",
          [&line](const std::string& text) {
            line.keep_files = WholeNumber("--keep-files", text, 1, UINT32_MAX, "a number of files");
          },
          "as --keep-bytes, until at most N complete files of the series are left")
      ->type_name("N");
}

// PRE or PRE:POST, seconds above 0 (POST 0 or more).
std::pair<double, double> SnapshotWindow(const std::string& text) {
  const auto seconds = [&text](const std::string& part, bool zero_allowed) {
    std::size_t used = 0;
    double value = 0.0;
    try {
      value = std::stod(part, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used == 0 || used != part.size() || !(value < kMostSeconds) || value < 0.0 || (value == 0.0 && !zero_allowed)) {
      throw CLI::ValidationError("--snapshot",
                                 fmt::format("not PRE or PRE:POST seconds (such as 30 or 10:5): '{}'", text));
    }
    return value;
  };
  const std::size_t colon = text.find(':');
  const double pre = seconds(text.substr(0, colon), false);
  return {pre, colon == std::string::npos ? pre : seconds(text.substr(colon + 1), true)};
}

// The window around each event, written on its own beside PATH.
void AddSnapshots(CLI::App& record, CommandLine& line) {
  record
      .add_option_function<std::string>(
          "--snapshot", [&line](const std::string& text) { line.snapshot = SnapshotWindow(text); },
          "on each event (--on, and SIGUSR1 as an operator's mark) write PRE seconds before it and POST after it "
          "(default POST = PRE) to PATH-snap-STAMP-EVENT plus the format's endings; only these files unless "
          "--continuous or --split-seconds/--split-bytes is given")
      ->type_name("PRE[:POST]");
  record
      .add_option_function<std::vector<std::string>>(
          "--on",
          [&line](const std::vector<std::string>& texts) {
            try {
              ParseEventTriggers(texts);
            } catch (const std::invalid_argument& error) {
              throw CLI::ValidationError("--on", error.what());
            }
            line.snapshot_on.insert(line.snapshot_on.end(), texts.begin(), texts.end());
          },
          "take a snapshot on EVENT: estop (pressed), enabling (let go), di:N:rising or di:N:falling (N from 0 to "
          "19); repeat for more")
      ->type_name("EVENT")
      ->allow_extra_args(false);
  record
      .add_option_function<std::string>(
          "--snapshot-memory",
          [&line](const std::string& text) { line.snapshot_memory = ByteCount("--snapshot-memory", text); },
          fmt::format("at most B bytes of samples held for snapshots (default {}M, about 70 s of window for five "
                      "groups at 1 kHz); a window that does not fit is cut short",
                      SnapshotRing::kDefaultMaxBytes / 1000'000))
      ->type_name("B");
  record.add_flag("--continuous", line.continuous, "with --snapshot: record everything at PATH as well");
}

void AddRecord(CLI::App& app, CommandLine& line) {
  CLI::App* record = app.add_subcommand(
      "record", "record every sample of both streams to PATH.basic.EXT and PATH.extra.EXT, with PATH.meta.json");
  AddSerial(*record, line);
  AddSeconds(*record, line, "recording time (default: until Ctrl-C, SIGTERM or SIGHUP, which end it early too)",
             LowerBound::kExcluded);
  record->add_option("-o", line.output, "output path prefix")
      ->type_name("PATH")
      ->required()
      ->check(toolkit::NonEmpty("path"))
      // CLI11 reads "-o=run" as the path "=run": refused, rather than
      // recording to files no one would look for.
      ->check(CLI::Validator(
          [](const std::string& path) {
            return !path.empty() && path.front() == '=' ? "write -o PATH, not -o=PATH" : "";
          },
          ""));
  record->add_flag("--overwrite", line.overwrite, "replace the files of an earlier recording at PATH");
  record->add_flag("--allow-empty", line.allow_empty,
                   "a recording that receives no sample ends with status 0 (default: 1, as a failure)");
  AddChoice<RecordFormat>(*record, "--format", FormatChoices(), line.format, FormatHelp());
  AddChoice<foxglove::Compression>(*record, "--compression",
                                   {{"zstd", foxglove::Compression::kZstd},
                                    {"lz4", foxglove::Compression::kLz4},
                                    {"none", foxglove::Compression::kNone}},
                                   line.compression, "how an MCAP recording's chunks are compressed (default zstd)");
  AddJointNames(*record, line, "in an MCAP recording (--format mcap or ros2)");
  record->add_flag("--all-fields", line.all_fields,
                   "--format ros2: also every field of each group's states and commanded values, on /GROUP/states "
                   "and /GROUP/actions, as velmorqrk_msgs types; ros2 bag play needs that package built "
                   "(ros2/velmorqrk_msgs in qrk's sources), the default file plays on any install");
  AddSplitting(*record, line);
  AddSnapshots(*record, line);
}

void AddServe(CLI::App& app, CommandLine& line) {
  CLI::App* serve = app.add_subcommand(
      "serve", "show one robot live in Foxglove: a Foxglove WebSocket server with qrk's topics; Ctrl-C ends it");
  AddSerial(*serve, line);
  serve
      ->add_option("--host", line.host,
                   "address to listen on (default 127.0.0.1: this computer only; anyone who can reach the port sees "
                   "the robot's data)")
      ->type_name("ADDR")
      ->check(toolkit::NonEmpty("host"));
  serve
      ->add_option_function<std::string>(
          "--port",
          [&line](const std::string& text) {
            line.port = static_cast<std::uint16_t>(WholeNumber("--port", text, 0, 65535, "a port"));
          },
          "port to listen on (default 8765; 0: any free port)")
      ->type_name("PORT");
  serve
      ->add_option_function<std::string>(
          "--max-viewers",
          [&line](const std::string& text) {
            line.max_viewers = WholeNumber("--max-viewers", text, 1, kMostViewers, "a number of viewers");
          },
          fmt::format("connections at once; one more is refused (default {}; each costs the server what it "
                      "subscribes to, up to about 6 MB/s at 1 kHz)",
                      CommandLine{}.max_viewers))
      ->type_name("N");
  AddJointNames(*serve, line, "on the joint_states topics");
  serve->add_flag("--ros2", line.ros2,
                  "serve the topics and standard ROS 2 messages (CDR) of a --format ros2 recording instead of "
                  "Foxglove's own, for the viewers that read ROS 2 messages only, such as PlotJuggler");
  serve->add_flag("--all-fields", line.all_fields,
                  "--ros2: also every field of each group's states and commanded values, on /GROUP/states and "
                  "/GROUP/actions, as velmorqrk_msgs types");
}

// Declares the whole command line on `app`, bound to `line`.
void Declare(CLI::App& app, CommandLine& line) {
  toolkit::PrepareApp(app);
  app.add_flag("--version", line.version, "print the program's version and exit");
  AddScan(app, line);
  AddInfo(app, line);
  AddMonitor(app, line);
  AddRecord(app, line);
  AddServe(app, line);
  for (CLI::App* command : app.get_subcommands({})) command->group("Commands");
  // After the subcommands, which would inherit it.
  app.footer("'qrk COMMAND --help' describes one command. Exit status: 0 done, 1 failed, 2 usage error.");
}

// Retention is of a series' pieces, and a series never replaces a file.
void CheckSplitting(const CommandLine& line) {
  const bool series = line.split_seconds || line.split_bytes;
  const char* keep = line.keep_bytes ? "--keep-bytes" : line.keep_files ? "--keep-files" : nullptr;
  if (keep != nullptr && !series) {
    throw toolkit::UsageError(fmt::format("record: {} needs --split-seconds or --split-bytes", keep), "record");
  }
  if (series && line.overwrite) {
    throw toolkit::UsageError(
        "record: --overwrite does not go with --split-seconds or --split-bytes: a series "
        "continues beside its earlier files",
        "record");
  }
}

void CheckSnapshots(const CommandLine& line) {
  if (line.snapshot) return;
  const char* option = !line.snapshot_on.empty() ? "--on"
                       : line.snapshot_memory    ? "--snapshot-memory"
                       : line.continuous         ? "--continuous"
                                                 : nullptr;
  if (option != nullptr) {
    throw toolkit::UsageError(fmt::format("record: {} needs --snapshot PRE[:POST]", option), "record");
  }
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  CLI::App app("Finds, inspects, watches and records Velmor robots' data servers over zenoh.", "qrk");
  Declare(app, line);
  line.help = !toolkit::ParseArguments(app, args);
  if (!app.get_subcommands().empty()) line.command = app.get_subcommands().front()->get_name();
  if (line.command == "record" && !line.joint_names.empty() && !FormatOf(line.format).names_joints) {
    throw toolkit::UsageError("record: --joint-names names the joints of an MCAP recording: give --format mcap or ros2",
                              "record");
  }
  if (line.command == "record" && line.all_fields && line.format != RecordFormat::kRos2) {
    throw toolkit::UsageError("record: --all-fields adds our own ROS 2 types: give --format ros2", "record");
  }
  if (line.command == "serve" && line.all_fields && !line.ros2) {
    throw toolkit::UsageError("serve: --all-fields adds our own ROS 2 types: give --ros2", "serve");
  }
  if (line.command.empty() && !line.help && !line.version) {
    throw toolkit::UsageError("missing command (scan, info, monitor, record or serve)");
  }
  if (line.command == "record" && !line.help) {
    CheckSplitting(line);
    CheckSnapshots(line);
  }
  return line;
}

std::string HelpText(const std::string& command) {
  CommandLine unused;
  CLI::App app("Finds, inspects, watches and records Velmor robots' data servers over zenoh.", "qrk");
  Declare(app, unused);
  return command.empty() ? app.help() : app.get_subcommand(command)->help(app.get_name());
}

}  // namespace velmor::cli

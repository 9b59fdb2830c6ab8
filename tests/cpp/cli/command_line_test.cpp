// qrk's command line: what it accepts lands in the right field, and what it
// refuses is refused before anything is recorded, with one line that names
// the subcommand and the argument.
#include "cli/command_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "toolkit/option_parsing.hpp"

namespace velmor::cli {
namespace {

using Args = std::vector<std::string>;

TEST(QrkCommandLine, ReadsEachCommandsOptionsInBothSpellings) {
  const CommandLine scan = ParseCommandLine({"scan"});
  EXPECT_EQ(scan.command, "scan");
  EXPECT_EQ(scan.seconds, 2.0);
  EXPECT_EQ(ParseCommandLine({"scan", "--seconds=0.5"}).seconds, 0.5);

  const CommandLine info = ParseCommandLine({"info", "--json", "AB-12-345"});
  EXPECT_EQ(info.command, "info");
  EXPECT_EQ(info.serial, "AB-12-345");
  EXPECT_TRUE(info.json);

  const CommandLine monitor = ParseCommandLine({"monitor", "AB-12-345"});
  EXPECT_EQ(monitor.seconds, 0.0) << "until Ctrl-C";
  EXPECT_EQ(ParseCommandLine({"monitor", "AB-12-345", "--seconds", "0"}).seconds, 0.0);

  const CommandLine record =
      ParseCommandLine({"record", "-o", "runs/first", "AB-12-345", "--seconds", "60", "--format=jsonl"});
  EXPECT_EQ(record.command, "record");
  EXPECT_EQ(record.serial, "AB-12-345");
  EXPECT_EQ(record.seconds, 60.0);
  EXPECT_EQ(record.output, "runs/first");
  EXPECT_EQ(record.format, RecordFormat::kJsonl);
  EXPECT_EQ(ParseCommandLine({"record", "AB-12-345", "--seconds", "1", "-o", "x"}).format, RecordFormat::kCsv);
  EXPECT_TRUE(ParseCommandLine({"record", "AB-12-345", "-o", "x", "--format", "ros2", "--all-fields"}).all_fields);

  const CommandLine series = ParseCommandLine(
      {"record", "AB-12-345", "-o", "cell", "--split-bytes", "500M", "--keep-bytes", "2G", "--keep-files", "24"});
  EXPECT_EQ(series.seconds, 0.0) << "until stopped";
  EXPECT_EQ(series.split_seconds, std::nullopt);
  EXPECT_EQ(series.split_bytes, 500'000'000u);
  EXPECT_EQ(series.keep_bytes, 2'000'000'000u);
  EXPECT_EQ(series.keep_files, 24u);
  EXPECT_EQ(ParseCommandLine({"record", "AB-12-345", "-o", "x", "--split-seconds", "3600"}).split_seconds, 3600.0);
}

TEST(QrkCommandLine, HelpAndVersionNeedNothingElse) {
  for (const Args& args : {Args{"--help"}, Args{"-h"}, Args{"record", "--help"}, Args{"info", "-h"}}) {
    const CommandLine line = ParseCommandLine(args);
    EXPECT_TRUE(line.help) << args.front();
    EXPECT_EQ(line.command, args.size() > 1 ? args.front() : "");
  }
  EXPECT_TRUE(ParseCommandLine({"--version"}).version);

  const std::string record = HelpText("record");
  for (const char* part : {"qrk record", "SN", "--seconds S", "-o PATH", "--format csv|jsonl", "AB-12-345"}) {
    EXPECT_NE(record.find(part), std::string::npos) << part;
  }
  const std::string program = HelpText("");
  for (const char* part : {"scan", "info", "monitor", "record", "--version", "2 usage error"}) {
    EXPECT_NE(program.find(part), std::string::npos) << part;
  }
}

TEST(QrkCommandLine, RefusesWhatWouldRecordTheWrongThingOrNothing) {
  const std::vector<std::pair<Args, std::string>> bad{
      {{}, "missing command (scan, info, monitor, record or serve)"},
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"scan", "--bogus=1"}, "scan: unknown option '--bogus'"},
      {{"scan", "--version"}, "scan: unknown option '--version'"},
      {{"scan", "AB-12-345"}, "scan: unexpected argument 'AB-12-345'"},
      {{"scan", "--seconds"}, "scan: --seconds"},
      {{"scan", "--seconds", "0"}, "scan: --seconds: not a number above 0"},
      {{"info"}, "info: SN is required"},
      {{"info", "not a serial!"}, "info: invalid serial number 'not a serial!'"},
      {{"info", "AB-12-345", "CD-34-567"}, "info: unexpected argument 'CD-34-567'"},
      {{"info", "AB-12-345", "--json=yes"}, "info: json"},
      {{"monitor", "AB-12-345", "--seconds", "-1"}, "monitor: --seconds: not a number from 0"},
      {{"record", "AB-12-345", "-o", "run", "--seconds", "0"}, "record: --seconds: not a number above 0"},
      {{"record", "AB-12-345", "--seconds", "1"}, "record: -o is required"},
      {{"record", "AB-12-345", "--seconds", "1", "-o", ""}, "record: -o: empty path"},
      {{"record", "AB-12-345", "--seconds", "1", "-o=run"}, "record: -o: write -o PATH, not -o=PATH"},
      {{"record", "AB-12-345", "--seconds", "1", "-o", "run", "--format", "xml"},
       "record: --format: expected csv, jsonl, mcap or ros2, not 'xml'"},
      {{"record", "AB-12-345", "--seconds", "1", "-o", "run", "--format", "mcap", "--compression", "gzip"},
       "record: --compression: expected zstd, lz4 or none, not 'gzip'"},
      // Rows carry no joint names: the names would be lost without a word.
      {{"record", "AB-12-345", "--seconds", "1", "-o", "run", "--joint-names", "urdf.yaml"},
       "record: --joint-names names the joints of an MCAP recording"},
      // Only a ROS 2 recording has our own types to add: elsewhere the flag would do nothing.
      {{"record", "AB-12-345", "-o", "run", "--format", "mcap", "--all-fields"},
       "record: --all-fields adds our own ROS 2 types: give --format ros2"},
      // Retention deletes only a series' pieces, and a series never replaces a file.
      {{"record", "AB-12-345", "-o", "run", "--keep-bytes", "1G"}, "record: --keep-bytes needs --split-seconds"},
      {{"record", "AB-12-345", "-o", "run", "--keep-files", "3"}, "record: --keep-files needs --split-seconds"},
      {{"record", "AB-12-345", "-o", "run", "--split-seconds", "60", "--overwrite"},
       "record: --overwrite does not go with --split-seconds"},
      {{"record", "AB-12-345", "-o", "run", "--split-seconds", "0"}, "record: --split-seconds: not a number above 0"},
      {{"record", "AB-12-345", "-o", "run", "--split-bytes", "0"}, "record: --split-bytes: not a number of bytes"},
      {{"record", "AB-12-345", "-o", "run", "--split-bytes", "5MB"}, "record: --split-bytes: not a number of bytes"},
      {{"record", "AB-12-345", "-o", "run", "--split-bytes", "20000000T"},
       "record: --split-bytes: not a number of bytes"},
      {{"record", "AB-12-345", "-o", "run", "--split-seconds", "1", "--keep-files", "0"},
       "record: --keep-files: not a number of files from 1"},
      {{"serve", "AB-12-345", "--port", "70000"}, "serve: --port: not a port from 0 to 65535: '70000'"},
      {{"serve", "AB-12-345", "--host", ""}, "serve: --host: empty host"},
      {{"serve", "AB-12-345", "--max-viewers", "0"},
       "serve: --max-viewers: not a number of viewers from 1 to 256: '0'"},
      {{"serve", "AB-12-345", "--max-viewers", "-1"}, "serve: --max-viewers: not a number of viewers from 1"},
      {{"serve", "AB-12-345", "--all-fields"}, "serve: --all-fields adds our own ROS 2 types: give --ros2"},
      // A misspelt option is named, not reported as the option it was meant to be.
      {{"record", "AB-12-345", "--secnods", "1", "-o", "run"}, "record: unknown option '--secnods'"},
  };
  for (const auto& [args, reason] : bad) {
    std::string joined;
    for (const auto& arg : args) joined += arg + " ";
    try {
      ParseCommandLine(args);
      ADD_FAILURE() << "accepted: " << joined;
    } catch (const toolkit::UsageError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind(reason, 0), 0u) << joined << "-> " << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
  }
}

TEST(QrkCommandLine, ADurationIsAFiniteNumberOfSecondsAndNothingMore) {
  for (const char* seconds : {"nan", "inf", "-inf", "1e8", "2s", "", " 2", "0x10"}) {
    EXPECT_THROW(ParseCommandLine({"record", "AB-12-345", "--seconds", seconds, "-o", "run"}), toolkit::UsageError)
        << seconds;
  }
  EXPECT_EQ(ParseCommandLine({"record", "AB-12-345", "--seconds", "1e-3", "-o", "run"}).seconds, 0.001);
  EXPECT_EQ(ParseCommandLine({"record", "AB-12-345", "--seconds", "1e7", "-o", "run"}).seconds, 1e7);
}

}  // namespace
}  // namespace velmor::cli

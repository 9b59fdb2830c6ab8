#pragma once
// Command line of qrk, parsed with CLI11 (toolkit/option_parsing.hpp): the
// options of each subcommand are declared once, for both the parser and the
// help text. Usage errors throw toolkit::UsageError, which main() prints as
// one line and exits with status 2.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/recorder/record_format.hpp"
#include "foxglove/messages.hpp"

namespace velmor::cli {

struct CommandLine {
  /// "scan", "info", "monitor", "record" or "serve"; empty with --help or --version alone.
  std::string command;
  /// The serial number as given (checked here, normalised by the command).
  std::string serial;
  /// scan: listening time; monitor and record: how long to run (0 until
  /// Ctrl-C, SIGTERM or SIGHUP).
  double seconds = 0.0;
  bool json = false;
  std::string output;
  RecordFormat format = RecordFormat::kCsv;
  /// record --format mcap: how the file's chunks are compressed.
  foxglove::Compression compression = foxglove::Compression::kZstd;
  /// serve: where the live server listens.
  std::string host = "127.0.0.1";
  std::uint16_t port = 8765;
  /// serve: connections at once; a viewer subscribed to every topic costs
  /// the server about 6 MB/s of messages at 1 kHz.
  std::size_t max_viewers = 32;
  /// record (MCAP formats) and serve: a file naming the joints
  /// (cli/common/joint_names_file.hpp); empty for joint_<index>.
  std::string joint_names;
  /// record --format ros2 and serve --ros2: each group's records whole
  /// too, as our own types (ros2/velmorqrk_msgs).
  bool all_fields = false;
  /// serve: the channels of a ROS 2 recording instead of Foxglove's own.
  bool ros2 = false;
  /// record: replace existing files at the output path.
  bool overwrite = false;
  /// record: a recording without a single sample is not a failure.
  bool allow_empty = false;
  /// record: a series of pieces, the next begun once the open one is this
  /// old or this large (a series when either is set).
  std::optional<double> split_seconds;
  std::optional<std::uint64_t> split_bytes;
  /// record: the series' complete pieces kept, in bytes (the open piece's
  /// included) and in number.
  std::optional<std::uint64_t> keep_bytes;
  std::optional<std::uint64_t> keep_files;
  /// record --snapshot PRE[:POST]: the seconds kept before and after each
  /// event (POST defaults to PRE); snapshots are taken when set.
  std::optional<std::pair<double, double>> snapshot;
  /// record --on: the events a snapshot is taken on, as given
  /// (ParseEventTriggers reads them); an operator's SIGUSR1 always is one.
  std::vector<std::string> snapshot_on;
  /// record: the snapshot ring's byte cap (SnapshotRing's default when unset).
  std::optional<std::uint64_t> snapshot_memory;
  /// record --continuous: with --snapshot, record everything at PATH too.
  bool continuous = false;
  bool help = false;
  bool version = false;
};

/// Parses the arguments after the program name. Throws toolkit::UsageError
/// with a one-line reason.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

/// The help text of one subcommand, or of the program for an empty name.
std::string HelpText(const std::string& command);

}  // namespace velmor::cli

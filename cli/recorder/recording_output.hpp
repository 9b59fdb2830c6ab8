#pragma once
// RecordingOutput: where a recording goes, in one format: a sink for each
// stream and a description of the whole recording, written when it starts
// (marked incomplete) and again when it ends.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/recorder/record_format.hpp"
#include "cli/recorder/recorded_groups.hpp"
#include "cli/recorder/sample_sink.hpp"
#include "cli/recorder/stream_counts.hpp"
#include "cli/recorder/stream_gap.hpp"
#include "foxglove/messages.hpp"
#include "services/group_maps.hpp"
#include "services/stream_slicing.hpp"

namespace velmor::cli {

/// What a recording is of: known before the first sample, but for the joint
/// groups when start-up did not see one.
struct RecordingSetup {
  std::string serial;
  std::string version;
  RecordedGroups groups;
  qrk_impl::StartIds start_ids;
  qrk_impl::Dofs dofs;
  RecordFormat format = RecordFormat::kCsv;
  /// How an MCAP file's chunks are compressed.
  foxglove::Compression compression = foxglove::Compression::kZstd;
  /// PATH, to which each format adds its own endings.
  std::string prefix;
  /// Replace the files that exist rather than refuse (FileExists).
  bool overwrite = false;
  /// The joints' names in an MCAP file, by robot-wide index; empty for
  /// joint_<index>, as is an empty name.
  std::vector<std::string> joint_names;
  /// Where the files go once complete, when they are written elsewhere
  /// first (a series' open piece): the description names those. Empty: `prefix`.
  std::string complete_prefix;
  /// A ROS 2 recording: each group's records whole too, as our own types.
  bool all_fields = false;
};

/// How the recording went so far.
struct RecordingProgress {
  double start_time = 0.0;  // seconds since the Unix epoch
  double end_time = 0.0;    // 0 until it ends
  bool complete = false;
  /// Ended without a single sample of either stream: a recording of nothing.
  bool empty = false;
  std::string ended_by;
  StreamCounts basic;
  StreamCounts extra;
  /// Breaks in the basic stream, in order.
  std::vector<StreamGap> gaps;
  /// A piece of a series: its number and, per stream, its first sample's.
  struct Piece {
    std::uint64_t sequence = 0;
    std::uint64_t basic_first = 0;
    std::uint64_t extra_first = 0;
  };
  std::optional<Piece> piece;
  /// A snapshot's events, in order: what each is (its label) and when it
  /// happened (seconds since the Unix epoch).
  struct Event {
    std::string label;
    double time = 0.0;
  };
  std::vector<Event> events;
  /// Where the files go once complete, when that is known only at the end
  /// (a snapshot is named after its events): overrides the setup's.
  std::string complete_prefix;
};

class RecordingOutput {
 public:
  /// `files`: the format's files (OutputFiles), the description's last.
  explicit RecordingOutput(std::vector<std::string> files) : files_(std::move(files)) {}
  virtual ~RecordingOutput() = default;
  virtual SampleSink<qrk_impl::BasicStreamData>& BasicSink() = 0;
  virtual SampleSink<qrk_impl::ExtraStreamData>& ExtraSink() = 0;
  /// Writes the recording's description. Throws WriteError.
  virtual void Describe(const RecordingProgress& progress) = 0;
  /// On the basic stream's writer thread, as a break in it ends: a format
  /// that can say so at once in its files does (the description lists every
  /// break in any case). Throws WriteError.
  virtual void NoteGap(const StreamGap& /*gap*/) {}
  /// Called every few tens of milliseconds on the recording's thread while
  /// it runs: an output in pieces starts the next one when it is due. Throws
  /// WriteError.
  virtual void Tick() {}

  const std::vector<std::string>& Files() const noexcept { return files_; }
  /// Where the description is, for the closing summary.
  virtual std::string DescriptionPath() const { return files_.back(); }
  /// Bytes in the output's files so far.
  virtual std::uint64_t BytesWritten() const;

 private:
  std::vector<std::string> files_;
};

}  // namespace velmor::cli

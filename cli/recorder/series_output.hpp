#pragma once
// SeriesOutput: a recording in pieces, each a complete recording of its own
// in the chosen format. Without a split policy there is one piece, at PATH
// as the format names it. With one, the pieces are a FileSeries beside PATH:
// the open one ".active" until it is closed, described and renamed into
// place, the next begun once the open one is old or large enough, and the
// oldest complete ones deleted as the retention says. Sample numbers run on
// across pieces; each piece's description counts what it holds and names
// its first sample of each stream, so the pieces' counts add up to the
// recording's.
//
// A robot may come back from a break with another joint-group layout or
// protocol version. After each break the recording's thread asks it again
// (LayoutQuery, retried every second until it answers); another answer than
// the open piece's starts the next piece for it, so that no file mixes two
// layouts. A recording not split goes on into a series beside PATH then.
// The samples between the break and that answer are cut for the old layout:
// those that do not fit it count as unfit.
//
// Threads: the streams' writers call the sinks (PieceSink) and, through the
// basic one, note the stream's breaks in the open piece; every other member
// runs on the recording's thread. A piece is switched under both sinks'
// mutexes, so the writers see the old piece or the new one, whole.
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/recorder/file_series.hpp"
#include "cli/recorder/piece_sink.hpp"
#include "cli/recorder/record_format.hpp"
#include "cli/recorder/recording_output.hpp"
#include "cli/recorder/stream_gap.hpp"

namespace velmor::cli {

/// When a series begins its next piece, and what it keeps.
struct SplitPolicy {
  /// Once the open piece is this many seconds old.
  std::optional<double> seconds;
  /// Once the open piece's files hold this many bytes.
  std::optional<std::uint64_t> bytes;
  Retention retention;
};

/// What the robot says it is, as far as a piece's files depend on it.
struct RobotShape {
  std::string version;
  qrk_impl::GroupNames groups;
  qrk_impl::StartIds start_ids;
  qrk_impl::Dofs dofs;

  bool operator==(const RobotShape& other) const {
    return version == other.version && groups == other.groups && start_ids == other.start_ids && dofs == other.dofs;
  }
  bool operator!=(const RobotShape& other) const { return !(*this == other); }
};

/// Asks the robot, on the recording's thread; nothing when it does not answer.
using LayoutQuery = std::function<std::optional<RobotShape>()>;

class SeriesOutput final : public RecordingOutput {
 public:
  /// Creates the first piece (the format's rules; FileExists for a single
  /// piece whose files are there, unless the setup says overwrite). Throws
  /// WriteError. Without `ask`, a break never starts a piece.
  SeriesOutput(const RecordingSetup& setup, std::optional<SplitPolicy> policy, LayoutQuery ask = {});
  ~SeriesOutput() override;

  SampleSink<qrk_impl::BasicStreamData>& BasicSink() override { return basic_; }
  SampleSink<qrk_impl::ExtraStreamData>& ExtraSink() override { return extra_; }
  /// At the start, the first piece's start; at the end, the last piece's
  /// end: its counts are the recording's less those of the pieces before,
  /// and a complete one is renamed into place and the retention applied.
  void Describe(const RecordingProgress& progress) override;
  /// Begins the next piece when the open one is due: old or large enough,
  /// and holding a sample at least (a silent robot makes no empty pieces),
  /// or made for another layout than the robot's after a break.
  void Tick() override;
  /// The open piece's description; after the end, the last piece's.
  std::string DescriptionPath() const override;
  /// Every piece's bytes, those deleted since included.
  std::uint64_t BytesWritten() const override;

  /// The pieces completed, in order (their paths' stems).
  const std::vector<std::string>& Completed() const noexcept { return completed_; }
  /// The files the retention deleted.
  const std::vector<std::string>& Deleted() const noexcept { return deleted_; }

 private:
  struct Piece;

  std::unique_ptr<Piece> OpenPiece(double start_time);
  bool Due(double now) const;
  bool LayoutChanged(double now);
  void StartNext(double now, const char* why);
  void Switch(std::unique_ptr<Piece> next, const char* why);
  void Close(Piece& piece, RecordingProgress progress, bool complete);
  void ApplyRetention();
  RecordingProgress ProgressOf(const Piece& piece, const RecordingProgress& recording) const;
  void OnBasicSample(const SampleStamp& stamp);

  RecordingSetup setup_;
  std::optional<SplitPolicy> policy_;
  std::optional<FileSeries> series_;
  std::unique_ptr<Piece> open_;
  // How large the open piece may grow before the retention is applied again.
  std::uint64_t open_room_ = std::numeric_limits<std::uint64_t>::max();
  PieceSink<qrk_impl::BasicStreamData> basic_;
  PieceSink<qrk_impl::ExtraStreamData> extra_;
  GapWatch gaps_;  // the basic writer's
  LayoutQuery ask_;
  std::atomic<bool> ask_again_{false};  // raised by the basic writer at a break
  double next_question_ = 0.0;
  // What the closed pieces held, per stream, and their bytes.
  StreamCounts closed_basic_;
  StreamCounts closed_extra_;
  std::uint64_t closed_bytes_ = 0;
  std::vector<std::string> completed_;
  std::vector<std::string> deleted_;
  bool ended_ = false;
};

}  // namespace velmor::cli

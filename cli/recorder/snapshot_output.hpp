#pragma once
// SnapshotOutput: a recording that keeps the window around each event, and
// perhaps everything too. Both streams go through a SnapshotTap into the
// SnapshotRing and on to the continuous recording's output, when there is
// one; the basic stream's EventDetector triggers the ring, and so does Mark
// (an operator's SIGUSR1). Each Tick writes what the ring hands out into the
// snapshots' files (SnapshotFiles); the end writes out the rest, cut at the
// last sample received.
//
// Threads: the streams' writers call the sinks (the detector runs on the
// basic one's); every other member runs on the recording's thread.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/recorder/event_detector.hpp"
#include "cli/recorder/recording_output.hpp"
#include "cli/recorder/snapshot_files.hpp"
#include "cli/recorder/snapshot_ring.hpp"
#include "cli/recorder/snapshot_tap.hpp"

namespace velmor::cli {

/// What a snapshot holds and is taken on.
struct SnapshotPolicy {
  double pre_seconds = 0.0;
  double post_seconds = 0.0;
  std::uint64_t max_bytes = SnapshotRing::kDefaultMaxBytes;
  std::vector<EventTrigger> triggers;
};

class SnapshotOutput final : public RecordingOutput {
 public:
  /// `setup`: the recording's; its prefix names the snapshots.
  /// `continuous`: the continuous recording, or nothing for snapshots only.
  SnapshotOutput(const RecordingSetup& setup, const SnapshotPolicy& policy,
                 std::unique_ptr<RecordingOutput> continuous);

  SampleSink<qrk_impl::BasicStreamData>& BasicSink() override { return basic_; }
  SampleSink<qrk_impl::ExtraStreamData>& ExtraSink() override { return extra_; }
  /// The continuous recording's; at the end, the snapshots' rest is written
  /// first, so that a failing continuous file costs no snapshot.
  void Describe(const RecordingProgress& progress) override;
  void NoteGap(const StreamGap& gap) override;
  /// The continuous recording's work, then the snapshots'.
  void Tick() override;
  /// The continuous recording's description, or else the last snapshot's.
  std::string DescriptionPath() const override;
  std::uint64_t BytesWritten() const override;

  /// An operator's mark at `time` (seconds since the Unix epoch).
  void Mark(double time) { ring_.Trigger(kOperatorMarkLabel, time); }
  const SnapshotFiles& Snapshots() const noexcept { return files_; }
  SnapshotRing::Figures RingFigures() const { return ring_.Measure(); }

 private:
  void OnBasic(const SampleStamp& stamp, const qrk_impl::BasicStreamData& sample);

  std::unique_ptr<RecordingOutput> continuous_;
  SnapshotRing ring_;
  EventDetector detector_;  // the basic writer's
  SnapshotTap<qrk_impl::BasicStreamData> basic_;
  SnapshotTap<qrk_impl::ExtraStreamData> extra_;
  SnapshotFiles files_;
};

}  // namespace velmor::cli

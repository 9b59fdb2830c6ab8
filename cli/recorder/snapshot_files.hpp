#pragma once
// SnapshotFiles: the ring's snapshots written out, each a complete recording
// of its own in the recording's format, beside its PATH:
// PATH-snap-STAMP-LABELS plus the format's endings, STAMP the first event's
// time in UTC with milliseconds (20261210T011500.250Z, so that names sort in
// time) and LABELS the events' labels joined by '+'. A snapshot's files are
// written ".active" and renamed once it is finished, since a later event may
// still join it and its name. Each describes itself as a recording does, with
// its events and their times (the description's `events`).
//
// Snapshots are kept whatever --keep-bytes or --keep-files say: those bound
// the continuous series, and a snapshot is the reason for running.
//
// Runs on the recording's thread only.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/recorder/recording_output.hpp"
#include "cli/recorder/snapshot_ring.hpp"

namespace velmor::cli {

class SnapshotFiles {
 public:
  /// `setup`: the recording's, its prefix PATH.
  explicit SnapshotFiles(RecordingSetup setup);
  ~SnapshotFiles();
  SnapshotFiles(const SnapshotFiles&) = delete;
  SnapshotFiles& operator=(const SnapshotFiles&) = delete;

  /// Writes what `ring` hands out and completes each finished snapshot.
  /// Throws WriteError; a snapshot cut short keeps its ".active" name.
  void WriteFrom(SnapshotRing& ring);

  /// The completed snapshots' names, before the format's endings, in order.
  const std::vector<std::string>& Completed() const noexcept { return completed_; }
  /// The last completed snapshot's description; empty before the first.
  std::string DescriptionPath() const;
  /// Every snapshot's bytes.
  std::uint64_t BytesWritten() const;

 private:
  struct Open;

  void Begin(const SnapshotPart& part);
  void Write(const KeptSample& sample);
  void Finish(const SnapshotPart& part);

  RecordingSetup setup_;
  std::unique_ptr<Open> open_;
  std::vector<std::string> completed_;
  std::uint64_t closed_bytes_ = 0;
};

}  // namespace velmor::cli

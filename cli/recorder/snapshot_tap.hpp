#pragma once
// SnapshotTap<Message>: one stream's sink while snapshots are taken. It keeps
// each sample's wire bytes in the ring, lets the basic stream's event
// detector see it, then hands it on to the continuous recording's sink, if
// there is one. Called by the stream's one writer thread, as any sink.
#include <functional>
#include <utility>

#include "cli/recorder/sample_sink.hpp"
#include "cli/recorder/snapshot_ring.hpp"

namespace velmor::cli {

template <class Message>
class SnapshotTap final : public SampleSink<Message> {
 public:
  /// Sees each sample once it is in the ring, so that an event it shows
  /// finds it there.
  using Watch = std::function<void(const SampleStamp& stamp, const Message& message)>;

  /// `ring` and `next` (nothing: snapshots only) must outlive the tap.
  SnapshotTap(SnapshotRing& ring, StreamKind stream, SampleSink<Message>* next, Watch watch = {})
      : ring_(ring), stream_(stream), next_(next), watch_(std::move(watch)) {}

  SampleRecords Write(const SampleStamp& stamp, const Message& message) override {
    ring_.Take(stream_, stamp, message.bytes());
    if (watch_) watch_(stamp, message);
    // Without a continuous recording a sample makes no record here; its
    // snapshot's file counts what it made there.
    return next_ != nullptr ? next_->Write(stamp, message) : SampleRecords{0, true};
  }

  bool Commit(bool now) override { return next_ != nullptr ? next_->Commit(now) : true; }

 private:
  SnapshotRing& ring_;
  StreamKind stream_;
  SampleSink<Message>* next_;
  Watch watch_;
};

}  // namespace velmor::cli

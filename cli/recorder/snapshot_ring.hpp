#pragma once
// SnapshotRing: the last PRE seconds of both streams, held in memory so that
// an event's file can start before the event, then the POST seconds after it.
//
// A sample is kept as the wire bytes it arrived in (the bytes() of the
// pipeline's WireMessage) with its stamp. The sinks take WireMessages, and
// a WireMessage is rebuilt from its bytes with one validating pass and no
// decoding (Rebuild), so a snapshot's writer feeds the very SampleSink path a
// plain recording does. The bytes are also the most compact form short of
// compressing: a decoded message holds the same numbers in a dozen vectors.
// Samples are not compressed: no C++ part of qrk links a compressor, and a
// 30 s window of a five-group robot at 1 kHz fits the default cap
// uncompressed (snapshot_ring_test prints the bytes a second of window takes).
//
// The window is evicted by receive time, and by a byte cap whatever the
// time: a cap that cuts the window short shows in Measure().evicted_early.
// Samples an open snapshot has not handed out yet stay past PRE (not past the
// cap, which then costs the snapshot those samples: its `lost` count).
//
// An event opens a snapshot over [time - PRE, time + POST]. An event inside
// an open snapshot's span extends it to its own time + POST and joins its
// labels: one file names both. The two streams' writers may be taken out
// of receive-time order by some milliseconds; a snapshot holds the samples
// received inside its span whatever their order, and ends with the first
// sample taken well after it (0.1 s), or when the ring is closed.
//
// Threads: Take, Trigger, Drain and Figures may be called from any thread
// (the two streams' writers, a signal's watcher, the snapshot writer); one
// lock guards the ring, and no call holds it for longer than moving
// pointers.
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/recorder/sample_sink.hpp"

namespace velmor::cli {

enum class StreamKind { kBasic, kExtra };

/// One sample as received: which stream, its stamp, its wire bytes.
struct KeptSample {
  StreamKind stream = StreamKind::kBasic;
  SampleStamp stamp;
  std::vector<std::uint8_t> bytes;
};

/// The message a kept sample was taken from (a WireMessage). Throws as
/// WireMessage::Assign, which for bytes a WireMessage gave it never happens.
template <class Message>
Message Rebuild(const KeptSample& sample) {
  Message message;
  message.Assign(sample.bytes.data(), sample.bytes.size());
  return message;
}

/// One event a snapshot is of.
struct SnapshotEvent {
  std::string label;
  double time = 0.0;  // seconds since the Unix epoch
};

/// What Drain hands out of the oldest open snapshot.
struct SnapshotPart {
  /// Samples not handed out before, in the order they were taken.
  std::vector<std::shared_ptr<const KeptSample>> samples;
  /// The events the snapshot is of so far, in order: a file is named when it
  /// is finished, since a later event may still join.
  std::vector<std::string> labels;
  /// Every event so far, a label given twice included, in order.
  std::vector<SnapshotEvent> events;
  /// When the first event happened (seconds since the Unix epoch).
  double first_event_time = 0.0;
  /// Samples of the span the byte cap evicted before they were handed out.
  std::uint64_t lost = 0;
  /// True with the snapshot's last part; the next Drain starts the next one.
  bool finished = false;
};

class SnapshotRing {
 public:
  /// 30 s of a five-group robot's streams at 1 kHz take well under this.
  static constexpr std::uint64_t kDefaultMaxBytes = 200'000'000;

  SnapshotRing(double pre_seconds, double post_seconds, std::uint64_t max_bytes = kDefaultMaxBytes);

  /// Keeps a copy of one sample's bytes.
  void Take(StreamKind stream, const SampleStamp& stamp, const std::vector<std::uint8_t>& bytes);
  /// An event at `time` (seconds since the Unix epoch), named `label`.
  void Trigger(const std::string& label, double time);
  /// Ends the open snapshots with what they hold: the recording stops.
  void Close();
  /// The oldest open snapshot's next part; nothing while no snapshot is
  /// open or none has anything new.
  std::optional<SnapshotPart> Drain();

  struct Figures {
    std::uint64_t samples = 0;
    /// What the kept samples take in memory, as the cap counts it.
    std::uint64_t bytes = 0;
    /// Receive time of the newest sample minus the oldest's.
    double span = 0.0;
    /// Samples the cap evicted before PRE had passed.
    std::uint64_t evicted_early = 0;
  };
  Figures Measure() const;

 private:
  struct Snapshot {
    std::vector<std::string> labels;
    std::vector<SnapshotEvent> events;
    double first_event_time = 0.0;
    double start_time = 0.0;
    double end_time = 0.0;
    std::uint64_t next = 0;  // the index of the next sample to hand out
    std::uint64_t lost = 0;
    bool ended = false;
    std::uint64_t end = 0;  // once ended: the index after its last sample
  };

  static std::uint64_t MemoryOf(const KeptSample& sample);
  std::shared_ptr<KeptSample> SpareSample(StreamKind stream);
  void Recycle(std::shared_ptr<KeptSample> sample);
  void EndSnapshotsBefore(double time);
  void Evict();
  void Pop(bool early);
  std::uint64_t FirstIndexFrom(double time) const;
  std::uint64_t HandOutLimit(const Snapshot& snapshot) const;

  const double pre_;
  const double post_;
  const std::uint64_t max_bytes_;
  mutable std::mutex mutex_;
  std::deque<std::shared_ptr<KeptSample>> samples_;
  // Evicted samples that no snapshot holds, per stream, kept whole (shared
  // block and byte buffer) for the next samples: a window evicts as fast as
  // it takes, and a full window interleaves tens of thousands of live blocks
  // with the recorder's own short-lived ones, so allocating each sample anew
  // pushed the whole process onto the allocator's slow paths.
  std::vector<std::shared_ptr<KeptSample>> spare_[2];
  std::uint64_t front_index_ = 0;  // the index of samples_.front()
  std::uint64_t bytes_ = 0;
  std::uint64_t evicted_early_ = 0;
  double newest_time_ = 0.0;
  std::deque<Snapshot> snapshots_;
};

}  // namespace velmor::cli

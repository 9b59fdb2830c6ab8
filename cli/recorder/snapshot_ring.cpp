#include "cli/recorder/snapshot_ring.hpp"

#include <algorithm>
#include <atomic>
#include <limits>
#include <utility>

namespace velmor::cli {
namespace {

// Besides the bytes themselves: the shared block (count and sample), the
// bytes' own allocation, the allocator's header on each, and the pointer in
// the ring.
constexpr std::uint64_t kAllocatorHeader = 16;
constexpr std::uint64_t kSampleOverhead =
    sizeof(KeptSample) + 2 * sizeof(long) + 2 * kAllocatorHeader + sizeof(std::shared_ptr<const KeptSample>);

// Each stream has a writer thread of its own, and one may run behind the
// other by some milliseconds: samples are taken out of receive-time order
// across streams. A span ends only once a sample this much past it arrives,
// so that the stream behind has brought its part.
constexpr double kArrivalSlack = 0.1;

}  // namespace

SnapshotRing::SnapshotRing(double pre_seconds, double post_seconds, std::uint64_t max_bytes)
    : pre_(pre_seconds), post_(post_seconds), max_bytes_(max_bytes) {}

std::uint64_t SnapshotRing::MemoryOf(const KeptSample& sample) { return kSampleOverhead + sample.bytes.capacity(); }

void SnapshotRing::Take(StreamKind stream, const SampleStamp& stamp, const std::vector<std::uint8_t>& bytes) {
  std::shared_ptr<KeptSample> sample = SpareSample(stream);
  sample->stamp = stamp;
  // Copied outside the lock, so that the other stream never waits on it.
  sample->bytes.assign(bytes.begin(), bytes.end());
  std::lock_guard<std::mutex> lock(mutex_);
  EndSnapshotsBefore(stamp.receive_time);
  bytes_ += MemoryOf(*sample);
  newest_time_ = std::max(newest_time_, stamp.receive_time);
  samples_.push_back(std::move(sample));
  Evict();
}

std::shared_ptr<KeptSample> SnapshotRing::SpareSample(StreamKind stream) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& spare = spare_[static_cast<int>(stream)];
    if (!spare.empty()) {
      std::shared_ptr<KeptSample> sample = std::move(spare.back());
      spare.pop_back();
      return sample;
    }
  }
  auto sample = std::make_shared<KeptSample>();
  sample->stream = stream;
  return sample;
}

// Called with the lock held. A sample that a snapshot's part still holds is
// freed by its last holder instead; copies are only made under the lock, so
// a count of one stays one. The count is read relaxed: the fence orders the
// snapshot writer's last reads of the bytes, before it let go, before ours.
void SnapshotRing::Recycle(std::shared_ptr<KeptSample> sample) {
  constexpr std::size_t kMaxSpares = 16;
  auto& spare = spare_[static_cast<int>(sample->stream)];
  if (sample.use_count() != 1 || spare.size() >= kMaxSpares) return;
  std::atomic_thread_fence(std::memory_order_acquire);
  spare.push_back(std::move(sample));
}

void SnapshotRing::EndSnapshotsBefore(double time) {
  for (Snapshot& snapshot : snapshots_) {
    if (snapshot.ended || time <= snapshot.end_time + kArrivalSlack) continue;
    snapshot.ended = true;
    snapshot.end = front_index_ + samples_.size();
  }
}

void SnapshotRing::Trigger(const std::string& label, double time) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!snapshots_.empty() && !snapshots_.back().ended && time <= snapshots_.back().end_time) {
    Snapshot& open = snapshots_.back();
    open.end_time = std::max(open.end_time, time + post_);
    open.events.push_back({label, time});
    if (std::find(open.labels.begin(), open.labels.end(), label) == open.labels.end()) open.labels.push_back(label);
    return;
  }
  Snapshot snapshot;
  snapshot.labels = {label};
  snapshot.events = {{label, time}};
  snapshot.first_event_time = time;
  snapshot.start_time = time - pre_;
  snapshot.end_time = time + post_;
  snapshot.next = FirstIndexFrom(snapshot.start_time);
  snapshots_.push_back(std::move(snapshot));
}

// The two streams' samples arrive from two threads, so times need not rise
// strictly along the ring: the first sample at or after `time` from the
// front, not a bisection.
std::uint64_t SnapshotRing::FirstIndexFrom(double time) const {
  std::uint64_t index = front_index_;
  for (const auto& sample : samples_) {
    if (sample->stamp.receive_time >= time) break;
    ++index;
  }
  return index;
}

void SnapshotRing::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  EndSnapshotsBefore(std::numeric_limits<double>::infinity());
}

// Past PRE (and the slack) a sample goes unless a snapshot still has to hand it out; past
// the cap it goes anyway.
void SnapshotRing::Evict() {
  std::uint64_t needed = front_index_ + samples_.size();
  for (const Snapshot& snapshot : snapshots_) needed = std::min(needed, snapshot.next);
  while (!samples_.empty()) {
    // The stream that shows an event may be the one behind: PRE before its
    // event must still be here when it is seen.
    const bool expired = samples_.front()->stamp.receive_time < newest_time_ - pre_ - kArrivalSlack;
    if (expired && front_index_ < needed) {
      Pop(false);
    } else if (bytes_ > max_bytes_) {
      Pop(!expired);
    } else {
      break;
    }
  }
}

void SnapshotRing::Pop(bool early) {
  for (Snapshot& snapshot : snapshots_) {
    const bool handed_out = snapshot.next > front_index_;
    const bool past_end = snapshot.ended && snapshot.end <= front_index_;
    if (handed_out || past_end) continue;
    ++snapshot.lost;
    snapshot.next = front_index_ + 1;
  }
  bytes_ -= MemoryOf(*samples_.front());
  Recycle(std::move(samples_.front()));
  samples_.pop_front();
  ++front_index_;
  if (early) ++evicted_early_;
}

std::optional<SnapshotPart> SnapshotRing::Drain() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (snapshots_.empty()) return std::nullopt;
  Snapshot& snapshot = snapshots_.front();
  const std::uint64_t limit = snapshot.ended ? snapshot.end : HandOutLimit(snapshot);
  SnapshotPart part;
  for (std::uint64_t index = std::max(snapshot.next, front_index_); index < limit; ++index) {
    const auto& sample = samples_[index - front_index_];
    // A sample of the stream behind, taken after the span's first sample
    // but received before it, or one received after the span's end.
    const double time = sample->stamp.receive_time;
    if (time < snapshot.start_time || time > snapshot.end_time) continue;
    part.samples.push_back(sample);
  }
  snapshot.next = std::max(snapshot.next, limit);
  part.labels = snapshot.labels;
  part.events = snapshot.events;
  part.first_event_time = snapshot.first_event_time;
  part.lost = std::exchange(snapshot.lost, 0);
  part.finished = snapshot.ended;
  if (part.finished) snapshots_.pop_front();
  if (part.samples.empty() && !part.finished && part.lost == 0) return std::nullopt;
  Evict();
  return part;
}

// While a snapshot is open, a sample past its span waits in the ring: a
// later event may still reach it, or it is left out once the span ends.
std::uint64_t SnapshotRing::HandOutLimit(const Snapshot& snapshot) const {
  std::uint64_t index = std::max(snapshot.next, front_index_);
  const std::uint64_t end = front_index_ + samples_.size();
  while (index < end && samples_[index - front_index_]->stamp.receive_time <= snapshot.end_time) ++index;
  return index;
}

SnapshotRing::Figures SnapshotRing::Measure() const {
  std::lock_guard<std::mutex> lock(mutex_);
  Figures figures;
  figures.samples = samples_.size();
  figures.bytes = bytes_;
  figures.span = samples_.empty() ? 0.0 : newest_time_ - samples_.front()->stamp.receive_time;
  figures.evicted_early = evicted_early_;
  return figures;
}

}  // namespace velmor::cli

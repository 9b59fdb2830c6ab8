#pragma once
// PieceSink<Message>: one stream's sink in a recording made of pieces. It
// hands each sample to the open piece's sink and counts what that piece
// took, so that every piece can describe itself. The stream's writer thread
// calls Write and Commit under the sink's mutex; the recording's thread,
// holding both streams' mutexes, points both at the next piece at once, so a
// piece ends between two samples of each stream and no sample goes to two
// pieces or none.
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "cli/recorder/sample_sink.hpp"
#include "cli/recorder/stream_counts.hpp"

namespace velmor::cli {

/// What one piece took of one stream.
struct PieceTaken {
  /// written, unfit and records (received and dropped follow from the numbers).
  StreamCounts counts;
  /// The number of the last sample it took; nothing when none.
  std::optional<std::uint64_t> last_sample;
};

template <class Message>
class PieceSink final : public SampleSink<Message> {
 public:
  /// Sees each sample before the piece takes it, under the mutex (the open
  /// piece cannot change meanwhile).
  using Watch = std::function<void(const SampleStamp& stamp)>;

  /// `first` must outlive its time as the open piece.
  explicit PieceSink(SampleSink<Message>& first, Watch watch = {}) : piece_(&first), watch_(std::move(watch)) {}

  SampleRecords Write(const SampleStamp& stamp, const Message& message) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (watch_) watch_(stamp);
    const SampleRecords made = piece_->Write(stamp, message);
    ++(made.fits ? taken_.counts.written : taken_.counts.unfit);
    taken_.counts.records += made.records;
    taken_.last_sample = stamp.sample;
    return made;
  }

  bool Commit(bool now) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return piece_->Commit(now);
  }

  /// The open piece has taken no sample yet.
  bool OpenPieceEmpty() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !taken_.last_sample;
  }

  /// Held by whoever switches pieces, both streams' at once (std::scoped_lock).
  std::mutex& Mutex() noexcept { return mutex_; }

  /// With Mutex() held: makes `next` the open piece and returns what the
  /// one before took. The caller commits that one's sink.
  PieceTaken SwitchTo(SampleSink<Message>& next) {
    piece_ = &next;
    PieceTaken taken = taken_;
    taken_ = {};
    return taken;
  }

 private:
  mutable std::mutex mutex_;
  SampleSink<Message>* piece_;
  Watch watch_;
  PieceTaken taken_;
};

}  // namespace velmor::cli

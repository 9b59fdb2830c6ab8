#pragma once
// SampleSink<Message>: where one stream's samples end up: rows in a file,
// messages in an MCAP file, a live view. A stream's pipeline calls it from
// its one writer thread, so a sink that serves one stream needs no lock.
#include <cstdint>
#include <utility>

namespace velmor::cli {

/// What the pipeline knows of a sample besides its content.
struct SampleStamp {
  /// The sample's number in its stream: numbers count every sample
  /// received, so a gap shows a dropped one.
  std::uint64_t sample = 0;
  /// Seconds since the Unix epoch, this machine's clock.
  double receive_time = 0.0;
  /// The robot's time stamp pair (the extra stream carries the latest basic one).
  std::pair<std::int32_t, std::int32_t> timestamp{0, 0};
};

/// What one sample became in a sink.
struct SampleRecords {
  /// Rows or messages, exactly as many as the output holds: a sample that
  /// does not fit may still make some (an MCAP file's I/O message).
  std::uint64_t records = 0;
  /// False when the sample does not fit the robot's layout.
  bool fits = false;
};

template <class Message>
class SampleSink {
 public:
  /// Writes one sample. Throws WriteError.
  virtual SampleRecords Write(const SampleStamp& stamp, const Message& message) = 0;
  /// Makes what was written durable once enough has collected, or all of it
  /// with `now`: true when it did, so that the counts may follow. Throws
  /// WriteError.
  virtual bool Commit(bool now) = 0;

 protected:
  ~SampleSink() = default;
};

}  // namespace velmor::cli

#pragma once
// GapWatch: the breaks in a robot's basic stream, found sample by sample as
// the basic stream's writer takes them: a silence of more than kGapSeconds
// (the link dropped, the robot stopped streaming or restarted) or a robot
// time stamp that goes back (the robot restarted: its clock and sample
// numbers began again, however short the break). Samples the recorder's own
// queue dropped are no break: they did arrive. One writer thread; no lock.
#include <cstdint>
#include <optional>
#include <utility>

#include "cli/recorder/sample_sink.hpp"

namespace velmor::cli {

/// Longer than any pause of a robot that streams at all (at 1 Hz or faster).
inline constexpr double kGapSeconds = 1.0;

struct StreamGap {
  /// Receive times (seconds since the Unix epoch) of the last sample before
  /// the break and of the first after it.
  double start_time = 0.0;
  double end_time = 0.0;
  /// The basic stream's number of the first sample after the break.
  std::uint64_t sample = 0;
  /// The robot's time stamps on either side.
  std::pair<std::int32_t, std::int32_t> stamp_before{0, 0};
  std::pair<std::int32_t, std::int32_t> stamp_after{0, 0};
  /// The robot's time stamp went back: it restarted.
  bool restarted = false;
};

class GapWatch {
 public:
  /// The break that ended with this sample, if any.
  std::optional<StreamGap> See(const SampleStamp& stamp);

 private:
  std::optional<SampleStamp> last_;
};

}  // namespace velmor::cli

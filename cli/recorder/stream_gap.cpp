#include "cli/recorder/stream_gap.hpp"

namespace velmor::cli {

std::optional<StreamGap> GapWatch::See(const SampleStamp& stamp) {
  std::optional<StreamGap> gap;
  if (last_) {
    const bool restarted = stamp.timestamp < last_->timestamp;
    if (restarted || stamp.receive_time - last_->receive_time > kGapSeconds) {
      gap = StreamGap{last_->receive_time, stamp.receive_time, stamp.sample,
                      last_->timestamp,    stamp.timestamp,    restarted};
    }
  }
  last_ = stamp;
  return gap;
}

}  // namespace velmor::cli

#pragma once
// StreamCounts: what became of one stream's samples, as a recording's
// description and qrk's summaries give it. Once the stream's pipeline has
// finished without an error, received = written + unfit + dropped.
#include <cstdint>

namespace velmor::cli {

struct StreamCounts {
  /// Every sample the stream delivered, numbered in order.
  std::uint64_t received = 0;
  std::uint64_t written = 0;
  std::uint64_t dropped = 0;
  /// Samples that did not fit the robot's layout (no records).
  std::uint64_t unfit = 0;
  /// Records made: rows in a row file, messages in an MCAP file (the
  /// description's "rows"), as many as the output holds.
  std::uint64_t records = 0;
};

}  // namespace velmor::cli

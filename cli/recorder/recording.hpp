#pragma once
// Recording: a sample feed into an output of the chosen format. The output
// is described when the recording starts (incomplete) and again when it ends.
// Every member runs on the caller's thread (the feed has its own threads).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/common/robot_link.hpp"
#include "cli/recorder/recording_output.hpp"
#include "cli/recorder/sample_feed.hpp"

namespace velmor::cli {

class Recording final {
 public:
  /// Describes the recording as started; throws WriteError.
  explicit Recording(std::unique_ptr<RecordingOutput> output);
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  /// Starts the writers and takes every later sample of `link`'s streams.
  void Start(qrk_impl::RobotLink& link) { feed_.Start(link); }
  /// The first write error of either stream, or of the output's own work
  /// between samples (Tick).
  std::optional<std::string> Error() const;
  /// Lets the output do its work between samples (start its next piece);
  /// a write error there is kept as the recording's error.
  void Tick();
  /// Stops taking samples, writes every queued one, then describes the
  /// recording as ended (throws WriteError when that fails). `ended_by` says why.
  void Finish(const std::string& ended_by);

  const SampleFeed& Feed() const { return feed_; }
  /// For an owner that hands the samples over itself (SampleFeed::StartWriting).
  SampleFeed& Feed() { return feed_; }
  std::string DescriptionPath() const { return output_->DescriptionPath(); }
  std::uint64_t BytesWritten() const { return output_->BytesWritten(); }

 private:
  RecordingProgress Progress() const;

  std::unique_ptr<RecordingOutput> output_;
  RecordingProgress progress_;
  std::optional<std::string> error_;
  SampleFeed feed_;
};

}  // namespace velmor::cli

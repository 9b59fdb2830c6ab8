#pragma once
// Recording: every sample of a robot's two streams, from the robot's link
// through one pipeline per stream (source -> bounded queue -> sink) into an
// output of the chosen format. The output is described when the recording
// starts (incomplete) and again when it ends.
//
// Threads: the link calls OnBasic/OnExtra on zenoh's threads, which only
// queue; each pipeline writes on a thread of its own; the rest runs on the
// caller's thread.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/recorder/recording_output.hpp"
#include "cli/recorder/stream_pipeline.hpp"
#include "services/robot_link.hpp"

namespace velmor::cli {

class Recording final : public qrk_impl::SampleConsumer {
 public:
  /// Describes the recording as started; throws WriteError.
  explicit Recording(std::unique_ptr<RecordingOutput> output);
  ~Recording();
  Recording(const Recording&) = delete;
  Recording& operator=(const Recording&) = delete;

  /// Starts the writers and takes every later sample of `link`'s streams.
  void Start(qrk_impl::RobotLink& link);
  /// The first write error of either stream.
  std::optional<std::string> Error() const;
  /// Stops taking samples, writes every queued one, then describes the
  /// recording as ended (throws WriteError when that fails). `ended_by` says why.
  void Finish(const std::string& ended_by);

  StreamCounts Basic() const { return basic_.Counts(); }
  StreamCounts Extra() const { return extra_.Counts(); }
  std::string DescriptionPath() const { return output_->DescriptionPath(); }
  std::uint64_t BytesWritten() const { return output_->BytesWritten(); }

  void OnBasic(const qrk_impl::BasicStreamData& sample, double receive_time) override;
  void OnExtra(const qrk_impl::ExtraStreamData& sample, double receive_time) override;

 private:
  RecordingProgress Progress() const;
  void Detach();

  std::unique_ptr<RecordingOutput> output_;
  RecordingProgress progress_;
  qrk_impl::RobotLink* link_ = nullptr;
  // The extra stream carries no time stamp: its samples get the latest basic
  // one, packed as (first << 32 | second) so one atomic holds both halves.
  std::atomic<std::uint64_t> latest_stamp_{0};
  StreamPipeline<qrk_impl::BasicStreamData> basic_;
  StreamPipeline<qrk_impl::ExtraStreamData> extra_;
};

}  // namespace velmor::cli

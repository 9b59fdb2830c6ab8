#pragma once
// SampleFeed: a robot's two streams as qrk's commands take them, each through
// a pipeline of its own (source -> bounded queue -> writer thread -> sink).
// `record` plugs an output's sinks into it, `serve` the live view's topics.
//
// Threads: the link calls OnBasic/OnExtra on zenoh's threads, which only
// queue; each pipeline writes on a thread of its own; the rest runs on the
// caller's thread.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "cli/common/robot_link.hpp"
#include "cli/recorder/sample_sink.hpp"
#include "cli/recorder/stream_pipeline.hpp"

namespace velmor::cli {

class SampleFeed final : public qrk_impl::SampleConsumer {
 public:
  /// Both sinks must outlive the feed.
  SampleFeed(SampleSink<qrk_impl::BasicStreamData>& basic, SampleSink<qrk_impl::ExtraStreamData>& extra);
  ~SampleFeed();
  SampleFeed(const SampleFeed&) = delete;
  SampleFeed& operator=(const SampleFeed&) = delete;

  /// Starts the writers and takes every later sample of `link`'s streams.
  void Start(qrk_impl::RobotLink& link);
  /// Starts the writers only, for a feed that is handed its samples
  /// through OnBasic/OnExtra by its owner.
  void StartWriting();
  /// Stops taking samples, then writes every queued one.
  void Finish();
  /// The first write error of either stream.
  std::optional<std::string> Error() const;

  StreamCounts Basic() const { return basic_.Counts(); }
  StreamCounts Extra() const { return extra_.Counts(); }

  void OnBasic(const qrk_impl::BasicStreamData& sample, double receive_time) override;
  void OnExtra(const qrk_impl::ExtraStreamData& sample, double receive_time) override;

 private:
  void Detach();

  qrk_impl::RobotLink* link_ = nullptr;
  // The extra stream carries no time stamp: its samples get the latest basic
  // one, packed as (first << 32 | second) so one atomic holds both halves.
  std::atomic<std::uint64_t> latest_stamp_{0};
  StreamPipeline<qrk_impl::BasicStreamData> basic_;
  StreamPipeline<qrk_impl::ExtraStreamData> extra_;
};

}  // namespace velmor::cli

#include "cli/recorder/recording.hpp"

#include <chrono>
#include <utility>

namespace velmor::cli {
namespace {

double Now() { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count(); }

std::uint64_t PackStamp(std::pair<std::int32_t, std::int32_t> stamp) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(stamp.first)) << 32) |
         static_cast<std::uint32_t>(stamp.second);
}

std::pair<std::int32_t, std::int32_t> UnpackStamp(std::uint64_t packed) {
  return {static_cast<std::int32_t>(packed >> 32), static_cast<std::int32_t>(packed & 0xFFFFFFFFu)};
}

}  // namespace

Recording::Recording(std::unique_ptr<RecordingOutput> output)
    : output_(std::move(output)), basic_(output_->BasicSink()), extra_(output_->ExtraSink()) {
  progress_.start_time = Now();
  output_->Describe(Progress());
}

Recording::~Recording() { Detach(); }

void Recording::Start(qrk_impl::RobotLink& link) {
  basic_.StartWriting();
  extra_.StartWriting();
  link_ = &link;
  link.Attach(this);
}

void Recording::Detach() {
  if (link_ != nullptr) link_->Attach(nullptr);
  link_ = nullptr;
}

void Recording::OnBasic(const qrk_impl::BasicStreamData& sample, double receive_time) {
  const auto stamp = qrk_impl::StampOf(sample);
  latest_stamp_.store(PackStamp(stamp), std::memory_order_relaxed);
  basic_.Take(sample, receive_time, stamp);
}

void Recording::OnExtra(const qrk_impl::ExtraStreamData& sample, double receive_time) {
  extra_.Take(sample, receive_time, UnpackStamp(latest_stamp_.load(std::memory_order_relaxed)));
}

std::optional<std::string> Recording::Error() const {
  if (auto error = basic_.Error()) return error;
  return extra_.Error();
}

void Recording::Finish(const std::string& ended_by) {
  Detach();
  basic_.Finish();
  extra_.Finish();
  progress_.end_time = Now();
  progress_.ended_by = ended_by;
  progress_.complete = !Error();
  const RecordingProgress ended = Progress();
  progress_.empty = ended.basic.received + ended.extra.received == 0;
  output_->Describe(Progress());
}

RecordingProgress Recording::Progress() const {
  RecordingProgress progress = progress_;
  progress.basic = basic_.Counts();
  progress.extra = extra_.Counts();
  return progress;
}

}  // namespace velmor::cli

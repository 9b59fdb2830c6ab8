#include "cli/recorder/sample_feed.hpp"

#include <utility>

namespace velmor::cli {
namespace {

std::uint64_t PackStamp(std::pair<std::int32_t, std::int32_t> stamp) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(stamp.first)) << 32) |
         static_cast<std::uint32_t>(stamp.second);
}

std::pair<std::int32_t, std::int32_t> UnpackStamp(std::uint64_t packed) {
  return {static_cast<std::int32_t>(packed >> 32), static_cast<std::int32_t>(packed & 0xFFFFFFFFu)};
}

}  // namespace

SampleFeed::SampleFeed(SampleSink<qrk_impl::BasicStreamData>& basic, SampleSink<qrk_impl::ExtraStreamData>& extra)
    : basic_(basic), extra_(extra) {}

// The link must stop calling before the pipelines it calls into go.
SampleFeed::~SampleFeed() { Detach(); }

void SampleFeed::Start(qrk_impl::RobotLink& link) {
  StartWriting();
  link_ = &link;
  link.Attach(this);
}

void SampleFeed::StartWriting() {
  basic_.StartWriting();
  extra_.StartWriting();
}

void SampleFeed::Detach() {
  if (link_ != nullptr) link_->Attach(nullptr);
  link_ = nullptr;
}

void SampleFeed::Finish() {
  Detach();
  basic_.Finish();
  extra_.Finish();
}

void SampleFeed::OnBasic(const qrk_impl::BasicStreamData& sample, double receive_time) {
  const auto stamp = qrk_impl::StampOf(sample);
  latest_stamp_.store(PackStamp(stamp), std::memory_order_relaxed);
  basic_.Take(sample, receive_time, stamp);
}

void SampleFeed::OnExtra(const qrk_impl::ExtraStreamData& sample, double receive_time) {
  extra_.Take(sample, receive_time, UnpackStamp(latest_stamp_.load(std::memory_order_relaxed)));
}

std::optional<std::string> SampleFeed::Error() const {
  if (auto error = basic_.Error()) return error;
  return extra_.Error();
}

}  // namespace velmor::cli

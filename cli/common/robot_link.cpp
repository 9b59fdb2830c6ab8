#include "cli/common/robot_link.hpp"

#include <utility>

namespace velmor::qrk_impl {
namespace {

double SecondsSinceEpoch() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

std::optional<StreamClock::Clock::duration> StreamClock::Age() const noexcept {
  const Clock::rep latest = latest_.load(std::memory_order_relaxed);
  if (latest == 0) return std::nullopt;
  return Clock::now().time_since_epoch() - Clock::duration(latest);
}

StreamTaps RobotLink::Taps() {
  StreamTaps taps;
  taps.basic = [state = &taps_](const BasicStreamData& sample) {
    state->basic.Tick();
    std::lock_guard<std::mutex> lock(state->consumer_mutex);
    if (state->consumer != nullptr) state->consumer->OnBasic(sample, SecondsSinceEpoch());
  };
  taps.extra = [state = &taps_](const ExtraStreamData& sample) {
    state->extra.Tick();
    std::lock_guard<std::mutex> lock(state->consumer_mutex);
    if (state->consumer != nullptr) state->consumer->OnExtra(sample, SecondsSinceEpoch());
  };
  return taps;
}

RobotLink::RobotLink(std::string serial)
    : serial_(std::move(serial)), services_(std::make_shared<QRKClient>(false, Taps())) {
  services_->Connect(serial_);
  layout_ = LearnRobot(*services_, serial_, false);
}

RobotLink::~RobotLink() { Attach(nullptr); }

void RobotLink::Attach(SampleConsumer* consumer) {
  std::lock_guard<std::mutex> lock(taps_.consumer_mutex);
  taps_.consumer = consumer;
}

}  // namespace velmor::qrk_impl

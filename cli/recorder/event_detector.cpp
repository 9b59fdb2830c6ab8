#include "cli/recorder/event_detector.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace velmor::cli {
namespace {

constexpr unsigned kInputs = std::tuple_size_v<decltype(qrk_impl::RobotIo::digital_inputs)>;

std::optional<unsigned> InputNumber(const std::string& text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value >= kInputs) {
    return std::nullopt;
  }
  return value;
}

std::optional<EventTrigger> ParseInputTrigger(const std::string& text) {
  const std::string prefix = "di:";
  const std::size_t colon = text.rfind(':');
  if (text.compare(0, prefix.size(), prefix) != 0 || colon < prefix.size()) return std::nullopt;
  const auto input = InputNumber(text.substr(prefix.size(), colon - prefix.size()));
  const std::string edge = text.substr(colon + 1);
  if (!input || (edge != "rising" && edge != "falling")) return std::nullopt;
  return EventTrigger{edge == "rising" ? EventKind::kInputRising : EventKind::kInputFalling, *input};
}

EventTrigger ParseTrigger(const std::string& text) {
  if (text == "estop") return {EventKind::kEstopPressed, 0};
  if (text == "enabling") return {EventKind::kEnablingReleased, 0};
  if (auto input = ParseInputTrigger(text)) return *input;
  throw std::invalid_argument(fmt::format(
      "unknown event '{}' (estop, enabling, di:N:rising or di:N:falling with N from 0 to {})", text, kInputs - 1));
}

}  // namespace

std::string EventTrigger::Label() const {
  switch (kind) {
    case EventKind::kEstopPressed:
      return "estop";
    case EventKind::kEnablingReleased:
      return "enabling";
    case EventKind::kInputRising:
      return fmt::format("di{}-rising", input);
    case EventKind::kInputFalling:
      return fmt::format("di{}-falling", input);
  }
  return "event";
}

std::vector<EventTrigger> ParseEventTriggers(const std::vector<std::string>& texts) {
  std::vector<EventTrigger> triggers;
  for (const std::string& text : texts) {
    const EventTrigger trigger = ParseTrigger(text);
    if (std::find(triggers.begin(), triggers.end(), trigger) == triggers.end()) triggers.push_back(trigger);
  }
  return triggers;
}

EventDetector::EventDetector(std::vector<EventTrigger> triggers) : triggers_(std::move(triggers)) {}

std::vector<DetectedEvent> EventDetector::Observe(const SampleStamp& stamp, const qrk_impl::RobotIo& io) {
  std::vector<DetectedEvent> events;
  if (previous_ && !Breaks(stamp, io)) {
    for (const EventTrigger& trigger : triggers_) {
      if (Fired(trigger, io)) events.push_back({trigger, stamp.sample, stamp.receive_time});
    }
  }
  previous_ = Previous{io, stamp.receive_time};
  return events;
}

bool EventDetector::Breaks(const SampleStamp& stamp, const qrk_impl::RobotIo& io) const {
  // The pair counts up within one run of the robot, first half first.
  return io.timestamp <= previous_->io.timestamp || stamp.receive_time - previous_->receive_time > kBreakSeconds;
}

bool EventDetector::Fired(const EventTrigger& trigger, const qrk_impl::RobotIo& io) const {
  const qrk_impl::RobotIo& before = previous_->io;
  switch (trigger.kind) {
    case EventKind::kEstopPressed:
      return before.estop_released && !io.estop_released;
    case EventKind::kEnablingReleased:
      return before.enabling_device_on && !io.enabling_device_on;
    case EventKind::kInputRising:
      return !before.digital_inputs[trigger.input] && io.digital_inputs[trigger.input];
    case EventKind::kInputFalling:
      return before.digital_inputs[trigger.input] && !io.digital_inputs[trigger.input];
  }
  return false;
}

}  // namespace velmor::cli

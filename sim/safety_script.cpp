#include "sim/safety_script.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace velmor::sim {
namespace {

constexpr unsigned kInputs = 20;

bool ParseNumber(const std::string& text, double& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size() && std::isfinite(value) &&
         value >= 0.0;
}

bool ParseIndex(const std::string& text, unsigned& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size() && value < kInputs;
}

// WHAT is "estop:press", "enabling:off", "di:N:on", ...
bool ParseAction(const std::string& what, SafetyEvent& event) {
  if (what == "estop:press" || what == "estop:release") {
    event = {SafetyInput::kEstop, 0, what == "estop:press", 0.0};
    return true;
  }
  if (what == "enabling:on" || what == "enabling:off") {
    event = {SafetyInput::kEnablingDevice, 0, what == "enabling:on", 0.0};
    return true;
  }
  const std::size_t colon = what.rfind(':');
  if (what.rfind("di:", 0) != 0 || colon < 3) return false;
  const std::string state = what.substr(colon + 1);
  event = {SafetyInput::kDigitalInput, 0, state == "on", 0.0};
  return (state == "on" || state == "off") && ParseIndex(what.substr(3, colon - 3), event.index);
}

bool Resting(SafetyInput input) { return input == SafetyInput::kEnablingDevice; }

void Set(zenoh_msgs::qrk_msg::StatusData& status, const SafetyEvent& event, bool engaged) {
  switch (event.input) {
    case SafetyInput::kEstop:
      status.estop_released = !engaged;
      break;
    case SafetyInput::kEnablingDevice:
      status.enabling_device_on = engaged;
      status.aux_flags[1] = engaged;  // the model mirrors the device there
      break;
    case SafetyInput::kDigitalInput:
      status.digital_inputs[event.index] = engaged;
      break;
  }
}

}  // namespace

SafetyEvent ParseSafetyEvent(const std::string& text) {
  const std::size_t at = text.rfind('@');
  SafetyEvent event;
  if (at == std::string::npos || !ParseAction(text.substr(0, at), event)) {
    throw std::invalid_argument(fmt::format(
        "unknown event '{}' (estop:press, estop:release, enabling:off, enabling:on, di:N:on or di:N:off with N from 0 "
        "to {}, then @SECONDS)",
        text, kInputs - 1));
  }
  if (!ParseNumber(text.substr(at + 1), event.at)) {
    throw std::invalid_argument(fmt::format("event '{}': the time after @ must be seconds, 0 or more", text));
  }
  return event;
}

SafetyScript::SafetyScript(std::vector<SafetyEvent> events) : events_(std::move(events)) {
  std::stable_sort(events_.begin(), events_.end(),
                   [](const SafetyEvent& a, const SafetyEvent& b) { return a.at < b.at; });
}

void SafetyScript::ToggleEstop(double t) {
  const SafetyEvent toggle{SafetyInput::kEstop, 0, !EngagedAt(SafetyInput::kEstop, 0, t), t};
  const auto later = std::upper_bound(events_.begin(), events_.end(), t,
                                      [](double time, const SafetyEvent& event) { return time < event.at; });
  events_.insert(later, toggle);
}

bool SafetyScript::EngagedAt(SafetyInput input, unsigned index, double t) const {
  bool engaged = Resting(input);
  for (const SafetyEvent& event : events_) {
    if (event.at > t) break;
    if (event.input == input && event.index == index) engaged = event.engaged;
  }
  return engaged;
}

// Every named input rests first; then its events up to `t`, in time order,
// leave it as the last of them says.
void SafetyScript::Apply(zenoh_msgs::qrk_msg::StatusData& status, double t) const {
  for (const SafetyEvent& event : events_) Set(status, event, Resting(event.input));
  for (const SafetyEvent& event : events_) {
    if (event.at > t) break;
    Set(status, event, event.engaged);
  }
}

}  // namespace velmor::sim

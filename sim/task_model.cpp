#include "sim/task_model.hpp"

#include <fmt/format.h>

#include <array>
#include <cmath>

namespace velmor::sim {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kStepSeconds = 4.0;

struct PlanStep {
  const char* node;
  const char* primitive;
  double speed;
  bool waits_for_operator;
};

constexpr std::array<PlanStep, 4> kPlan{{
    {"approach", "MoveJ", 0.5, false},
    {"grasp", "MoveL", 0.25, false},
    {"lift", "MoveL", 0.25, true},
    {"place", "Hold", 0.0, false},
}};

std::size_t StepIndex(double t) { return static_cast<std::size_t>(std::floor(t / kStepSeconds)) % kPlan.size(); }

double SecondsInStep(double t) { return std::fmod(t, kStepSeconds); }

}  // namespace

std::vector<std::string> PrimitiveStateEntries(const std::vector<std::uint16_t>& groups, double t) {
  std::vector<std::string> entries;
  for (std::size_t k = 0; k < groups.size(); ++k) {
    // Each group runs the plan a step apart from the previous one.
    const double shifted = t + kStepSeconds * static_cast<double>(k);
    const PlanStep& step = kPlan[StepIndex(shifted)];
    entries.push_back(fmt::format("jointGroup = {}", groups[k]));
    entries.push_back(fmt::format("primitiveName = {}", step.primitive));
    entries.push_back(fmt::format("reachedTarget = {}", SecondsInStep(shifted) > 3.0 ? 1 : 0));
    // Fixed decimals keep a zero speed a double ("0.00") rather than the integer 0.
    entries.push_back(fmt::format("speed = {:.2f}", step.speed));
    entries.push_back(fmt::format("mode = {}", step.speed >= 0.5 ? "fast" : "fine"));
  }
  return entries;
}

std::vector<std::string> PlanInfoStrings(double t) {
  const std::size_t index = StepIndex(t);
  const PlanStep& step = kPlan[index];
  return {step.primitive,
          step.node,
          fmt::format("PickAndPlace/{}", step.node),
          fmt::format("{:.3f}", SecondsInStep(t)),
          std::to_string(index),
          "PickAndPlace",
          "0.5",
          step.waits_for_operator ? "1" : "0"};
}

std::vector<float> ManipulabilityVector(std::uint16_t group, double t) {
  std::vector<float> packed(kManipulabilityVectorSize, 0.0f);
  packed[0] = static_cast<float>(group);
  for (std::size_t k = 2; k < kManipulabilityVectorSize; ++k) {
    const double period = 20.0 + 5.0 * static_cast<double>(k);
    const double phase = 0.8 * static_cast<double>(group) + 1.1 * static_cast<double>(k);
    packed[k] = static_cast<float>(0.4 + 0.4 * std::sin(kTwoPi * t / period + phase));
  }
  return packed;
}

}  // namespace velmor::sim

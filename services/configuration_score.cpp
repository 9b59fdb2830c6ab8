#include "services/configuration_score.hpp"

#include <algorithm>

namespace velmor::qrk_impl {
namespace {

constexpr double kLowerLevel = 20.0;
constexpr double kUpperLevel = 40.0;
constexpr double kCap = 100.0;

}  // namespace

double ConfigurationScore(double value, const ScoreKnees& knees) {
  if (value >= knees.upper) {
    return std::min(kCap, (value - knees.upper) / knees.span * (kCap - kUpperLevel) + kUpperLevel);
  }
  if (value >= knees.lower) {
    return (value - knees.lower) / (knees.upper - knees.lower) * (kUpperLevel - kLowerLevel) + kLowerLevel;
  }
  if (value >= 0.0) return value / knees.lower * kLowerLevel;
  return 0.0;  // negative or NaN
}

std::map<qrk::JointGroup, std::pair<double, double>> ConfigurationScores(
    const std::map<qrk::JointGroup, ManipulabilityValues>& values) {
  std::map<qrk::JointGroup, std::pair<double, double>> scores;
  for (const auto& [group, manipulability] : values) {
    scores[group] = {ConfigurationScore(manipulability[2], kFirstScoreKnees),
                     ConfigurationScore(manipulability[5], kSecondScoreKnees)};
  }
  return scores;
}

}  // namespace velmor::qrk_impl

#pragma once
// Configuration scores: how far a joint group is from a singular
// configuration, mapped piecewise-linearly from manipulability values onto
// 0..100 (20 at the lower knee, 40 at the upper knee, 100 one span above it).
#include <map>
#include <utility>

#include "services/data_rpc.hpp"

namespace velmor::qrk_impl {

struct ScoreKnees {
  double lower;
  double upper;
  double span;
};

inline constexpr ScoreKnees kFirstScoreKnees{0.08, 0.15, 0.07};
inline constexpr ScoreKnees kSecondScoreKnees{0.08, 0.3, 0.45};

/// The score of `value`; 0 for a negative value or NaN, at most 100.
double ConfigurationScore(double value, const ScoreKnees& knees);

/// Per group: the first score from manipulability value 2, the second from value 5.
std::map<qrk::JointGroup, std::pair<double, double>> ConfigurationScores(
    const std::map<qrk::JointGroup, ManipulabilityValues>& values);

}  // namespace velmor::qrk_impl

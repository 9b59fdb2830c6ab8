#include "services/configuration_score.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace velmor::qrk_impl {
namespace {

struct Point {
  double input;
  double score;
};

void ExpectScores(const ScoreKnees& knees, std::initializer_list<Point> points) {
  for (const Point& p : points) {
    EXPECT_NEAR(ConfigurationScore(p.input, knees), p.score, 1e-9) << "input " << p.input;
    // The server sends 32-bit floats.
    EXPECT_NEAR(ConfigurationScore(static_cast<float>(p.input), knees), p.score, 1e-4) << "float input " << p.input;
  }
}

TEST(ConfigurationScoreTest, FirstScorePassesEveryKnee) {
  ExpectScores(kFirstScoreKnees,
               {{0.0, 0.0}, {0.04, 10.0}, {0.08, 20.0}, {0.115, 30.0}, {0.15, 40.0}, {0.185, 70.0}, {0.22, 100.0}});
  for (const double capped : {0.23, 1.0, 1e30, std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(ConfigurationScore(capped, kFirstScoreKnees), 100.0) << capped;
  }
}

TEST(ConfigurationScoreTest, SecondScorePassesEveryKnee) {
  ExpectScores(kSecondScoreKnees,
               {{0.0, 0.0}, {0.04, 10.0}, {0.08, 20.0}, {0.19, 30.0}, {0.3, 40.0}, {0.525, 70.0}, {0.75, 100.0}});
  EXPECT_EQ(ConfigurationScore(0.76, kSecondScoreKnees), 100.0);
}

TEST(ConfigurationScoreTest, NegativeOrNotANumberScoresZeroAndTheMappingIsContinuousAndMonotonic) {
  for (const ScoreKnees& knees : {kFirstScoreKnees, kSecondScoreKnees}) {
    for (const double bad : {-0.01, -1e-300, -std::numeric_limits<double>::infinity(), std::nan("")}) {
      EXPECT_EQ(ConfigurationScore(bad, knees), 0.0) << bad;
    }
    double previous = 0.0;
    for (int i = 0; i <= 1000; ++i) {
      const double score = ConfigurationScore(i * 0.001, knees);
      EXPECT_GE(score, previous) << "at " << i * 0.001;
      EXPECT_LE(score, 100.0);
      previous = score;
    }
    for (const double knee : {knees.lower, knees.upper}) {
      EXPECT_NEAR(ConfigurationScore(std::nextafter(knee, 0.0), knees), ConfigurationScore(knee, knees), 1e-9);
    }
  }
}

}  // namespace
}  // namespace velmor::qrk_impl

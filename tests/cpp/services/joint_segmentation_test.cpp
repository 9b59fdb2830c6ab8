#include "services/joint_segmentation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>

namespace velmor::qrk_impl {
namespace {

// Full-robot values as a kept sample holds them: little-endian bytes.
struct WireFloats {
  std::vector<std::uint8_t> bytes;
  operator zenoh_msgs::WireSequence<float>() const { return {bytes.data(), bytes.size() / sizeof(float)}; }
};

WireFloats Floats(const std::vector<float>& values) {
  WireFloats wire{std::vector<std::uint8_t>(values.size() * sizeof(float))};
  for (std::size_t i = 0; i < values.size(); ++i) {
    zenoh::ext::detail::StoreLittleEndian(values[i], wire.bytes.data() + i * sizeof(float));
  }
  return wire;
}

WireFloats Joints(std::size_t count) {
  std::vector<float> joints(count);
  std::iota(joints.begin(), joints.end(), 0.5f);
  return Floats(joints);
}

TEST(SegmentJointDataTest, SliceThatEndsAtOrBeforeTheEndIsCutAndWidened) {
  std::vector<double> out{99.0};
  ASSERT_TRUE(SegmentJointData(Joints(17), 10, 7, out));
  EXPECT_EQ(out, (std::vector<double>{10.5, 11.5, 12.5, 13.5, 14.5, 15.5, 16.5}));

  ASSERT_TRUE(SegmentJointData(Floats({0.1f}), 0, 1, out));
  EXPECT_EQ(out, std::vector<double>{static_cast<double>(0.1f)}) << "widened, not re-rounded";

  ASSERT_TRUE(SegmentJointData(Joints(17), 17, 0, out));
  EXPECT_TRUE(out.empty());
}

TEST(SegmentJointDataTest, SliceBeyondTheEndFailsWithoutWrappingAndLeavesTheDestination) {
  constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();
  const struct {
    std::size_t length;
    std::uint32_t start;
    std::uint64_t count;
  } cases[] = {
      {16, 10, 7},
      {17, 18, 0},
      {17, static_cast<std::uint32_t>(std::int32_t{-1}), 0},  // a negative start ID as it arrives
      {17, static_cast<std::uint32_t>(std::int32_t{-3}), 3},
      {17, 0, kMax64},
      {17, 1, kMax64},  // start + count wraps to 0
      {17, 3, kMax64 - 1},
      {0, 0, 1},
  };
  for (const auto& c : cases) {
    std::vector<double> out{99.0};
    EXPECT_FALSE(SegmentJointData(Joints(c.length), c.start, c.count, out))
        << "length " << c.length << " start " << c.start << " count " << c.count;
    EXPECT_EQ(out, std::vector<double>{99.0});
  }
}

qrk::RobotStates WithOrientation(double w, double x, double y, double z) {
  qrk::RobotStates states;
  states.tcp_pose = {9.0, 9.0, 9.0, w, x, y, z};
  states.tcp_wrench_local = {1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
  states.raw_tcp_wrench_local = {-7.0, 8.0, -9.0, 10.0, -11.0, 12.0};
  return states;
}

void ExpectWrench(const std::array<double, 6>& actual, const std::array<double, 6>& expected, const char* what) {
  for (std::size_t i = 0; i < 6; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-12) << what << " entry " << i;
}

TEST(FillWorldWrenchesTest, RotatesForceAndMomentOfBothWrenches) {
  // Identity: unit, scaled (normalised first) and the zero quaternion of an
  // empty message.
  for (const auto& identity : {WithOrientation(1, 0, 0, 0), WithOrientation(2, 0, 0, 0), WithOrientation(0, 0, 0, 0)}) {
    qrk::RobotStates states = identity;
    FillWorldWrenches(states);
    ExpectWrench(states.tcp_wrench, states.tcp_wrench_local, "tcp_wrench");
    ExpectWrench(states.raw_tcp_wrench, states.raw_tcp_wrench_local, "raw_tcp_wrench");
  }

  qrk::RobotStates half_turn = WithOrientation(0, 0, 0, 1);  // about z
  FillWorldWrenches(half_turn);
  ExpectWrench(half_turn.tcp_wrench, {-1, -2, 3, -4, -5, 6}, "half turn");
  ExpectWrench(half_turn.raw_tcp_wrench, {7, -8, -9, -10, 11, 12}, "half turn, raw");

  // A quarter turn about z, given unnormalised: x goes to y, y to -x.
  qrk::RobotStates quarter_turn = WithOrientation(3, 0, 0, 3);
  FillWorldWrenches(quarter_turn);
  ExpectWrench(quarter_turn.tcp_wrench, {-2, 1, 3, -5, 4, 6}, "quarter turn");

  // A quarter turn about x: y goes to z, z to -y.
  qrk::RobotStates about_x = WithOrientation(std::sqrt(0.5), std::sqrt(0.5), 0, 0);
  FillWorldWrenches(about_x);
  ExpectWrench(about_x.tcp_wrench, {1, -3, 2, 4, -6, 5}, "quarter turn about x");
  EXPECT_EQ(about_x.tcp_pose[0], 9.0) << "the pose itself is not touched";
}

}  // namespace
}  // namespace velmor::qrk_impl

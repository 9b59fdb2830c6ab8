#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "velmor/qrk/joint_group.hpp"
#include "velmor/qrk/plan_info.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

namespace velmor::qrk {
namespace {

TEST(JointGroupNames, HoldsTheSixMembersAscendingAndNothingForOne) {
  using Rows = std::vector<std::pair<JointGroup, std::string>>;
  const Rows expected{
      {JointGroup::UNKNOWN, "UNKNOWN"}, {JointGroup::ALL, "ALL"},     {JointGroup::ARMS, "ARMS"},
      {JointGroup::ARM_1, "ARM_1"},     {JointGroup::ARM_2, "ARM_2"}, {JointGroup::EXT_AXIS, "EXT_AXIS"},
  };
  const auto& names = JointGroupNames();
  EXPECT_EQ(Rows(names.begin(), names.end()), expected);
  EXPECT_THROW(names.at(static_cast<JointGroup>(1)), std::out_of_range);
  EXPECT_THROW(names.at(static_cast<JointGroup>(6)), std::out_of_range);
}

// Default-initialises a record on top of garbage: a field that lacks an
// initialiser keeps the garbage instead of reading zero.
template <typename Record, typename Check>
void OnDirtyMemory(Check check) {
  alignas(Record) unsigned char storage[sizeof(Record)];
  std::memset(storage, 0xA5, sizeof storage);
  // Keeps the optimiser from dropping the fill as a store to dead storage.
  asm volatile("" : : "r"(storage) : "memory");
  Record* record = new (storage) Record;
  check(*record);
  record->~Record();
}

template <std::size_t N>
bool AllZero(const std::array<double, N>& values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return v == 0.0; });
}

TEST(RecordDefaults, RobotStatesIsAllZero) {
  OnDirtyMemory<RobotStates>([](const RobotStates& r) {
    EXPECT_EQ(r.timestamp, std::make_pair(0, 0));
    for (const auto* v :
         {&r.q, &r.theta, &r.dq, &r.dtheta, &r.tau, &r.tau_dot, &r.tau_ext, &r.tau_interact, &r.temperature}) {
      EXPECT_TRUE(v->empty());
    }
    EXPECT_TRUE(AllZero(r.flange_pose));
    EXPECT_TRUE(AllZero(r.tcp_pose));
    for (const auto* a : {&r.tcp_twist, &r.tcp_wrench, &r.tcp_wrench_local, &r.raw_tcp_wrench, &r.raw_tcp_wrench_local,
                          &r.raw_ft_sensor}) {
      EXPECT_TRUE(AllZero(*a));
    }
  });
}

TEST(RecordDefaults, RobotActionsIsAllZero) {
  OnDirtyMemory<RobotActions>([](const RobotActions& r) {
    EXPECT_EQ(r.timestamp, std::make_pair(0, 0));
    EXPECT_TRUE(r.q_d.empty() && r.dq_d.empty() && r.tau_d.empty());
    EXPECT_TRUE(AllZero(r.tcp_pose_d));
    EXPECT_TRUE(AllZero(r.tcp_twist_d));
    EXPECT_TRUE(AllZero(r.tcp_wrench_d));
  });
}

TEST(RecordDefaults, PlanInfoScalarsAreZero) {
  OnDirtyMemory<PlanInfo>([](const PlanInfo& r) {
    EXPECT_EQ(r.velocity_scale, 0.0);
    EXPECT_FALSE(r.waiting_for_step);
  });
}

}  // namespace
}  // namespace velmor::qrk

#pragma once
// The simulated robot: two 7-joint arms followed by a 2-axis external axis,
// 16 joints in all. Every joint group is a contiguous slice of the full-robot
// joint arrays, given by its first joint (start ID) and its joint count (DoF).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmor::sim {

inline constexpr std::size_t kJointCount = 16;

struct GroupLayout {
  std::uint16_t group;
  std::int32_t start_id;
  std::uint32_t dof;
  const char* name;
};

inline constexpr std::array<GroupLayout, 5> kRobotGroups{{
    {0, 0, 16, "ALL"},
    {2, 0, 14, "ARMS"},
    {3, 0, 7, "ARM_1"},
    {4, 7, 7, "ARM_2"},
    {5, 14, 2, "EXT_AXIS"},
}};

/// The layout of `group`, or nothing if the robot has no such group.
constexpr std::optional<GroupLayout> FindGroup(std::uint16_t group) {
  for (const GroupLayout& layout : kRobotGroups) {
    if (layout.group == group) return layout;
  }
  return std::nullopt;
}

/// Every group of the robot, in table order.
inline std::vector<std::uint16_t> AllRobotGroups() {
  std::vector<std::uint16_t> groups;
  for (const GroupLayout& layout : kRobotGroups) groups.push_back(layout.group);
  return groups;
}

}  // namespace velmor::sim

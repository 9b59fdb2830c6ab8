#pragma once
// How qrk spells joint groups and bit arrays in its output, the same in every
// command.
#include <array>
#include <string>

#include "velmor/qrk/joint_group.hpp"

namespace velmor::cli {

/// The group's name, or its number when it has none.
inline std::string GroupName(qrk::JointGroup group) {
  const auto& names = qrk::JointGroupNames();
  const auto found = names.find(group);
  return found != names.end() ? found->second : std::to_string(static_cast<int>(group));
}

/// "0110...", bit 0 first.
inline std::string Bits(const std::array<bool, 20>& bits) {
  std::string text;
  for (const bool bit : bits) text += bit ? '1' : '0';
  return text;
}

}  // namespace velmor::cli

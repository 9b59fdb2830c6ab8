#pragma once
// Joint groups divide the robot's joints into the parts a caller can ask
// about. The name table is read-only once the library is loaded and may be
// read from any thread without a lock.
#include <cstdint>
#include <map>
#include <string>

namespace velmor::qrk {

/// A part of the robot. Scoped on purpose: an index received from the robot
/// names a group only after it has been checked against JointGroupNames().
enum class JointGroup : int32_t {
  UNKNOWN = -1,
  ALL = 0,
  ARMS = 2,
  ARM_1 = 3,
  ARM_2 = 4,
  EXT_AXIS = 5,
};

/// The process-wide table from every JointGroup member to its name, ascending
/// by value. Value 1 names no group and has no row, so `.at()` on it throws
/// std::out_of_range; each caller decides how to report that. Built during the
/// library's static initialisation and safe to use from other static
/// initialisers as well.
const std::map<JointGroup, std::string>& JointGroupNames();

}  // namespace velmor::qrk

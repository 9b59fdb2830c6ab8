#include "velmor/qrk/joint_group.hpp"

namespace velmor::qrk {

const std::map<JointGroup, std::string>& JointGroupNames() {
  // A function-local static so that a static initialiser elsewhere in the
  // library that reads the table gets it built, whatever the link order.
  static const std::map<JointGroup, std::string> names{
      {JointGroup::UNKNOWN, "UNKNOWN"}, {JointGroup::ALL, "ALL"},     {JointGroup::ARMS, "ARMS"},
      {JointGroup::ARM_1, "ARM_1"},     {JointGroup::ARM_2, "ARM_2"}, {JointGroup::EXT_AXIS, "EXT_AXIS"},
  };
  return names;
}

namespace {
// Builds the table while the library loads, so no client ever pays for it or
// races to build it.
[[maybe_unused]] const auto& kBuiltAtLoad = JointGroupNames();
}  // namespace

}  // namespace velmor::qrk

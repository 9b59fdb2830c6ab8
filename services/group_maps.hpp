#pragma once
// The per-group maps the client learns at start-up and hands to every
// per-group query.
#include <cstdint>
#include <map>
#include <string>

#include "velmor/qrk/joint_group.hpp"

namespace velmor::qrk_impl {

/// Joint groups present in the basic stream at start-up, with their names.
using GroupNames = std::map<qrk::JointGroup, std::string>;
/// Index of each group's first joint in the full-robot arrays.
using StartIds = std::map<qrk::JointGroup, std::int32_t>;
/// Number of joints of each group.
using Dofs = std::map<qrk::JointGroup, std::uint64_t>;

/// A joint group value received on the wire: widened without sign extension,
/// so 65535 stays 65535.
inline qrk::JointGroup WireGroup(std::uint16_t value) {
  return static_cast<qrk::JointGroup>(static_cast<std::int32_t>(value));
}

}  // namespace velmor::qrk_impl

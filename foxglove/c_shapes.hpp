#pragma once
// The C shapes of a sample for velmor_foxglove.h, borrowed from the records
// (valid as long as the record and the group's name), and the one way this
// folder turns a failed call into an exception. Only foxglove/ sees the
// C header.
#include <velmor_foxglove.h>

#include <cstdint>
#include <string>

#include "foxglove/messages.hpp"
#include "services/robot_io.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

namespace velmor::foxglove::detail {

vf_stamp ToC(const MessageStamp& stamp) noexcept;
/// Throws std::invalid_argument when the joint vectors differ in length.
vf_group_states ToC(const qrk::RobotStates& states, std::uint32_t first_joint);
vf_group_frames ToC(const GroupFrames& frames) noexcept;
vf_group_actions ToC(const qrk::RobotActions& actions, std::uint32_t first_joint);
vf_io ToC(const qrk_impl::RobotIo& io) noexcept;

/// Throws for a failed call: WriteError for VF_EIO, FileExists for
/// VF_EEXIST, ServeError for
/// VF_ENETWORK, std::invalid_argument for a misuse (VF_EINVAL, VF_ENULL),
/// std::runtime_error otherwise; the text is vf_last_error()'s.
void Check(vf_result code);

}  // namespace velmor::foxglove::detail

#pragma once
// qrk's one link to a robot (cli/common/robot_link.hpp: a RobotLink, started
// up exactly as the public Client is, one subscription per stream, one RPC
// client), which every command reads from: opening it, and reading it as
// the commands show it.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/common/joint_names_file.hpp"
#include "cli/common/robot_link.hpp"
#include "cli/recorder/recorded_groups.hpp"
#include "cli/recorder/series_output.hpp"
#include "services/robot_io.hpp"

namespace velmor::cli {

/// Connects to the robot with serial number `serial` (any spelling the client
/// accepts). Throws the client's errors, with its messages.
std::unique_ptr<qrk_impl::RobotLink> OpenRobotLink(const std::string& serial);

/// The joint groups to cut `robot`'s samples for: start-up's, or those the
/// first basic sample names when start-up saw none. `robot` must outlive
/// them.
RecordedGroups GroupsToRecord(const qrk_impl::RobotLink& robot);

/// The names of `robot`'s joints that `names` (read from the --joint-names
/// file `path`) gives, "" for each joint it leaves out. Throws
/// JointNamesError for an index beyond the robot's joints.
std::vector<std::string> JointNamesOf(const qrk_impl::RobotLink& robot, const JointNameMap& names,
                                      const std::string& path);

/// The safety inputs and digital I/O of the latest basic sample. Nothing
/// before the first: the stream calls would answer all false, which a reader
/// takes for the robot's state.
/// What the robot says it is now (its version, the latest basic sample's
/// groups, the layout query's start IDs and DoFs), for a recording that
/// checks after a break; nothing when a query goes unanswered. Blocks for up
/// to two query time-outs.
std::optional<RobotShape> AskShape(qrk_impl::RobotLink& robot);

std::optional<qrk_impl::RobotIo> ReadIo(const qrk_impl::RobotLink& robot);

/// How long ago a stream's latest sample came, as people read it: "0.4 ms
/// ago", or "no sample yet".
std::string AgeText(const qrk_impl::StreamClock& clock);

}  // namespace velmor::cli

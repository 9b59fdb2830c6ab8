#pragma once
// What qrk learns about one robot once: a connected client (which has already
// searched for the robot, checked its protocol version and read its joint
// groups), plus the version text and the layout, asked again over the same
// shared session because the client keeps them to itself, and a clock on
// each stream, started before the client, for the age of its latest sample:
// the client's records cannot tell stale commanded values, since actions()
// carries the basic stream's time stamp.
#include <memory>
#include <string>

#include "cli/sample_clock.hpp"
#include "services/data_rpc.hpp"
#include "services/group_maps.hpp"
#include "velmor/qrk/client.hpp"

namespace velmor::cli {

struct RobotProfile {
  std::string serial;  // as the keys spell it
  std::unique_ptr<SampleClock> basic_clock;
  std::unique_ptr<SampleClock> extra_clock;
  std::unique_ptr<qrk::Client> client;
  std::unique_ptr<qrk_impl::DataRpc> rpc;
  std::string version;
  qrk_impl::GroupNames groups;
  qrk_impl::StartIds start_ids;
  qrk_impl::Dofs dofs;
};

/// Connects to the robot with serial number `serial` (any spelling the client
/// accepts). Throws the client's errors (std::runtime_error when the robot is
/// not found or speaks another protocol version) and std::runtime_error when
/// the version or layout query fails right after.
RobotProfile ConnectToRobot(const std::string& serial);

}  // namespace velmor::cli

#pragma once
// What qrk learns about one robot once: a connected client (which has already
// searched for the robot, checked its protocol version and read its joint
// groups), plus the version text and the layout, asked again over the same
// shared session because the client keeps them to itself.
#include <memory>
#include <string>

#include "services/data_rpc.hpp"
#include "services/group_maps.hpp"
#include "velmor/qrk/client.hpp"

namespace velmor::cli {

struct RobotProfile {
  std::string serial;  // as the keys spell it
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

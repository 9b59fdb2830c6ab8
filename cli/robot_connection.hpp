#pragma once
// qrk's one connection to a robot: a RobotLink, started up exactly as the
// public Client is (one subscription per stream, one RPC client), which
// every command reads from.
#include <memory>
#include <string>

#include "services/robot_link.hpp"

namespace velmor::cli {

/// Connects to the robot with serial number `serial` (any spelling the client
/// accepts). Throws the client's errors, with its messages.
std::unique_ptr<qrk_impl::RobotLink> ConnectToRobot(const std::string& serial);

/// How long ago a stream's latest sample came, as people read it: "0.4 ms
/// ago", or "no sample yet".
std::string AgeText(const qrk_impl::StreamClock& clock);

}  // namespace velmor::cli

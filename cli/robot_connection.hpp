#pragma once
// qrk's one connection to a robot: a RobotLink, started up exactly as the
// public Client is (one subscription per stream, one RPC client), which
// every command reads from.
#include <array>
#include <memory>
#include <optional>
#include <string>

#include "services/robot_link.hpp"

namespace velmor::cli {

/// Connects to the robot with serial number `serial` (any spelling the client
/// accepts). Throws the client's errors, with its messages.
std::unique_ptr<qrk_impl::RobotLink> ConnectToRobot(const std::string& serial);

/// The safety inputs and digital I/O of the latest basic sample.
struct IoSnapshot {
  bool estop_released = false;
  bool enabling_device_on = false;
  std::array<bool, 20> digital_inputs{};
  std::array<bool, 20> digital_outputs{};
};

/// Nothing before the first basic sample: the stream calls would answer all
/// false, which a reader takes for the robot's state.
std::optional<IoSnapshot> ReadIo(const qrk_impl::RobotLink& robot);

/// How long ago a stream's latest sample came, as people read it: "0.4 ms
/// ago", or "no sample yet".
std::string AgeText(const qrk_impl::StreamClock& clock);

}  // namespace velmor::cli

#include "cli/robot_connection.hpp"

#include <fmt/format.h>

#include <chrono>

#include "client/serial_number.hpp"

namespace velmor::cli {

std::unique_ptr<qrk_impl::RobotLink> ConnectToRobot(const std::string& serial) {
  return std::make_unique<qrk_impl::RobotLink>(qrk::NormalizeSerialNumber(serial));
}

std::optional<IoSnapshot> ReadIo(const qrk_impl::RobotLink& robot) {
  if (robot.BasicClock().Samples() == 0) return std::nullopt;
  auto& stream = robot.Stream();
  return IoSnapshot{stream.IsEstopReleased(), stream.IsEnablingDeviceOn(), stream.GetDigitalInputs(),
                    stream.GetDigitalOutputs()};
}

std::string AgeText(const qrk_impl::StreamClock& clock) {
  const auto age = clock.Age();
  return age ? fmt::format("{:.1f} ms ago", std::chrono::duration<double, std::milli>(*age).count()) : "no sample yet";
}

}  // namespace velmor::cli

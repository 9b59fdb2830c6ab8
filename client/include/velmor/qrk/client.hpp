#pragma once
// velmor::qrk::Client: a read-only connection to one robot's data server.
//
// Construction is synchronous: it validates and normalises the serial number,
// joins the process's zenoh session, subscribes to the robot's two state
// streams, searches for the robot (at most three reachability queries over
// about 3 s, each sent once zenoh knows of a server, or at the end of its
// second), checks its protocol version and learns its joint-group layout.
// Every failure throws (std::invalid_argument, std::logic_error,
// std::runtime_error, or velmor::zenoh::ZException from
// <velmor/zenoh/z_exception.hpp>); no half-built client survives.
//
// The stream accessors answer from the latest samples without network
// traffic; connected(), primitive_states(), plan_info() and
// configuration_score() each make remote calls and block for their reply.
// All accessors may be called from several threads at once.
#include <array>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "velmor/qrk/joint_group.hpp"
#include "velmor/qrk/plan_info.hpp"
#include "velmor/qrk/primitive_states.hpp"
#include "velmor/qrk/robot_actions.hpp"
#include "velmor/qrk/robot_states.hpp"

namespace velmor::qrk {

class Client {
 public:
  /// Connects to the robot `robot_sn`. Throws std::invalid_argument for a
  /// malformed serial number, std::runtime_error when the robot cannot be
  /// reached or a start-up query fails (velmor::zenoh::ZException, a runtime_error,
  /// for middleware failures), std::logic_error for an incompatible protocol
  /// version. `verbose` only adds informational log lines.
  explicit Client(const std::string& robot_sn, bool verbose = true);
  virtual ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  /// One reachability query (up to 1 s): true if the robot answered correctly.
  bool connected() const;
  /// Joint groups listed by the latest basic sample, with their names. Throws
  /// std::out_of_range if the sample names index 1.
  std::map<JointGroup, std::string> groups() const;
  /// Measured state per joint group from the latest basic sample; empty (with
  /// an error line in the log) when the sample does not fit the layout.
  std::map<JointGroup, RobotStates> states() const;
  /// Commanded values per joint group from the latest extra sample, stamped
  /// with the latest basic sample's time stamp.
  std::map<JointGroup, RobotActions> actions() const;
  /// States of each group's running primitive (remote query). Throws
  /// std::runtime_error when the robot does not answer usably.
  std::map<JointGroup, PrimitiveStates> primitive_states() const;
  /// The executing plan (remote query). Throws std::runtime_error.
  PlanInfo plan_info() const;
  /// Per group, two scores in 0..100 from the robot's manipulability values
  /// (remote query). Throws std::runtime_error.
  std::map<JointGroup, std::pair<double, double>> configuration_score() const;
  bool estop_released() const;
  bool enabling_device_on() const;
  std::array<bool, 20> digital_inputs() const;
  std::array<bool, 20> digital_outputs() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl;
};

}  // namespace velmor::qrk

#include "cli/robot_profile.hpp"

#include <stdexcept>
#include <vector>

#include "client/serial_number.hpp"
#include "middleware/key_exprs.hpp"
#include "middleware/shared_session.hpp"

namespace velmor::cli {

RobotProfile ConnectToRobot(const std::string& serial) {
  RobotProfile profile;
  profile.serial = qrk::NormalizeSerialNumber(serial);
  const auto session = zenoh_mdw::SharedSession();
  profile.basic_clock =
      std::make_unique<SampleClock>(*session, zenoh_mdw::RobotKey(profile.serial, zenoh_mdw::kBasicStreamSuffix));
  profile.extra_clock =
      std::make_unique<SampleClock>(*session, zenoh_mdw::RobotKey(profile.serial, zenoh_mdw::kExtraStreamSuffix));
  profile.client = std::make_unique<qrk::Client>(serial, false);
  profile.rpc = std::make_unique<qrk_impl::DataRpc>();
  profile.rpc->CreateRpcClient(session, profile.serial);
  if (!qrk::IsOk(profile.rpc->GetServerVersion(profile.version))) {
    throw std::runtime_error("the robot did not answer the version query");
  }
  profile.groups = profile.client->groups();
  std::vector<qrk::JointGroup> groups;
  for (const auto& entry : profile.groups) groups.push_back(entry.first);
  if (!groups.empty() && !qrk::IsOk(profile.rpc->GetJointGroupLayout(groups, profile.start_ids, profile.dofs))) {
    throw std::runtime_error("the robot did not answer the joint-group layout query");
  }
  return profile;
}

}  // namespace velmor::cli

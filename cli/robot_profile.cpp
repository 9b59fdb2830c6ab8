#include "cli/robot_profile.hpp"

#include <stdexcept>
#include <vector>

#include "client/serial_number.hpp"
#include "middleware/shared_session.hpp"

namespace velmor::cli {

RobotProfile ConnectToRobot(const std::string& serial) {
  RobotProfile profile;
  profile.serial = qrk::NormalizeSerialNumber(serial);
  profile.client = std::make_unique<qrk::Client>(serial, false);
  profile.rpc = std::make_unique<qrk_impl::DataRpc>();
  profile.rpc->CreateRpcClient(zenoh_mdw::SharedSession(), profile.serial);
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

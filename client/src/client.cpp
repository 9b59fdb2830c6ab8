#include "velmor/qrk/client.hpp"

#include <stdexcept>

#include "client/src/client_impl.hpp"
#include "services/configuration_score.hpp"
#include "services/primitive_states_parser.hpp"

namespace velmor::qrk {

Client::Client(const std::string& robot_sn, bool verbose) : impl(std::make_unique<Impl>(robot_sn, verbose)) {}

Client::~Client() = default;

bool Client::connected() const { return impl->Services().Rpc().CheckConnection(); }

std::map<JointGroup, std::string> Client::groups() const { return impl->Services().Stream().GetGroups(true); }

std::map<JointGroup, RobotStates> Client::states() const {
  return impl->Services().Stream().GetStates(impl->Groups(), impl->StartIds(), impl->Dofs());
}

std::map<JointGroup, RobotActions> Client::actions() const {
  return impl->Services().Stream().GetActions(impl->Groups(), impl->StartIds(), impl->Dofs());
}

std::map<JointGroup, PrimitiveStates> Client::primitive_states() const {
  auto& rpc = impl->Services().Rpc();
  return qrk_impl::FetchPrimitiveStates(
      impl->Groups(), [&rpc](std::vector<std::string>& entries) { return rpc.GetPrimitiveStatesData(entries); });
}

PlanInfo Client::plan_info() const {
  PlanInfo info;
  if (!IsOk(impl->Services().Rpc().GetPlanInfo(info))) {
    throw std::runtime_error("[velmor::qrk::Client] plan_info: No reply from the robot");
  }
  return info;
}

std::map<JointGroup, std::pair<double, double>> Client::configuration_score() const {
  std::map<JointGroup, qrk_impl::ManipulabilityValues> values;
  // The tag names no class of this library: it is this failure's established
  // text, which callers match as it stands, so it keeps its component name.
  if (!IsOk(impl->Services().Rpc().GetManipulability(values))) {
    throw std::runtime_error("[velmor::qrk::Model::configuration_score] No reply from the robot");
  }
  return qrk_impl::ConfigurationScores(values);
}

bool Client::estop_released() const { return impl->Services().Stream().IsEstopReleased(); }

bool Client::enabling_device_on() const { return impl->Services().Stream().IsEnablingDeviceOn(); }

std::array<bool, 20> Client::digital_inputs() const { return impl->Services().Stream().GetDigitalInputs(); }

std::array<bool, 20> Client::digital_outputs() const { return impl->Services().Stream().GetDigitalOutputs(); }

}  // namespace velmor::qrk

#include "velmor/qrk/client.hpp"

#include "client/src/client_impl.hpp"
#include "services/primitive_states_parser.hpp"
#include "services/robot_queries.hpp"

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

PlanInfo Client::plan_info() const { return qrk_impl::FetchPlanInfo(impl->Services().Rpc()); }

std::map<JointGroup, std::pair<double, double>> Client::configuration_score() const {
  return qrk_impl::FetchConfigurationScores(impl->Services().Rpc());
}

bool Client::estop_released() const { return impl->Services().Stream().IsEstopReleased(); }

bool Client::enabling_device_on() const { return impl->Services().Stream().IsEnablingDeviceOn(); }

std::array<bool, 20> Client::digital_inputs() const { return impl->Services().Stream().GetDigitalInputs(); }

std::array<bool, 20> Client::digital_outputs() const { return impl->Services().Stream().GetDigitalOutputs(); }

}  // namespace velmor::qrk

#include "services/robot_queries.hpp"

#include <stdexcept>

#include "services/configuration_score.hpp"

namespace velmor::qrk_impl {

qrk::PlanInfo FetchPlanInfo(DataRpc& rpc) {
  qrk::PlanInfo info;
  if (!qrk::IsOk(rpc.GetPlanInfo(info))) {
    throw std::runtime_error("[velmor::qrk::Client] plan_info: No reply from the robot");
  }
  return info;
}

std::map<qrk::JointGroup, std::pair<double, double>> FetchConfigurationScores(DataRpc& rpc) {
  std::map<qrk::JointGroup, ManipulabilityValues> values;
  // The tag names no class of this library: it is this failure's established
  // text, which callers match as it stands, so it keeps its component name.
  if (!qrk::IsOk(rpc.GetManipulability(values))) {
    throw std::runtime_error("[velmor::qrk::Model::configuration_score] No reply from the robot");
  }
  return ConfigurationScores(values);
}

}  // namespace velmor::qrk_impl

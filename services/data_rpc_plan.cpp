// The plan-info and manipulability procedures of DataRpc.
#include <spdlog/spdlog.h>

#include <stdexcept>

#include "services/data_rpc.hpp"
#include "services/text_numbers.hpp"

namespace velmor::qrk_impl {
namespace {

constexpr std::size_t kPlanInfoStringCount = 8;
constexpr std::size_t kMinPackedSize = 8;
constexpr std::size_t kFirstManipulabilityValue = 2;

}  // namespace

qrk::StateCode DataRpc::GetPlanInfo(qrk::PlanInfo& info) {
  std::vector<std::string> strings;
  if (!qrk::IsOk(RequestStrings(Procedure::kPlanInfo, strings))) return qrk::MakeStateCode(qrk::GeneralState::FAULT);
  if (strings.size() != kPlanInfoStringCount) {
    spdlog::error("[velmor::qrk::Client] Size of plan info container is incorrect");
    return qrk::MakeStateCode(qrk::GeneralState::FAULT);
  }
  info.pt_name = strings[0];
  info.node_name = strings[1];
  info.node_path = strings[2];
  info.node_path_time_period = strings[3];
  info.node_path_number = strings[4];
  info.assigned_plan_name = strings[5];
  try {
    info.velocity_scale = TextToDouble(strings[6]);
    info.waiting_for_step = TextToInt(strings[7]) != 0;
  } catch (const std::logic_error& error) {
    spdlog::error("Invalid PlanInfo string conversion: {}", error.what());
    return qrk::MakeStateCode(qrk::GeneralState::FAULT);
  }
  return qrk::MakeStateCode(qrk::GeneralState::OK);
}

qrk::StateCode DataRpc::GetManipulability(std::map<qrk::JointGroup, ManipulabilityValues>& values) {
  Reply reply;
  if (!Call(Procedure::kManipulability, {}, kQueryTimeout, reply)) return qrk::MakeStateCode(qrk::GeneralState::FAULT);
  if (reply.joint_groups.size() != reply.float2d_container.size()) {
    spdlog::error("Malformed manipulability reply: size mismatch between joint_groups and float2d_container");
    return qrk::MakeStateCode(qrk::GeneralState::FAULT);
  }
  values.clear();
  for (std::size_t i = 0; i < reply.joint_groups.size(); ++i) {
    const std::vector<float>& packed = reply.float2d_container[i];
    if (packed.size() < kMinPackedSize) {
      spdlog::error("Malformed manipulability reply: packed vector size [{}], expecting at least [{}]", packed.size(),
                    kMinPackedSize);
      return qrk::MakeStateCode(qrk::GeneralState::FAULT);
    }
    ManipulabilityValues& group_values = values[WireGroup(reply.joint_groups[i])];
    for (std::size_t k = 0; k < group_values.size(); ++k) group_values[k] = packed[k + kFirstManipulabilityValue];
  }
  return qrk::MakeStateCode(qrk::GeneralState::OK);
}

}  // namespace velmor::qrk_impl

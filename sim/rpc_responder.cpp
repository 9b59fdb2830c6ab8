#include "sim/rpc_responder.hpp"

#include <utility>

#include "sim/robot_layout.hpp"
#include "sim/task_model.hpp"

namespace velmor::sim {

RpcResponder::RpcResponder(ResponderSettings settings)
    : settings_(std::move(settings)), corruptions_left_(settings_.corrupt_primitives) {}

bool RpcResponder::TakeCorruption() {
  int left = corruptions_left_.load();
  while (left > 0) {
    if (corruptions_left_.compare_exchange_weak(left, left - 1)) return true;
  }
  return false;
}

zenoh_msgs::qrk_msg::RPCReply RpcResponder::Answer(const zenoh_msgs::qrk_msg::RPCRequest& request, double t) {
  zenoh_msgs::qrk_msg::RPCReply reply;
  reply.request_id = request.request_id;
  reply.success = true;
  switch (static_cast<Procedure>(request.request_id)) {
    case Procedure::kReachability:
      reply.success = settings_.reachability_success;
      break;
    case Procedure::kServerVersion:
      reply.string_container = {settings_.version};
      break;
    case Procedure::kPrimitiveStates:
      reply.string_container = PrimitiveStateEntries(settings_.groups, t);
      if (TakeCorruption()) {
        // A real server occasionally ships an entry it has not filled in yet.
        const auto position = reply.string_container.size() >= 2 ? 2 : reply.string_container.size();
        reply.string_container.insert(reply.string_container.begin() + static_cast<std::ptrdiff_t>(position), "");
      }
      break;
    case Procedure::kPlanInfo:
      reply.string_container = PlanInfoStrings(t);
      break;
    case Procedure::kManipulability:
      for (const std::uint16_t group : settings_.groups) {
        reply.joint_groups.push_back(group);
        reply.float2d_container.push_back(ManipulabilityVector(group, t));
      }
      break;
    case Procedure::kJointGroupLayout:
      // The layout is the robot's, whatever the streams report; groups the
      // robot lacks are left out of the reply.
      for (const std::uint16_t group : request.joint_groups) {
        if (const auto layout = FindGroup(group)) {
          reply.joint_groups.push_back(group);
          reply.int_container.push_back(layout->start_id);
          reply.float_container.push_back(static_cast<float>(layout->dof));
        }
      }
      break;
    default:
      reply.success = false;
      break;
  }
  return reply;
}

}  // namespace velmor::sim

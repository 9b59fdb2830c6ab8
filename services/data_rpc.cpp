#include "services/data_rpc.hpp"

#include <spdlog/spdlog.h>

#include <cmath>
#include <utility>

#include "messages/rpc_codec.hpp"
#include "middleware/key_exprs.hpp"

namespace velmor::qrk_impl {
namespace {

qrk::StateCode Ok() { return qrk::MakeStateCode(qrk::GeneralState::OK); }
qrk::StateCode Fault() { return qrk::MakeStateCode(qrk::GeneralState::FAULT); }

// A DoF arrives as a float; only a whole-or-fractional value in the unsigned
// 64-bit range has a meaning (truncated toward zero). Anything else would be
// undefined behaviour to convert.
bool IsValidDof(float value) {
  return std::isfinite(value) && value >= 0.0f && static_cast<double>(value) < 18446744073709551616.0;
}

}  // namespace

DataRpc::~DataRpc() = default;

qrk::StateCode DataRpc::CreateRpcClient(std::shared_ptr<zenoh::Session> session, const std::string& serial) {
  std::string key = zenoh_mdw::RobotKey(serial, zenoh_mdw::kRpcSuffix);
  spdlog::debug("[velmor::qrk::Client] Creating RPC client on topic: {}", key);
  rpc_client = std::make_shared<zenoh_mdw::RpcClient<Request, Reply>>(std::move(session), std::move(key));
  return Ok();
}

bool DataRpc::Call(Procedure procedure, std::vector<std::uint16_t> joint_groups, double timeout, Reply& reply) {
  const Request request{static_cast<std::uint16_t>(procedure), std::move(joint_groups)};
  if (!rpc_client || !rpc_client->SendRequestAndGetReply(request, reply, timeout)) {
    spdlog::debug("Failed to send remote call or server reply timeout");
    return false;
  }
  // The reachability procedure is answered with success false by design.
  const bool expected_success = procedure != Procedure::kReachability;
  if (reply.request_id != request.request_id || reply.success != expected_success) {
    spdlog::debug("Remote procedure failed");
    return false;
  }
  return true;
}

bool DataRpc::CheckConnection() {
  Reply reply;
  return Call(Procedure::kReachability, {}, kReachabilityTimeout, reply);
}

bool DataRpc::AwaitServer(std::chrono::steady_clock::time_point deadline) {
  return rpc_client && rpc_client->AwaitResponder(deadline);
}

qrk::StateCode DataRpc::RequestStrings(Procedure procedure, std::vector<std::string>& strings) {
  Reply reply;
  if (!Call(procedure, {}, kQueryTimeout, reply)) return Fault();
  spdlog::debug("[velmor::qrk::DataRpc] RPC reply request_id={} success={} string_container_size={}", reply.request_id,
                reply.success, reply.string_container.size());
  for (std::size_t i = 0; i < reply.string_container.size(); ++i) {
    spdlog::debug("[velmor::qrk::DataRpc] string_container[{}] = {}", i, reply.string_container[i]);
  }
  strings = std::move(reply.string_container);
  return Ok();
}

qrk::StateCode DataRpc::GetServerVersion(std::string& version) {
  std::vector<std::string> strings;
  if (!qrk::IsOk(RequestStrings(Procedure::kServerVersion, strings)) || strings.empty()) return Fault();
  version = strings.front();
  spdlog::debug("Received QRK server version = {}", version);
  return Ok();
}

qrk::StateCode DataRpc::GetJointGroupLayout(const std::vector<qrk::JointGroup>& groups, StartIds& start_ids,
                                            Dofs& dofs) {
  std::vector<std::uint16_t> wire_groups;
  wire_groups.reserve(groups.size());
  for (const qrk::JointGroup group : groups) wire_groups.push_back(static_cast<std::uint16_t>(group));
  Reply reply;
  if (!Call(Procedure::kJointGroupLayout, std::move(wire_groups), kQueryTimeout, reply)) return Fault();

  const std::size_t n = reply.joint_groups.size();
  if (reply.int_container.size() != n || reply.float_container.size() != n) {
    spdlog::error("Malformed start ID reply: size mismatch between joint_groups, int_container, and float_container");
    return Fault();
  }
  for (const float dof : reply.float_container) {
    if (!IsValidDof(dof)) {
      spdlog::error("Malformed start ID reply: DoF value [{}] is not a valid joint count", dof);
      return Fault();
    }
  }
  start_ids.clear();
  dofs.clear();
  for (std::size_t i = 0; i < n; ++i) {
    const qrk::JointGroup group = WireGroup(reply.joint_groups[i]);
    start_ids[group] = reply.int_container[i];
    dofs[group] = static_cast<std::uint64_t>(reply.float_container[i]);
  }
  return Ok();
}

qrk::StateCode DataRpc::GetPrimitiveStatesData(std::vector<std::string>& strings) {
  return RequestStrings(Procedure::kPrimitiveStates, strings);
}

}  // namespace velmor::qrk_impl

#pragma once
// DataRpc turns each remote procedure of the robot's data server into a
// typed operation. Every operation runs on the caller's thread, blocks for at
// most one reply time-out, and reports failure through its StateCode (or
// bool), logging the reason; outputs are left unchanged on failure.
// Concurrent calls wait for each other on the RPC client's own mutex.
#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "messages/rpc_messages.hpp"
#include "middleware/rpc_client.hpp"
#include "records/state_code.hpp"
#include "services/group_maps.hpp"
#include "velmor/qrk/plan_info.hpp"

namespace velmor::qrk_impl {

/// Six manipulability values of one joint group.
using ManipulabilityValues = std::array<double, 6>;

using zenoh_msgs::qrk_msg::Procedure;

inline constexpr double kReachabilityTimeout = 1.0;
inline constexpr double kQueryTimeout = 2.0;

class DataRpc {
 public:
  using Request = zenoh_msgs::qrk_msg::RPCRequest;
  using Reply = zenoh_msgs::qrk_msg::RPCReply;

  DataRpc() = default;
  DataRpc(const DataRpc&) = delete;
  DataRpc& operator=(const DataRpc&) = delete;
  virtual ~DataRpc();

  /// Creates the RPC client on the robot's rpc key; sends nothing, so it
  /// always succeeds.
  qrk::StateCode CreateRpcClient(std::shared_ptr<zenoh::Session> session, const std::string& serial);

  /// One reachability query (1 s): true when the server answered it correctly.
  bool CheckConnection();
  /// Waits, sending nothing, until zenoh knows a server on the rpc key, at
  /// most until `deadline`: true when one is known.
  bool AwaitServer(std::chrono::steady_clock::time_point deadline);
  /// The string container of procedure `procedure`'s reply.
  qrk::StateCode RequestStrings(Procedure procedure, std::vector<std::string>& strings);
  qrk::StateCode GetServerVersion(std::string& version);
  /// Start ID and DoF of the groups the reply lists (not necessarily those asked).
  qrk::StateCode GetJointGroupLayout(const std::vector<qrk::JointGroup>& groups, StartIds& start_ids, Dofs& dofs);
  qrk::StateCode GetPrimitiveStatesData(std::vector<std::string>& strings);
  qrk::StateCode GetPlanInfo(qrk::PlanInfo& info);
  qrk::StateCode GetManipulability(std::map<qrk::JointGroup, ManipulabilityValues>& values);

 private:
  /// Sends one request and applies the reply check shared by all queries.
  bool Call(Procedure procedure, std::vector<std::uint16_t> joint_groups, double timeout, Reply& reply);

  std::shared_ptr<zenoh_mdw::RpcClient<Request, Reply>> rpc_client;
};

}  // namespace velmor::qrk_impl

#pragma once
// The answers of the simulated data server to remote procedures, without any
// networking: RpcService decodes a request, asks Answer and sends back what
// it returns. Answer is safe to call from several threads at once.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "messages/rpc_messages.hpp"

namespace velmor::sim {

/// Any procedure number the server does not know is answered with success false.
using zenoh_msgs::qrk_msg::Procedure;

struct ResponderSettings {
  std::string version = "v2.1";
  /// The joint groups the streams report; procedures 3 and 9 answer for these.
  std::vector<std::uint16_t> groups;
  bool reachability_success = false;
  int corrupt_primitives = 0;
};

class RpcResponder {
 public:
  explicit RpcResponder(ResponderSettings settings);

  /// The reply to `request` at `t` seconds after the start. The reply always
  /// echoes the request's number. Reachability is answered with success
  /// false, as the protocol wants; every known procedure else with true.
  zenoh_msgs::qrk_msg::RPCReply Answer(const zenoh_msgs::qrk_msg::RPCRequest& request, double t);

 private:
  /// True for the first `corrupt_primitives` calls.
  bool TakeCorruption();

  ResponderSettings settings_;
  std::atomic<int> corruptions_left_;
};

}  // namespace velmor::sim

#pragma once
// Request encoder and reply decoder of the remote procedures (plus the
// reverse directions, used by the simulator and tests), compiled once in the
// library.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "messages/message_codec.hpp"
#include "messages/rpc_messages.hpp"

namespace velmor::zenoh_msgs {

extern template qrk_msg::RPCRequest Decode<qrk_msg::RPCRequest>(const std::uint8_t*, std::size_t);
extern template qrk_msg::RPCReply Decode<qrk_msg::RPCReply>(const std::uint8_t*, std::size_t);
extern template std::vector<std::uint8_t> Encode(const qrk_msg::RPCRequest&);
extern template std::vector<std::uint8_t> Encode(const qrk_msg::RPCReply&);

}  // namespace velmor::zenoh_msgs

#include "messages/rpc_codec.hpp"

namespace velmor::zenoh_msgs {

template qrk_msg::RPCRequest Decode<qrk_msg::RPCRequest>(const std::uint8_t*, std::size_t);
template qrk_msg::RPCReply Decode<qrk_msg::RPCReply>(const std::uint8_t*, std::size_t);
template std::vector<std::uint8_t> Encode(const qrk_msg::RPCRequest&);
template std::vector<std::uint8_t> Encode(const qrk_msg::RPCReply&);

}  // namespace velmor::zenoh_msgs

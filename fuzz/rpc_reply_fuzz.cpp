// libFuzzer entry point for the decoder of the reply of the remote procedures.
#include <cstddef>
#include <cstdint>

#include "fuzz/decoder_check.hpp"
#include "messages/rpc_codec.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmor::fuzz::CheckDecoder<velmor::zenoh_msgs::qrk_msg::RPCReply>(data, size);
  return 0;
}

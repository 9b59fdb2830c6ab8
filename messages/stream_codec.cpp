#include "messages/stream_codec.hpp"

namespace velmor::zenoh_msgs {

template void DecodeInto(qrk_msg::AllBasicStreamData&, const std::uint8_t*, std::size_t);
template void DecodeInto(qrk_msg::AllExtraStreamData&, const std::uint8_t*, std::size_t);
template qrk_msg::AllBasicStreamData Decode<qrk_msg::AllBasicStreamData>(const std::uint8_t*, std::size_t);
template qrk_msg::AllExtraStreamData Decode<qrk_msg::AllExtraStreamData>(const std::uint8_t*, std::size_t);
template std::vector<std::uint8_t> Encode(const qrk_msg::AllBasicStreamData&);
template std::vector<std::uint8_t> Encode(const qrk_msg::AllExtraStreamData&);

}  // namespace velmor::zenoh_msgs

#pragma once
// Decoders and encoders of the stream messages, compiled once in the library.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "messages/message_codec.hpp"
#include "messages/stream_messages.hpp"

namespace velmor::zenoh_msgs {

extern template void DecodeInto(qrk_msg::AllBasicStreamData&, const std::uint8_t*, std::size_t);
extern template void DecodeInto(qrk_msg::AllExtraStreamData&, const std::uint8_t*, std::size_t);
extern template qrk_msg::AllBasicStreamData Decode<qrk_msg::AllBasicStreamData>(const std::uint8_t*, std::size_t);
extern template qrk_msg::AllExtraStreamData Decode<qrk_msg::AllExtraStreamData>(const std::uint8_t*, std::size_t);
extern template std::vector<std::uint8_t> Encode(const qrk_msg::AllBasicStreamData&);
extern template std::vector<std::uint8_t> Encode(const qrk_msg::AllExtraStreamData&);

}  // namespace velmor::zenoh_msgs

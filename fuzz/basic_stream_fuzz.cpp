// libFuzzer entry point for the decoder and the kept sample of the measured-state stream message.
#include <cstddef>
#include <cstdint>

#include "fuzz/decoder_check.hpp"
#include "fuzz/kept_sample_check.hpp"
#include "messages/stream_codec.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmor::fuzz::CheckDecoder<velmor::zenoh_msgs::qrk_msg::AllBasicStreamData>(data, size);
  velmor::fuzz::CheckKeptSample<velmor::zenoh_msgs::qrk_msg::AllBasicStreamData>(data, size);
  return 0;
}

// Runs the stream fuzz targets' checks on the inputs too large to fuzz from,
// without libFuzzer. ctest runs a 32-bit build of it, where size_t is 32 bits
// and a long count's byte size can wrap: a kept sample that took such a
// payload would disagree with the decoder, and the check aborts.
#include <cstdio>
#include <vector>

#include "fuzz/decoder_check.hpp"
#include "fuzz/kept_sample_check.hpp"
#include "fuzz/oversized_inputs.hpp"

namespace {

template <class Message>
void Replay(const char* name, const std::vector<std::uint8_t>& input) {
  velmor::fuzz::CheckDecoder<Message>(input.data(), input.size());
  velmor::fuzz::CheckKeptSample<Message>(input.data(), input.size());
  std::printf("%s: %zu bytes, checks passed (size_t of %zu bits)\n", name, input.size(), sizeof(std::size_t) * 8);
}

}  // namespace

int main() {
  namespace msg = velmor::zenoh_msgs::qrk_msg;
  Replay<msg::AllBasicStreamData>("basic, Cartesian count wrapping 32 bits", velmor::fuzz::OversizedBasic());
  Replay<msg::AllExtraStreamData>("extra, Cartesian count wrapping 32 bits", velmor::fuzz::OversizedExtra());
  return 0;
}

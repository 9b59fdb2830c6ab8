#include "messages/codec_errors.hpp"

namespace velmor::zenoh_msgs {

void ThrowCodecError(const char* operation, zenoh::ZResult code) { throw zenoh::ZException(operation, code); }

}  // namespace velmor::zenoh_msgs

// Cross-check against zenoh's own serializer: every vector in
// tests/vectors/serialization_vectors.inc was produced by zenoh.ext.z_serialize
// (regenerate with tests/vectors/make_vectors.py). Our reader must decode the
// bytes to the expected value and our writer must produce the same bytes.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "messages/message_codec.hpp"
#include "messages/rpc_codec.hpp"
#include "messages/stream_codec.hpp"
#include "tests/cpp/messages/codec_test_support.hpp"

namespace {

using namespace velmor::zenoh_msgs;

template <class T>
void CheckVector(const char* hex, const T& expected) {
  const test::Bytes bytes = test::FromHex(hex);
  T decoded{};
  ASSERT_NO_THROW(decoded = Decode<T>(bytes));
  EXPECT_TRUE(test::SameValue(decoded, expected));
  EXPECT_EQ(test::ToHex(Encode(expected)), hex);
}

#define VELMOR_VECTOR(name, hex, ...) \
  TEST(ZenohVectors, name) { CheckVector(hex, __VA_ARGS__); }
#include "tests/vectors/serialization_vectors.inc"
#undef VELMOR_VECTOR

}  // namespace

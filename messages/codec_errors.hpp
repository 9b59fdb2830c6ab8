#pragma once
// The texts of encoding and decoding failures. Callers and tests match them
// exactly, so they live in one place.
#include "velmor/zenoh/z_exception.hpp"

namespace velmor::zenoh_msgs {

inline constexpr char kDeserializationFailure[] = "Deserialization failure";
inline constexpr char kSequenceLengthFailure[] = "Deserialization failure:: Failed to read sequence length";
inline constexpr char kIncorrectSequenceSize[] = "Incorrect sequence size";
inline constexpr char kSurplusBytes[] = "Payload contains more bytes than required for deserialization";

inline constexpr char kSerializeUint16Failure[] = "Failed to serialize uint16_t";
inline constexpr char kSerializeInt16Failure[] = "Failed to serialize int16_t";
inline constexpr char kSerializeUint32Failure[] = "Failed to serialize uint32_t";
inline constexpr char kSerializeInt32Failure[] = "Failed to serialize int32_t";
inline constexpr char kSerializeFloatFailure[] = "Failed to serialize float";
inline constexpr char kSerializeBoolFailure[] = "Failed to serialize bool";
inline constexpr char kSerializeStringFailure[] = "Failed to serialize string";
inline constexpr char kSerializeSequenceLengthFailure[] = "Failed to serialize sequence length";

/// Throws zenoh::ZException(operation, code). Out of line so that the hot
/// decoding paths carry only a call on their failure branch.
[[noreturn]] void ThrowCodecError(const char* operation, zenoh::ZResult code);

/// Throws ZException(operation, code) unless `code` is Z_OK.
inline void ThrowIfFailed(zenoh::ZResult code, const char* operation) {
  if (code != zenoh::Z_OK) ThrowCodecError(operation, code);
}

}  // namespace velmor::zenoh_msgs

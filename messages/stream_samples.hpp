#pragma once
// A stream message kept as its payload bytes and read in place. Taking a
// sample is one validating pass and one copy of the bytes (see wire_map.hpp),
// a thousand times a second per stream; the few fields a query needs are read
// when it asks. A payload whose fixed-size arrays carry their length in more
// bytes than zenoh's serializer writes (valid, never seen in practice) would
// not sit at fixed strides: it is decoded and kept re-encoded.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "messages/stream_codec.hpp"
#include "messages/stream_messages.hpp"
#include "messages/wire_map.hpp"

namespace velmor::zenoh_msgs {

template <class Message>
class WireMessage {
 public:
  static constexpr std::size_t kRuns = wire::RunCount<Message>();

  /// The default message's sample.
  WireMessage() { MapKeptBytes(); }

  /// The sample of `message`, as a peer's serializer would have sent it.
  static WireMessage Of(const Message& message) {
    WireMessage sample;
    sample.TakeCanonical(Encode(message));
    return sample;
  }

  /// Replaces the content with the payload's, reusing this sample's storage;
  /// throws ZException, exactly as the decoder does, if the payload is not one
  /// valid Message, and then keeps the previous content.
  void Assign(const std::uint8_t* data, std::size_t size) {
    if (MapPayload<Message>(data, size, runs_)) {
      if (KeepsMuchMoreThan(size)) {
        bytes_ = std::vector<std::uint8_t>(data, data + size);
        return;
      }
      bytes_.resize(size);  // keeps the capacity: no allocation once samples stop growing
      if (size != 0) std::memcpy(bytes_.data(), data, size);
      return;
    }
    try {
      TakeCanonical(Encode(Decode<Message>(data, size)));
    } catch (...) {
      MapKeptBytes();  // the refused payload's partial runs go
      throw;
    }
  }

  /// The whole message, decoded.
  Message ToMessage() const { return Decode<Message>(bytes_.data(), bytes_.size()); }

  const std::vector<std::uint8_t>& bytes() const noexcept { return bytes_; }

  /// Elements of the `run`-th sequence in wire order.
  template <class T>
  WireSequence<T> Sequence(std::size_t run) const noexcept {
    return WireSequence<T>(bytes_.data() + runs_[run].offset, runs_[run].count);
  }

  /// The fixed-size T at `offset`.
  template <class T>
  T At(std::size_t offset) const noexcept {
    return wire::Load<T>(bytes_.data() + offset);
  }

 private:
  // Storage is reused, but not a large sample's for much smaller ones: a
  // stream keeps three samples for the client's life, and one outsized
  // payload would pin three times its size. Giving it back allocates once;
  // samples of about one size, or all small, never do.
  static constexpr std::size_t kKeptFloor = std::size_t{64} * 1024;
  static constexpr std::size_t kKeptFactor = 4;
  bool KeepsMuchMoreThan(std::size_t size) const noexcept {
    return bytes_.capacity() > kKeptFloor && bytes_.capacity() / kKeptFactor > size;
  }

  void TakeCanonical(std::vector<std::uint8_t> canonical) {
    // Canonical bytes always map, unless they outgrow 32-bit offsets.
    std::array<WireRun, kRuns> runs;
    if (!MapPayload<Message>(canonical.data(), canonical.size(), runs)) {
      ThrowCodecError(kDeserializationFailure, zenoh::Z_EDESERIALIZE);
    }
    bytes_ = std::move(canonical);
    runs_ = runs;
  }

  // The runs of the bytes kept, which are canonical.
  void MapKeptBytes() noexcept { MapPayload<Message>(bytes_.data(), bytes_.size(), runs_); }

  std::vector<std::uint8_t> bytes_ = Encode(Message{});
  std::array<WireRun, kRuns> runs_{};
};

/// Decodes into a kept sample (the subscriber's path).
template <class Message>
void DecodeInto(WireMessage<Message>& out, const std::uint8_t* data, std::size_t size) {
  out.Assign(data, size);
}

using BasicSample = WireMessage<qrk_msg::AllBasicStreamData>;
using ExtraSample = WireMessage<qrk_msg::AllExtraStreamData>;

/// The sequences of each message, in wire order.
enum class BasicRun : std::size_t {
  kGroupIndices,
  kQ,
  kTheta,
  kDq,
  kDtheta,
  kTau,
  kTauDot,
  kTauExt,
  kTauInteract,
  kTemperature,
  kAuxVec3A,
  kAuxVec3B,
  kCartesian,
};
static_assert(BasicSample::kRuns == static_cast<std::size_t>(BasicRun::kCartesian) + 1);

enum class ExtraRun : std::size_t { kGroupIndices, kQd, kDqd, kTaud, kCartesian };
static_assert(ExtraSample::kRuns == static_cast<std::size_t>(ExtraRun::kCartesian) + 1);

inline WireSequence<float> Joints(const BasicSample& sample, BasicRun run) {
  return sample.Sequence<float>(static_cast<std::size_t>(run));
}
inline WireSequence<float> Joints(const ExtraSample& sample, ExtraRun run) {
  return sample.Sequence<float>(static_cast<std::size_t>(run));
}
inline WireSequence<std::uint16_t> GroupIndices(const BasicSample& sample) {
  return sample.Sequence<std::uint16_t>(static_cast<std::size_t>(BasicRun::kGroupIndices));
}
inline WireSequence<std::uint16_t> GroupIndices(const ExtraSample& sample) {
  return sample.Sequence<std::uint16_t>(static_cast<std::size_t>(ExtraRun::kGroupIndices));
}
inline WireSequence<qrk_msg::CartesianStateData> Cartesian(const BasicSample& sample) {
  return sample.Sequence<qrk_msg::CartesianStateData>(static_cast<std::size_t>(BasicRun::kCartesian));
}
inline WireSequence<qrk_msg::CartesianDesiredData> Cartesian(const ExtraSample& sample) {
  return sample.Sequence<qrk_msg::CartesianDesiredData>(static_cast<std::size_t>(ExtraRun::kCartesian));
}

/// The status block opens every basic message.
inline qrk_msg::StatusData Status(const BasicSample& sample) { return sample.At<qrk_msg::StatusData>(0); }

/// One field of the status block, read alone (a 1 kHz poll of one input).
template <class Field>
Field StatusField(const BasicSample& sample, Field qrk_msg::StatusData::*field) {
  constexpr std::size_t kFields = std::tuple_size_v<decltype(RecordFields<qrk_msg::StatusData>::kMembers)>;
  return sample.At<Field>(wire::FieldOffset(field, std::make_index_sequence<kFields>()));
}

/// The two time stamp fields close every basic message.
inline std::pair<std::int32_t, std::uint32_t> Timestamps(const BasicSample& sample) {
  const std::size_t end = sample.bytes().size();
  return {sample.At<std::int32_t>(end - 8), sample.At<std::uint32_t>(end - 4)};
}

}  // namespace velmor::zenoh_msgs

#pragma once
// What the stream fuzz targets check of the kept sample (the client's receive
// path) on one input, beside the decoder: a sample reused across inputs must
// give the decoder's verdict and error text, hold the decoder's content when
// it accepts, and keep its previous content when it refuses. Every field is
// then read in place, inside the sanitizers' bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "fuzz/decoder_check.hpp"
#include "messages/stream_samples.hpp"

namespace velmor::fuzz {

template <class T>
float Touch(const zenoh_msgs::WireSequence<T>& values) {
  float sum = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if constexpr (std::is_arithmetic_v<T>) {
      sum += static_cast<float>(values[i]);
    } else {
      sum += static_cast<float>(sizeof values[i]);
    }
  }
  return sum;
}

inline float TouchEveryField(const zenoh_msgs::BasicSample& sample) {
  using zenoh_msgs::BasicRun;
  float sum = Touch(zenoh_msgs::GroupIndices(sample)) + Touch(zenoh_msgs::Cartesian(sample));
  for (auto run = static_cast<std::size_t>(BasicRun::kQ); run <= static_cast<std::size_t>(BasicRun::kTemperature);
       ++run) {
    sum += Touch(zenoh_msgs::Joints(sample, static_cast<BasicRun>(run)));
  }
  sum += Touch(sample.Sequence<std::array<float, 3>>(static_cast<std::size_t>(BasicRun::kAuxVec3A)));
  sum += Touch(sample.Sequence<std::array<float, 3>>(static_cast<std::size_t>(BasicRun::kAuxVec3B)));
  return sum + static_cast<float>(zenoh_msgs::Status(sample).aux_u16 + zenoh_msgs::Timestamps(sample).second);
}

inline float TouchEveryField(const zenoh_msgs::ExtraSample& sample) {
  using zenoh_msgs::ExtraRun;
  return Touch(zenoh_msgs::GroupIndices(sample)) + Touch(zenoh_msgs::Cartesian(sample)) +
         Touch(zenoh_msgs::Joints(sample, ExtraRun::kQd)) + Touch(zenoh_msgs::Joints(sample, ExtraRun::kDqd)) +
         Touch(zenoh_msgs::Joints(sample, ExtraRun::kTaud));
}

template <class Message>
void CheckKeptSample(const std::uint8_t* data, std::size_t size) {
  std::string decoder_error;
  std::vector<std::uint8_t> decoded;
  try {
    decoded = zenoh_msgs::Encode(zenoh_msgs::Decode<Message>(data, size));
  } catch (const zenoh::ZException& e) {
    decoder_error = e.what();
  }

  static zenoh_msgs::WireMessage<Message> reused;
  const std::vector<std::uint8_t> before = reused.bytes();
  std::string sample_error;
  {
    AllocationBudget budget("WireMessage::Assign", size);
    try {
      reused.Assign(data, size);
    } catch (const zenoh::ZException& e) {
      sample_error = e.what();
    }
  }
  if (sample_error != decoder_error) Finding("a kept sample and the decoder disagree on the verdict");
  if (!decoder_error.empty()) {
    if (reused.bytes() != before) Finding("a refused payload changed the kept sample");
    return;
  }
  if (zenoh_msgs::Encode(reused.ToMessage()) != decoded) Finding("a kept sample holds other content than decoded");
  volatile float sink = TouchEveryField(reused);
  (void)sink;
}

}  // namespace velmor::fuzz

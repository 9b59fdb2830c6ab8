#pragma once
// Stream messages as a robot sends them, for benchmarks and fuzz seeds: every
// field filled, every value distinct and reproducible. `salt` tells messages
// (and, inside one, fields) apart.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "messages/stream_messages.hpp"

namespace velmor::test {

inline float DistinctValue(std::size_t i, int salt) {
  return std::sin(static_cast<float>(i) * 0.37f + static_cast<float>(salt));
}

template <std::size_t N>
std::array<float, N> DistinctFloats(int salt) {
  std::array<float, N> out{};
  for (std::size_t i = 0; i < N; ++i) out[i] = DistinctValue(i, salt);
  return out;
}

inline std::vector<float> DistinctJoints(std::size_t joints, int salt) {
  std::vector<float> out(joints);
  for (std::size_t i = 0; i < joints; ++i) out[i] = DistinctValue(i, salt);
  return out;
}

/// Time stamp (salt, 4e9 - salt).
inline zenoh_msgs::qrk_msg::AllBasicStreamData RobotBasic(std::size_t joints, const std::vector<std::uint16_t>& groups,
                                                          int salt = 0) {
  zenoh_msgs::qrk_msg::AllBasicStreamData m;
  m.status.aux_u16 = 0xBEEF;
  m.status.aux_i16 = -1234;
  m.status.estop_released = true;
  m.status.enabling_device_on = salt % 2 == 0;
  for (std::size_t i = 0; i < 20; ++i) {
    m.status.digital_inputs[i] = (i + static_cast<std::size_t>(salt)) % 3 == 0;
    m.status.digital_outputs[i] = i % 5 == 1;
  }
  m.status.aux_flags[7] = true;
  m.group_indices = groups;
  auto& j = m.joint_data;
  int field = salt * 100;
  for (auto* values :
       {&j.q, &j.theta, &j.dq, &j.dtheta, &j.tau, &j.tau_dot, &j.tau_ext, &j.tau_interact, &j.temperature}) {
    *values = DistinctJoints(joints, field++);
  }
  for (std::size_t i = 0; i < joints; ++i) {
    j.aux_vec3_a.push_back(DistinctFloats<3>(field + static_cast<int>(i)));
    j.aux_vec3_b.push_back(DistinctFloats<3>(field + static_cast<int>(i) + 50));
  }
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const int s = field + static_cast<int>(g) * 10;
    m.cartesian_data.push_back({DistinctFloats<7>(s), DistinctFloats<7>(s + 1), DistinctFloats<6>(s + 2),
                                DistinctFloats<6>(s + 3), DistinctFloats<6>(s + 4), DistinctFloats<6>(s + 5),
                                DistinctFloats<6>(s + 6)});
  }
  m.timestamp_first = salt;
  m.timestamp_second = 4'000'000'000u - static_cast<std::uint32_t>(salt);
  return m;
}

inline zenoh_msgs::qrk_msg::AllExtraStreamData RobotExtra(std::size_t joints, const std::vector<std::uint16_t>& groups,
                                                          int salt = 0) {
  zenoh_msgs::qrk_msg::AllExtraStreamData m;
  const int field = salt * 100;
  m.group_indices = groups;
  m.joint_data = {DistinctJoints(joints, field + 1), DistinctJoints(joints, field + 2),
                  DistinctJoints(joints, field + 3)};
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const int s = field + static_cast<int>(g) * 10;
    m.cartesian_data.push_back({DistinctFloats<7>(s), DistinctFloats<6>(s + 1), DistinctFloats<6>(s + 2)});
  }
  return m;
}

}  // namespace velmor::test

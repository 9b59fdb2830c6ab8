// Writes the seed corpus of the decoder fuzz targets, built with our own
// encoders: <root>/<target>/<name>.bin for basic_stream_fuzz, extra_stream_fuzz
// and rpc_reply_fuzz. The messages are those of a 16-joint robot (two 7-joint
// arms and a 2-axis external axis) with its five joint groups, plus empty and
// edge-shaped ones, so that the fuzzer starts from every field filled.
//
//   velmor_fuzz_seeds <root>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "messages/rpc_codec.hpp"
#include "messages/stream_codec.hpp"

namespace {

namespace msg = velmor::zenoh_msgs::qrk_msg;
using velmor::zenoh_msgs::Encode;

constexpr std::size_t kJoints = 16;
const std::vector<std::uint16_t> kAllGroups{0, 2, 3, 4, 5};

// Distinct, reproducible values; `salt` tells the fields apart.
float Value(std::size_t i, int salt) { return std::sin(static_cast<float>(i) * 0.37f + static_cast<float>(salt)); }

template <std::size_t N>
std::array<float, N> Floats(int salt) {
  std::array<float, N> out{};
  for (std::size_t i = 0; i < N; ++i) out[i] = Value(i, salt);
  return out;
}

std::vector<float> Joints(int salt) {
  std::vector<float> out(kJoints);
  for (std::size_t i = 0; i < kJoints; ++i) out[i] = Value(i, salt);
  return out;
}

msg::AllBasicStreamData RobotBasic(const std::vector<std::uint16_t>& groups) {
  msg::AllBasicStreamData m;
  m.status.aux_u16 = 0xBEEF;
  m.status.aux_i16 = -1234;
  m.status.estop_released = true;
  m.status.enabling_device_on = true;
  for (std::size_t i = 0; i < 20; ++i) {
    m.status.digital_inputs[i] = i % 3 == 0;
    m.status.digital_outputs[i] = i % 5 == 1;
  }
  m.status.aux_flags[7] = true;
  m.group_indices = groups;
  auto& j = m.joint_data;
  int salt = 0;
  for (auto* field :
       {&j.q, &j.theta, &j.dq, &j.dtheta, &j.tau, &j.tau_dot, &j.tau_ext, &j.tau_interact, &j.temperature}) {
    *field = Joints(salt++);
  }
  for (std::size_t i = 0; i < kJoints; ++i) {
    j.aux_vec3_a.push_back(Floats<3>(static_cast<int>(i)));
    j.aux_vec3_b.push_back(Floats<3>(static_cast<int>(i) + 50));
  }
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const int s = static_cast<int>(g) * 10;
    m.cartesian_data.push_back({Floats<7>(s), Floats<7>(s + 1), Floats<6>(s + 2), Floats<6>(s + 3), Floats<6>(s + 4),
                                Floats<6>(s + 5), Floats<6>(s + 6)});
  }
  m.timestamp_first = -7;
  m.timestamp_second = 4'000'000'000u;
  return m;
}

msg::AllExtraStreamData RobotExtra(const std::vector<std::uint16_t>& groups) {
  msg::AllExtraStreamData m;
  m.group_indices = groups;
  m.joint_data = {Joints(1), Joints(2), Joints(3)};
  for (std::size_t g = 0; g < groups.size(); ++g) {
    const int s = static_cast<int>(g) * 10;
    m.cartesian_data.push_back({Floats<7>(s), Floats<6>(s + 1), Floats<6>(s + 2)});
  }
  return m;
}

msg::RPCReply Reply(std::uint16_t id, std::vector<std::string> strings) {
  msg::RPCReply r;
  r.request_id = id;
  r.success = true;
  r.string_container = std::move(strings);
  return r;
}

std::vector<std::pair<std::string, std::vector<std::uint8_t>>> BasicSeeds() {
  msg::AllBasicStreamData mismatched = RobotBasic({3, 4});
  mismatched.cartesian_data.pop_back();
  return {{"empty", Encode(msg::AllBasicStreamData{})},
          {"robot_5_groups", Encode(RobotBasic(kAllGroups))},
          {"robot_1_group", Encode(RobotBasic({0}))},
          {"groups_without_cartesian", Encode(mismatched)}};
}

std::vector<std::pair<std::string, std::vector<std::uint8_t>>> ExtraSeeds() {
  return {{"empty", Encode(msg::AllExtraStreamData{})},
          {"robot_5_groups", Encode(RobotExtra(kAllGroups))},
          {"robot_1_group", Encode(RobotExtra({5}))}};
}

std::vector<std::pair<std::string, std::vector<std::uint8_t>>> ReplySeeds() {
  msg::RPCReply layout;
  layout.request_id = 10;
  layout.success = true;
  layout.joint_groups = kAllGroups;
  layout.int_container = {0, 0, 0, 7, 14};
  layout.float_container = {16, 14, 7, 7, 2};

  msg::RPCReply manipulability;
  manipulability.request_id = 9;
  manipulability.success = true;
  manipulability.joint_groups = {3, 4, 65535};
  manipulability.float2d_container = {Joints(1), {Value(0, 2), Value(1, 2)}, {}};

  return {{"empty", Encode(msg::RPCReply{})},
          {"reachability", Encode(msg::RPCReply{0, false, {}, {}, {}, {}, {}})},
          {"server_version", Encode(Reply(1, {"2.3.1"}))},
          {"primitive_states", Encode(Reply(3, {"reachedTarget:1", "timePeriod:0.25", "", "moving:0"}))},
          {"plan_info", Encode(Reply(4, {"PickPlace", "approach-and-grasp-with-long-name", "Idle", "", "node-3",
                                         "a rather long text beyond the short-string size", "0", "ü-utf8"}))},
          {"joint_group_layout", Encode(layout)},
          {"manipulability", Encode(manipulability)}};
}

bool WriteAll(const std::filesystem::path& dir,
              const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& seeds) {
  std::filesystem::create_directories(dir);
  for (const auto& [name, bytes] : seeds) {
    std::ofstream out(dir / (name + ".bin"), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", (dir / name).c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus-root>\n", argv[0]);
    return 64;
  }
  const std::filesystem::path root = argv[1];
  const bool ok = WriteAll(root / "basic_stream_fuzz", BasicSeeds()) &&
                  WriteAll(root / "extra_stream_fuzz", ExtraSeeds()) && WriteAll(root / "rpc_reply_fuzz", ReplySeeds());
  return ok ? 0 : 1;
}

// Writes the seed corpus of the decoder fuzz targets, built with our own
// encoders: <root>/<target>/<name>.bin for basic_stream_fuzz, extra_stream_fuzz
// and rpc_reply_fuzz. The messages are those of a 16-joint robot (two 7-joint
// arms and a 2-axis external axis) with its five joint groups, plus empty and
// edge-shaped ones, so that the fuzzer starts from every field filled.
// With a second folder, it also writes there, per target, inputs too large
// to fuzz from (the fuzzer would take their length as its limit), which
// scripts/fuzz replays one by one.
//
//   velmor_fuzz_seeds <root> [<oversized-root>]
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/oversized_inputs.hpp"
#include "messages/rpc_codec.hpp"
#include "messages/stream_codec.hpp"
#include "support/robot_messages.hpp"

namespace {

namespace msg = velmor::zenoh_msgs::qrk_msg;
using velmor::zenoh_msgs::Encode;

constexpr std::size_t kJoints = 16;
const std::vector<std::uint16_t> kAllGroups{0, 2, 3, 4, 5};

msg::AllBasicStreamData RobotBasic(const std::vector<std::uint16_t>& groups) {
  return velmor::test::RobotBasic(kJoints, groups);
}

msg::AllExtraStreamData RobotExtra(const std::vector<std::uint16_t>& groups) {
  return velmor::test::RobotExtra(kJoints, groups);
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
  manipulability.float2d_container = {velmor::test::DistinctJoints(kJoints, 1),
                                      {velmor::test::DistinctValue(0, 2), velmor::test::DistinctValue(1, 2)},
                                      {}};

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
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s <corpus-root> [<oversized-root>]\n", argv[0]);
    return 64;
  }
  const std::filesystem::path root = argv[1];
  bool ok = WriteAll(root / "basic_stream_fuzz", BasicSeeds()) && WriteAll(root / "extra_stream_fuzz", ExtraSeeds()) &&
            WriteAll(root / "rpc_reply_fuzz", ReplySeeds());
  if (ok && argc == 3) {
    const std::filesystem::path oversized = argv[2];
    ok = WriteAll(oversized / "basic_stream_fuzz",
                  {{"cartesian_count_wraps_32_bits", velmor::fuzz::OversizedBasic()}}) &&
         WriteAll(oversized / "extra_stream_fuzz", {{"cartesian_count_wraps_32_bits", velmor::fuzz::OversizedExtra()}});
  }
  return ok ? 0 : 1;
}

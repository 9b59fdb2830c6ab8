#include "foxglove/c_shapes.hpp"

#include <stdexcept>

#include "foxglove/live_server.hpp"
#include "toolkit/write_error.hpp"

namespace velmor::foxglove::detail {
namespace {

static_assert(static_cast<vf_schema>(Schema::kJointStates) == VF_SCHEMA_JOINT_STATES);
static_assert(static_cast<vf_schema>(Schema::kFrameTransforms) == VF_SCHEMA_FRAME_TRANSFORMS);
static_assert(static_cast<vf_compression>(Compression::kNone) == VF_COMPRESSION_NONE);
static_assert(static_cast<vf_compression>(Compression::kZstd) == VF_COMPRESSION_ZSTD);
static_assert(static_cast<vf_compression>(Compression::kLz4) == VF_COMPRESSION_LZ4);

}  // namespace

vf_stamp ToC(const MessageStamp& stamp) noexcept {
  return vf_stamp{static_cast<std::uint32_t>(stamp.sequence), stamp.log_time_ns};
}

vf_group_frames ToC(const GroupFrames& frames) noexcept {
  return vf_group_frames{frames.group.c_str(), frames.tcp_pose.data(), frames.flange_pose.data()};
}

void Check(vf_result code) {
  if (code == VF_OK) return;
  const std::string message = vf_last_error();
  switch (code) {
    case VF_EIO:
      throw toolkit::WriteError(message);
    case VF_EEXIST:
      throw toolkit::FileExists(message);
    case VF_ENETWORK:
      throw ServeError(message);
    case VF_EINVAL:
    case VF_ENULL:
      throw std::invalid_argument(message);
    default:
      throw std::runtime_error(message);
  }
}

}  // namespace velmor::foxglove::detail

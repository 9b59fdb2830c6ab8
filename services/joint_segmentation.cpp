#include "services/joint_segmentation.hpp"

#include <array>
#include <cmath>

namespace velmor::qrk_impl {
namespace {

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix RotationOf(const std::array<double, 7>& pose) {
  double w = pose[3], x = pose[4], y = pose[5], z = pose[6];
  const double norm = w * w + x * x + y * y + z * z;
  if (norm > 0.0) {
    const double length = std::sqrt(norm);
    w /= length;
    x /= length;
    y /= length;
    z /= length;
  }
  return {{{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
           {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
           {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}}};
}

// Rotates the force (entries 0..2) and the moment (3..5) alike.
std::array<double, 6> Rotate(const Matrix& r, const std::array<double, 6>& local) {
  std::array<double, 6> world{};
  for (std::size_t half = 0; half < 6; half += 3) {
    for (std::size_t row = 0; row < 3; ++row) {
      world[half + row] = r[row][0] * local[half] + r[row][1] * local[half + 1] + r[row][2] * local[half + 2];
    }
  }
  return world;
}

}  // namespace

bool SegmentJointData(const zenoh_msgs::WireSequence<float>& source, std::uint32_t start, std::uint64_t count,
                      std::vector<double>& destination) {
  const std::uint64_t size = source.size();
  if (start > size || count > size - start) return false;
  // One pass, straight into place: resize() would zero every element first.
  destination.clear();
  destination.reserve(static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < count; ++i) destination.push_back(source[start + i]);
  return true;
}

void FillWorldWrenches(qrk::RobotStates& states) {
  const Matrix r = RotationOf(states.tcp_pose);
  states.tcp_wrench = Rotate(r, states.tcp_wrench_local);
  states.raw_tcp_wrench = Rotate(r, states.raw_tcp_wrench_local);
}

}  // namespace velmor::qrk_impl

#pragma once
// Just enough rotation arithmetic for plausible Cartesian data: unit
// quaternions in the order w, x, y, z, as the stream messages carry them.
#include <array>
#include <cmath>

namespace velmor::sim {

using Vec3 = std::array<double, 3>;

struct Quaternion {
  double w = 1.0;
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

/// Rotation by `angle` radians about `axis`, which must be a unit vector.
inline Quaternion FromAxisAngle(const Vec3& axis, double angle) {
  const double s = std::sin(angle / 2.0);
  return {std::cos(angle / 2.0), axis[0] * s, axis[1] * s, axis[2] * s};
}

/// The rotation `b` followed by `a`.
inline Quaternion operator*(const Quaternion& a, const Quaternion& b) {
  return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

/// `v` rotated by the unit quaternion `q`.
inline Vec3 Rotate(const Quaternion& q, const Vec3& v) {
  const Quaternion p = q * Quaternion{0.0, v[0], v[1], v[2]} * Quaternion{q.w, -q.x, -q.y, -q.z};
  return {p.x, p.y, p.z};
}

inline Vec3 Normalized(const Vec3& v) {
  const double norm = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  return {v[0] / norm, v[1] / norm, v[2] / norm};
}

}  // namespace velmor::sim

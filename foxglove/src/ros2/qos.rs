//! The QoS a ROS 2 recording says each topic was offered with (a channel's
//! `offered_qos_profiles`), which `ros2 bag play` publishes with.
//!
//! The enumerations are written as integers: Humble reads only those, and
//! Jazzy reads them too unless the file says it was written in the newer
//! form, which Humble cannot read. Keep last 10, reliable, volatile,
//! automatic liveliness: what a publisher with ROS 2's default QoS offers,
//! so a stock subscriber matches it. A zero duration means "not set", which
//! is infinite; it avoids the large sentinel values that releases have
//! written differently.

/// A YAML list of one profile.
pub const OFFERED_QOS_PROFILES: &str = "\
- history: 1
  depth: 10
  reliability: 1
  durability: 2
  deadline:
    sec: 0
    nsec: 0
  lifespan:
    sec: 0
    nsec: 0
  liveliness: 1
  liveliness_lease_duration:
    sec: 0
    nsec: 0
  avoid_ros_namespace_conventions: false
";

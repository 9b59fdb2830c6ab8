//! tf2_msgs/TFMessage with every group's frames of one sample, as the
//! protobuf FrameTransforms carries them: per group, in the order given,
//! world -> <group>_tcp and world -> <group>_flange, each a
//! geometry_msgs/TransformStamped.
use super::cdr::CdrWriter;
use super::time::{write_header, Time};
use crate::encoder::WORLD_FRAME;
use crate::records::Pose;

/// A group's name and its two poses as the robot sends them: position,
/// then the quaternion (w, x, y, z).
pub struct GroupFrames<'a> {
    pub group: &'a str,
    pub tcp_pose: &'a Pose,
    pub flange_pose: &'a Pose,
}

/// Encodes into `out` (its contents replaced, its capacity kept). The child
/// frames' names are written from the group's name and a suffix, so they
/// need no cache and no allocation. The recorder writes its groups one by
/// one instead (TfMessageWriter); the tests and the benchmark use this.
#[cfg(test)]
pub fn encode_tf_message(stamp: Time, groups: &[GroupFrames], out: &mut Vec<u8>) {
    let mut message = TfMessageWriter::new(stamp, groups.len(), out);
    for group in groups {
        message.group(group);
    }
}

/// A TFMessage written group by group, so that a caller reading its groups
/// from C needs no list of them first.
pub struct TfMessageWriter<'o> {
    cdr: CdrWriter<'o>,
    stamp: Time,
}

impl<'o> TfMessageWriter<'o> {
    /// Starts a message of `groups` groups' frames in `out` (its contents
    /// replaced, its capacity kept); it is whole once that many are written.
    pub fn new(stamp: Time, groups: usize, out: &'o mut Vec<u8>) -> Self {
        let mut cdr = CdrWriter::new(out);
        cdr.length(2 * groups);
        Self { cdr, stamp }
    }

    pub fn group(&mut self, group: &GroupFrames) {
        write_transform(&mut self.cdr, self.stamp, group.group, "_tcp", group.tcp_pose);
        write_transform(&mut self.cdr, self.stamp, group.group, "_flange", group.flange_pose);
    }
}

fn write_transform(cdr: &mut CdrWriter, stamp: Time, group: &str, suffix: &str, pose: &Pose) {
    write_header(cdr, stamp, WORLD_FRAME);
    cdr.string_of(&[group, suffix]);
    cdr.f64_fields(&pose[..3]);
    // ROS's quaternion is (x, y, z, w).
    cdr.f64_fields(&[pose[4], pose[5], pose[6], pose[3]]);
}

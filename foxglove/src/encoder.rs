//! What a channel carries and how a sample becomes its message. One encoder
//! per channel keeps the message it last encoded and refills it in place, so
//! that a sample costs no allocation once the first one has been encoded.
use foxglove::messages::{FrameTransform, FrameTransforms, JointState, JointStates, Quaternion, Timestamp, Vector3};
use foxglove::{Encode, Schema};

use velmor_abi::code::EINVAL;

use crate::error::Failure;
use crate::field_table::{Fields, Shape};
use crate::joint_names::JointNames;
use crate::protobuf;
use crate::records::{fixed, text, Pose, VfGroupFrames};
use crate::ros2::{Ros2Channel, Time};

/// Which of Foxglove's own schemas a channel carries: what is logged on it
/// must fit. The messages' own time stamps are the message's log time. A
/// channel of a record of ours is added with
/// vf_log_target_add_record_channel instead.
pub type VfSchema = i32;
/// foxglove.JointStates from a group's states record (vf_log_target_log_record):
/// one entry per joint, named as the target names its joints
/// (vf_log_target_set_joint_names; by default joint_<robot-wide index>),
/// position = the field q, velocity = dq, effort = tau.
pub const VF_SCHEMA_JOINT_STATES: VfSchema = 0;
/// foxglove.FrameTransforms from every group's frames of one sample
/// (log_frames), as ROS tf does: per group, in the order given, world ->
/// <group>_tcp (tcp_pose) and world -> <group>_flange (flange_pose), the
/// quaternion reordered from the robot's (w, x, y, z) to Foxglove's (x, y,
/// z, w).
pub const VF_SCHEMA_FRAME_TRANSFORMS: VfSchema = 1;

pub const WORLD_FRAME: &str = "world";

pub enum Encoder {
    JointStates(JointStates),
    /// One message per sample with every group's frames, and the groups
    /// whose frame names the message holds.
    FrameTransforms(Frames),
    /// One of our own records, in protobuf (protobuf.rs).
    Record(RecordChannel),
    /// A channel of a ROS 2 recording (vf_log_target_add_ros2_channel).
    Ros2(Box<Ros2Channel>),
}

/// A record channel's shape and the schema made from it.
pub struct RecordChannel {
    shape: Shape,
    schema: Schema,
}

impl Encoder {
    pub fn new(schema: VfSchema) -> Result<Self, Failure> {
        Ok(match schema {
            VF_SCHEMA_JOINT_STATES => Self::JointStates(JointStates::default()),
            VF_SCHEMA_FRAME_TRANSFORMS => Self::FrameTransforms(Frames::default()),
            other => return Err(Failure::new(EINVAL, format!("no schema numbered {other}"))),
        })
    }

    /// A channel of the record whose fields `shape` gives.
    pub fn record(shape: Shape) -> Self {
        let schema = protobuf::schema(&shape);
        Self::Record(RecordChannel { shape, schema })
    }

    pub fn schema(&self) -> Schema {
        let schema = match self {
            Self::JointStates(_) => JointStates::get_schema(),
            Self::FrameTransforms(_) => FrameTransforms::get_schema(),
            Self::Record(record) => Some(record.schema.clone()),
            Self::Ros2(channel) => return channel.schema(),
        };
        schema.expect("every message type here has a schema")
    }

    pub fn message_encoding(&self) -> &'static str {
        match self {
            Self::Ros2(_) => crate::ros2::MESSAGE_ENCODING,
            _ => protobuf::MESSAGE_ENCODING,
        }
    }

    /// The channel's metadata in a recording.
    pub fn channel_metadata(&self) -> std::collections::BTreeMap<String, String> {
        match self {
            Self::Ros2(channel) => channel.metadata(),
            _ => Default::default(),
        }
    }

    /// Encodes a record's fields, already checked (field_table::fields),
    /// into `out` (cleared first); `names` names the joints.
    pub fn encode_record(
        &mut self,
        log_time: u64,
        fields: &Fields,
        names: &JointNames,
        out: &mut Vec<u8>,
    ) -> Result<(), Failure> {
        out.clear();
        match self {
            Self::JointStates(message) => {
                fill_joint_states(message, log_time, fields, names)?;
                encode(message, out)
            }
            Self::Ros2(channel) => channel.encode_record(fields, names, Time::from_unix_nanos(log_time), out),
            Self::Record(channel) => {
                fields.check(&channel.shape)?;
                protobuf::encode(fields, out);
                Ok(())
            }
            Self::FrameTransforms(_) => Err(self.mismatch("a record")),
        }
    }

    /// Encodes every group's frames of one sample into `out` (cleared first).
    ///
    /// # Safety
    /// Every group's name and poses are what [`VfGroupFrames`] says they
    /// are, valid for the call.
    pub unsafe fn encode_frames(
        &mut self,
        log_time: u64,
        groups: &[VfGroupFrames],
        out: &mut Vec<u8>,
    ) -> Result<(), Failure> {
        out.clear();
        if let Self::Ros2(channel) = self {
            // SAFETY: the caller vouches for every group's name and poses.
            return unsafe { channel.encode_frames(groups, Time::from_unix_nanos(log_time), out) };
        }
        let Self::FrameTransforms(frames) = self else {
            return Err(self.mismatch("frames"));
        };
        // SAFETY: the caller vouches for every group's name and poses.
        unsafe { frames.fill(log_time, groups) }?;
        encode(&frames.message, out)
    }

    fn mismatch(&self, what: &str) -> Failure {
        Failure::new(
            EINVAL,
            format!("a {} channel does not carry {what}", self.schema().name),
        )
    }
}

fn encode<M: Encode>(message: &M, out: &mut Vec<u8>) -> Result<(), Failure> {
    message
        .encode(out)
        .map_err(|e| Failure::new(EINVAL, format!("cannot encode: {e}")))
}

fn timestamp(log_time: u64) -> Timestamp {
    let seconds = u32::try_from(log_time / 1_000_000_000).unwrap_or(u32::MAX);
    Timestamp::new_checked(seconds, (log_time % 1_000_000_000) as u32).unwrap_or(Timestamp::MAX)
}

fn fill_joint_states(
    message: &mut JointStates,
    log_time: u64,
    fields: &Fields,
    names: &JointNames,
) -> Result<(), Failure> {
    let (q, dq, tau) = (
        fields.per_joint("q")?,
        fields.per_joint("dq")?,
        fields.per_joint("tau")?,
    );
    let (first_joint, joints) = (fields.first_joint, fields.joints);
    let named = message.joints.len() == joints
        && message
            .joints
            .first()
            .is_none_or(|joint| joint.name == names.name(first_joint, 0));
    if !named {
        message.joints = (0..joints)
            .map(|i| JointState {
                name: names.name(first_joint, i).into_owned(),
                ..JointState::default()
            })
            .collect();
    }
    message.timestamp = Some(timestamp(log_time));
    for (i, joint) in message.joints.iter_mut().enumerate() {
        joint.position = Some(q[i]);
        joint.velocity = Some(dq[i]);
        joint.effort = Some(tau[i]);
    }
    Ok(())
}

#[derive(Default)]
pub struct Frames {
    groups: Vec<String>,
    message: FrameTransforms,
}

impl Frames {
    /// Per group `world` -> `<group>_tcp` and `world` -> `<group>_flange`,
    /// in the order given. The frames are named again only when the groups
    /// change, which they do not within a recording.
    ///
    /// # Safety
    /// As [`Encoder::encode_frames`].
    unsafe fn fill(&mut self, log_time: u64, groups: &[VfGroupFrames]) -> Result<(), Failure> {
        let mut same = self.groups.len() == groups.len();
        for (i, group) in groups.iter().enumerate() {
            // SAFETY: the caller vouches for every group's name.
            let name = unsafe { text(group.group, "group") }?;
            same = same && self.groups[i] == name;
        }
        if !same {
            let frame = |child: String| FrameTransform {
                parent_frame_id: WORLD_FRAME.to_owned(),
                child_frame_id: child,
                ..FrameTransform::default()
            };
            self.groups.clear();
            self.message.transforms.clear();
            for group in groups {
                // SAFETY: the caller vouches for every group's name.
                let name = unsafe { text(group.group, "group") }?;
                self.groups.push(name.to_owned());
                self.message.transforms.push(frame(format!("{name}_tcp")));
                self.message.transforms.push(frame(format!("{name}_flange")));
            }
        }
        let stamp = timestamp(log_time);
        for (pair, group) in self.message.transforms.chunks_exact_mut(2).zip(groups) {
            // SAFETY: the caller vouches for every group's two poses.
            let (tcp, flange) = unsafe {
                (
                    fixed::<7>(group.tcp_pose, "tcp_pose")?,
                    fixed::<7>(group.flange_pose, "flange_pose")?,
                )
            };
            for (transform, pose) in pair.iter_mut().zip([tcp, flange]) {
                transform.timestamp = Some(stamp);
                set_pose(transform, pose);
            }
        }
        Ok(())
    }
}

/// The robot's quaternion is (w, x, y, z); Foxglove's is (x, y, z, w).
pub fn set_pose(transform: &mut FrameTransform, pose: &Pose) {
    transform.translation = Some(Vector3 {
        x: pose[0],
        y: pose[1],
        z: pose[2],
    });
    transform.rotation = Some(Quaternion {
        x: pose[4],
        y: pose[5],
        z: pose[6],
        w: pose[3],
    });
}

#[cfg(test)]
#[path = "encoder_tests.rs"]
mod tests;

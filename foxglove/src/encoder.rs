//! What a channel carries and how a sample becomes its message. One encoder
//! per channel keeps the message it last encoded and refills it in place, so
//! that a sample costs no allocation once the first one has been encoded.
use foxglove::messages::{FrameTransform, FrameTransforms, JointState, JointStates, Quaternion, Timestamp, Vector3};
use foxglove::{Encode, Schema};

use velmor_abi::code::EINVAL;

use crate::error::Failure;
use crate::joint_names::JointNames;
use crate::records::{fixed, text, values, Pose, VfGroupActions, VfGroupFrames, VfGroupStates, VfIo};
use crate::ros2::Ros2Channel;
use crate::schemas::{RobotActions, RobotIo, RobotStates};

/// What a channel carries: what is logged on it must fit its schema. The
/// Foxglove messages' own time stamps are the message's log time.
pub type VfSchema = i32;
/// foxglove.JointStates from a group's states: one entry per joint, named
/// as the target names its joints (vf_log_target_set_joint_names; by default
/// joint_<robot-wide index>), position = q, velocity = dq, effort = tau.
pub const VF_SCHEMA_JOINT_STATES: VfSchema = 0;
/// foxglove.FrameTransforms from every group's frames of one sample
/// (log_frames), as ROS tf does: per group, in the order given, world ->
/// <group>_tcp (tcp_pose) and world -> <group>_flange (flange_pose), the
/// quaternion reordered from the robot's (w, x, y, z) to Foxglove's (x, y,
/// z, w).
pub const VF_SCHEMA_FRAME_TRANSFORMS: VfSchema = 1;
/// robotstates.RobotStates, our own protobuf schema from a group's states:
/// every field of the record under its name, values as double at the float
/// precision they arrive with from the robot, the time stamp pair as
/// `timestamp`.
pub const VF_SCHEMA_ROBOT_STATES: VfSchema = 2;
/// robotactions.RobotActions from a group's commanded values, made as
/// VF_SCHEMA_ROBOT_STATES.
pub const VF_SCHEMA_ROBOT_ACTIONS: VfSchema = 3;
/// robotio.RobotIo from the robot's I/O, made as VF_SCHEMA_ROBOT_STATES.
pub const VF_SCHEMA_ROBOT_IO: VfSchema = 4;

pub const WORLD_FRAME: &str = "world";

pub enum Encoder {
    JointStates(JointStates),
    /// One message per sample with every group's frames, and the groups
    /// whose frame names the message holds.
    FrameTransforms(Frames),
    RobotStates(Box<RobotStates>),
    RobotActions(RobotActions),
    RobotIo(RobotIo),
    /// A channel of a ROS 2 recording (vf_log_target_add_ros2_channel).
    Ros2(Box<Ros2Channel>),
}

impl Encoder {
    pub fn new(schema: VfSchema) -> Result<Self, Failure> {
        Ok(match schema {
            VF_SCHEMA_JOINT_STATES => Self::JointStates(JointStates::default()),
            VF_SCHEMA_FRAME_TRANSFORMS => Self::FrameTransforms(Frames::default()),
            VF_SCHEMA_ROBOT_STATES => Self::RobotStates(Box::default()),
            VF_SCHEMA_ROBOT_ACTIONS => Self::RobotActions(RobotActions::default()),
            VF_SCHEMA_ROBOT_IO => Self::RobotIo(RobotIo::default()),
            other => return Err(Failure::new(EINVAL, format!("no schema numbered {other}"))),
        })
    }

    pub fn schema(&self) -> Schema {
        let schema = match self {
            Self::JointStates(_) => JointStates::get_schema(),
            Self::FrameTransforms(_) => FrameTransforms::get_schema(),
            Self::RobotStates(_) => RobotStates::get_schema(),
            Self::RobotActions(_) => RobotActions::get_schema(),
            Self::RobotIo(_) => RobotIo::get_schema(),
            Self::Ros2(channel) => return channel.schema(),
        };
        schema.expect("every message type here has a schema")
    }

    pub fn message_encoding(&self) -> &'static str {
        match self {
            Self::Ros2(_) => crate::ros2::MESSAGE_ENCODING,
            _ => "protobuf",
        }
    }

    /// The channel's metadata in a recording.
    pub fn channel_metadata(&self) -> std::collections::BTreeMap<String, String> {
        match self {
            Self::Ros2(channel) => channel.metadata(),
            _ => Default::default(),
        }
    }

    /// Encodes a group's states into `out` (cleared first).
    ///
    /// # Safety
    /// `states`' arrays hold what [`VfGroupStates`] says they hold, valid
    /// for the call.
    pub unsafe fn encode_states(
        &mut self,
        log_time: u64,
        states: &VfGroupStates,
        names: &JointNames,
        out: &mut Vec<u8>,
    ) -> Result<(), Failure> {
        out.clear();
        match self {
            Self::JointStates(message) => {
                // SAFETY: the caller vouches for `states`' arrays.
                unsafe { fill_joint_states(message, log_time, states, names) }?;
                encode(message, out)
            }
            Self::RobotStates(message) => {
                // SAFETY: the caller vouches for `states`' arrays.
                unsafe { fill_states(message, states) }?;
                encode(&**message, out)
            }
            // SAFETY: the caller vouches for `states`' arrays.
            Self::Ros2(channel) => unsafe { channel.encode_states(log_time, states, names, out) },
            _ => Err(self.mismatch("a group's states")),
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
            return unsafe { channel.encode_frames(log_time, groups, out) };
        }
        let Self::FrameTransforms(frames) = self else {
            return Err(self.mismatch("frames"));
        };
        // SAFETY: the caller vouches for every group's name and poses.
        unsafe { frames.fill(log_time, groups) }?;
        encode(&frames.message, out)
    }

    /// Encodes a group's commanded values into `out` (cleared first).
    ///
    /// # Safety
    /// `actions`' arrays hold what [`VfGroupActions`] says they hold, valid
    /// for the call.
    pub unsafe fn encode_actions(
        &mut self,
        log_time: u64,
        actions: &VfGroupActions,
        names: &JointNames,
        out: &mut Vec<u8>,
    ) -> Result<(), Failure> {
        out.clear();
        if let Self::Ros2(channel) = self {
            // SAFETY: the caller vouches for `actions`' arrays.
            return unsafe { channel.encode_actions(log_time, actions, names, out) };
        }
        let Self::RobotActions(message) = self else {
            return Err(self.mismatch("a group's commanded values"));
        };
        // SAFETY: the caller vouches for `actions`' arrays.
        unsafe { fill_actions(message, actions) }?;
        encode(message, out)
    }

    pub fn encode_io(&mut self, log_time: u64, io: &VfIo, out: &mut Vec<u8>) -> Result<(), Failure> {
        out.clear();
        if let Self::Ros2(channel) = self {
            return channel.encode_io(log_time, io, out);
        }
        let Self::RobotIo(message) = self else {
            return Err(self.mismatch("the robot's I/O"));
        };
        message.timestamp = io.timestamp;
        message.estop_released = io.estop_released;
        message.enabling_device_on = io.enabling_device_on;
        message.digital_inputs = io.digital_inputs;
        message.digital_outputs = io.digital_outputs;
        encode(message, out)
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

/// # Safety
/// As [`Encoder::encode_states`].
unsafe fn fill_joint_states(
    message: &mut JointStates,
    log_time: u64,
    states: &VfGroupStates,
    names: &JointNames,
) -> Result<(), Failure> {
    // SAFETY: the caller vouches for `joints` values in each per-joint array.
    let (q, dq, tau) = unsafe {
        (
            values(states.q, states.joints, "q")?,
            values(states.dq, states.joints, "dq")?,
            values(states.tau, states.joints, "tau")?,
        )
    };
    let named = message.joints.len() == states.joints
        && message
            .joints
            .first()
            .is_none_or(|joint| joint.name == names.name(states.first_joint, 0));
    if !named {
        message.joints = (0..states.joints)
            .map(|i| JointState {
                name: names.name(states.first_joint, i).into_owned(),
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

/// `value` at the float precision the robot measures in (exact for the
/// values that came from the robot as float).
fn at_float_precision(value: f64) -> f64 {
    f64::from(value as f32)
}

fn rounded_into(target: &mut Vec<f64>, source: &[f64]) {
    target.clear();
    target.extend(source.iter().map(|&v| at_float_precision(v)));
}

fn rounded_array_into<const N: usize>(target: &mut [f64; N], source: &[f64; N]) {
    for (t, &s) in target.iter_mut().zip(source) {
        *t = at_float_precision(s);
    }
}

/// # Safety
/// As [`Encoder::encode_states`].
unsafe fn fill_states(message: &mut RobotStates, s: &VfGroupStates) -> Result<(), Failure> {
    let n = s.joints;
    message.timestamp = s.timestamp;
    // SAFETY: the caller vouches for `joints` values in each per-joint array,
    // 7 in each pose and 6 in each other array.
    unsafe {
        rounded_into(&mut message.q, values(s.q, n, "q")?);
        rounded_into(&mut message.theta, values(s.theta, n, "theta")?);
        rounded_into(&mut message.dq, values(s.dq, n, "dq")?);
        rounded_into(&mut message.dtheta, values(s.dtheta, n, "dtheta")?);
        rounded_into(&mut message.tau, values(s.tau, n, "tau")?);
        rounded_into(&mut message.tau_dot, values(s.tau_dot, n, "tau_dot")?);
        rounded_into(&mut message.tau_ext, values(s.tau_ext, n, "tau_ext")?);
        rounded_into(&mut message.tau_interact, values(s.tau_interact, n, "tau_interact")?);
        rounded_into(&mut message.temperature, values(s.temperature, n, "temperature")?);
        rounded_array_into(&mut message.flange_pose, fixed::<7>(s.flange_pose, "flange_pose")?);
        rounded_array_into(&mut message.tcp_pose, fixed::<7>(s.tcp_pose, "tcp_pose")?);
        rounded_array_into(&mut message.tcp_twist, fixed::<6>(s.tcp_twist, "tcp_twist")?);
        rounded_array_into(&mut message.tcp_wrench, fixed::<6>(s.tcp_wrench, "tcp_wrench")?);
        rounded_array_into(
            &mut message.tcp_wrench_local,
            fixed::<6>(s.tcp_wrench_local, "tcp_wrench_local")?,
        );
        rounded_array_into(
            &mut message.raw_tcp_wrench,
            fixed::<6>(s.raw_tcp_wrench, "raw_tcp_wrench")?,
        );
        rounded_array_into(
            &mut message.raw_tcp_wrench_local,
            fixed::<6>(s.raw_tcp_wrench_local, "raw_tcp_wrench_local")?,
        );
        rounded_array_into(
            &mut message.raw_ft_sensor,
            fixed::<6>(s.raw_ft_sensor, "raw_ft_sensor")?,
        );
    }
    Ok(())
}

/// # Safety
/// As [`Encoder::encode_actions`].
unsafe fn fill_actions(message: &mut RobotActions, a: &VfGroupActions) -> Result<(), Failure> {
    let n = a.joints;
    message.timestamp = a.timestamp;
    // SAFETY: the caller vouches for `joints` values in each per-joint array,
    // 7 in the pose and 6 in each other array.
    unsafe {
        rounded_into(&mut message.q_d, values(a.q_d, n, "q_d")?);
        rounded_into(&mut message.dq_d, values(a.dq_d, n, "dq_d")?);
        rounded_into(&mut message.tau_d, values(a.tau_d, n, "tau_d")?);
        rounded_array_into(&mut message.tcp_pose_d, fixed::<7>(a.tcp_pose_d, "tcp_pose_d")?);
        rounded_array_into(&mut message.tcp_twist_d, fixed::<6>(a.tcp_twist_d, "tcp_twist_d")?);
        rounded_array_into(&mut message.tcp_wrench_d, fixed::<6>(a.tcp_wrench_d, "tcp_wrench_d")?);
    }
    Ok(())
}

#[cfg(test)]
#[path = "encoder_tests.rs"]
mod tests;

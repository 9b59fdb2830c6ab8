//! A ROS 2 channel: which standard message it carries, made from which part
//! of a sample, and in which frame. Only a target of the `ros2` profile (an
//! MCAP file or a live server, VF_MCAP_PROFILE_ROS2) takes such channels,
//! and it takes no others: ROS 2's tools refuse a file that mixes encodings.
use std::collections::BTreeMap;
use std::ffi::c_char;

use foxglove::Schema;
use velmor_abi::code::{Code, EINVAL};

use super::definitions::{MessageType, JOINT_STATE, JOY, SCHEMA_ENCODING, TF_MESSAGE, WRENCH_STAMPED};
use super::record_msg::{self, encode_record_msg};
use super::{encode_io, encode_wrench_stamped, GroupFrames, JointStateEncoder, JointValues, TfMessageWriter};
use super::{Time, OFFERED_QOS_PROFILES};
use crate::encoder::Encoder;
use crate::error::Failure;
use crate::field_table::{Fields, Shape};
use crate::joint_names::JointNames;
use crate::log_target::{with_target, LogTarget, VfLogTarget};
use crate::records::{fixed, required, text, VfGroupFrames};

/// What a ROS 2 channel carries, every message stamped with its receive
/// time (the log time).
pub type VfRos2Message = i32;
/// sensor_msgs/msg/JointState from a group's states record (log_record): the
/// target's joint names, position = q, velocity = dq, effort = tau.
pub const VF_ROS2_JOINT_STATES: VfRos2Message = 0;
/// sensor_msgs/msg/JointState from a group's commanded values
/// record (log_record): position = q_d, velocity = dq_d, effort = tau_d.
pub const VF_ROS2_JOINT_COMMANDS: VfRos2Message = 1;
/// tf2_msgs/msg/TFMessage from every group's frames (log_frames), the
/// frames of VF_SCHEMA_FRAME_TRANSFORMS.
pub const VF_ROS2_TF: VfRos2Message = 2;
/// geometry_msgs/msg/WrenchStamped from a group's states' tcp_wrench, in the
/// channel's frame.
pub const VF_ROS2_TCP_WRENCH: VfRos2Message = 3;
/// As VF_ROS2_TCP_WRENCH, from tcp_wrench_local.
pub const VF_ROS2_TCP_WRENCH_LOCAL: VfRos2Message = 4;
/// As VF_ROS2_TCP_WRENCH, from raw_tcp_wrench.
pub const VF_ROS2_RAW_TCP_WRENCH: VfRos2Message = 5;
/// As VF_ROS2_TCP_WRENCH, from raw_tcp_wrench_local.
pub const VF_ROS2_RAW_TCP_WRENCH_LOCAL: VfRos2Message = 6;
/// sensor_msgs/msg/Joy from the robot's I/O record (log_record): no axes, the buttons
/// 1 for on, 0 for off: estop_released, enabling_device_on, digital_inputs
/// 0 to 19, digital_outputs 0 to 19.
pub const VF_ROS2_IO: VfRos2Message = 7;

#[derive(Clone, Copy)]
enum Wrench {
    Tcp,
    TcpLocal,
    RawTcp,
    RawTcpLocal,
}

/// One of our own records as a velmorqrk_msgs message (record_msg.rs).
struct RecordType {
    shape: Shape,
    name: String,
    definition: String,
}

enum Content {
    JointStates(JointStateEncoder),
    JointCommands(JointStateEncoder),
    Tf,
    Wrench(Wrench),
    Io,
    Record(RecordType),
}

pub struct Ros2Channel {
    content: Content,
    /// The frame a wrench is in.
    frame_id: String,
}

impl Ros2Channel {
    pub fn new(message: VfRos2Message, frame_id: &str) -> Result<Self, Failure> {
        let content = match message {
            VF_ROS2_JOINT_STATES => Content::JointStates(JointStateEncoder::default()),
            VF_ROS2_JOINT_COMMANDS => Content::JointCommands(JointStateEncoder::default()),
            VF_ROS2_TF => Content::Tf,
            VF_ROS2_TCP_WRENCH => Content::Wrench(Wrench::Tcp),
            VF_ROS2_TCP_WRENCH_LOCAL => Content::Wrench(Wrench::TcpLocal),
            VF_ROS2_RAW_TCP_WRENCH => Content::Wrench(Wrench::RawTcp),
            VF_ROS2_RAW_TCP_WRENCH_LOCAL => Content::Wrench(Wrench::RawTcpLocal),
            VF_ROS2_IO => Content::Io,
            other => return Err(Failure::new(EINVAL, format!("no ROS 2 message numbered {other}"))),
        };
        Ok(Self {
            content,
            frame_id: frame_id.to_owned(),
        })
    }

    /// A channel of the record whose fields `shape` gives, carried whole
    /// as a message of our own interface package.
    pub fn record(shape: Shape) -> Self {
        let content = Content::Record(RecordType {
            name: record_msg::type_name(&shape),
            definition: record_msg::definition(&shape),
            shape,
        });
        Self {
            content,
            frame_id: String::new(),
        }
    }

    /// The message's type name and its schema's definition text.
    fn message_type(&self) -> (&str, &str) {
        let standard = |message: &'static MessageType| (message.name, message.definition);
        match &self.content {
            Content::JointStates(_) | Content::JointCommands(_) => standard(&JOINT_STATE),
            Content::Tf => standard(&TF_MESSAGE),
            Content::Wrench(_) => standard(&WRENCH_STAMPED),
            Content::Io => standard(&JOY),
            Content::Record(record) => (&record.name, &record.definition),
        }
    }

    pub fn schema(&self) -> Schema {
        let (name, definition) = self.message_type();
        Schema::new(name, SCHEMA_ENCODING, definition.as_bytes().to_vec())
    }

    /// The channel's metadata in a recording: the QoS ROS 2 plays it with.
    pub fn metadata(&self) -> BTreeMap<String, String> {
        BTreeMap::from([("offered_qos_profiles".to_owned(), OFFERED_QOS_PROFILES.to_owned())])
    }

    /// Encodes a record: a group's states (joint states, wrenches), its
    /// commanded values (joint commands) or the robot's I/O, as the channel
    /// carries, every header stamped `stamp`.
    pub fn encode_record(
        &mut self,
        fields: &Fields,
        names: &JointNames,
        stamp: Time,
        out: &mut Vec<u8>,
    ) -> Result<(), Failure> {
        let joint_values = |position, velocity, effort| -> Result<JointValues, Failure> {
            Ok(JointValues {
                position: fields.per_joint(position)?,
                velocity: fields.per_joint(velocity)?,
                effort: fields.per_joint(effort)?,
            })
        };
        match &mut self.content {
            Content::JointStates(encoder) => {
                let values = joint_values("q", "dq", "tau")?;
                encoder.encode(stamp, fields.first_joint, names, &values, out);
            }
            Content::JointCommands(encoder) => {
                let values = joint_values("q_d", "dq_d", "tau_d")?;
                encoder.encode(stamp, fields.first_joint, names, &values, out);
            }
            Content::Wrench(wrench) => {
                let name = match wrench {
                    Wrench::Tcp => "tcp_wrench",
                    Wrench::TcpLocal => "tcp_wrench_local",
                    Wrench::RawTcp => "raw_tcp_wrench",
                    Wrench::RawTcpLocal => "raw_tcp_wrench_local",
                };
                encode_wrench_stamped(stamp, &self.frame_id, fields.array::<6>(name)?, out);
            }
            Content::Io => encode_io(stamp, fields, out),
            Content::Record(record) => {
                fields.check(&record.shape)?;
                encode_record_msg(stamp, &record.shape, fields, out);
            }
            Content::Tf => return Err(self.mismatch("a record")),
        }
        Ok(())
    }

    /// # Safety
    /// Every group's name and poses are what [`VfGroupFrames`] says they
    /// are, valid for the call.
    pub unsafe fn encode_frames(
        &mut self,
        groups: &[VfGroupFrames],
        stamp: Time,
        out: &mut Vec<u8>,
    ) -> Result<(), Failure> {
        if !matches!(self.content, Content::Tf) {
            return Err(self.mismatch("frames"));
        }
        // A group that fails leaves a partial message, which is not logged.
        let mut message = TfMessageWriter::new(stamp, groups.len(), out);
        for group in groups {
            // SAFETY: the caller vouches for every group's name and poses.
            message.group(&unsafe {
                GroupFrames {
                    group: text(group.group, "group")?,
                    tcp_pose: fixed::<7>(group.tcp_pose, "tcp_pose")?,
                    flange_pose: fixed::<7>(group.flange_pose, "flange_pose")?,
                }
            });
        }
        Ok(())
    }

    fn mismatch(&self, what: &str) -> Failure {
        Failure::new(
            EINVAL,
            format!("a {} channel does not carry {what}", self.message_type().0),
        )
    }
}

/// Adds a ROS 2 channel carrying `message` to a target of the `ros2`
/// profile (a recording or a live server) and sets `channel` to its number
/// for the log calls; `frame_id` (NULL for none) is the frame a wrench is
/// in. VF_EINVAL on a target of another profile.
///
/// # Safety
/// `topic` is NULL or a NUL-terminated string, and `frame_id` too; both
/// valid for the call.
#[no_mangle]
pub unsafe extern "C" fn vf_log_target_add_ros2_channel(
    target: Option<&VfLogTarget>,
    topic: *const c_char,
    message: VfRos2Message,
    frame_id: *const c_char,
    channel: Option<&mut u32>,
) -> Code {
    with_target(target, "target", |target| {
        // SAFETY: the caller vouches for `topic` and `frame_id` for the call,
        // which this closure runs within.
        let topic = unsafe { text(topic, "topic") }?;
        let frame_id = if frame_id.is_null() {
            ""
        } else {
            // SAFETY: as `topic`.
            unsafe { text(frame_id, "frame_id") }?
        };
        let channel = required(channel, "channel")?;
        let encoder = Ros2Channel::new(message, frame_id)?;
        *channel = target.add_channel(topic, Encoder::Ros2(Box::new(encoder)))?;
        Ok(())
    })
}

#[cfg(test)]
mod tests {
    use std::ffi::CString;
    use std::ptr;

    use velmor_abi::code::OK;

    use super::*;
    use crate::encoder::VF_SCHEMA_JOINT_STATES;
    use crate::field_table::VF_FIELD_F64_SEQUENCE;
    use crate::live_server::{vf_live_server_log_target, vf_live_server_start, vf_live_server_stop};
    use crate::log_target::{vf_log_target_add_channel, vf_log_target_add_record_channel};
    use crate::mcap_writer::{
        vf_mcap_writer_create, vf_mcap_writer_drop, vf_mcap_writer_log_target, VfMcapProfile, VF_COMPRESSION_NONE,
        VF_MCAP_PROFILE_NONE, VF_MCAP_PROFILE_ROS2,
    };
    use crate::test_table::Table;

    /// The codes of adding a protobuf channel, a ROS 2 one and a record's
    /// (which goes in the target's own encoding) to `target`.
    fn added(target: Option<&VfLogTarget>) -> (Code, Code, Code) {
        let topic = CString::new("/arm/joint_states").unwrap();
        let table = Table::default().field(c"q", VF_FIELD_F64_SEQUENCE, &[0.0; 7]);
        let mut channel = 0;
        // SAFETY: the topic, the name and the table's fields are alive for every call; no frame.
        unsafe {
            (
                vf_log_target_add_channel(target, topic.as_ptr(), VF_SCHEMA_JOINT_STATES, Some(&mut channel)),
                vf_log_target_add_ros2_channel(
                    target,
                    topic.as_ptr(),
                    VF_ROS2_JOINT_STATES,
                    ptr::null(),
                    Some(&mut channel),
                ),
                vf_log_target_add_record_channel(
                    target,
                    c"/arm/states".as_ptr(),
                    c"RobotStates".as_ptr(),
                    table.fields.as_ptr(),
                    table.fields.len(),
                    Some(&mut channel),
                ),
            )
        }
    }

    fn expected(ros2: bool) -> (Code, Code, Code) {
        if ros2 {
            (EINVAL, OK, OK)
        } else {
            (OK, EINVAL, OK)
        }
    }

    fn profile(ros2: bool) -> VfMcapProfile {
        if ros2 {
            VF_MCAP_PROFILE_ROS2
        } else {
            VF_MCAP_PROFILE_NONE
        }
    }

    #[test]
    fn a_ros2_file_or_server_takes_only_ros2_channels_and_another_none() {
        let folder = std::env::temp_dir().join(format!("vf-ros2-channels-{}", std::process::id()));
        std::fs::create_dir_all(&folder).unwrap();
        for ros2 in [true, false] {
            let path = CString::new(folder.join(format!("{ros2}.mcap")).to_str().unwrap()).unwrap();
            let mut writer = ptr::null_mut();
            // SAFETY: the path is a C string alive for the call; `writer` may be written.
            let created =
                unsafe { vf_mcap_writer_create(path.as_ptr(), VF_COMPRESSION_NONE, true, profile(ros2), &mut writer) };
            assert_eq!(created, OK);
            // SAFETY: the writer was just created and is dropped below.
            let file = added(vf_mcap_writer_log_target(unsafe { writer.as_ref() }));
            // SAFETY: created above, used by no other call.
            unsafe { vf_mcap_writer_drop(writer) };

            let mut server = ptr::null_mut();
            // SAFETY: the host is a C string; `server` may be written.
            let started = unsafe { vf_live_server_start(c"127.0.0.1".as_ptr(), 0, 1, profile(ros2), &mut server) };
            assert_eq!(started, OK);
            // SAFETY: the server was just started and is stopped below.
            let live = added(vf_live_server_log_target(unsafe { server.as_ref() }));
            // SAFETY: started above, used by no other call.
            unsafe { vf_live_server_stop(server) };
            assert_eq!((file, live), (expected(ros2), expected(ros2)), "ROS 2: {ros2}");
        }
        std::fs::remove_dir_all(&folder).unwrap();
    }
}

//! What the MCAP writer and the live server have in common: channels added
//! by topic and schema, and samples logged on them: both are targets that
//! messages are logged to. Each handle carries one `VfLogTarget`, which C
//! borrows from it (vf_mcap_writer_log_target, vf_live_server_log_target),
//! so that adding a channel and logging are one set of entry points, which
//! check their arguments in one order and fail with the same messages for
//! both.
use std::ffi::c_char;
use std::sync::{Mutex, OnceLock, PoisonError};

use velmor_abi::code::{Code, EINVAL};

use crate::encoder::{Encoder, VfSchema};
use crate::error::{guard, Failure};
use crate::field_table::{fields, Shape, VfField, VfRecord};
use crate::joint_names::JointNames;
use crate::live_server::Channels;
use crate::mcap_writer::McapFile;
use crate::records::{required, text, values, VfGroupFrames, VfStamp};
use crate::ros2::Ros2Channel;

/// Encodes one message into a buffer (cleared first) with a channel's
/// encoder.
pub(crate) trait Encode: FnOnce(&mut Encoder, &mut Vec<u8>) -> Result<(), Failure> {}
impl<F: FnOnce(&mut Encoder, &mut Vec<u8>) -> Result<(), Failure>> Encode for F {}

/// Where channels' messages go: an MCAP file or the live server's clients.
pub(crate) trait LogTarget {
    /// Adds a channel whose messages `encoder` makes; returns its number
    /// for `log`.
    fn add_channel(&mut self, topic: &str, encoder: Encoder) -> Result<u32, Failure>;

    /// Encodes a message on `channel` with `encode` (into a buffer of the
    /// target's) and sends it on; a target that has no taker for the channel
    /// may skip both.
    fn log(&mut self, channel: u32, stamp: &VfStamp, encode: impl Encode) -> Result<(), Failure>;
}

/// The two kinds of target, told apart at the call rather than by a table
/// of functions, so that `log` stays generic over its encoding closure.
// One lives in each handle's one heap allocation: the live server's spare
// kilobyte costs less than a second allocation for the file.
#[allow(clippy::large_enum_variant)]
pub(crate) enum Targets {
    Mcap(McapFile),
    Live(Channels),
}

impl Targets {
    /// Whether the target is ROS 2's (VF_MCAP_PROFILE_ROS2): it takes ROS 2
    /// channels only, and records in CDR.
    pub(crate) fn is_ros2(&self) -> bool {
        match self {
            Targets::Mcap(file) => file.is_ros2(),
            Targets::Live(channels) => channels.is_ros2(),
        }
    }

    fn name(&self) -> &str {
        match self {
            Targets::Mcap(file) => file.path(),
            Targets::Live(_) => "the live server",
        }
    }
}

impl LogTarget for Targets {
    /// A ROS 2 target takes ROS 2 channels only, and another target none of
    /// them: ROS 2's tools refuse a file that mixes encodings, and a viewer
    /// would find one topic under two encodings.
    fn add_channel(&mut self, topic: &str, encoder: Encoder) -> Result<u32, Failure> {
        if matches!(encoder, Encoder::Ros2(_)) != self.is_ros2() {
            let kind = if self.is_ros2() { "only ROS 2" } else { "no ROS 2" };
            return Err(Failure::new(
                EINVAL,
                format!("{topic}: {} takes {kind} channels", self.name()),
            ));
        }
        match self {
            Targets::Mcap(file) => file.add_channel(topic, encoder),
            Targets::Live(channels) => channels.add_channel(topic, encoder),
        }
    }

    fn log(&mut self, channel: u32, stamp: &VfStamp, encode: impl Encode) -> Result<(), Failure> {
        match self {
            Targets::Mcap(file) => file.log(channel, stamp, encode),
            Targets::Live(channels) => channels.log(channel, stamp, encode),
        }
    }
}

/// A target that messages are logged to: an MCAP writer's file or a live
/// server's channels, borrowed from its handle and valid as long as the
/// handle. Its lock serialises concurrent calls on the handle.
pub struct VfLogTarget {
    inner: Mutex<Targets>,
    joint_names: OnceLock<JointNames>,
}

impl VfLogTarget {
    pub(crate) fn new(target: Targets) -> Self {
        Self {
            inner: Mutex::new(target),
            joint_names: OnceLock::new(),
        }
    }

    /// The names given (vf_log_target_set_joint_names), or the defaults.
    pub(crate) fn joint_names(&self) -> &JointNames {
        static DEFAULTS: JointNames = JointNames::DEFAULTS;
        self.joint_names.get().unwrap_or(&DEFAULTS)
    }

    /// Gives the joints their names, once; a second time gives them back.
    pub(crate) fn set_joint_names(&self, names: JointNames) -> Result<(), JointNames> {
        self.joint_names.set(names)
    }

    /// The target, for its handle's release (no other call is running).
    pub(crate) fn into_inner(self) -> Targets {
        self.inner.into_inner().unwrap_or_else(PoisonError::into_inner)
    }
}

/// Runs `body` on the target under its lock, as a C call: a NULL target
/// (`name` says whose, for the message "NAME is NULL"), a failure or a panic
/// becomes the result code. A panic in an earlier call does not lock the
/// target out.
pub(crate) fn with_target(
    target: Option<&VfLogTarget>,
    name: &str,
    body: impl FnOnce(&mut Targets) -> Result<(), Failure>,
) -> Code {
    guard(|| {
        let target = required(target, name)?;
        let mut locked = target.inner.lock().unwrap_or_else(PoisonError::into_inner);
        body(&mut locked)
    })
}

/// Adds a channel (and its schema) and sets `channel` to its number for the
/// log calls; a live server advertises the channel.
///
/// # Safety
/// `topic` is NULL or a NUL-terminated string, valid for the call.
#[no_mangle]
pub unsafe extern "C" fn vf_log_target_add_channel(
    target: Option<&VfLogTarget>,
    topic: *const c_char,
    schema: VfSchema,
    channel: Option<&mut u32>,
) -> Code {
    with_target(target, "target", |target| {
        // SAFETY: the caller vouches for `topic` for the call, which this
        // closure runs within.
        let topic = unsafe { text(topic, "topic") }?;
        let channel = required(channel, "channel")?;
        *channel = target.add_channel(topic, Encoder::new(schema)?)?;
        Ok(())
    })
}

/// Adds a channel of one of our own records and sets `channel` to its number
/// for vf_log_target_log_record. The record is written in its target's own
/// encoding: on a ROS 2 target (VF_MCAP_PROFILE_ROS2) as the CDR type
/// velmorqrk_msgs/msg/`name` (src/ros2/record_msg.rs), elsewhere in
/// protobuf, whose schema, `<lowercase name>.<name>`, has one field per
/// entry of `fields`, in order, under its name (`name` and every field's name are letters, digits and
/// `_`); from each entry only its name, its kind and, for a fixed kind, its
/// `len` are read. Every record logged on the channel must have these
/// fields (VF_EINVAL otherwise).
///
/// # Safety
/// `topic` and `name` are NULL or NUL-terminated strings; `fields`, unless
/// NULL or `count` is 0, points to `count` vf_field whose names are NULL or
/// NUL-terminated; all valid for the call.
#[no_mangle]
pub unsafe extern "C" fn vf_log_target_add_record_channel(
    target: Option<&VfLogTarget>,
    topic: *const c_char,
    name: *const c_char,
    fields: *const VfField,
    count: usize,
    channel: Option<&mut u32>,
) -> Code {
    with_target(target, "target", |target| {
        // SAFETY: the caller vouches for `topic`, `name` and `count` fields
        // for the call, which this closure runs within.
        let (topic, shape) = unsafe {
            (
                text(topic, "topic")?,
                Shape::from_c(text(name, "name")?, fields, count)?,
            )
        };
        let channel = required(channel, "channel")?;
        let encoder = if target.is_ros2() {
            Encoder::Ros2(Box::new(Ros2Channel::record(shape)))
        } else {
            Encoder::record(shape)
        };
        *channel = target.add_channel(topic, encoder)?;
        Ok(())
    })
}

/// Logs a record: on a record channel every field (the record has the
/// fields the channel was added with), on a VF_SCHEMA_JOINT_STATES channel
/// its per-joint fields q, dq and tau. VF_EINVAL when the per-joint fields
/// (VF_FIELD_F64_SEQUENCE) differ in length. Every log call returns
/// VF_EINVAL when the channel's schema does not take what is logged.
///
/// # Safety
/// `record`, unless NULL, holds the fields vf_record describes, valid for
/// the call.
#[no_mangle]
pub unsafe extern "C" fn vf_log_target_log_record(
    target: Option<&VfLogTarget>,
    channel: u32,
    stamp: Option<&VfStamp>,
    record: Option<&VfRecord>,
) -> Code {
    let names = target.map(VfLogTarget::joint_names);
    with_target(target, "target", |target| {
        let (stamp, record) = (required(stamp, "stamp")?, required(record, "record")?);
        // Checked here, before a live server that no viewer watches skips
        // the encoding: a record whose joint vectors differ fails alike on
        // every target.
        // SAFETY: the caller vouches for `record`'s fields for the call.
        let fields = unsafe { fields(record) }?;
        let names = names.expect("with_target checked the target");
        target.log(channel, stamp, |encoder, out| {
            encoder.encode_record(stamp.log_time, &fields, names, out)
        })
    })
}

/// Logs `count` groups' frames of one sample as one message (`groups` may be
/// NULL when `count` is 0).
///
/// # Safety
/// `groups`, unless NULL or `count` is 0, points to `count` vf_group_frames
/// whose names and poses are valid for the call.
#[no_mangle]
pub unsafe extern "C" fn vf_log_target_log_frames(
    target: Option<&VfLogTarget>,
    channel: u32,
    stamp: Option<&VfStamp>,
    groups: *const VfGroupFrames,
    count: usize,
) -> Code {
    with_target(target, "target", |target| {
        let stamp = required(stamp, "stamp")?;
        // SAFETY: the caller vouches for `count` groups for the call.
        let groups = unsafe { values(groups, count, "groups") }?;
        target.log(channel, stamp, |encoder, out| {
            // SAFETY: the caller vouches for every group's name and poses
            // for the call, and `log` encodes within it.
            unsafe { encoder.encode_frames(stamp.log_time, groups, out) }
        })
    })
}

#[cfg(test)]
mod tests {
    use std::ffi::c_void;

    use foxglove::Context;
    use velmor_abi::code::EINVAL;

    use super::*;
    use crate::encoder::VF_SCHEMA_JOINT_STATES;
    use crate::field_table::VF_FIELD_F64_SEQUENCE;

    #[test]
    fn a_record_with_uneven_joint_vectors_fails_even_where_nobody_watches() {
        let target = VfLogTarget::new(Targets::Live(Channels::new(Context::new(), false)));
        let mut channel = 0;
        // SAFETY: the topic is a NUL-terminated string.
        let added = unsafe {
            vf_log_target_add_channel(
                Some(&target),
                c"/joints".as_ptr(),
                VF_SCHEMA_JOINT_STATES,
                Some(&mut channel),
            )
        };
        assert_eq!(added, 0);
        let (seven, six) = ([0.0; 7], [0.0; 6]);
        let field = |name: &'static std::ffi::CStr, values: &[f64]| VfField {
            name: name.as_ptr(),
            kind: VF_FIELD_F64_SEQUENCE,
            data: values.as_ptr().cast::<c_void>(),
            len: values.len(),
        };
        let fields = [field(c"q", &seven), field(c"dq", &seven), field(c"tau", &six)];
        let record = VfRecord {
            first_joint: 0,
            fields: fields.as_ptr(),
            count: fields.len(),
        };
        let stamp = VfStamp {
            sequence: 0,
            log_time: 0,
        };
        // SAFETY: the record's fields and values outlive the call.
        let logged = unsafe { vf_log_target_log_record(Some(&target), channel, Some(&stamp), Some(&record)) };
        assert_eq!(logged, EINVAL);
    }
}

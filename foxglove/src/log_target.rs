//! What the MCAP writer and the live server have in common: channels added
//! by topic and schema, and samples logged on them: both are targets that
//! messages are logged to. Both handles' C entry points for these calls are
//! generated here (`export_log_target_calls!`), so that they check their
//! arguments in the same order and fail with the same messages.
use std::ffi::c_char;
use std::sync::{Mutex, PoisonError};

use crate::encoder::Encoder;
use crate::error::{guard, Failure};
use crate::records::{reference, text, values, VfGroupActions, VfGroupFrames, VfGroupStates, VfIo, VfStamp};
use crate::{VfResult, VF_ENULL};

/// Encodes one message into a buffer (cleared first) with a channel's
/// encoder.
pub(crate) trait Encode: FnOnce(&mut Encoder, &mut Vec<u8>) -> Result<(), Failure> {}
impl<F: FnOnce(&mut Encoder, &mut Vec<u8>) -> Result<(), Failure>> Encode for F {}

/// Where channels' messages go: an MCAP file or the live server's clients.
pub(crate) trait LogTarget {
    /// Adds a channel carrying `schema`; returns its number for `log`.
    fn add_channel(&mut self, topic: &str, schema: i32) -> Result<u32, Failure>;

    /// Encodes a message on `channel` with `encode` (into a buffer of the
    /// target's) and sends it on; a target that has no taker for the channel
    /// may skip both.
    fn log(&mut self, channel: u32, stamp: &VfStamp, encode: impl Encode) -> Result<(), Failure>;
}

/// A C handle over a log target; its lock serialises concurrent calls.
pub(crate) trait LogTargetHandle {
    type Target: LogTarget;
    /// The handle's parameter name in the C header ("writer is NULL").
    const NAME: &'static str;
    fn target(&self) -> &Mutex<Self::Target>;
}

/// Runs `body` on the handle's target under its lock, as a C call: a NULL
/// handle, a failure or a panic becomes the result code. A panic in an
/// earlier call does not lock the handle out.
pub fn with_target<H: LogTargetHandle>(
    handle: *const H,
    body: impl FnOnce(&mut H::Target) -> Result<(), Failure>,
) -> VfResult {
    guard(|| {
        let handle = reference(handle, H::NAME)?;
        let mut target = handle.target().lock().unwrap_or_else(PoisonError::into_inner);
        body(&mut target)
    })
}

pub fn add_channel<H: LogTargetHandle>(
    handle: *const H,
    topic: *const c_char,
    schema: i32,
    channel: *mut u32,
) -> VfResult {
    with_target(handle, |target| {
        let topic = text(topic, "topic")?;
        let Some(channel) = (unsafe { channel.as_mut() }) else {
            return Err(Failure::new(VF_ENULL, "channel is NULL"));
        };
        *channel = target.add_channel(topic, schema)?;
        Ok(())
    })
}

pub fn log_states<H: LogTargetHandle>(
    handle: *const H,
    channel: u32,
    stamp: *const VfStamp,
    states: *const VfGroupStates,
) -> VfResult {
    with_target(handle, |target| {
        let (stamp, states) = (reference(stamp, "stamp")?, reference(states, "states")?);
        target.log(channel, stamp, |encoder, out| {
            encoder.encode_states(stamp.log_time, states, out)
        })
    })
}

pub fn log_frames<H: LogTargetHandle>(
    handle: *const H,
    channel: u32,
    stamp: *const VfStamp,
    groups: *const VfGroupFrames,
    count: usize,
) -> VfResult {
    with_target(handle, |target| {
        let (stamp, groups) = (reference(stamp, "stamp")?, values(groups, count, "groups")?);
        target.log(channel, stamp, |encoder, out| {
            encoder.encode_frames(stamp.log_time, groups, out)
        })
    })
}

pub fn log_actions<H: LogTargetHandle>(
    handle: *const H,
    channel: u32,
    stamp: *const VfStamp,
    actions: *const VfGroupActions,
) -> VfResult {
    with_target(handle, |target| {
        let (stamp, actions) = (reference(stamp, "stamp")?, reference(actions, "actions")?);
        target.log(channel, stamp, |encoder, out| encoder.encode_actions(actions, out))
    })
}

pub fn log_io<H: LogTargetHandle>(handle: *const H, channel: u32, stamp: *const VfStamp, io: *const VfIo) -> VfResult {
    with_target(handle, |target| {
        let (stamp, io) = (reference(stamp, "stamp")?, reference(io, "io")?);
        target.log(channel, stamp, |encoder, out| encoder.encode_io(io, out))
    })
}

/// Exports a log target handle's add_channel and log calls under the names its C
/// header gives them (in this order).
macro_rules! export_log_target_calls {
    ($handle:ty => $add_channel:ident, $log_states:ident, $log_frames:ident, $log_actions:ident, $log_io:ident) => {
        #[no_mangle]
        pub extern "C" fn $add_channel(
            handle: *const $handle,
            topic: *const std::ffi::c_char,
            schema: i32,
            channel: *mut u32,
        ) -> $crate::VfResult {
            $crate::log_target::add_channel(handle, topic, schema, channel)
        }

        #[no_mangle]
        pub extern "C" fn $log_states(
            handle: *const $handle,
            channel: u32,
            stamp: *const $crate::records::VfStamp,
            states: *const $crate::records::VfGroupStates,
        ) -> $crate::VfResult {
            $crate::log_target::log_states(handle, channel, stamp, states)
        }

        #[no_mangle]
        pub extern "C" fn $log_frames(
            handle: *const $handle,
            channel: u32,
            stamp: *const $crate::records::VfStamp,
            groups: *const $crate::records::VfGroupFrames,
            count: usize,
        ) -> $crate::VfResult {
            $crate::log_target::log_frames(handle, channel, stamp, groups, count)
        }

        #[no_mangle]
        pub extern "C" fn $log_actions(
            handle: *const $handle,
            channel: u32,
            stamp: *const $crate::records::VfStamp,
            actions: *const $crate::records::VfGroupActions,
        ) -> $crate::VfResult {
            $crate::log_target::log_actions(handle, channel, stamp, actions)
        }

        #[no_mangle]
        pub extern "C" fn $log_io(
            handle: *const $handle,
            channel: u32,
            stamp: *const $crate::records::VfStamp,
            io: *const $crate::records::VfIo,
        ) -> $crate::VfResult {
            $crate::log_target::log_io(handle, channel, stamp, io)
        }
    };
}
pub(crate) use export_log_target_calls;

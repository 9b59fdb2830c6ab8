//! What the MCAP writer and the live server have in common: channels added
//! by topic and schema, and samples logged on them: both are targets that
//! messages are logged to. Both handles' C entry points for these calls
//! call the functions here, so that they check their arguments in the same
//! order and fail with the same messages.
use std::ffi::c_char;
use std::sync::{Mutex, PoisonError};

use crate::encoder::{Encoder, VfSchema};
use crate::error::{guard, Failure};
use crate::records::{required, text, values, VfGroupActions, VfGroupFrames, VfGroupStates, VfIo, VfStamp};
use crate::VfResult;

/// Encodes one message into a buffer (cleared first) with a channel's
/// encoder.
pub(crate) trait Encode: FnOnce(&mut Encoder, &mut Vec<u8>) -> Result<(), Failure> {}
impl<F: FnOnce(&mut Encoder, &mut Vec<u8>) -> Result<(), Failure>> Encode for F {}

/// Where channels' messages go: an MCAP file or the live server's clients.
pub(crate) trait LogTarget {
    /// Adds a channel carrying `schema`; returns its number for `log`.
    fn add_channel(&mut self, topic: &str, schema: VfSchema) -> Result<u32, Failure>;

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
    handle: Option<&H>,
    body: impl FnOnce(&mut H::Target) -> Result<(), Failure>,
) -> VfResult {
    guard(|| {
        let handle = required(handle, H::NAME)?;
        let mut target = handle.target().lock().unwrap_or_else(PoisonError::into_inner);
        body(&mut target)
    })
}

/// # Safety
/// `topic` is NULL or a NUL-terminated string, valid for the call.
pub unsafe fn add_channel<H: LogTargetHandle>(
    handle: Option<&H>,
    topic: *const c_char,
    schema: VfSchema,
    channel: Option<&mut u32>,
) -> VfResult {
    with_target(handle, |target| {
        // SAFETY: the caller vouches for `topic` for the call, which this
        // closure runs within.
        let topic = unsafe { text(topic, "topic") }?;
        let channel = required(channel, "channel")?;
        *channel = target.add_channel(topic, schema)?;
        Ok(())
    })
}

/// # Safety
/// `states`, unless NULL, holds what [`VfGroupStates`] says, valid for the
/// call.
pub unsafe fn log_states<H: LogTargetHandle>(
    handle: Option<&H>,
    channel: u32,
    stamp: Option<&VfStamp>,
    states: Option<&VfGroupStates>,
) -> VfResult {
    with_target(handle, |target| {
        let (stamp, states) = (required(stamp, "stamp")?, required(states, "states")?);
        target.log(channel, stamp, |encoder, out| {
            // SAFETY: the caller vouches for `states`' arrays for the call,
            // and `log` encodes within it.
            unsafe { encoder.encode_states(stamp.log_time, states, out) }
        })
    })
}

/// # Safety
/// `groups`, unless NULL or `count` is 0, points to `count` groups' frames
/// as [`VfGroupFrames`] describes them, valid for the call.
pub unsafe fn log_frames<H: LogTargetHandle>(
    handle: Option<&H>,
    channel: u32,
    stamp: Option<&VfStamp>,
    groups: *const VfGroupFrames,
    count: usize,
) -> VfResult {
    with_target(handle, |target| {
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

/// # Safety
/// `actions`, unless NULL, holds what [`VfGroupActions`] says, valid for
/// the call.
pub unsafe fn log_actions<H: LogTargetHandle>(
    handle: Option<&H>,
    channel: u32,
    stamp: Option<&VfStamp>,
    actions: Option<&VfGroupActions>,
) -> VfResult {
    with_target(handle, |target| {
        let (stamp, actions) = (required(stamp, "stamp")?, required(actions, "actions")?);
        target.log(channel, stamp, |encoder, out| {
            // SAFETY: the caller vouches for `actions`' arrays for the call,
            // and `log` encodes within it.
            unsafe { encoder.encode_actions(actions, out) }
        })
    })
}

pub fn log_io<H: LogTargetHandle>(
    handle: Option<&H>,
    channel: u32,
    stamp: Option<&VfStamp>,
    io: Option<&VfIo>,
) -> VfResult {
    with_target(handle, |target| {
        let (stamp, io) = (required(stamp, "stamp")?, required(io, "io")?);
        target.log(channel, stamp, |encoder, out| encoder.encode_io(io, out))
    })
}

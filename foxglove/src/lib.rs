//! qrk's one static library: the bridge's C ABI, re-exported unchanged, and
//! a narrow C ABI over the Foxglove SDK for MCAP recordings and the live
//! WebSocket server. The contract of every function is written in
//! `include/velmor_foxglove.h`. Every exported function runs its body under
//! `error::guard`, so no panic unwinds into C.
//!
//! An entry point that only borrows a handle or a record takes it as
//! `Option<&T>` (a C pointer, NULL or valid for the call); raw pointers stay
//! where ownership passes (a constructor's out-parameter, the release) and
//! where C hands over a string or an array, and an entry point that takes
//! one is `unsafe` and says in `# Safety` what its caller vouches for.

#![deny(unsafe_op_in_unsafe_fn)]
#![deny(clippy::undocumented_unsafe_blocks, clippy::missing_safety_doc)]

pub use velmor_bridge::*;

mod encoder;
mod error;
mod front_door;
mod live_server;
mod log_target;
mod mcap_writer;
mod records;
mod schemas;

pub use error::vf_last_error;
pub use live_server::{
    vf_live_server_add_channel, vf_live_server_log_actions, vf_live_server_log_frames, vf_live_server_log_io,
    vf_live_server_log_states, vf_live_server_port, vf_live_server_refused, vf_live_server_start, vf_live_server_stop,
};
pub use mcap_writer::{
    vf_mcap_writer_add_channel, vf_mcap_writer_create, vf_mcap_writer_drop, vf_mcap_writer_finish,
    vf_mcap_writer_log_actions, vf_mcap_writer_log_frames, vf_mcap_writer_log_io, vf_mcap_writer_log_states,
    vf_mcap_writer_write_metadata,
};

/// The bridge's result codes, and two of our own: a file that cannot be
/// written, and one that exists where a recording would create its own.
pub type VfResult = i8;
pub const VF_OK: VfResult = 0;
pub const VF_EINVAL: VfResult = -1;
pub const VF_EIO: VfResult = -3;
pub const VF_ENETWORK: VfResult = -4;
pub const VF_ENULL: VfResult = -5;
pub const VF_EEXIST: VfResult = -6;
pub const VF_EGENERIC: VfResult = -128;

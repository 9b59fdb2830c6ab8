//! A narrow C ABI over the Foxglove SDK for MCAP recordings and the live
//! WebSocket server, which runtime/ links into libvelmor_runtime.so beside
//! the bridge's. The contract of every function is its doc comment here,
//! which cbindgen copies into `include/velmor_foxglove.h` (generated:
//! `scripts/gen-header`; the header's conventions are in cbindgen.toml).
//! Every exported function runs its body under `error::guard`, so no panic
//! unwinds into C.
//!
//! An entry point that only borrows a handle or a record takes it as
//! `Option<&T>` (a C pointer, NULL or valid for the call); raw pointers stay
//! where ownership passes (a constructor's out-parameter, the release) and
//! where C hands over a string or an array, and an entry point that takes
//! one is `unsafe` and says in `# Safety` what its caller vouches for.

mod encoder;
mod error;
mod field_table;
mod front_door;
mod joint_names;
mod live_server;
mod log_target;
mod mcap_writer;
mod protobuf;
mod records;
mod ros2;
#[cfg(test)]
mod test_table;

pub use error::vf_last_error;
pub use joint_names::vf_log_target_set_joint_names;
pub use live_server::{
    vf_live_server_log_target, vf_live_server_port, vf_live_server_refused, vf_live_server_start, vf_live_server_stop,
};
pub use log_target::{
    vf_log_target_add_channel, vf_log_target_add_record_channel, vf_log_target_log_frames, vf_log_target_log_record,
};
pub use mcap_writer::{
    vf_mcap_writer_create, vf_mcap_writer_drop, vf_mcap_writer_finish, vf_mcap_writer_log_target,
    vf_mcap_writer_write_metadata,
};
pub use ros2::vf_log_target_add_ros2_channel;

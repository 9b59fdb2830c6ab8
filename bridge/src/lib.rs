//! C ABI over zenoh for the velmorqrk client, its simulator and its tests.
//! The doc comments of the exported items are their contract: cbindgen writes
//! them into `include/velmor_bridge.h` (scripts/gen-header, settings in
//! cbindgen.toml), after the conventions that every function keeps.
//! Every exported function runs its body under velmor_abi's `guard`, so no
//! panic unwinds into C; zenoh calls our closures on its own threads, and
//! those bodies are guarded the same way. Result codes are velmor_abi's.
//!
//! An entry point that only borrows a handle takes it as `Option<&T>` (a C
//! pointer, NULL or valid for the call), and a plain out-value as
//! `Option<&mut T>`; raw pointers stay where ownership passes (a
//! constructor's out-parameter, the release) and where C hands over a string
//! or a buffer, and an entry point that takes one is `unsafe` and says in
//! `# Safety` what its caller vouches for.

// Builds of the closure gate alone (`--cfg closure_only` or `--cfg loom`, see
// Cargo.toml) leave the C ABI over zenoh out, and with it the only users of
// some helpers.
#![cfg_attr(any(closure_only, loom), allow(dead_code))]

mod c_args;
mod closure;
mod sync;

#[cfg(not(any(closure_only, loom)))]
mod declare;
#[cfg(not(any(closure_only, loom)))]
mod get;
#[cfg(not(any(closure_only, loom)))]
mod keyexpr;
#[cfg(not(any(closure_only, loom)))]
mod publisher;
#[cfg(not(any(closure_only, loom)))]
mod query;
#[cfg(not(any(closure_only, loom)))]
mod queryable;
#[cfg(not(any(closure_only, loom)))]
mod responder_watch;
#[cfg(not(any(closure_only, loom)))]
mod session;
#[cfg(not(any(closure_only, loom)))]
mod subscriber;
#[cfg(not(any(closure_only, loom)))]
mod zenoh_args;

#[cfg(not(any(closure_only, loom)))]
pub use {
    get::vb_get,
    keyexpr::{vb_keyexpr_as_str, vb_keyexpr_autocanonize, vb_keyexpr_drop},
    publisher::{vb_publisher_declare, vb_publisher_put, vb_publisher_undeclare},
    query::{vb_query_clone, vb_query_drop, vb_query_payload, vb_query_reply, vb_query_reply_err},
    queryable::{vb_queryable_declare, vb_queryable_undeclare},
    responder_watch::{vb_responder_watch_declare, vb_responder_watch_undeclare, vb_responder_watch_wait},
    session::{vb_session_close, vb_session_open, vb_session_open_with},
    subscriber::{vb_subscriber_declare, vb_subscriber_undeclare},
};

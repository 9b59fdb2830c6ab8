//! The primitives under the closure gate (closure.rs) and its tests: the
//! standard library's, or loom's when the tests model-check the gate's
//! protocol (`--cfg loom`), so that loom sees, and runs in every order, each
//! step where the threads meet. loom is a dev-dependency: only a test build
//! can use it.
#[cfg(all(test, loom))]
pub use loom::{
    sync::{atomic, Arc, Condvar, Mutex, MutexGuard},
    thread::{self, ThreadId},
};
#[cfg(all(test, not(loom)))]
pub use std::sync::atomic;
#[cfg(not(all(test, loom)))]
pub use std::{
    sync::{Arc, Condvar, Mutex, MutexGuard},
    thread::{self, ThreadId},
};

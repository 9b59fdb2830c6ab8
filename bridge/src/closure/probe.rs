//! A C closure for the gate's tests, which owns its context as a C++ owner's
//! does: the call counts itself in the probe, and the drop counts itself and
//! releases the closure's reference to the probe, so that even a call left
//! running by a failed test never touches freed memory.
use std::ffi::c_void;

use super::OwnedClosure;
use crate::sync::atomic::{AtomicUsize, Ordering::SeqCst};
use crate::sync::Arc;

pub type Call = extern "C" fn(*mut c_void);

pub struct Probe {
    calls: AtomicUsize,
    drops: AtomicUsize,
}

/// The probe a closure's context points to.
///
/// # Safety
/// `context` came from `context()` below, and the closure's reference it
/// stands for is still held for 'a.
unsafe fn probe<'a>(context: *mut c_void) -> &'a Probe {
    // SAFETY: the caller vouches that `context` is a live Arc<Probe>'s.
    unsafe { &*(context as *const Probe) }
}

extern "C" fn count_call(context: *mut c_void) {
    // SAFETY: a call runs before the closure's drop, which releases its
    // reference to the probe.
    unsafe { probe(context) }.calls.fetch_add(1, SeqCst);
}

// A second drop, from a broken gate, is counted but releases nothing: the
// test then fails on the count instead of on a double free.
extern "C" fn release(context: *mut c_void) {
    // SAFETY: the first drop still holds the closure's reference; a second
    // one reads a probe that the test's own Arc keeps alive.
    if unsafe { probe(context) }.drops.fetch_add(1, SeqCst) == 0 {
        // SAFETY: the closure's reference, from Arc::into_raw in `context()`,
        // released once.
        drop(unsafe { Arc::from_raw(context as *const Probe) });
    }
}

fn context(probe: &Arc<Probe>) -> *mut c_void {
    Arc::into_raw(probe.clone()) as *mut c_void
}

impl Probe {
    pub fn new() -> Arc<Probe> {
        Arc::new(Probe {
            calls: AtomicUsize::new(0),
            drops: AtomicUsize::new(0),
        })
    }

    /// The triple the C side would hand over, shared as zenoh's callback and
    /// the declared entity share it.
    pub fn closure(probe: &Arc<Probe>) -> Arc<OwnedClosure<Call>> {
        Arc::new(OwnedClosure::new(Some(count_call), Some(release), context(probe)))
    }

    /// The same without a call, which the bridge rejects before delivering.
    pub fn closure_without_call(probe: &Arc<Probe>) -> OwnedClosure<Call> {
        OwnedClosure::new(None, Some(release), context(probe))
    }

    pub fn calls(&self) -> usize {
        self.calls.load(SeqCst)
    }

    pub fn drops(&self) -> usize {
        self.drops.load(SeqCst)
    }
}

/// The body a delivering thread runs: just the C call.
pub fn deliver(call: Call, context: *mut c_void) {
    call(context);
}

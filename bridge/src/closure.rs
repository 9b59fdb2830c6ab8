//! The {call, drop, context} triples of the C side, owned by Rust, and the one
//! callback-lifetime contract that every closure of the bridge keeps:
//!
//! - calls never overlap: a call arriving while another runs waits for it;
//! - once the closure is closed (undeclaring its subscriber or queryable) no
//!   call is running and none will start, so the owner may free what the
//!   calls touch. Calls still waiting return without entering. Closing from
//!   inside a call does not wait for that call, and a call delivered inline
//!   from inside a call on the same thread is dropped instead of waiting for
//!   itself: neither can deadlock;
//! - the C drop runs exactly once, after the last call has returned, also
//!   when the operation that took the closure fails.
//!
//! zenoh itself guarantees none of the first two: its undeclare does not wait
//! for a callback running on another thread, and two publishers (or two
//! replying queryables) make it call on two threads at once.
use std::ffi::c_void;

use velmor_abi::guard::guard_unit;

use crate::sync::{thread, Arc, Condvar, Mutex, MutexGuard, ThreadId};

/// The C context pointer. The C side promises that its callbacks may be run
/// from any thread, which is what makes sharing it sound.
#[derive(Clone, Copy)]
struct Context(*mut c_void);

// SAFETY: the pointer is only handed back to the C side's own call and drop,
// which the header's contract lets zenoh run on any thread.
unsafe impl Send for Context {}
// SAFETY: as for Send; Rust never reads through the pointer.
unsafe impl Sync for Context {}

#[derive(Default)]
struct GateState {
    closed: bool,
    running: Option<ThreadId>,
    // Threads blocked on `changed`: leaving wakes them only when there are
    // any, so the common case (one sample at a time) makes no futex call.
    waiting: usize,
}

#[derive(Default)]
struct Gate {
    state: Mutex<GateState>,
    changed: Condvar,
}

impl Gate {
    fn lock(&self) -> MutexGuard<'_, GateState> {
        self.state.lock().unwrap_or_else(|e| e.into_inner())
    }

    fn wait<'a>(&self, mut state: MutexGuard<'a, GateState>) -> MutexGuard<'a, GateState> {
        state.waiting += 1;
        let mut state = self.changed.wait(state).unwrap_or_else(|e| e.into_inner());
        state.waiting -= 1;
        state
    }

    fn enter(&self) -> bool {
        let me = thread::current().id();
        let mut state = self.lock();
        loop {
            match state.running {
                _ if state.closed => return false,
                None => {
                    state.running = Some(me);
                    return true;
                }
                Some(id) if id == me => return false,
                Some(_) => state = self.wait(state),
            }
        }
    }

    fn leave(&self) {
        let mut state = self.lock();
        state.running = None;
        if state.waiting > 0 {
            self.changed.notify_all();
        }
    }

    fn close_and_wait(&self) {
        let me = thread::current().id();
        let mut state = self.lock();
        state.closed = true;
        if state.waiting > 0 {
            self.changed.notify_all();
        }
        while state.running.is_some_and(|id| id != me) {
            state = self.wait(state);
        }
    }
}

/// A C closure owned by Rust: the C side's `call`, `drop` and `context`
/// (each header struct, such as vb_sample_closure, converts into one), with
/// the gate that keeps the contract above.
pub struct OwnedClosure<F: Copy> {
    call: Option<F>,
    drop: Option<extern "C" fn(*mut c_void)>,
    context: Context,
    gate: Gate,
}

impl<F: Copy> OwnedClosure<F> {
    /// Takes ownership of the triple: from here on its drop runs exactly once.
    pub fn new(call: Option<F>, drop: Option<extern "C" fn(*mut c_void)>, context: *mut c_void) -> Self {
        OwnedClosure {
            call,
            drop,
            context: Context(context),
            gate: Gate::default(),
        }
    }

    pub fn has_call(&self) -> bool {
        self.call.is_some()
    }

    /// Runs `body` with the C call and its context, one call at a time, unless
    /// the closure is closed. A panic in `body` stops there.
    pub fn run(&self, body: impl FnOnce(F, *mut c_void)) {
        let Some(call) = self.call else {
            return;
        };
        if !self.gate.enter() {
            return;
        }
        let context = self.context;
        guard_unit(|| body(call, context.0));
        self.gate.leave();
    }

    /// Returns when no call is running (but the current thread's own) and
    /// none will start.
    pub fn close(&self) {
        self.gate.close_and_wait();
    }
}

impl<F: Copy> Drop for OwnedClosure<F> {
    fn drop(&mut self) {
        if let Some(drop) = self.drop.take() {
            let context = self.context;
            guard_unit(|| drop(context.0));
        }
    }
}

/// A declared subscriber or queryable with the closure its callback runs.
pub struct Declared<E, F: Copy> {
    entity: E,
    closure: Arc<OwnedClosure<F>>,
}

impl<E, F: Copy> Declared<E, F> {
    pub fn new(entity: E, closure: Arc<OwnedClosure<F>>) -> Self {
        Declared { entity, closure }
    }

    /// Undeclares the entity (zenoh undeclares a subscriber or queryable when
    /// it is dropped), then closes the closure: once this returns, no call
    /// runs and none will start.
    pub fn undeclare(self) {
        drop(self.entity);
        self.closure.close();
    }
}

#[cfg(all(test, loom))]
mod model;
#[cfg(test)]
mod probe;
#[cfg(all(test, not(loom)))]
mod tests;

//! Subscribers whose undeclaration waits for callbacks in flight.
//!
//! zenoh's undeclare does not wait for a callback that is already running on
//! another thread, so a C++ owner could free the callback's destination while
//! it is still being written. The gate below closes that window: undeclare
//! returns only when no call is inside the C callback and none can enter.
//! It also lets only one call in at a time, so the owner needs no lock of its
//! own against a second sample.
use std::ffi::c_void;
use std::sync::{Arc, Condvar, Mutex, MutexGuard};
use std::thread::{self, ThreadId};

use zenoh::pubsub::Subscriber;
use zenoh::sample::Sample;
use zenoh::Wait;

use crate::closure::OwnedClosure;
use crate::guard::{guard, guard_unit, store};
use crate::keyexpr::{keyexpr_ref, VbKeyExpr};
use crate::session::{session_ref, VbSession};
use crate::{VbResult, VB_EGENERIC, VB_ENULL, VB_OK};

type SampleCall = extern "C" fn(*const u8, usize, *mut c_void);

#[repr(C)]
pub struct VbSampleClosure {
    pub call: Option<SampleCall>,
    pub drop: Option<extern "C" fn(*mut c_void)>,
    pub context: *mut c_void,
}

#[derive(Default)]
struct GateState {
    closed: bool,
    running: Option<ThreadId>,
}

/// Lets one call at a time into the C callback. A second sample (two
/// publishers, or a fast stream) waits here, not inside the owner's code:
/// closing the gate then sends it away at once, so undeclaring from inside
/// the callback never waits for a call that is itself waiting for the owner.
#[derive(Default)]
struct Gate {
    state: Mutex<GateState>,
    changed: Condvar,
}

impl Gate {
    fn lock(&self) -> MutexGuard<'_, GateState> {
        self.state.lock().unwrap_or_else(|e| e.into_inner())
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
                // A sample delivered inline from inside our own callback (a put
                // on the same key) would wait for itself: it is dropped instead.
                Some(id) if id == me => return false,
                Some(_) => state = self.changed.wait(state).unwrap_or_else(|e| e.into_inner()),
            }
        }
    }

    fn leave(&self) {
        self.lock().running = None;
        self.changed.notify_all();
    }

    /// Closes the gate and waits for the call inside, unless it is the
    /// current thread's own.
    fn close_and_wait(&self) {
        let me = thread::current().id();
        let mut state = self.lock();
        state.closed = true;
        self.changed.notify_all();
        while state.running.is_some_and(|id| id != me) {
            state = self.changed.wait(state).unwrap_or_else(|e| e.into_inner());
        }
    }
}

pub struct VbSubscriber {
    subscriber: Option<Subscriber<()>>,
    gate: Arc<Gate>,
}

#[no_mangle]
pub extern "C" fn vb_subscriber_declare(
    session: *const VbSession,
    keyexpr: *const VbKeyExpr,
    closure: VbSampleClosure,
    out: *mut *mut VbSubscriber,
) -> VbResult {
    let owned = OwnedClosure::new(closure.call, closure.drop, closure.context);
    store(out, None);
    let (Some(session), Some(keyexpr), Some(call), false) =
        (session_ref(session), keyexpr_ref(keyexpr), owned.call, out.is_null())
    else {
        return VB_ENULL;
    };
    guard(|| {
        let gate = Arc::new(Gate::default());
        let call_gate = gate.clone();
        let callback = move |sample: Sample| {
            if !call_gate.enter() {
                return;
            }
            // Borrowing `owned` whole makes the closure own it (a field access
            // alone would capture just the field and drop the rest at once).
            let owned = &owned;
            guard_unit(|| {
                let payload = sample.payload().to_bytes();
                call(payload.as_ptr(), payload.len(), owned.context.ptr());
            });
            call_gate.leave();
        };
        match session.declare_subscriber(keyexpr.clone()).callback(callback).wait() {
            Ok(subscriber) => {
                store(out, Some(VbSubscriber { subscriber: Some(subscriber), gate }));
                VB_OK
            }
            Err(_) => VB_EGENERIC,
        }
    })
}

#[no_mangle]
pub extern "C" fn vb_subscriber_undeclare(subscriber: *mut VbSubscriber) {
    if subscriber.is_null() {
        return;
    }
    guard_unit(|| {
        let mut owned = unsafe { Box::from_raw(subscriber) };
        if let Some(subscriber) = owned.subscriber.take() {
            let _ = subscriber.undeclare().wait();
        }
        owned.gate.close_and_wait();
    });
}

//! Subscribers whose undeclaration waits for callbacks in flight.
//!
//! zenoh's undeclare does not wait for a callback that is already running on
//! another thread, so a C++ owner could free the callback's destination while
//! it is still being written. The gate below closes that window: undeclare
//! returns only when no call is inside the C callback and none can enter.
use std::ffi::c_void;
use std::sync::{Arc, Condvar, Mutex};
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
    running: Vec<ThreadId>,
}

#[derive(Default)]
struct Gate {
    state: Mutex<GateState>,
    idle: Condvar,
}

impl Gate {
    fn enter(&self) -> bool {
        let mut state = self.state.lock().unwrap_or_else(|e| e.into_inner());
        if state.closed {
            return false;
        }
        state.running.push(thread::current().id());
        true
    }

    fn leave(&self) {
        let mut state = self.state.lock().unwrap_or_else(|e| e.into_inner());
        let me = thread::current().id();
        if let Some(at) = state.running.iter().position(|id| *id == me) {
            state.running.swap_remove(at);
        }
        self.idle.notify_all();
    }

    /// Closes the gate and waits for every call but the current thread's own.
    fn close_and_wait(&self) {
        let me = thread::current().id();
        let mut state = self.state.lock().unwrap_or_else(|e| e.into_inner());
        state.closed = true;
        while state.running.iter().any(|id| *id != me) {
            state = self.idle.wait(state).unwrap_or_else(|e| e.into_inner());
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

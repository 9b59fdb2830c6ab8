//! Subscribers. Undeclaring closes the closure (see closure.rs): it returns
//! only when no call is inside the C callback and none can enter, so a C++
//! owner may free the callback's destination right after it.
use std::ffi::c_void;
use std::sync::Arc;

use zenoh::pubsub::Subscriber;
use zenoh::sample::Sample;
use zenoh::Wait;

use crate::closure::{Declared, OwnedClosure};
use crate::guard::{guard, guard_unit, store};
use crate::keyexpr::{keyexpr_ref, VbKeyExpr};
use crate::session::{session_ref, VbSession};
use crate::{VbResult, VB_EGENERIC, VB_ENULL, VB_OK};

type SampleCall = extern "C" fn(*const u8, usize, *const u8, usize, *mut c_void);

#[repr(C)]
pub struct VbSampleClosure {
    pub call: Option<SampleCall>,
    pub drop: Option<extern "C" fn(*mut c_void)>,
    pub context: *mut c_void,
}

pub type VbSubscriber = Declared<Subscriber<()>, SampleCall>;

#[no_mangle]
pub extern "C" fn vb_subscriber_declare(
    session: *const VbSession,
    keyexpr: *const VbKeyExpr,
    closure: VbSampleClosure,
    out: *mut *mut VbSubscriber,
) -> VbResult {
    let closure = Arc::new(OwnedClosure::new(closure.call, closure.drop, closure.context));
    store(out, None);
    let (Some(session), Some(keyexpr), true, false) = (
        session_ref(session),
        keyexpr_ref(keyexpr),
        closure.has_call(),
        out.is_null(),
    ) else {
        return VB_ENULL;
    };
    guard(|| {
        let delivering = closure.clone();
        let callback = move |sample: Sample| deliver_sample(&delivering, &sample);
        match session.declare_subscriber(keyexpr.clone()).callback(callback).wait() {
            Ok(subscriber) => {
                store(out, Some(Declared::new(subscriber, closure)));
                VB_OK
            }
            Err(_) => VB_EGENERIC,
        }
    })
}

/// Hands one sample to the C callback. A function of its own, never inlined,
/// so that the receive-cost benchmark can count from where our code starts.
#[inline(never)]
fn deliver_sample(closure: &OwnedClosure<SampleCall>, sample: &Sample) {
    closure.run(|call, context| {
        let key = sample.key_expr().as_str();
        // Borrowed, not copied, when zenoh holds the payload in one slice.
        let payload = sample.payload().to_bytes();
        call(key.as_ptr(), key.len(), payload.as_ptr(), payload.len(), context);
    });
}

#[no_mangle]
pub extern "C" fn vb_subscriber_undeclare(subscriber: *mut VbSubscriber) {
    if subscriber.is_null() {
        return;
    }
    guard_unit(|| unsafe { Box::from_raw(subscriber) }.undeclare());
}

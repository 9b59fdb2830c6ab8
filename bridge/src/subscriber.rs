//! Subscribers. Undeclaring closes the closure (see closure.rs): it returns
//! only when no call is inside the C callback and none can enter, so a C++
//! owner may free the callback's destination right after it.
use std::ffi::c_void;

use zenoh::pubsub::Subscriber;
use zenoh::sample::Sample;
use zenoh::Wait;

use velmor_abi::code::Code;
use velmor_abi::guard::guard_unit;

use crate::closure::{CClosure, Declared, OwnedClosure};
use crate::declare::declare_with_closure;
use crate::keyexpr::VbKeyExpr;
use crate::session::VbSession;

type SampleCall = extern "C" fn(*const u8, usize, *const u8, usize, *mut c_void);

pub type VbSampleClosure = CClosure<SampleCall>;

pub type VbSubscriber = Declared<Subscriber<()>, SampleCall>;

#[no_mangle]
pub extern "C" fn vb_subscriber_declare(
    session: *const VbSession,
    keyexpr: *const VbKeyExpr,
    closure: VbSampleClosure,
    out: *mut *mut VbSubscriber,
) -> Code {
    declare_with_closure(session, keyexpr, closure, out, |session, keyexpr, delivering| {
        let callback = move |sample: Sample| deliver_sample(&delivering, &sample);
        session.declare_subscriber(keyexpr.clone()).callback(callback).wait()
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

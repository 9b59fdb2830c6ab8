//! Subscribers. Undeclaring closes the closure (see closure.rs): it returns
//! only when no call is inside the C callback and none can enter, so a C++
//! owner may free the callback's destination right after it.
use std::ffi::c_void;
use std::sync::Arc;

use zenoh::key_expr::KeyExpr;
use zenoh::pubsub::Subscriber;
use zenoh::sample::Sample;
use zenoh::{Session, Wait};

use velmor_abi::code::Code;
use velmor_abi::guard::guard_unit;

use crate::closure::{CClosure, Declared, OwnedClosure};
use crate::declare::declare_with_closure;
use crate::keyexpr::VbKeyExpr;
use crate::session::VbSession;

type SampleCall = extern "C" fn(*const u8, usize, *const u8, usize, *mut c_void);

pub type VbSampleClosure = CClosure<SampleCall>;

pub type VbSubscriber = Declared<Subscriber<()>, SampleCall>;

/// Subscriber; undeclaring keeps the closure contract above.
///
/// # Safety
/// `out` is valid for writing one pointer.
#[no_mangle]
pub unsafe extern "C" fn vb_subscriber_declare(
    session: Option<&VbSession>,
    keyexpr: Option<&VbKeyExpr>,
    closure: VbSampleClosure,
    out: *mut *mut VbSubscriber,
) -> Code {
    let declare = |session: &Session, keyexpr: &KeyExpr<'static>, delivering: Arc<OwnedClosure<SampleCall>>| {
        let callback = move |sample: Sample| deliver_sample(&delivering, &sample);
        session.declare_subscriber(keyexpr.clone()).callback(callback).wait()
    };
    // SAFETY: the caller vouches that `out` may be written.
    unsafe { declare_with_closure(session, keyexpr, closure, out, declare) }
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

/// Undeclares and releases a subscriber.
///
/// # Safety
/// `subscriber` is NULL or a handle from vb_subscriber_declare, released
/// only here, and not used afterwards.
#[no_mangle]
pub unsafe extern "C" fn vb_subscriber_undeclare(subscriber: *mut VbSubscriber) {
    if subscriber.is_null() {
        return;
    }
    // SAFETY: the caller hands back a handle that store() boxed, once.
    guard_unit(|| unsafe { Box::from_raw(subscriber) }.undeclare());
}

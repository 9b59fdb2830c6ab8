//! Subscribers. Undeclaring closes the closure (see closure.rs): it returns
//! only when no call is inside the C callback and none can enter, so a C++
//! owner may free the callback's destination right after it.
use std::ffi::{c_char, c_void};
use std::sync::Arc;

use zenoh::key_expr::KeyExpr;
use zenoh::pubsub::Subscriber;
use zenoh::sample::Sample;
use zenoh::{Session, Wait};

use velmor_abi::code::Code;
use velmor_abi::guard::guard_unit;

use crate::closure::{Declared, OwnedClosure};
use crate::declare::declare_with_closure;
use crate::keyexpr::VbKeyExpr;
use crate::session::VbSession;

type SampleCall = extern "C" fn(*const c_char, usize, *const u8, usize, *mut c_void);

/// A subscriber's callback. `call` gets one received sample: its key
/// expression (`key_len` bytes, not NUL-terminated) and `payload`, both valid
/// only during the call. It runs on zenoh's receiving threads, or on the
/// putting thread for a put on the subscriber's own session, one call at a
/// time. `drop` runs exactly once, after the last call has returned: when
/// the subscriber is undeclared, or when vb_subscriber_declare fails. It
/// releases `context`.
#[repr(C)]
pub struct VbSampleClosure {
    pub call:
        Option<extern "C" fn(key: *const c_char, key_len: usize, payload: *const u8, len: usize, context: *mut c_void)>,
    pub drop: Option<extern "C" fn(context: *mut c_void)>,
    pub context: *mut c_void,
}

impl From<VbSampleClosure> for OwnedClosure<SampleCall> {
    fn from(closure: VbSampleClosure) -> Self {
        OwnedClosure::new(closure.call, closure.drop, closure.context)
    }
}

/// A subscriber with the closure its callback runs.
pub struct VbSubscriber(Declared<Subscriber<()>, SampleCall>);

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
    unsafe { declare_with_closure(session, keyexpr, closure.into(), out, declare, VbSubscriber) }
}

/// Hands one sample to the C callback. A function of its own, never inlined,
/// so that the receive-cost benchmark can count from where our code starts.
#[inline(never)]
fn deliver_sample(closure: &OwnedClosure<SampleCall>, sample: &Sample) {
    closure.run(|call, context| {
        let key = sample.key_expr().as_str();
        // Borrowed, not copied, when zenoh holds the payload in one slice.
        let payload = sample.payload().to_bytes();
        call(key.as_ptr().cast(), key.len(), payload.as_ptr(), payload.len(), context);
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
    guard_unit(|| unsafe { Box::from_raw(subscriber) }.0.undeclare());
}

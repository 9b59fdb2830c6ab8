//! Publishers, for the simulator and tests.
use zenoh::bytes::Encoding;
use zenoh::pubsub::Publisher;
use zenoh::Wait;

use velmor_abi::code::{Code, EGENERIC, ENULL, OK};
use velmor_abi::guard::{guard, guard_unit};

use crate::c_args::store;
use crate::keyexpr::VbKeyExpr;
use crate::session::VbSession;
use crate::zenoh_args::{copied_payload, outcome};

/// A publisher, tagging its payloads zenoh-serialized.
pub struct VbPublisher {
    publisher: Publisher<'static>,
}

/// Publisher on `keyexpr`. Server side, for the simulator and tests (the
/// client never publishes).
///
/// # Safety
/// `out` is valid for writing one pointer.
#[no_mangle]
pub unsafe extern "C" fn vb_publisher_declare(
    session: Option<&VbSession>,
    keyexpr: Option<&VbKeyExpr>,
    out: *mut *mut VbPublisher,
) -> Code {
    // SAFETY: the caller vouches that `out` is NULL or may be written.
    unsafe { store(out, None) };
    let (Some(session), Some(keyexpr), false) = (session, keyexpr, out.is_null()) else {
        return ENULL;
    };
    guard(|| {
        match session
            .session
            .declare_publisher(keyexpr.keyexpr.clone())
            .encoding(Encoding::ZENOH_SERIALIZED)
            .wait()
        {
            Ok(publisher) => {
                // SAFETY: as above, and `out` is not NULL.
                unsafe { store(out, Some(VbPublisher { publisher })) };
                OK
            }
            Err(_) => EGENERIC,
        }
    })
}

/// Publishes the `len` bytes of `payload`.
///
/// # Safety
/// `payload` is NULL (with `len` 0) or valid for reading `len` bytes.
#[no_mangle]
pub unsafe extern "C" fn vb_publisher_put(publisher: Option<&VbPublisher>, payload: *const u8, len: usize) -> Code {
    let Some(publisher) = publisher else {
        return ENULL;
    };
    guard(|| {
        // SAFETY: the caller vouches for `len` bytes at `payload`.
        let payload = unsafe { copied_payload(payload, len) };
        outcome(publisher.publisher.put(payload).wait())
    })
}

/// Undeclares and releases a publisher.
///
/// # Safety
/// `publisher` is NULL or a handle from vb_publisher_declare, released only
/// here, and not used afterwards.
#[no_mangle]
pub unsafe extern "C" fn vb_publisher_undeclare(publisher: *mut VbPublisher) {
    if !publisher.is_null() {
        guard_unit(|| {
            // SAFETY: the caller hands back a handle that store() boxed, once.
            let owned = unsafe { Box::from_raw(publisher) };
            let _ = owned.publisher.undeclare().wait();
        });
    }
}

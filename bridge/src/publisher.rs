//! Publishers, for the simulator and tests.
use zenoh::bytes::{Encoding, ZBytes};
use zenoh::pubsub::Publisher;
use zenoh::Wait;

use velmor_abi::code::{Code, EGENERIC, ENULL, OK};
use velmor_abi::guard::{guard, guard_unit};

use crate::c_args::{bytes, store};
use crate::keyexpr::{keyexpr_ref, VbKeyExpr};
use crate::session::{session_ref, VbSession};

pub struct VbPublisher {
    publisher: Publisher<'static>,
}

#[no_mangle]
pub extern "C" fn vb_publisher_declare(
    session: *const VbSession,
    keyexpr: *const VbKeyExpr,
    out: *mut *mut VbPublisher,
) -> Code {
    store(out, None);
    let (Some(session), Some(keyexpr), false) = (session_ref(session), keyexpr_ref(keyexpr), out.is_null()) else {
        return ENULL;
    };
    guard(|| {
        match session
            .declare_publisher(keyexpr.clone())
            .encoding(Encoding::ZENOH_SERIALIZED)
            .wait()
        {
            Ok(publisher) => {
                store(out, Some(VbPublisher { publisher }));
                OK
            }
            Err(_) => EGENERIC,
        }
    })
}

#[no_mangle]
pub extern "C" fn vb_publisher_put(publisher: *const VbPublisher, payload: *const u8, len: usize) -> Code {
    let Some(publisher) = (unsafe { publisher.as_ref() }) else {
        return ENULL;
    };
    guard(|| {
        match publisher
            .publisher
            .put(ZBytes::from(bytes(payload, len).to_vec()))
            .wait()
        {
            Ok(()) => OK,
            Err(_) => EGENERIC,
        }
    })
}

#[no_mangle]
pub extern "C" fn vb_publisher_undeclare(publisher: *mut VbPublisher) {
    if !publisher.is_null() {
        guard_unit(|| {
            let owned = unsafe { Box::from_raw(publisher) };
            let _ = owned.publisher.undeclare().wait();
        });
    }
}

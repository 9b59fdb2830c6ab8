//! Declaring a subscriber or queryable whose callback runs a C closure: the
//! steps both take, in the order the closure contract needs (closure.rs). The
//! caller converts the C closure into an owned one first thing, so its drop
//! runs once however the declaration ends.
use std::sync::Arc;

use zenoh::key_expr::KeyExpr;
use zenoh::Session;

use velmor_abi::code::{Code, EGENERIC, ENULL, OK};
use velmor_abi::guard::guard;

use crate::c_args::store;
use crate::closure::{Declared, OwnedClosure};
use crate::keyexpr::VbKeyExpr;
use crate::session::VbSession;

/// Checks the arguments and runs `declare` with the session, the key and the
/// shared closure; stores the declared entity, as the handle `handle` makes
/// of it, in `out` (NULL on any failure).
///
/// # Safety
/// `out` is NULL or valid for writing one pointer.
pub unsafe fn declare_with_closure<E, F: Copy, H>(
    session: Option<&VbSession>,
    keyexpr: Option<&VbKeyExpr>,
    closure: OwnedClosure<F>,
    out: *mut *mut H,
    declare: impl FnOnce(&Session, &KeyExpr<'static>, Arc<OwnedClosure<F>>) -> zenoh::Result<E>,
    handle: impl FnOnce(Declared<E, F>) -> H,
) -> Code {
    let closure = Arc::new(closure);
    // SAFETY: the caller vouches that `out` is NULL or may be written.
    unsafe { store(out, None) };
    let (Some(session), Some(keyexpr), true, false) = (session, keyexpr, closure.has_call(), out.is_null()) else {
        return ENULL;
    };
    guard(|| match declare(&session.session, &keyexpr.keyexpr, closure.clone()) {
        Ok(entity) => {
            // SAFETY: as above, and `out` is not NULL.
            unsafe { store(out, Some(handle(Declared::new(entity, closure)))) };
            OK
        }
        Err(_) => EGENERIC,
    })
}

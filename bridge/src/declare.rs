//! Declaring a subscriber or queryable whose callback runs a C closure: the
//! steps both take, in the order the closure contract needs (closure.rs). The
//! closure is owned from the first line on, so its drop runs once however
//! the declaration ends.
use std::sync::Arc;

use zenoh::key_expr::KeyExpr;
use zenoh::Session;

use velmor_abi::code::{Code, EGENERIC, ENULL, OK};
use velmor_abi::guard::guard;

use crate::c_args::store;
use crate::closure::{CClosure, Declared, OwnedClosure};
use crate::keyexpr::VbKeyExpr;
use crate::session::VbSession;

/// Takes `closure` over, checks the arguments and runs `declare` with the
/// session, the key and the shared closure; stores the declared entity in
/// `out` (NULL on any failure).
///
/// # Safety
/// `out` is NULL or valid for writing one pointer.
pub unsafe fn declare_with_closure<E, F: Copy>(
    session: Option<&VbSession>,
    keyexpr: Option<&VbKeyExpr>,
    closure: CClosure<F>,
    out: *mut *mut Declared<E, F>,
    declare: impl FnOnce(&Session, &KeyExpr<'static>, Arc<OwnedClosure<F>>) -> zenoh::Result<E>,
) -> Code {
    let closure = Arc::new(OwnedClosure::from(closure));
    // SAFETY: the caller vouches that `out` is NULL or may be written.
    unsafe { store(out, None) };
    let (Some(session), Some(keyexpr), true, false) = (session, keyexpr, closure.has_call(), out.is_null()) else {
        return ENULL;
    };
    guard(|| match declare(&session.session, &keyexpr.keyexpr, closure.clone()) {
        Ok(entity) => {
            // SAFETY: as above, and `out` is not NULL.
            unsafe { store(out, Some(Declared::new(entity, closure))) };
            OK
        }
        Err(_) => EGENERIC,
    })
}

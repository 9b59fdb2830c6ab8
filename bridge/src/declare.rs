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
use crate::keyexpr::{keyexpr_ref, VbKeyExpr};
use crate::session::{session_ref, VbSession};

/// Takes `closure` over, checks the pointers and runs `declare` with the
/// session, the key and the shared closure; stores the declared entity in
/// `out` (NULL on any failure).
pub fn declare_with_closure<E, F: Copy>(
    session: *const VbSession,
    keyexpr: *const VbKeyExpr,
    closure: CClosure<F>,
    out: *mut *mut Declared<E, F>,
    declare: impl FnOnce(&Session, &KeyExpr<'static>, Arc<OwnedClosure<F>>) -> zenoh::Result<E>,
) -> Code {
    let closure = Arc::new(OwnedClosure::from(closure));
    store(out, None);
    let (Some(session), Some(keyexpr), true, false) = (
        session_ref(session),
        keyexpr_ref(keyexpr),
        closure.has_call(),
        out.is_null(),
    ) else {
        return ENULL;
    };
    guard(|| match declare(session, keyexpr, closure.clone()) {
        Ok(entity) => {
            store(out, Some(Declared::new(entity, closure)));
            OK
        }
        Err(_) => EGENERIC,
    })
}

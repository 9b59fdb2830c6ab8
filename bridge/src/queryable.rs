//! Queryables, for the simulator and tests. Undeclaring closes the closure
//! (see closure.rs), so the owner may free what the callback touches right
//! after it.
use std::ffi::c_void;
use std::sync::Arc;

use zenoh::key_expr::KeyExpr;
use zenoh::query::{Query, Queryable};
use zenoh::{Session, Wait};

use velmor_abi::code::Code;
use velmor_abi::guard::guard_unit;

use crate::closure::{CClosure, Declared, OwnedClosure};
use crate::declare::declare_with_closure;
use crate::keyexpr::VbKeyExpr;
use crate::query::VbQuery;
use crate::session::VbSession;

type QueryCall = extern "C" fn(*const VbQuery, *mut c_void);

pub type VbQueryClosure = CClosure<QueryCall>;

pub type VbQueryable = Declared<Queryable<()>, QueryCall>;

/// Queryable; undeclaring keeps the closure contract above. Server side,
/// for the simulator and tests (the client never answers queries).
///
/// # Safety
/// `out` is valid for writing one pointer.
#[no_mangle]
pub unsafe extern "C" fn vb_queryable_declare(
    session: Option<&VbSession>,
    keyexpr: Option<&VbKeyExpr>,
    closure: VbQueryClosure,
    out: *mut *mut VbQueryable,
) -> Code {
    let declare = |session: &Session, keyexpr: &KeyExpr<'static>, delivering: Arc<OwnedClosure<QueryCall>>| {
        let declared = keyexpr.clone();
        let callback = move |query: Query| {
            delivering.run(|call, context| {
                let query = VbQuery::new(query, &declared);
                call(&query, context);
            });
        };
        session.declare_queryable(keyexpr.clone()).callback(callback).wait()
    };
    // SAFETY: the caller vouches that `out` may be written.
    unsafe { declare_with_closure(session, keyexpr, closure, out, declare) }
}

/// Undeclares and releases a queryable.
///
/// # Safety
/// `queryable` is NULL or a handle from vb_queryable_declare, released only
/// here, and not used afterwards.
#[no_mangle]
pub unsafe extern "C" fn vb_queryable_undeclare(queryable: *mut VbQueryable) {
    if queryable.is_null() {
        return;
    }
    // SAFETY: the caller hands back a handle that store() boxed, once.
    guard_unit(|| unsafe { Box::from_raw(queryable) }.undeclare());
}

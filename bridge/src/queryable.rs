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

use crate::closure::{Declared, OwnedClosure};
use crate::declare::declare_with_closure;
use crate::keyexpr::VbKeyExpr;
use crate::query::VbQuery;
use crate::session::VbSession;

type QueryCall = extern "C" fn(*const VbQuery, *mut c_void);

/// A queryable's callback. `call` gets one query reaching the queryable,
/// borrowed for the call; vb_query_clone keeps it longer. It runs on zenoh's
/// receiving threads, or inside vb_get for a get on the queryable's own
/// session, one call at a time. `drop` runs exactly once, after the last
/// call has returned: when the queryable is undeclared, or when
/// vb_queryable_declare fails. It releases `context`.
#[repr(C)]
pub struct VbQueryClosure {
    pub call: Option<extern "C" fn(query: *const VbQuery, context: *mut c_void)>,
    pub drop: Option<extern "C" fn(context: *mut c_void)>,
    pub context: *mut c_void,
}

impl From<VbQueryClosure> for OwnedClosure<QueryCall> {
    fn from(closure: VbQueryClosure) -> Self {
        OwnedClosure::new(closure.call, closure.drop, closure.context)
    }
}

/// A queryable with the closure its callback runs.
pub struct VbQueryable(Declared<Queryable<()>, QueryCall>);

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
    unsafe { declare_with_closure(session, keyexpr, closure.into(), out, declare, VbQueryable) }
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
    guard_unit(|| unsafe { Box::from_raw(queryable) }.0.undeclare());
}

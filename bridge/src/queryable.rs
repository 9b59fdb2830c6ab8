//! Queryables, for the simulator and tests.
use std::ffi::c_void;

use zenoh::query::{Query, Queryable};
use zenoh::Wait;

use crate::closure::OwnedClosure;
use crate::guard::{guard, guard_unit, store};
use crate::keyexpr::{keyexpr_ref, VbKeyExpr};
use crate::query::VbQuery;
use crate::session::{session_ref, VbSession};
use crate::{VbResult, VB_EGENERIC, VB_ENULL, VB_OK};

type QueryCall = extern "C" fn(*const VbQuery, *mut c_void);

#[repr(C)]
pub struct VbQueryClosure {
    pub call: Option<QueryCall>,
    pub drop: Option<extern "C" fn(*mut c_void)>,
    pub context: *mut c_void,
}

pub struct VbQueryable {
    queryable: Queryable<()>,
}

#[no_mangle]
pub extern "C" fn vb_queryable_declare(
    session: *const VbSession,
    keyexpr: *const VbKeyExpr,
    closure: VbQueryClosure,
    out: *mut *mut VbQueryable,
) -> VbResult {
    let owned = OwnedClosure::new(closure.call, closure.drop, closure.context);
    store(out, None);
    let (Some(session), Some(keyexpr), Some(call), false) =
        (session_ref(session), keyexpr_ref(keyexpr), owned.call, out.is_null())
    else {
        return VB_ENULL;
    };
    guard(|| {
        let callback = move |query: Query| {
            // Borrowing `owned` whole makes the closure own it, see subscriber.rs.
            let owned = &owned;
            guard_unit(|| {
                let query = VbQuery::new(query);
                call(&query, owned.context.ptr());
            });
        };
        match session.declare_queryable(keyexpr.clone()).callback(callback).wait() {
            Ok(queryable) => {
                store(out, Some(VbQueryable { queryable }));
                VB_OK
            }
            Err(_) => VB_EGENERIC,
        }
    })
}

#[no_mangle]
pub extern "C" fn vb_queryable_undeclare(queryable: *mut VbQueryable) {
    if !queryable.is_null() {
        guard_unit(|| {
            let owned = unsafe { Box::from_raw(queryable) };
            let _ = owned.queryable.undeclare().wait();
        });
    }
}

//! Queryables, for the simulator and tests. Undeclaring closes the closure
//! (see closure.rs), so the owner may free what the callback touches right
//! after it.
use std::ffi::c_void;
use std::sync::Arc;

use zenoh::query::{Query, Queryable};
use zenoh::Wait;

use crate::closure::{Declared, OwnedClosure};
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

pub type VbQueryable = Declared<Queryable<()>, QueryCall>;

#[no_mangle]
pub extern "C" fn vb_queryable_declare(
    session: *const VbSession,
    keyexpr: *const VbKeyExpr,
    closure: VbQueryClosure,
    out: *mut *mut VbQueryable,
) -> VbResult {
    let closure = Arc::new(OwnedClosure::new(closure.call, closure.drop, closure.context));
    store(out, None);
    let (Some(session), Some(keyexpr), true, false) = (
        session_ref(session),
        keyexpr_ref(keyexpr),
        closure.has_call(),
        out.is_null(),
    ) else {
        return VB_ENULL;
    };
    guard(|| {
        let delivering = closure.clone();
        let declared = keyexpr.clone();
        let callback = move |query: Query| {
            delivering.run(|call, context| {
                let query = VbQuery::new(query, &declared);
                call(&query, context);
            });
        };
        match session.declare_queryable(keyexpr.clone()).callback(callback).wait() {
            Ok(queryable) => {
                store(out, Some(Declared::new(queryable, closure)));
                VB_OK
            }
            Err(_) => VB_EGENERIC,
        }
    })
}

#[no_mangle]
pub extern "C" fn vb_queryable_undeclare(queryable: *mut VbQueryable) {
    if queryable.is_null() {
        return;
    }
    guard_unit(|| unsafe { Box::from_raw(queryable) }.undeclare());
}

//! Queryables, for the simulator and tests. Undeclaring closes the closure
//! (see closure.rs), so the owner may free what the callback touches right
//! after it.
use std::ffi::c_void;

use zenoh::query::{Query, Queryable};
use zenoh::Wait;

use velmor_abi::code::Code;
use velmor_abi::guard::guard_unit;

use crate::closure::{CClosure, Declared};
use crate::declare::declare_with_closure;
use crate::keyexpr::VbKeyExpr;
use crate::query::VbQuery;
use crate::session::VbSession;

type QueryCall = extern "C" fn(*const VbQuery, *mut c_void);

pub type VbQueryClosure = CClosure<QueryCall>;

pub type VbQueryable = Declared<Queryable<()>, QueryCall>;

#[no_mangle]
pub extern "C" fn vb_queryable_declare(
    session: *const VbSession,
    keyexpr: *const VbKeyExpr,
    closure: VbQueryClosure,
    out: *mut *mut VbQueryable,
) -> Code {
    declare_with_closure(session, keyexpr, closure, out, |session, keyexpr, delivering| {
        let declared = keyexpr.clone();
        let callback = move |query: Query| {
            delivering.run(|call, context| {
                let query = VbQuery::new(query, &declared);
                call(&query, context);
            });
        };
        session.declare_queryable(keyexpr.clone()).callback(callback).wait()
    })
}

#[no_mangle]
pub extern "C" fn vb_queryable_undeclare(queryable: *mut VbQueryable) {
    if queryable.is_null() {
        return;
    }
    guard_unit(|| unsafe { Box::from_raw(queryable) }.undeclare());
}

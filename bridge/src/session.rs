//! Sessions with zenoh's default configuration.
use zenoh::{Config, Session, Wait};

use crate::guard::{guard, guard_unit, store};
use crate::{VbResult, VB_EGENERIC, VB_ENULL, VB_OK};

pub struct VbSession {
    pub session: Session,
}

#[no_mangle]
pub extern "C" fn vb_session_open(out: *mut *mut VbSession) -> VbResult {
    if out.is_null() {
        return VB_ENULL;
    }
    store(out, None);
    guard(|| match zenoh::open(Config::default()).wait() {
        Ok(session) => {
            store(out, Some(VbSession { session }));
            VB_OK
        }
        Err(_) => VB_EGENERIC,
    })
}

#[no_mangle]
pub extern "C" fn vb_session_close(session: *mut VbSession) {
    if session.is_null() {
        return;
    }
    guard_unit(|| {
        let owned = unsafe { Box::from_raw(session) };
        // Closing explicitly (rather than on drop) shuts zenoh's tasks and
        // links down before we return. It does not wait for a callback that
        // is already running: that is what the subscribers' gates are for.
        let _ = owned.session.close().wait();
    });
}

/// Borrows a session handle passed from C.
pub fn session_ref<'a>(session: *const VbSession) -> Option<&'a Session> {
    unsafe { session.as_ref().map(|s| &s.session) }
}

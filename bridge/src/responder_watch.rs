//! Responder watches: whether zenoh knows a queryable that a query on a key
//! expression would reach. A query sent before zenoh has learnt of any
//! queryable ends at once with no reply, so a caller looking for a server
//! that may still be starting waits here first instead of burning its query.
use std::time::{Duration, Instant};

use zenoh::handlers::FifoChannelHandler;
use zenoh::matching::{MatchingListener, MatchingStatus};
use zenoh::query::{Querier, QueryTarget};
use zenoh::Wait;

use velmor_abi::code::{Code, EGENERIC, ENULL, OK};
use velmor_abi::guard::{guard, guard_unit};

use crate::c_args::store;
use crate::keyexpr::VbKeyExpr;
use crate::session::VbSession;

/// Whether zenoh knows a queryable that vb_get on a key would reach.
pub struct VbResponderWatch {
    // Declared before the querier so that it is dropped first.
    listener: MatchingListener<FifoChannelHandler<MatchingStatus>>,
    querier: Querier<'static>,
}

impl VbResponderWatch {
    fn known(&self) -> bool {
        self.querier
            .matching_status()
            .wait()
            .map(|s| s.matching())
            .unwrap_or(false)
    }

    fn wait_until(&self, deadline: Instant) -> bool {
        if self.known() {
            return true;
        }
        // The listener reports each change of the status; an error means the
        // session went away, after which nothing can become known.
        while let Ok(Some(status)) = self.listener.recv_deadline(deadline) {
            if status.matching() {
                return true;
            }
        }
        self.known()
    }
}

/// Responder watch: whether zenoh knows a queryable that vb_get on
/// `keyexpr` would reach. A query sent before zenoh has learnt of one ends at
/// once with no reply, however soon the server appears.
///
/// # Safety
/// `out` is valid for writing one pointer.
#[no_mangle]
pub unsafe extern "C" fn vb_responder_watch_declare(
    session: Option<&VbSession>,
    keyexpr: Option<&VbKeyExpr>,
    out: *mut *mut VbResponderWatch,
) -> Code {
    // SAFETY: the caller vouches that `out` is NULL or may be written.
    unsafe { store(out, None) };
    let (Some(session), Some(keyexpr), false) = (session, keyexpr, out.is_null()) else {
        return ENULL;
    };
    guard(|| {
        // The same target as vb_get, so "known" means "a query would reach it".
        let Ok(querier) = session
            .session
            .declare_querier(keyexpr.keyexpr.clone())
            .target(QueryTarget::BestMatching)
            .wait()
        else {
            return EGENERIC;
        };
        let Ok(listener) = querier.matching_listener().wait() else {
            return EGENERIC;
        };
        // SAFETY: as above, and `out` is not NULL.
        unsafe { store(out, Some(VbResponderWatch { listener, querier })) };
        OK
    })
}

/// True as soon as a queryable is known (at once if it already is), false
/// when `timeout_ms` passes first; it blocks the calling thread, so never
/// call it from a zenoh callback.
#[no_mangle]
pub extern "C" fn vb_responder_watch_wait(watch: Option<&VbResponderWatch>, timeout_ms: u64) -> bool {
    let Some(watch) = watch else {
        return false;
    };
    let mut known = false;
    guard_unit(|| {
        let deadline = Instant::now() + Duration::from_millis(timeout_ms);
        known = watch.wait_until(deadline);
    });
    known
}

/// Undeclares and releases a responder watch.
///
/// # Safety
/// `watch` is NULL or a handle from vb_responder_watch_declare, released
/// only here, and not used afterwards.
#[no_mangle]
pub unsafe extern "C" fn vb_responder_watch_undeclare(watch: *mut VbResponderWatch) {
    if !watch.is_null() {
        // SAFETY: the caller hands back a handle that store() boxed, once.
        guard_unit(|| drop(unsafe { Box::from_raw(watch) }));
    }
}

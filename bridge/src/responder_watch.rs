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
use crate::keyexpr::{keyexpr_ref, VbKeyExpr};
use crate::session::{session_ref, VbSession};

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

#[no_mangle]
pub extern "C" fn vb_responder_watch_declare(
    session: *const VbSession,
    keyexpr: *const VbKeyExpr,
    out: *mut *mut VbResponderWatch,
) -> Code {
    store(out, None);
    let (Some(session), Some(keyexpr), false) = (session_ref(session), keyexpr_ref(keyexpr), out.is_null()) else {
        return ENULL;
    };
    guard(|| {
        // The same target as vb_get, so "known" means "a query would reach it".
        let Ok(querier) = session
            .declare_querier(keyexpr.clone())
            .target(QueryTarget::BestMatching)
            .wait()
        else {
            return EGENERIC;
        };
        let Ok(listener) = querier.matching_listener().wait() else {
            return EGENERIC;
        };
        store(out, Some(VbResponderWatch { listener, querier }));
        OK
    })
}

#[no_mangle]
pub extern "C" fn vb_responder_watch_wait(watch: *const VbResponderWatch, timeout_ms: u64) -> bool {
    let Some(watch) = (unsafe { watch.as_ref() }) else {
        return false;
    };
    let mut known = false;
    guard_unit(|| {
        let deadline = Instant::now() + Duration::from_millis(timeout_ms);
        known = watch.wait_until(deadline);
    });
    known
}

#[no_mangle]
pub extern "C" fn vb_responder_watch_undeclare(watch: *mut VbResponderWatch) {
    if !watch.is_null() {
        guard_unit(|| drop(unsafe { Box::from_raw(watch) }));
    }
}

//! Queries. The reply closure's drop is zenoh's end-of-replies signal: zenoh
//! drops the query state once, after the last reply callback, when all final
//! replies are in, the time-out fires or the session closes.
use std::ffi::{c_char, c_void};
use std::sync::Arc;
use std::time::Duration;

use zenoh::bytes::{Encoding, ZBytes};
use zenoh::handlers::CallbackDrop;
use zenoh::qos::{CongestionControl, Priority};
use zenoh::query::{ConsolidationMode, QueryConsolidation, QueryTarget, Reply};
use zenoh::Wait;

use velmor_abi::code::{Code, ENULL};
use velmor_abi::guard::guard;

use crate::c_args::bytes;
use crate::closure::OwnedClosure;
use crate::keyexpr::VbKeyExpr;
use crate::session::VbSession;
use crate::zenoh_args::outcome;

/// vb_get's flag: every matching queryable, each reply as it comes.
pub const VB_GET_EVERY_SERVER: u32 = 1;

type ReplyCall = extern "C" fn(bool, *const c_char, usize, *const u8, usize, *mut c_void);

/// A get's callback. `call` gets one reply: `is_ok` false for an error reply
/// (its payload is the error's, and its key is empty). The key expression
/// (`key_len` bytes, not NUL-terminated) and `payload` are valid only during
/// the call. It runs on zenoh's own threads (the receiving ones; the
/// time-out's error reply on its network runtime), or inside vb_get for a
/// local queryable, one call at a time. `drop` is the end-of-replies signal: it
/// runs exactly once, after the last call has returned, when zenoh releases
/// the query state (all final replies in, time-out, session closed) or when
/// vb_get fails. It releases `context`.
#[repr(C)]
pub struct VbReplyClosure {
    pub call: Option<
        extern "C" fn(
            is_ok: bool,
            key: *const c_char,
            key_len: usize,
            payload: *const u8,
            len: usize,
            context: *mut c_void,
        ),
    >,
    pub drop: Option<extern "C" fn(context: *mut c_void)>,
    pub context: *mut c_void,
}

impl From<VbReplyClosure> for OwnedClosure<ReplyCall> {
    fn from(closure: VbReplyClosure) -> Self {
        OwnedClosure::new(closure.call, closure.drop, closure.context)
    }
}

fn deliver(call: ReplyCall, context: *mut c_void, reply: &Reply) {
    match reply.result() {
        Ok(sample) => {
            let key = sample.key_expr().as_str();
            let payload = sample.payload().to_bytes();
            call(
                true,
                key.as_ptr().cast(),
                key.len(),
                payload.as_ptr(),
                payload.len(),
                context,
            );
        }
        // An error reply names no key.
        Err(error) => {
            let payload = error.payload().to_bytes();
            call(false, std::ptr::null(), 0, payload.as_ptr(), payload.len(), context);
        }
    }
}

/// Query with the payload tagged zenoh-serialized; target best-matching,
/// default consolidation, congestion control block, priority data, not
/// express. `timeout_ms` 0 means zenoh's default time-out. With
/// VB_GET_EVERY_SERVER in `flags` the query reaches every matching queryable
/// (target all) and each reply is delivered as it comes (consolidation
/// none), so that two servers on one key give two replies. The closure is
/// dropped (end of replies) exactly once, also when this call fails.
///
/// # Safety
/// `payload` is NULL (with `len` 0) or valid for reading `len` bytes.
#[no_mangle]
pub unsafe extern "C" fn vb_get(
    session: Option<&VbSession>,
    keyexpr: Option<&VbKeyExpr>,
    payload: *const u8,
    len: usize,
    timeout_ms: u64,
    flags: u32,
    closure: VbReplyClosure,
) -> Code {
    let closure = Arc::new(OwnedClosure::from(closure));
    let (Some(session), Some(keyexpr), true) = (session, keyexpr, closure.has_call()) else {
        return ENULL;
    };
    // SAFETY: the caller vouches for `len` bytes at `payload`, copied here.
    let request = unsafe { bytes(payload, len) }.to_vec();
    let every_server = flags & VB_GET_EVERY_SERVER != 0;
    guard(|| {
        let delivering = closure.clone();
        let handler = CallbackDrop {
            callback: move |reply: Reply| delivering.run(|call, context| deliver(call, context, &reply)),
            // zenoh runs this once, after the last reply callback: releasing
            // the last reference here runs the C drop, the end of replies.
            drop: {
                let mut closure = Some(closure);
                move || drop(closure.take())
            },
        };
        let mut builder = session
            .session
            .get(keyexpr.keyexpr.clone())
            .payload(ZBytes::from(request))
            .encoding(Encoding::ZENOH_SERIALIZED)
            .target(if every_server {
                QueryTarget::All
            } else {
                QueryTarget::BestMatching
            })
            .congestion_control(CongestionControl::Block)
            .priority(Priority::Data)
            .express(false);
        if every_server {
            builder = builder.consolidation(QueryConsolidation::from(ConsolidationMode::None));
        }
        if timeout_ms > 0 {
            builder = builder.timeout(Duration::from_millis(timeout_ms));
        }
        outcome(builder.with(handler).wait())
    })
}

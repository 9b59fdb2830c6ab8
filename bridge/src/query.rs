//! Queries as a queryable sees them, for the simulator and tests.
use zenoh::bytes::Encoding;
use zenoh::key_expr::KeyExpr;
use zenoh::query::Query;
use zenoh::Wait;

use velmor_abi::code::{Code, ENULL};
use velmor_abi::guard::{guard, guard_unit};

use crate::zenoh_args::{copied_payload, outcome};

/// A query as a queryable sees it.
pub struct VbQuery {
    query: Query,
    payload: Vec<u8>,
    reply_key: KeyExpr<'static>,
}

impl VbQuery {
    /// `declared` is the queryable's own key. Replies go out on it when it
    /// names one resource, so that a wildcard query (a scan of every robot's
    /// endpoint) learns who answered; otherwise on the query's key.
    pub fn new(query: Query, declared: &KeyExpr<'static>) -> Self {
        let payload = query.payload().map(|p| p.to_bytes().into_owned()).unwrap_or_default();
        let reply_key = if declared.is_wild() {
            query.key_expr().clone().into_owned()
        } else {
            declared.clone()
        };
        VbQuery {
            query,
            payload,
            reply_key,
        }
    }
}

/// The query's payload, valid as long as the query, written to `data` and
/// `len` (either may be NULL); empty when it has none.
#[no_mangle]
pub extern "C" fn vb_query_payload(query: Option<&VbQuery>, data: Option<&mut *const u8>, len: Option<&mut usize>) {
    guard_unit(|| {
        let payload: &[u8] = query.map(|q| q.payload.as_slice()).unwrap_or(&[]);
        if let Some(data) = data {
            *data = payload.as_ptr();
        }
        if let Some(len) = len {
            *len = payload.len();
        }
    });
}

/// Replies on the queryable's own key expression when it names a single
/// resource (so a wildcard query learns who answered), else on the query's;
/// payload tagged zenoh-serialized.
///
/// # Safety
/// `payload` is NULL (with `len` 0) or valid for reading `len` bytes.
#[no_mangle]
pub unsafe extern "C" fn vb_query_reply(query: Option<&VbQuery>, payload: *const u8, len: usize) -> Code {
    let Some(query) = query else {
        return ENULL;
    };
    guard(|| {
        // SAFETY: the caller vouches for `len` bytes at `payload`.
        let payload = unsafe { copied_payload(payload, len) };
        outcome(
            query
                .query
                .reply(query.reply_key.clone(), payload)
                .encoding(Encoding::ZENOH_SERIALIZED)
                .wait(),
        )
    })
}

/// Replies with an error whose payload is the `len` bytes of `payload`.
///
/// # Safety
/// `payload` is NULL (with `len` 0) or valid for reading `len` bytes.
#[no_mangle]
pub unsafe extern "C" fn vb_query_reply_err(query: Option<&VbQuery>, payload: *const u8, len: usize) -> Code {
    let Some(query) = query else {
        return ENULL;
    };
    guard(|| {
        // SAFETY: the caller vouches for `len` bytes at `payload`.
        let payload = unsafe { copied_payload(payload, len) };
        outcome(query.query.reply_err(payload).wait())
    })
}

/// A query's final reply is sent when its last clone is dropped: holding a
/// clone keeps the requester waiting. NULL for a NULL query.
#[no_mangle]
pub extern "C" fn vb_query_clone(query: Option<&VbQuery>) -> *mut VbQuery {
    let mut out = std::ptr::null_mut();
    guard_unit(|| {
        if let Some(query) = query {
            out = Box::into_raw(Box::new(VbQuery {
                query: query.query.clone(),
                payload: query.payload.clone(),
                reply_key: query.reply_key.clone(),
            }));
        }
    });
    out
}

/// Releases a clone of a query.
///
/// # Safety
/// `query` is NULL or a handle from vb_query_clone, released only here, and
/// not used afterwards.
#[no_mangle]
pub unsafe extern "C" fn vb_query_drop(query: *mut VbQuery) {
    if !query.is_null() {
        // SAFETY: the caller hands back a handle that vb_query_clone boxed,
        // once.
        guard_unit(|| drop(unsafe { Box::from_raw(query) }));
    }
}

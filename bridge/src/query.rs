//! Queries as a queryable sees them, for the simulator and tests.
use zenoh::bytes::{Encoding, ZBytes};
use zenoh::key_expr::KeyExpr;
use zenoh::query::Query;
use zenoh::Wait;

use velmor_abi::code::{Code, EGENERIC, ENULL, OK};
use velmor_abi::guard::{guard, guard_unit};

use crate::c_args::bytes;

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

#[no_mangle]
pub extern "C" fn vb_query_payload(query: *const VbQuery, data: *mut *const u8, len: *mut usize) {
    guard_unit(|| {
        let payload: &[u8] = unsafe { query.as_ref() }.map(|q| q.payload.as_slice()).unwrap_or(&[]);
        unsafe {
            if !data.is_null() {
                *data = payload.as_ptr();
            }
            if !len.is_null() {
                *len = payload.len();
            }
        }
    });
}

#[no_mangle]
pub extern "C" fn vb_query_reply(query: *const VbQuery, payload: *const u8, len: usize) -> Code {
    let Some(query) = (unsafe { query.as_ref() }) else {
        return ENULL;
    };
    guard(|| {
        let reply = query
            .query
            .reply(query.reply_key.clone(), ZBytes::from(bytes(payload, len).to_vec()))
            .encoding(Encoding::ZENOH_SERIALIZED)
            .wait();
        if reply.is_ok() {
            OK
        } else {
            EGENERIC
        }
    })
}

#[no_mangle]
pub extern "C" fn vb_query_reply_err(query: *const VbQuery, payload: *const u8, len: usize) -> Code {
    let Some(query) = (unsafe { query.as_ref() }) else {
        return ENULL;
    };
    guard(|| {
        let reply = query.query.reply_err(ZBytes::from(bytes(payload, len).to_vec())).wait();
        if reply.is_ok() {
            OK
        } else {
            EGENERIC
        }
    })
}

#[no_mangle]
pub extern "C" fn vb_query_clone(query: *const VbQuery) -> *mut VbQuery {
    let mut out = std::ptr::null_mut();
    guard_unit(|| {
        if let Some(query) = unsafe { query.as_ref() } {
            out = Box::into_raw(Box::new(VbQuery {
                query: query.query.clone(),
                payload: query.payload.clone(),
                reply_key: query.reply_key.clone(),
            }));
        }
    });
    out
}

#[no_mangle]
pub extern "C" fn vb_query_drop(query: *mut VbQuery) {
    if !query.is_null() {
        guard_unit(|| drop(unsafe { Box::from_raw(query) }));
    }
}

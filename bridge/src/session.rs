//! Sessions: zenoh's default configuration for the client, and a mode with
//! endpoints to connect to for a server placed behind a router.
use std::ffi::CStr;
use std::os::raw::c_char;

use zenoh::{Config, Session, Wait};

use velmor_abi::code::{Code, EGENERIC, EINVAL, ENULL, OK};
use velmor_abi::guard::{guard, guard_unit};

use crate::c_args::store;

pub struct VbSession {
    pub session: Session,
}

#[no_mangle]
pub extern "C" fn vb_session_open(out: *mut *mut VbSession) -> Code {
    if out.is_null() {
        return ENULL;
    }
    store(out, None);
    guard(|| open(Config::default(), out))
}

#[no_mangle]
pub extern "C" fn vb_session_open_with(
    mode: *const c_char,
    connect: *const *const c_char,
    connect_len: usize,
    out: *mut *mut VbSession,
) -> Code {
    if out.is_null() || (connect.is_null() && connect_len > 0) {
        return ENULL;
    }
    store(out, None);
    guard(|| {
        let endpoints = if connect_len == 0 {
            &[][..]
        } else {
            unsafe { std::slice::from_raw_parts(connect, connect_len) }
        };
        let mut texts = Vec::with_capacity(endpoints.len());
        for &endpoint in endpoints {
            let Some(text) = c_text(endpoint) else {
                return EINVAL;
            };
            texts.push(json_string(text));
        }
        let mut config = Config::default();
        if !mode.is_null() {
            let Some(mode) = c_text(mode) else {
                return EINVAL;
            };
            if config.insert_json5("mode", &json_string(mode)).is_err() {
                return EINVAL;
            }
        }
        // zenoh checks each endpoint's syntax here; reaching it is open's job.
        if !texts.is_empty()
            && config
                .insert_json5("connect/endpoints", &format!("[{}]", texts.join(",")))
                .is_err()
        {
            return EINVAL;
        }
        open(config, out)
    })
}

fn open(config: Config, out: *mut *mut VbSession) -> Code {
    match zenoh::open(config).wait() {
        Ok(session) => {
            store(out, Some(VbSession { session }));
            OK
        }
        Err(_) => EGENERIC,
    }
}

/// A NUL-terminated UTF-8 string from C; None for NULL or invalid UTF-8.
fn c_text<'a>(text: *const c_char) -> Option<&'a str> {
    if text.is_null() {
        return None;
    }
    unsafe { CStr::from_ptr(text) }.to_str().ok()
}

/// `text` as a JSON string literal, which JSON5 reads unchanged.
fn json_string(text: &str) -> String {
    let mut quoted = String::with_capacity(text.len() + 2);
    quoted.push('"');
    for c in text.chars() {
        match c {
            '"' => quoted.push_str("\\\""),
            '\\' => quoted.push_str("\\\\"),
            c if c.is_control() => quoted.push_str(&format!("\\u{:04x}", c as u32)),
            c => quoted.push(c),
        }
    }
    quoted.push('"');
    quoted
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

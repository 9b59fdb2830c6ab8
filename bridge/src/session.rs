//! Sessions: zenoh's default configuration for the client, and a mode with
//! endpoints to connect to for a server placed behind a router.
use std::ffi::CStr;
use std::os::raw::c_char;

use zenoh::{Config, Session, Wait};

use velmor_abi::code::{Code, EGENERIC, EINVAL, ENULL, OK};
use velmor_abi::guard::{guard, guard_unit};

use crate::c_args::store;

/// A zenoh session.
pub struct VbSession {
    pub session: Session,
}

/// Session with zenoh's default configuration (peer mode, multicast
/// scouting). vb_session_close closes it and waits for zenoh's tasks to
/// stop, but not for a callback that is already running; never call it from
/// a zenoh callback thread.
///
/// # Safety
/// `out` is valid for writing one pointer.
#[no_mangle]
pub unsafe extern "C" fn vb_session_open(out: *mut *mut VbSession) -> Code {
    if out.is_null() {
        return ENULL;
    }
    // SAFETY: `out` is not NULL, and the caller vouches that it may be written.
    unsafe { store(out, None) };
    // SAFETY: as above.
    guard(|| unsafe { open(Config::default(), out) })
}

/// Session with zenoh's default configuration but for `mode` ("peer",
/// "client" or "router"; NULL keeps the default, peer) and the
/// `connect_len` endpoints of `connect` (NUL-terminated UTF-8, such as
/// "tcp/10.0.0.1:7447") to connect to: for a server that reaches its
/// clients through a router. VB_EINVAL when zenoh rejects the mode or an
/// endpoint's syntax; VB_EGENERIC when the session does not open (a client
/// finds none of its endpoints).
///
/// # Safety
/// `mode` is NULL or a NUL-terminated string; `connect` is NULL (with
/// `connect_len` 0) or valid for reading `connect_len` pointers, each to a
/// NUL-terminated string; `out` is valid for writing one pointer.
#[no_mangle]
pub unsafe extern "C" fn vb_session_open_with(
    mode: *const c_char,
    connect: *const *const c_char,
    connect_len: usize,
    out: *mut *mut VbSession,
) -> Code {
    if out.is_null() || (connect.is_null() && connect_len > 0) {
        return ENULL;
    }
    // SAFETY: `out` is not NULL, and the caller vouches that it may be written.
    unsafe { store(out, None) };
    guard(|| {
        let endpoints = if connect_len == 0 {
            &[][..]
        } else {
            // SAFETY: not NULL (checked above), and the caller vouches for
            // `connect_len` pointers, read during this call only.
            unsafe { std::slice::from_raw_parts(connect, connect_len) }
        };
        let mut texts = Vec::with_capacity(endpoints.len());
        for &endpoint in endpoints {
            // SAFETY: the caller vouches that each is a NUL-terminated string.
            let Some(text) = (unsafe { c_text(endpoint) }) else {
                return EINVAL;
            };
            texts.push(json_string(text));
        }
        let mut config = Config::default();
        if !mode.is_null() {
            // SAFETY: the caller vouches that `mode` is a NUL-terminated string.
            let Some(mode) = (unsafe { c_text(mode) }) else {
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
        // SAFETY: `out` may be written, as above.
        unsafe { open(config, out) }
    })
}

/// Opens a session with `config` and stores it in `out`.
///
/// # Safety
/// `out` is valid for writing one pointer.
unsafe fn open(config: Config, out: *mut *mut VbSession) -> Code {
    match zenoh::open(config).wait() {
        Ok(session) => {
            // SAFETY: the caller vouches that `out` may be written.
            unsafe { store(out, Some(VbSession { session })) };
            OK
        }
        Err(_) => EGENERIC,
    }
}

/// A NUL-terminated UTF-8 string from C; None for NULL or invalid UTF-8.
///
/// # Safety
/// `text` is NULL or a NUL-terminated string that nothing writes while the
/// returned text lives (the lifetime the caller picks).
unsafe fn c_text<'a>(text: *const c_char) -> Option<&'a str> {
    if text.is_null() {
        return None;
    }
    // SAFETY: not NULL, and the caller vouches for the rest.
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

/// Closes and releases a session.
///
/// # Safety
/// `session` is NULL or a handle from vb_session_open or
/// vb_session_open_with, released only here, and not used afterwards.
#[no_mangle]
pub unsafe extern "C" fn vb_session_close(session: *mut VbSession) {
    if session.is_null() {
        return;
    }
    guard_unit(|| {
        // SAFETY: the caller hands back a handle that store() boxed, once.
        let owned = unsafe { Box::from_raw(session) };
        // Closing explicitly (rather than on drop) shuts zenoh's tasks and
        // links down before we return. It does not wait for a callback that
        // is already running: that is what the subscribers' gates are for.
        let _ = owned.session.close().wait();
    });
}

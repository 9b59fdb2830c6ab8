//! The text of a thread's last failure, which a C caller reads after a
//! failed call (qrk's Foxglove library's `vf_last_error`).
use std::cell::RefCell;
use std::ffi::{c_char, CString};
use std::fmt::Display;

use crate::code::Code;

thread_local! {
    static LAST_ERROR: RefCell<CString> = RefCell::new(CString::default());
}

/// Records `message` as this thread's last error and returns `code`.
pub fn fail(code: Code, message: impl Display) -> Code {
    // A message with a NUL in it (from a path) is cut there rather than lost.
    let mut bytes = message.to_string().into_bytes();
    if let Some(nul) = bytes.iter().position(|&b| b == 0) {
        bytes.truncate(nul);
    }
    let text = CString::new(bytes).unwrap_or_default();
    LAST_ERROR.with(|last| *last.borrow_mut() = text);
    code
}

/// This thread's last error as a NUL-terminated string (empty before the
/// first); valid until the next failure on this thread.
pub fn text() -> *const c_char {
    LAST_ERROR.with(|last| last.borrow().as_ptr())
}

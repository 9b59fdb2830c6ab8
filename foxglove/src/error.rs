//! Panic containment and error messages: every failed call leaves a message
//! for its thread, which `vf_last_error` returns.
use std::cell::RefCell;
use std::ffi::{c_char, CString};
use std::fmt::Display;
use std::panic::{catch_unwind, AssertUnwindSafe};

use crate::{VfResult, VF_EGENERIC};

thread_local! {
    static LAST_ERROR: RefCell<CString> = RefCell::new(CString::default());
}

/// Records `message` as this thread's last error and returns `code`.
pub fn fail(code: VfResult, message: impl Display) -> VfResult {
    // A message with a NUL in it (from a path) is cut there rather than lost.
    let mut bytes = message.to_string().into_bytes();
    if let Some(nul) = bytes.iter().position(|&b| b == 0) {
        bytes.truncate(nul);
    }
    let text = CString::new(bytes).unwrap_or_default();
    LAST_ERROR.with(|last| *last.borrow_mut() = text);
    code
}

/// An error that knows its code; the message is its Display.
#[derive(Debug)]
pub struct Failure {
    pub code: VfResult,
    pub message: String,
}

impl Failure {
    pub fn new(code: VfResult, message: impl Display) -> Self {
        Self {
            code,
            message: message.to_string(),
        }
    }
}

/// Runs `body`, turning a failure into its code (and message) and a panic
/// into VF_EGENERIC.
pub fn guard(body: impl FnOnce() -> Result<(), Failure>) -> VfResult {
    match catch_unwind(AssertUnwindSafe(body)) {
        Ok(Ok(())) => crate::VF_OK,
        Ok(Err(failure)) => fail(failure.code, failure.message),
        Err(panic) => {
            let what = panic
                .downcast_ref::<&str>()
                .map(|s| s.to_string())
                .or_else(|| panic.downcast_ref::<String>().cloned())
                .unwrap_or_default();
            fail(VF_EGENERIC, format!("internal error: {what}"))
        }
    }
}

/// Runs `body` for a function without a result; a panic is swallowed.
pub fn guard_unit(body: impl FnOnce()) {
    let _ = catch_unwind(AssertUnwindSafe(body));
}

#[no_mangle]
pub extern "C" fn vf_last_error() -> *const c_char {
    LAST_ERROR.with(|last| last.borrow().as_ptr())
}

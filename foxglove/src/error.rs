//! Error messages and panic containment (the bridge's guard): every failed
//! call leaves a message for its thread, which `vf_last_error` returns.
use std::cell::RefCell;
use std::ffi::{c_char, CString};
use std::fmt::Display;

pub use velmor_bridge::guard::guard_unit;
use velmor_bridge::guard::guard_with;

use crate::{VfResult, VF_EGENERIC, VF_ENULL, VF_OK};

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
/// into VF_EGENERIC, "internal error: what the panic said".
pub fn guard(body: impl FnOnce() -> Result<(), Failure>) -> VfResult {
    guard_with(
        || match body() {
            Ok(()) => VF_OK,
            Err(failure) => fail(failure.code, failure.message),
        },
        |what| fail(VF_EGENERIC, format!("internal error: {what}")),
    )
}

/// Runs a constructor as `guard` does, with the header's out-parameter
/// convention: `out` is set to NULL first, so that it stays NULL on failure,
/// then to the handle `make` returns, which passes to the caller.
///
/// # Safety
/// `out` is NULL or may be written with one pointer.
pub unsafe fn guard_constructor<T>(out: *mut *mut T, make: impl FnOnce() -> Result<T, Failure>) -> VfResult {
    if out.is_null() {
        return fail(VF_ENULL, "out is NULL");
    }
    // SAFETY: not NULL, and the caller vouches that `out` may be written.
    unsafe { out.write(std::ptr::null_mut()) };
    guard(|| {
        let handle = Box::into_raw(Box::new(make()?));
        // SAFETY: as above; the caller takes the handle and gives it back
        // to its kind's release function.
        unsafe { out.write(handle) };
        Ok(())
    })
}

/// The message of this thread's last failed call (empty before the first);
/// valid until the next failure on this thread.
#[no_mangle]
pub extern "C" fn vf_last_error() -> *const c_char {
    LAST_ERROR.with(|last| last.borrow().as_ptr())
}

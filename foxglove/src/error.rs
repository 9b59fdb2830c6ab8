//! Error messages and panic containment (velmor_abi's guard and last
//! error): every failed call leaves a message for its thread, which
//! `vf_last_error` returns.
use std::ffi::c_char;
use std::fmt::Display;

use velmor_abi::code::{Code, EGENERIC, ENULL, OK};
pub use velmor_abi::guard::guard_unit;
use velmor_abi::guard::guard_with;
use velmor_abi::last_error::{self, fail};

/// An error that knows its code; the message is its Display.
#[derive(Debug)]
pub struct Failure {
    pub code: Code,
    pub message: String,
}

impl Failure {
    pub fn new(code: Code, message: impl Display) -> Self {
        Self {
            code,
            message: message.to_string(),
        }
    }
}

/// Runs `body`, turning a failure into its code (and message) and a panic
/// into VF_EGENERIC, "internal error: what the panic said".
pub fn guard(body: impl FnOnce() -> Result<(), Failure>) -> Code {
    guard_with(
        || match body() {
            Ok(()) => OK,
            Err(failure) => fail(failure.code, failure.message),
        },
        |what| fail(EGENERIC, format!("internal error: {what}")),
    )
}

/// Runs a constructor as `guard` does, with the header's out-parameter
/// convention: `out` is set to NULL first, so that it stays NULL on failure,
/// then to the handle `make` returns, which passes to the caller.
///
/// # Safety
/// `out` is NULL or may be written with one pointer.
pub unsafe fn guard_constructor<T>(out: *mut *mut T, make: impl FnOnce() -> Result<T, Failure>) -> Code {
    if out.is_null() {
        return fail(ENULL, "out is NULL");
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
    last_error::text()
}

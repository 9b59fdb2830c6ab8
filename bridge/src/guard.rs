//! Panic containment: nothing may unwind across the C boundary.
use std::panic::{catch_unwind, AssertUnwindSafe};

use crate::{VbResult, VB_EGENERIC};

/// Runs `body`, turning a panic into VB_EGENERIC.
pub fn guard(body: impl FnOnce() -> VbResult) -> VbResult {
    catch_unwind(AssertUnwindSafe(body)).unwrap_or(VB_EGENERIC)
}

/// Runs `body` for a function without a result; a panic is swallowed.
pub fn guard_unit(body: impl FnOnce()) {
    let _ = catch_unwind(AssertUnwindSafe(body));
}

/// Stores `value` behind `out`, or NULL-equivalent handling by the caller.
pub fn store<T>(out: *mut *mut T, value: Option<T>) {
    if out.is_null() {
        return;
    }
    unsafe {
        *out = match value {
            Some(v) => Box::into_raw(Box::new(v)),
            None => std::ptr::null_mut(),
        };
    }
}

/// Reads a borrowed byte buffer from C; a NULL pointer reads as empty.
pub fn bytes<'a>(data: *const u8, len: usize) -> &'a [u8] {
    if data.is_null() || len == 0 {
        &[]
    } else {
        unsafe { std::slice::from_raw_parts(data, len) }
    }
}

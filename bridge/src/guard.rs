//! Panic containment: nothing may unwind across the C boundary. `guard_with`
//! is the one `catch_unwind` of every C entry point, this crate's and those
//! of qrk's crate over it (foxglove/), each ABI choosing its own result for
//! a panic.
use std::any::Any;
use std::panic::{catch_unwind, AssertUnwindSafe};

use crate::{VbResult, VB_EGENERIC};

/// Runs `body`, turning a panic into `on_panic(what the panic said)`.
pub fn guard_with<R>(body: impl FnOnce() -> R, on_panic: impl FnOnce(&str) -> R) -> R {
    catch_unwind(AssertUnwindSafe(body)).unwrap_or_else(|panic| on_panic(panic_message(panic.as_ref())))
}

/// Runs `body`, turning a panic into VB_EGENERIC.
pub fn guard(body: impl FnOnce() -> VbResult) -> VbResult {
    guard_with(body, |_| VB_EGENERIC)
}

/// Runs `body` for a function without a result; a panic is swallowed.
pub fn guard_unit(body: impl FnOnce()) {
    guard_with(body, |_| ())
}

/// The text `panic!` was given; empty for any other payload.
fn panic_message(payload: &(dyn Any + Send)) -> &str {
    payload
        .downcast_ref::<&str>()
        .copied()
        .or_else(|| payload.downcast_ref::<String>().map(String::as_str))
        .unwrap_or_default()
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

#[cfg(test)]
mod tests {
    use super::*;

    #[test]
    fn a_panic_becomes_the_callers_result_and_keeps_its_message() {
        assert_eq!(guard_with(|| panic!("at {}", 3), str::to_owned), "at 3");
        assert_eq!(guard_with(|| panic!("fixed"), str::to_owned), "fixed");
        assert_eq!(guard_with(|| std::panic::panic_any(7), str::to_owned), "");
        assert_eq!(guard(|| panic!("inside")), VB_EGENERIC);
    }
}

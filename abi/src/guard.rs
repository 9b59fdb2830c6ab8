//! Panic containment: nothing may unwind across the C boundary. `guard_with`
//! is the one `catch_unwind` of every C entry point, of the bridge and of
//! qrk's Foxglove library, each choosing its own result for a panic.
use std::any::Any;
use std::panic::{catch_unwind, AssertUnwindSafe};

use crate::code::{Code, EGENERIC};

/// Runs `body`, turning a panic into `on_panic(what the panic said)`.
pub fn guard_with<R>(body: impl FnOnce() -> R, on_panic: impl FnOnce(&str) -> R) -> R {
    catch_unwind(AssertUnwindSafe(body)).unwrap_or_else(|panic| on_panic(panic_message(panic.as_ref())))
}

/// Runs `body`, turning a panic into EGENERIC.
pub fn guard(body: impl FnOnce() -> Code) -> Code {
    guard_with(body, |_| EGENERIC)
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

#[cfg(test)]
mod tests {
    use super::*;

    #[test]
    fn a_panic_becomes_the_callers_result_and_keeps_its_message() {
        assert_eq!(guard_with(|| panic!("at {}", 3), str::to_owned), "at 3");
        assert_eq!(guard_with(|| panic!("fixed"), str::to_owned), "fixed");
        assert_eq!(guard_with(|| std::panic::panic_any(7), str::to_owned), "");
        assert_eq!(guard(|| panic!("inside")), EGENERIC);
    }
}

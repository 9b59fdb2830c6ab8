//! What the calls into zenoh share: a C buffer copied into zenoh's bytes,
//! and a call's outcome as the code C sees. Apart from c_args.rs, which the
//! closure gate's builds use without zenoh.
use velmor_abi::code::{Code, EGENERIC, OK};
use zenoh::bytes::ZBytes;

use crate::c_args::bytes;

/// A borrowed byte buffer from C, copied into a payload zenoh owns.
///
/// # Safety
/// As [`bytes`], for the duration of the call.
pub unsafe fn copied_payload(data: *const u8, len: usize) -> ZBytes {
    // SAFETY: the caller vouches for `len` bytes at `data`, copied here.
    ZBytes::from(unsafe { bytes(data, len) }.to_vec())
}

/// OK for a zenoh call that succeeded; zenoh's errors carry nothing the C
/// side acts on, so every failure is EGENERIC.
pub fn outcome<T, E>(result: Result<T, E>) -> Code {
    if result.is_ok() {
        OK
    } else {
        EGENERIC
    }
}

//! Key expressions, autocanonised the way zenoh-c does it.
use std::os::raw::c_char;

use zenoh::key_expr::KeyExpr;

use velmor_abi::code::{Code, EINVAL, ENULL, OK};
use velmor_abi::guard::{guard, guard_unit};

use crate::c_args::{bytes, store};

/// A key expression, canonised then validated.
pub struct VbKeyExpr {
    pub keyexpr: KeyExpr<'static>,
}

/// A key expression from the `len` bytes of `text` (UTF-8, not
/// NUL-terminated), canonised then validated: VB_EINVAL when zenoh rejects
/// it.
///
/// # Safety
/// `text` is NULL (with `len` 0) or valid for reading `len` bytes; `out` is
/// valid for writing one pointer.
#[no_mangle]
pub unsafe extern "C" fn vb_keyexpr_autocanonize(text: *const c_char, len: usize, out: *mut *mut VbKeyExpr) -> Code {
    if out.is_null() || (text.is_null() && len != 0) {
        return ENULL;
    }
    // SAFETY: `out` is not NULL, and the caller vouches that it may be written.
    unsafe { store(out, None) };
    guard(|| {
        // SAFETY: the caller vouches for `len` bytes at `text`, borrowed for
        // this call only (copied below).
        let text = unsafe { bytes(text as *const u8, len) };
        let Ok(text) = std::str::from_utf8(text) else {
            return EINVAL;
        };
        match KeyExpr::autocanonize(text.to_owned()) {
            Ok(keyexpr) => {
                // SAFETY: as above.
                unsafe { store(out, Some(VbKeyExpr { keyexpr })) };
                OK
            }
            Err(_) => EINVAL,
        }
    })
}

/// The text of a canonised key, valid as long as the handle: written to
/// `data` and `len` (either may be NULL); empty for a NULL handle.
#[no_mangle]
pub extern "C" fn vb_keyexpr_as_str(
    keyexpr: Option<&VbKeyExpr>,
    data: Option<&mut *const c_char>,
    len: Option<&mut usize>,
) {
    guard_unit(|| {
        let text = keyexpr.map(|k| k.keyexpr.as_str()).unwrap_or("");
        if let Some(data) = data {
            *data = text.as_ptr() as *const c_char;
        }
        if let Some(len) = len {
            *len = text.len();
        }
    });
}

/// Releases a key expression.
///
/// # Safety
/// `keyexpr` is NULL or a handle from vb_keyexpr_autocanonize, released
/// only here, and not used afterwards.
#[no_mangle]
pub unsafe extern "C" fn vb_keyexpr_drop(keyexpr: *mut VbKeyExpr) {
    if !keyexpr.is_null() {
        // SAFETY: the caller hands back a handle that store() boxed, once.
        guard_unit(|| drop(unsafe { Box::from_raw(keyexpr) }));
    }
}

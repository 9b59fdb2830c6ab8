//! Key expressions, autocanonised the way zenoh-c does it.
use std::os::raw::c_char;

use zenoh::key_expr::KeyExpr;

use velmor_abi::code::{Code, EINVAL, ENULL, OK};
use velmor_abi::guard::{guard, guard_unit};

use crate::c_args::{bytes, store};

pub struct VbKeyExpr {
    pub keyexpr: KeyExpr<'static>,
}

#[no_mangle]
pub extern "C" fn vb_keyexpr_autocanonize(text: *const c_char, len: usize, out: *mut *mut VbKeyExpr) -> Code {
    if out.is_null() || (text.is_null() && len != 0) {
        return ENULL;
    }
    store(out, None);
    guard(|| {
        let Ok(text) = std::str::from_utf8(bytes(text as *const u8, len)) else {
            return EINVAL;
        };
        match KeyExpr::autocanonize(text.to_owned()) {
            Ok(keyexpr) => {
                store(out, Some(VbKeyExpr { keyexpr }));
                OK
            }
            Err(_) => EINVAL,
        }
    })
}

#[no_mangle]
pub extern "C" fn vb_keyexpr_as_str(keyexpr: *const VbKeyExpr, data: *mut *const c_char, len: *mut usize) {
    guard_unit(|| {
        let text = unsafe { keyexpr.as_ref() }.map(|k| k.keyexpr.as_str()).unwrap_or("");
        unsafe {
            if !data.is_null() {
                *data = text.as_ptr() as *const c_char;
            }
            if !len.is_null() {
                *len = text.len();
            }
        }
    });
}

#[no_mangle]
pub extern "C" fn vb_keyexpr_drop(keyexpr: *mut VbKeyExpr) {
    if !keyexpr.is_null() {
        guard_unit(|| drop(unsafe { Box::from_raw(keyexpr) }));
    }
}

/// Borrows a key expression handle passed from C.
pub fn keyexpr_ref<'a>(keyexpr: *const VbKeyExpr) -> Option<&'a KeyExpr<'static>> {
    unsafe { keyexpr.as_ref().map(|k| &k.keyexpr) }
}

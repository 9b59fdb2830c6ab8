//! The C side's pointer arguments: an out-parameter that receives a handle,
//! and a borrowed byte buffer.

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

//! The C side's pointer arguments: an out-parameter that receives a handle,
//! and a borrowed byte buffer.

/// Stores `value` behind `out` as a new handle, or NULL for None; does
/// nothing when `out` is NULL.
///
/// # Safety
/// `out` is NULL or valid for writing one pointer.
pub unsafe fn store<T>(out: *mut *mut T, value: Option<T>) {
    if out.is_null() {
        return;
    }
    let handle = match value {
        Some(v) => Box::into_raw(Box::new(v)),
        None => std::ptr::null_mut(),
    };
    // SAFETY: not NULL, and the caller vouches that it may be written.
    unsafe { out.write(handle) };
}

/// Reads a borrowed byte buffer from C; a NULL pointer reads as empty.
///
/// # Safety
/// `data` is NULL or valid for reading `len` bytes, which nothing writes
/// while the returned slice lives (the lifetime the caller picks).
pub unsafe fn bytes<'a>(data: *const u8, len: usize) -> &'a [u8] {
    if data.is_null() || len == 0 {
        &[]
    } else {
        // SAFETY: not NULL, and the caller vouches for `len` bytes that stay
        // put for 'a.
        unsafe { std::slice::from_raw_parts(data, len) }
    }
}

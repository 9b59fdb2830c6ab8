//! The C shapes of what a message is made of besides a record's field table
//! (field_table.rs): its stamp and a joint group's frames, and the checked
//! views of what C passes. The arrays are borrowed for the call; these views
//! check them once.
use std::ffi::{c_char, CStr};

use velmor_abi::code::{EINVAL, ENULL};

use crate::error::Failure;

/// Per message: the sample's number in its stream (MCAP's sequence is 32
/// bits; it wraps), and its log time in nanoseconds since the Unix epoch,
/// which a recording also writes as the message's publish time. The live
/// server uses the log time only.
#[repr(C)]
pub struct VfStamp {
    pub sequence: u32,
    pub log_time: u64,
}

/// A joint group's frames: its name (NUL-terminated) and two poses of 7
/// values each, position then quaternion (w, x, y, z).
#[repr(C)]
pub struct VfGroupFrames {
    pub group: *const c_char,
    pub tcp_pose: *const f64,
    pub flange_pose: *const f64,
}

/// A pose as the robot sends it: position, then the quaternion (w, x, y, z).
pub type Pose = [f64; 7];

/// `len` values at `data`; NULL reads as a failure unless `len` is 0.
///
/// # Safety
/// Unless `len` is 0 or `data` is NULL, `data` points to `len` values, valid
/// and unchanged for `'a`.
pub unsafe fn values<'a, T>(data: *const T, len: usize, name: &str) -> Result<&'a [T], Failure> {
    if len == 0 {
        return Ok(&[]);
    }
    if data.is_null() {
        return Err(Failure::new(ENULL, format!("{name} is NULL")));
    }
    // SAFETY: not NULL, and the caller vouches for `len` values for 'a.
    Ok(unsafe { std::slice::from_raw_parts(data, len) })
}

/// `N` values at `data`; NULL reads as a failure.
///
/// # Safety
/// Unless NULL, `data` points to `N` values, valid and unchanged for `'a`.
pub unsafe fn fixed<'a, const N: usize>(data: *const f64, name: &str) -> Result<&'a [f64; N], Failure> {
    if data.is_null() {
        return Err(Failure::new(ENULL, format!("{name} is NULL")));
    }
    // SAFETY: not NULL, and the caller vouches for `N` values for 'a; an
    // array of f64 has f64's alignment.
    Ok(unsafe { &*(data as *const [f64; N]) })
}

/// The UTF-8 string at `data`; NULL or other bytes read as a failure.
///
/// # Safety
/// Unless NULL, `data` points to a NUL-terminated string, valid and
/// unchanged for `'a`.
pub unsafe fn text<'a>(data: *const c_char, name: &str) -> Result<&'a str, Failure> {
    if data.is_null() {
        return Err(Failure::new(ENULL, format!("{name} is NULL")));
    }
    // SAFETY: not NULL, and the caller vouches for a NUL-terminated string
    // for 'a.
    unsafe { CStr::from_ptr(data) }
        .to_str()
        .map_err(|_| Failure::new(EINVAL, format!("{name} is not UTF-8")))
}

/// The argument `name` that C passed as a pointer, which may be NULL.
pub fn required<T>(argument: Option<T>, name: &str) -> Result<T, Failure> {
    argument.ok_or_else(|| Failure::new(ENULL, format!("{name} is NULL")))
}

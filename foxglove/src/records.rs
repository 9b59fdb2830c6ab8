//! The C shapes of one sample: a joint group's measured states, its frames,
//! its commanded values, and the robot's I/O, as C passes them. The arrays are borrowed for the call; these views check
//! them once.
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

/// A joint group's measured states (velmor::qrk::RobotStates). The
/// per-joint arrays hold `joints` values each (NULL allowed when 0); a pose
/// holds 7 values, position then quaternion (w, x, y, z); the others 6.
#[repr(C)]
pub struct VfGroupStates {
    /// The group's first joint in the whole robot: names the joints.
    pub first_joint: u32,
    pub joints: usize,
    pub timestamp: [i32; 2],
    pub q: *const f64,
    pub theta: *const f64,
    pub dq: *const f64,
    pub dtheta: *const f64,
    pub tau: *const f64,
    pub tau_dot: *const f64,
    pub tau_ext: *const f64,
    pub tau_interact: *const f64,
    pub temperature: *const f64,
    pub flange_pose: *const f64,
    pub tcp_pose: *const f64,
    pub tcp_twist: *const f64,
    pub tcp_wrench: *const f64,
    pub tcp_wrench_local: *const f64,
    pub raw_tcp_wrench: *const f64,
    pub raw_tcp_wrench_local: *const f64,
    pub raw_ft_sensor: *const f64,
}

/// A joint group's frames: its name (NUL-terminated) and two poses of 7
/// values each, as in vf_group_states.
#[repr(C)]
pub struct VfGroupFrames {
    pub group: *const c_char,
    pub tcp_pose: *const f64,
    pub flange_pose: *const f64,
}

/// A joint group's commanded values (velmor::qrk::RobotActions), shaped as
/// vf_group_states.
#[repr(C)]
pub struct VfGroupActions {
    pub joints: usize,
    pub timestamp: [i32; 2],
    pub q_d: *const f64,
    pub dq_d: *const f64,
    pub tau_d: *const f64,
    pub tcp_pose_d: *const f64,
    pub tcp_twist_d: *const f64,
    pub tcp_wrench_d: *const f64,
    /// The group's first joint in the whole robot: names the joints of a
    /// ROS 2 channel.
    pub first_joint: u32,
}

/// The robot's safety inputs and digital I/O.
#[repr(C)]
pub struct VfIo {
    pub timestamp: [i32; 2],
    pub estop_released: bool,
    pub enabling_device_on: bool,
    pub digital_inputs: [bool; 20],
    pub digital_outputs: [bool; 20],
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

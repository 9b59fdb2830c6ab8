//! Field tables over values a test keeps alive, as the C++ side builds them
//! from a record.
use std::ffi::{c_void, CStr};
use std::marker::PhantomData;

use crate::encoder::Encoder;
use crate::field_table::{Shape, VfField, VfRecord};

/// A group's states' per-joint fields and its fixed ones (two poses, then
/// a twist and five wrenches), in the record's order after the stamp pair.
pub const STATES_JOINTS: [&CStr; 9] = [
    c"q",
    c"theta",
    c"dq",
    c"dtheta",
    c"tau",
    c"tau_dot",
    c"tau_ext",
    c"tau_interact",
    c"temperature",
];
pub const STATES_CARTESIAN: [&CStr; 8] = [
    c"flange_pose",
    c"tcp_pose",
    c"tcp_twist",
    c"tcp_wrench",
    c"tcp_wrench_local",
    c"raw_tcp_wrench",
    c"raw_tcp_wrench_local",
    c"raw_ft_sensor",
];

/// A record's field table over values the test keeps alive: the borrow
/// makes the compiler refuse a table over a temporary that dies first.
#[derive(Default)]
pub struct Table<'a> {
    pub fields: Vec<VfField>,
    values: PhantomData<&'a ()>,
}

impl<'a> Table<'a> {
    pub fn field<T>(mut self, name: &'static CStr, kind: i32, values: &'a [T]) -> Self {
        self.fields.push(VfField {
            name: name.as_ptr(),
            kind,
            data: values.as_ptr().cast::<c_void>(),
            len: values.len(),
        });
        self
    }

    pub fn record(&self, first_joint: u32) -> VfRecord {
        VfRecord {
            first_joint,
            fields: self.fields.as_ptr(),
            count: self.fields.len(),
        }
    }

    /// A channel of this table's record.
    pub fn encoder(&self, name: &str) -> Encoder {
        // SAFETY: the fields and their names outlive the call.
        Encoder::record(unsafe { Shape::from_c(name, self.fields.as_ptr(), self.fields.len()) }.unwrap())
    }
}

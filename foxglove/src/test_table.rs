//! Field tables over values a test keeps alive, as the C++ side builds them
//! from a record.
use std::ffi::{c_void, CStr};
use std::marker::PhantomData;

use crate::encoder::Encoder;
use crate::field_table::{Shape, VfField, VfRecord};

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

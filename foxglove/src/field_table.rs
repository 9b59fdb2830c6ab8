//! A record as C hands it over: a table with one entry per field, in the
//! record's own order, each with its name, its kind and its values. The C++
//! side builds it from the records' one list of fields, so that a field
//! added to a record reaches every encoding here without a line of Rust.
//!
//! A record channel learns the table's shape (names, kinds, fixed lengths)
//! once, when it is added; each sample's table is then checked against it
//! before any value is read. What is encoded from a table, and how, is the
//! encodings' business (protobuf.rs); this file only reads tables.
use std::ffi::{c_char, c_void, CStr};

use velmor_abi::code::{EINVAL, ENULL};

use crate::error::Failure;
use crate::records::{text, values};

/// What a field holds: how its `data` and `len` read.
pub type VfFieldKind = i32;
/// `len` int32_t values, a fixed number (the time stamp pair: 2).
pub const VF_FIELD_I32_ARRAY: VfFieldKind = 0;
/// `len` doubles, one per joint of the group: every such field of a record
/// holds the same number.
pub const VF_FIELD_F64_SEQUENCE: VfFieldKind = 1;
/// `len` doubles, a fixed number (a pose: 7, a twist or a wrench: 6).
pub const VF_FIELD_F64_ARRAY: VfFieldKind = 2;
/// One bool (`len` is 1), 0 or 1 as C and C++ store it.
pub const VF_FIELD_BOOL: VfFieldKind = 3;
/// `len` bools, a fixed number, each 0 or 1.
pub const VF_FIELD_BOOL_ARRAY: VfFieldKind = 4;

/// One field of a record: its name (NUL-terminated), its kind, and `len`
/// values of that kind at `data` (NULL allowed when `len` is 0).
#[repr(C)]
pub struct VfField {
    pub name: *const c_char,
    pub kind: VfFieldKind,
    pub data: *const c_void,
    pub len: usize,
}

/// One sample of a record: `count` fields at `fields`, in the record's
/// order, borrowed for the call.
#[repr(C)]
pub struct VfRecord {
    /// The group's first joint in the whole robot, which names the joints
    /// on a VF_SCHEMA_JOINT_STATES channel (0 for a record without joints).
    pub first_joint: u32,
    pub fields: *const VfField,
    pub count: usize,
}

#[derive(Clone, Copy, Debug, PartialEq, Eq)]
pub enum Kind {
    I32Array,
    F64Sequence,
    F64Array,
    Bool,
    BoolArray,
}

impl Kind {
    fn of(kind: VfFieldKind, name: &str) -> Result<Self, Failure> {
        Ok(match kind {
            VF_FIELD_I32_ARRAY => Self::I32Array,
            VF_FIELD_F64_SEQUENCE => Self::F64Sequence,
            VF_FIELD_F64_ARRAY => Self::F64Array,
            VF_FIELD_BOOL => Self::Bool,
            VF_FIELD_BOOL_ARRAY => Self::BoolArray,
            other => return Err(Failure::new(EINVAL, format!("{name}: no field kind numbered {other}"))),
        })
    }

    /// A fixed number of values, which the schema may state (a sequence's
    /// length changes with the group).
    pub fn is_fixed(self) -> bool {
        self != Self::F64Sequence
    }

    /// One value, not a list of them.
    pub fn is_single(self) -> bool {
        self == Self::Bool
    }
}

/// A field as a schema sees it.
#[derive(Clone, Debug, PartialEq)]
pub struct FieldShape {
    pub name: String,
    pub kind: Kind,
    /// The number of values of a fixed kind; 0 for a sequence.
    pub len: usize,
}

/// A record's type: its name and its fields' shapes, in order.
#[derive(Clone, Debug, PartialEq)]
pub struct Shape {
    pub name: String,
    pub fields: Vec<FieldShape>,
}

impl Shape {
    /// The shape of `count` fields at `fields` (their values are not read).
    ///
    /// # Safety
    /// Unless `count` is 0 or `fields` is NULL, `fields` points to `count`
    /// entries whose names are NULL or NUL-terminated, valid for the call.
    pub unsafe fn from_c(name: &str, fields: *const VfField, count: usize) -> Result<Self, Failure> {
        if name.is_empty() || !name.bytes().all(|b| b.is_ascii_alphanumeric() || b == b'_') {
            return Err(Failure::new(EINVAL, format!("\"{name}\" cannot name a message type")));
        }
        // SAFETY: the caller vouches for `count` entries for the call.
        let fields = unsafe { values(fields, count, "fields") }?;
        let mut shapes = Vec::with_capacity(fields.len());
        for field in fields {
            // SAFETY: the caller vouches for every name.
            let name = unsafe { text(field.name, "a field's name") }?;
            let kind = Kind::of(field.kind, name)?;
            let len = if kind.is_fixed() { field.len } else { 0 };
            if kind.is_single() && len != 1 {
                return Err(Failure::new(EINVAL, format!("{name}: a single value with len {len}")));
            }
            if shapes.iter().any(|shape: &FieldShape| shape.name == name) {
                return Err(Failure::new(EINVAL, format!("{name}: a field named twice")));
            }
            shapes.push(FieldShape {
                name: name.to_owned(),
                kind,
                len,
            });
        }
        Ok(Self {
            name: name.to_owned(),
            fields: shapes,
        })
    }
}

/// A field's values.
#[derive(Clone, Copy, Debug)]
pub enum Values<'a> {
    I32(&'a [i32]),
    F64(&'a [f64]),
    Bool(&'a [bool]),
}

/// A sample's fields, every entry checked: its kind known, its values
/// present, the per-joint ones all of one length.
pub struct Fields<'a> {
    entries: &'a [VfField],
    /// The values per per-joint field (0 when the record has none).
    pub joints: usize,
    pub first_joint: u32,
}

/// Checks a sample's table.
///
/// # Safety
/// `record` holds what [`VfRecord`] says it holds, valid for `'a`.
pub unsafe fn fields(record: &VfRecord) -> Result<Fields<'_>, Failure> {
    // SAFETY: the caller vouches for `count` entries for 'a.
    let entries = unsafe { values(record.fields, record.count, "fields") }?;
    let mut joints = None;
    for entry in entries {
        if entry.name.is_null() {
            return Err(Failure::new(ENULL, "a field's name is NULL"));
        }
        let kind = entry.kind;
        if !(VF_FIELD_I32_ARRAY..=VF_FIELD_BOOL_ARRAY).contains(&kind) {
            // SAFETY: not NULL, and the caller vouches for the name.
            let name = unsafe { CStr::from_ptr(entry.name) }.to_string_lossy();
            return Err(Failure::new(EINVAL, format!("{name}: no field kind numbered {kind}")));
        }
        if entry.data.is_null() && entry.len != 0 {
            // SAFETY: as above.
            let name = unsafe { CStr::from_ptr(entry.name) }.to_string_lossy();
            return Err(Failure::new(ENULL, format!("{name} is NULL")));
        }
        if kind == VF_FIELD_F64_SEQUENCE && *joints.get_or_insert(entry.len) != entry.len {
            return Err(Failure::new(EINVAL, "a record's joint vectors differ in length"));
        }
    }
    Ok(Fields {
        entries,
        joints: joints.unwrap_or(0),
        first_joint: record.first_joint,
    })
}

impl<'a> Fields<'a> {
    /// Fails unless the fields are `shape`'s: the same names and kinds in
    /// the same order, fixed kinds of the same length.
    pub fn check(&self, shape: &Shape) -> Result<(), Failure> {
        if self.entries.len() != shape.fields.len() {
            let (given, expected) = (self.entries.len(), shape.fields.len());
            return Err(Failure::new(
                EINVAL,
                format!("{} has {expected} fields, not {given}", shape.name),
            ));
        }
        for (entry, field) in self.entries.iter().zip(&shape.fields) {
            let same_kind = Kind::of(entry.kind, &field.name)? == field.kind;
            if !same_kind
                || self.name(entry) != field.name.as_bytes()
                || (field.kind.is_fixed() && entry.len != field.len)
            {
                return Err(Failure::new(
                    EINVAL,
                    format!("{}'s field {} is not the one given", shape.name, field.name),
                ));
            }
        }
        Ok(())
    }

    /// The values of every field, in order.
    pub fn values(&self) -> impl Iterator<Item = Values<'a>> + '_ {
        self.entries.iter().map(|entry| self.read(entry))
    }

    /// The values of the field named `name`, if there is one.
    pub fn find(&self, name: &str) -> Option<Values<'a>> {
        let entry = self.entries.iter().find(|entry| self.name(entry) == name.as_bytes())?;
        Some(self.read(entry))
    }

    /// The per-joint values of the field named `name`.
    pub fn per_joint(&self, name: &str) -> Result<&'a [f64], Failure> {
        match self.find(name) {
            Some(Values::F64(values)) if values.len() == self.joints => Ok(values),
            _ => Err(Failure::new(
                EINVAL,
                format!("the record has no per-joint field {name}"),
            )),
        }
    }

    /// The `N` values of the fixed field named `name`.
    pub fn array<const N: usize>(&self, name: &str) -> Result<&'a [f64; N], Failure> {
        match self.find(name) {
            Some(Values::F64(values)) => values.try_into().ok(),
            _ => None,
        }
        .ok_or_else(|| Failure::new(EINVAL, format!("the record has no field {name} of {N} values")))
    }

    fn name(&self, entry: &VfField) -> &'a [u8] {
        // SAFETY: not NULL (checked in `fields`), and the caller of `fields`
        // vouches for a NUL-terminated name for 'a.
        unsafe { CStr::from_ptr(entry.name) }.to_bytes()
    }

    fn read(&self, entry: &VfField) -> Values<'a> {
        // SAFETY: `fields` checked that the kind is known and that `data`
        // is not NULL unless `len` is 0; its caller vouches for `len` values
        // of the kind at `data` for 'a.
        unsafe {
            match entry.kind {
                VF_FIELD_I32_ARRAY => Values::I32(slice(entry)),
                VF_FIELD_BOOL | VF_FIELD_BOOL_ARRAY => Values::Bool(slice(entry)),
                _ => Values::F64(slice(entry)),
            }
        }
    }
}

/// # Safety
/// `entry.data` is NULL only when `len` is 0 and otherwise points to `len`
/// values of `T`, valid and unchanged for `'a`.
unsafe fn slice<'a, T>(entry: &VfField) -> &'a [T] {
    if entry.len == 0 {
        return &[];
    }
    // SAFETY: the caller vouches for `len` values at `data`.
    unsafe { std::slice::from_raw_parts(entry.data.cast::<T>(), entry.len) }
}

//! Our own records as ROS 2 messages, velmorqrk_msgs/msg/<Name>, made from
//! the record's field table as protobuf.rs makes the protobuf ones, so that
//! a field added to a record reaches a ROS 2 recording without a line here:
//! - the `.msg` text: `std_msgs/Header header` (the receive time, no frame),
//!   then every field in the table's order under its name: the time stamp
//!   pair `int32[2]`, a per-joint field `float64[]`, a fixed one
//!   `float64[N]`, `bool` and `bool[N]`; the schema adds the types it uses
//!   as definitions.rs does. ros2/velmorqrk_msgs/msg holds the same texts
//!   for a ROS user to build the package from (the Python ROS 2 test holds
//!   them equal to a recording's);
//! - a message: the CDR of those fields, a fixed array without a length,
//!   a sequence with one; values at the precision protobuf.rs keeps.
use std::fmt::Write;

use super::cdr::CdrWriter;
use super::definitions::HEADER_USES;
use super::time::{write_header, Time};
use crate::field_table::{Fields, Kind, Shape, Values};
use crate::protobuf::at_float_precision;

/// The interface package a ROS user builds to play these messages.
pub const PACKAGE: &str = "velmorqrk_msgs";

/// The fully qualified type of `shape`'s messages.
pub fn type_name(shape: &Shape) -> String {
    format!("{PACKAGE}/msg/{}", shape.name)
}

/// The `.msg` text of `shape`'s messages, as the package's file holds it.
pub fn msg_text(shape: &Shape) -> String {
    let mut text = String::from("std_msgs/Header header\n");
    for field in &shape.fields {
        let element = match field.kind {
            Kind::I32Array => "int32",
            Kind::F64Sequence | Kind::F64Array => "float64",
            Kind::Bool | Kind::BoolArray => "bool",
        };
        let size = match field.kind {
            Kind::F64Sequence => "[]".to_owned(),
            Kind::Bool => String::new(),
            _ => format!("[{}]", field.len),
        };
        // Writing to a String cannot fail.
        let _ = writeln!(text, "{element}{size} {}", field.name);
    }
    text
}

/// The `ros2msg` schema data: the `.msg` text, then the types it uses.
pub fn definition(shape: &Shape) -> String {
    msg_text(shape) + HEADER_USES
}

/// Encodes into `out` (its contents replaced, its capacity kept) a sample's
/// fields, already checked against `shape`, under a header stamped `stamp`.
pub fn encode_record_msg(stamp: Time, shape: &Shape, fields: &Fields, out: &mut Vec<u8>) {
    let mut cdr = CdrWriter::new(out);
    write_header(&mut cdr, stamp, "");
    for (values, field) in fields.values().zip(&shape.fields) {
        match values {
            Values::I32(values) => values.iter().for_each(|&value| cdr.i32(value)),
            Values::F64(values) => {
                if field.kind == Kind::F64Sequence {
                    cdr.length(values.len());
                }
                cdr.f64_each(values.iter().map(|&value| at_float_precision(value)));
            }
            Values::Bool(values) => cdr.bools(values),
        }
    }
}

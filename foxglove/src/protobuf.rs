//! Our own messages in protobuf, the schema and each message built from a
//! record's field table, byte for byte as the SDK's `derive(Encode)` builds
//! them for a struct of the same fields (recordings made before keep
//! theirs):
//! - the schema `<lowercase name>.<Name>`: a FileDescriptorSet of one file,
//!   `<Name>.proto`, package `<lowercase name>`, proto3, with the one
//!   message `<Name>`, its fields numbered from 1 in the table's order; a
//!   list is `repeated`, a single value has proto3's implicit presence;
//! - a message: every value with its own tag (lists unpacked), nothing
//!   omitted, not even a zero.
//!
//! Values are stored as double holding the robot's float precision: they
//! arrive from the robot as float and are only widened on the way
//! (tcp_wrench and raw_tcp_wrench, which the client rotates into the world
//! frame, are rounded back to float precision, the precision they were
//! measured with). Measured on a recording, zstd packs such doubles into a
//! quarter less than the same values as float, their three low bytes being
//! zero: double is the smaller recording, and the type Foxglove's own
//! schemas use. The time stamp pair is the robot's, copied as it came.
use foxglove::prost_types::field_descriptor_proto::{Label, Type};
use foxglove::prost_types::{DescriptorProto, FieldDescriptorProto, FileDescriptorProto, FileDescriptorSet};
use foxglove::Schema;
use prost::encoding::{encode_varint, WireType};
use prost::Message;

use crate::field_table::{Fields, Kind, Shape, Values};

pub const MESSAGE_ENCODING: &str = "protobuf";

/// The schema of messages with `shape`'s fields.
pub fn schema(shape: &Shape) -> Schema {
    let package = shape.name.to_lowercase();
    let field = |(i, field): (usize, &crate::field_table::FieldShape)| FieldDescriptorProto {
        name: Some(field.name.clone()),
        number: Some(i as i32 + 1),
        label: Some(if field.kind.is_single() {
            Label::Optional
        } else {
            Label::Repeated
        } as i32),
        r#type: Some(type_of(field.kind) as i32),
        ..FieldDescriptorProto::default()
    };
    let message = DescriptorProto {
        name: Some(shape.name.clone()),
        field: shape.fields.iter().enumerate().map(field).collect(),
        ..DescriptorProto::default()
    };
    let file = FileDescriptorProto {
        name: Some(format!("{}.proto", shape.name)),
        package: Some(package.clone()),
        syntax: Some("proto3".to_owned()),
        message_type: vec![message],
        ..FileDescriptorProto::default()
    };
    let set = FileDescriptorSet { file: vec![file] };
    Schema::new(
        format!("{package}.{}", shape.name),
        MESSAGE_ENCODING,
        set.encode_to_vec(),
    )
}

fn type_of(kind: Kind) -> Type {
    match kind {
        Kind::I32Array => Type::Sint32,
        Kind::F64Sequence | Kind::F64Array => Type::Double,
        Kind::Bool | Kind::BoolArray => Type::Bool,
    }
}

/// Appends the message of a sample's fields (checked against the channel's
/// shape) to `out`.
pub fn encode(fields: &Fields, out: &mut Vec<u8>) {
    for (i, values) in fields.values().enumerate() {
        let number = i as u64 + 1;
        match values {
            Values::I32(values) => {
                for &value in values {
                    tag(number, WireType::Varint, out);
                    encode_varint(u64::from(zigzag(value)), out);
                }
            }
            Values::F64(values) => {
                for &value in values {
                    tag(number, WireType::SixtyFourBit, out);
                    out.extend_from_slice(&at_float_precision(value).to_le_bytes());
                }
            }
            Values::Bool(values) => {
                for &value in values {
                    tag(number, WireType::Varint, out);
                    out.push(u8::from(value));
                }
            }
        }
    }
}

fn tag(number: u64, wire_type: WireType, out: &mut Vec<u8>) {
    encode_varint(number << 3 | wire_type as u64, out);
}

/// sint32's encoding: small magnitudes, either sign, take few bytes.
fn zigzag(value: i32) -> u32 {
    ((value << 1) ^ (value >> 31)) as u32
}

/// `value` at the float precision the robot measures in (exact for the
/// values that came from the robot as float).
pub(crate) fn at_float_precision(value: f64) -> f64 {
    f64::from(value as f32)
}

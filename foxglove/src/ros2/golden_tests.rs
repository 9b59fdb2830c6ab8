//! Our encoders and schema texts against the bytes and texts of an
//! independent implementation (tests/vectors/make_ros2_vectors.py: rosbags,
//! cross-checked with mcap-ros2-support).
use super::cdr::CdrWriter;
use super::definitions::{JOINT_STATE, JOY, TF_MESSAGE, WRENCH_STAMPED};
use super::record_msg::{definition, encode_record_msg, type_name};
use super::time::write_header;
use super::*;
use crate::field_table::{
    fields, Shape, VF_FIELD_BOOL, VF_FIELD_BOOL_ARRAY, VF_FIELD_F64_ARRAY, VF_FIELD_F64_SEQUENCE, VF_FIELD_I32_ARRAY,
};
use crate::joint_names::JointNames;
use crate::records::Pose;
use crate::test_table::Table;

struct TimeCase {
    name: &'static str,
    stamp: Time,
    cdr: &'static str,
}

struct HeaderCase {
    name: &'static str,
    stamp: Time,
    frame_id: &'static str,
    cdr: &'static str,
}

struct JointStateCase {
    name: &'static str,
    stamp: Time,
    first_joint: u32,
    position: &'static [f64],
    velocity: &'static [f64],
    effort: &'static [f64],
    cdr: &'static str,
}

struct TfCase {
    name: &'static str,
    stamp: Time,
    groups: &'static [(&'static str, Pose, Pose)],
    cdr: &'static str,
}

struct WrenchCase {
    name: &'static str,
    stamp: Time,
    frame_id: &'static str,
    wrench: [f64; 6],
    cdr: &'static str,
}

struct IoCase {
    name: &'static str,
    stamp: Time,
    estop_released: bool,
    enabling_device_on: bool,
    digital_inputs: [bool; 20],
    digital_outputs: [bool; 20],
    cdr: &'static str,
}

/// A field of a record as the C++ side's table gives it.
enum FieldCase {
    I32(&'static [i32]),
    Sequence(&'static [f64]),
    Array(&'static [f64]),
    Bool(&'static [bool]),
    Bools(&'static [bool]),
}

struct RecordMsgCase {
    name: &'static str,
    record: &'static str,
    stamp: Time,
    fields: &'static [(&'static std::ffi::CStr, FieldCase)],
    cdr: &'static str,
}

include!("../../../tests/vectors/ros2_vectors.rs");

fn hex(bytes: &[u8]) -> String {
    bytes.iter().map(|b| format!("{b:02x}")).collect()
}

/// Each case's encoding in one buffer kept across the cases, as a recorder
/// keeps it across samples, so that a byte left from the longer message
/// before shows.
fn check<C>(cases: &[C], name: impl Fn(&C) -> &str, expected: impl Fn(&C) -> &str, encode: impl Fn(&C, &mut Vec<u8>)) {
    let mut out = vec![0xAA; 4096];
    for case in cases.iter().rev() {
        encode(case, &mut out);
        assert_eq!(hex(&out), expected(case), "{}", name(case));
    }
}

#[test]
fn time_and_header_encode_as_ros2_does_negative_seconds_included() {
    check(
        TIMES,
        |c| c.name,
        |c| c.cdr,
        |c, out| c.stamp.write(&mut CdrWriter::new(out)),
    );
    check(
        HEADERS,
        |c| c.name,
        |c| c.cdr,
        |c, out| write_header(&mut CdrWriter::new(out), c.stamp, c.frame_id),
    );
}

#[test]
fn joint_states_encode_as_ros2_does_from_none_to_sixty_four_joints() {
    // One encoder for all, so that names kept from another group show.
    let mut encoder = JointStateEncoder::default();
    let mut out = Vec::new();
    for case in JOINT_STATES.iter().chain(JOINT_STATES) {
        let values = JointValues {
            position: case.position,
            velocity: case.velocity,
            effort: case.effort,
        };
        encoder.encode(case.stamp, case.first_joint, &JointNames::DEFAULTS, &values, &mut out);
        assert_eq!(hex(&out), case.cdr, "{}", case.name);
    }
}

#[test]
fn frames_encode_as_ros2_tf_with_the_quaternion_reordered() {
    check(
        TF_MESSAGES,
        |c| c.name,
        |c| c.cdr,
        |c, out| {
            let groups: Vec<_> = c
                .groups
                .iter()
                .map(|(group, tcp_pose, flange_pose)| GroupFrames {
                    group,
                    tcp_pose,
                    flange_pose,
                })
                .collect();
            encode_tf_message(c.stamp, &groups, out);
        },
    );
}

#[test]
fn wrenches_and_io_encode_as_ros2_does() {
    check(
        WRENCHES,
        |c| c.name,
        |c| c.cdr,
        |c, out| encode_wrench_stamped(c.stamp, c.frame_id, &c.wrench, out),
    );
    check(
        IOS,
        |c| c.name,
        |c| c.cdr,
        |c, out| {
            // Not the stamp the message carries: the receive time is.
            let (timestamp, estop, enabling) = ([99, 99], [c.estop_released], [c.enabling_device_on]);
            let table = Table::default()
                .field(c"timestamp", VF_FIELD_I32_ARRAY, &timestamp)
                .field(c"estop_released", VF_FIELD_BOOL, &estop)
                .field(c"enabling_device_on", VF_FIELD_BOOL, &enabling)
                .field(c"digital_inputs", VF_FIELD_BOOL_ARRAY, &c.digital_inputs)
                .field(c"digital_outputs", VF_FIELD_BOOL_ARRAY, &c.digital_outputs);
            let record = table.record(0);
            // SAFETY: the table's values are locals above, alive for the call.
            encode_io(c.stamp, &unsafe { fields(&record) }.unwrap(), out);
        },
    );
}

#[test]
fn schemas_and_qos_are_what_ros2_tools_generate_and_read() {
    let ours = [JOINT_STATE, TF_MESSAGE, WRENCH_STAMPED, JOY];
    assert_eq!(ours.len(), DEFINITIONS.len());
    for (schema, (name, definition)) in ours.iter().zip(DEFINITIONS) {
        assert_eq!(schema.name, *name);
        assert_eq!(schema.definition, *definition, "{name}");
    }
    assert_eq!(OFFERED_QOS_PROFILES, OFFERED_QOS);
}

#[test]
fn records_encode_whole_as_our_own_types_from_their_field_tables() {
    let mut out = vec![0xAA; 4096];
    for case in RECORD_MSGS.iter().rev() {
        let table = case
            .fields
            .iter()
            .fold(Table::default(), |table, (name, values)| match values {
                FieldCase::I32(values) => table.field(name, VF_FIELD_I32_ARRAY, values),
                FieldCase::Sequence(values) => table.field(name, VF_FIELD_F64_SEQUENCE, values),
                FieldCase::Array(values) => table.field(name, VF_FIELD_F64_ARRAY, values),
                FieldCase::Bool(values) => table.field(name, VF_FIELD_BOOL, values),
                FieldCase::Bools(values) => table.field(name, VF_FIELD_BOOL_ARRAY, values),
            });
        // SAFETY: the table's names and values are statics.
        let shape = unsafe { Shape::from_c(case.record, table.fields.as_ptr(), table.fields.len()) }.unwrap();
        let (name, text) = RECORD_DEFINITIONS
            .iter()
            .find(|(name, _)| *name == type_name(&shape))
            .unwrap_or_else(|| panic!("no definition of {}", case.record));
        assert_eq!(definition(&shape), *text, "{name}");
        let record = table.record(0);
        // SAFETY: as above.
        let fields = unsafe { fields(&record) }.unwrap();
        fields.check(&shape).unwrap();
        encode_record_msg(case.stamp, &shape, &fields, &mut out);
        assert_eq!(hex(&out), case.cdr, "{}", case.name);
    }
}

#[test]
fn a_receive_time_becomes_seconds_and_nanoseconds_and_stays_at_the_last_after_2038() {
    assert_eq!(
        Time::from_unix_nanos(1_765_324_800_123_456_789),
        Time {
            sec: 1_765_324_800,
            nanosec: 123_456_789
        }
    );
    let last = u64::try_from(i32::MAX).unwrap() * 1_000_000_000 + 999_999_999;
    assert_eq!(Time::from_unix_nanos(last), Time::MAX);
    assert_eq!(Time::from_unix_nanos(last + 1), Time::MAX);
    assert_eq!(Time::from_unix_nanos(u64::MAX), Time::MAX);
}

#[test]
fn a_message_reuses_the_buffer_the_one_before_grew() {
    let position = [1.0; 7];
    let values = JointValues {
        position: &position,
        velocity: &position,
        effort: &position,
    };
    let mut encoder = JointStateEncoder::default();
    let mut out = Vec::new();
    encoder.encode(Time::MAX, 0, &JointNames::DEFAULTS, &values, &mut out);
    let (address, capacity) = (out.as_ptr(), out.capacity());
    encoder.encode(Time::MAX, 0, &JointNames::DEFAULTS, &values, &mut out);
    assert_eq!((out.as_ptr(), out.capacity()), (address, capacity));
}

//! The encoders against the SDK's own decoders and the bytes it wrote.
use std::ffi::CString;

use foxglove::messages::{FrameTransforms, JointStates};
use foxglove::Decode;
use prost::Message;

use super::*;
use crate::field_table::{
    fields, VfRecord, VF_FIELD_BOOL, VF_FIELD_BOOL_ARRAY, VF_FIELD_F64_ARRAY, VF_FIELD_F64_SEQUENCE, VF_FIELD_I32_ARRAY,
};
use crate::joint_names::JointNames;
use crate::test_table::{Table, STATES_CARTESIAN, STATES_JOINTS};

/// A group's states with every value distinct, so that a swapped field shows.
struct Sample {
    group: CString,
    stamp: [i32; 2],
    joints: Vec<Vec<f64>>,
    cartesian: Vec<Vec<f64>>,
}

impl Sample {
    fn new(group: &str, joints: usize) -> Self {
        let joint_field = |field: usize| (0..joints).map(|j| (field * 10 + j) as f64 + 0.25).collect();
        let cartesian_field = |field: usize, len: usize| (0..len).map(|i| 100.0 + (field * 10 + i) as f64).collect();
        Self {
            group: CString::new(group).unwrap(),
            stamp: [-7, 123_456],
            joints: (0..9).map(joint_field).collect(),
            cartesian: (0..8).map(|f| cartesian_field(f, if f < 2 { 7 } else { 6 })).collect(),
        }
    }

    /// The RobotStates record's table, fields in the record's order.
    fn states(&self) -> Table<'_> {
        let mut table = Table::default().field(c"timestamp", VF_FIELD_I32_ARRAY, &self.stamp);
        for (name, values) in STATES_JOINTS.into_iter().zip(&self.joints) {
            table = table.field(name, VF_FIELD_F64_SEQUENCE, values);
        }
        for (name, values) in STATES_CARTESIAN.into_iter().zip(&self.cartesian) {
            table = table.field(name, VF_FIELD_F64_ARRAY, values);
        }
        table
    }
}

/// Checks `record` and encodes it as the log call does.
fn try_encode(encoder: &mut Encoder, log_time: u64, record: &VfRecord, out: &mut Vec<u8>) -> Result<(), Failure> {
    // SAFETY: every test's record points into values that outlive the call;
    // a NULL array is refused before it is read.
    let fields = unsafe { fields(record) }?;
    encoder.encode_record(log_time, &fields, &JointNames::DEFAULTS, out)
}

fn encode_record(encoder: &mut Encoder, log_time: u64, record: &VfRecord) -> Vec<u8> {
    let mut out = Vec::new();
    try_encode(encoder, log_time, record, &mut out)
        .map_err(|f| f.message)
        .unwrap();
    out
}

impl Sample {
    fn frames(&self) -> VfGroupFrames {
        VfGroupFrames {
            group: self.group.as_ptr(),
            tcp_pose: self.cartesian[1].as_ptr(),
            flange_pose: self.cartesian[0].as_ptr(),
        }
    }
}

fn encode_frames(encoder: &mut Encoder, log_time: u64, samples: &[&Sample]) -> FrameTransforms {
    let groups: Vec<_> = samples.iter().map(|sample| sample.frames()).collect();
    let mut out = Vec::new();
    // SAFETY: the frames point into `samples`, which outlive the call.
    unsafe { encoder.encode_frames(log_time, &groups, &mut out) }
        .map_err(|f| f.message)
        .unwrap();
    <FrameTransforms as Decode>::decode(&out[..]).unwrap()
}

#[test]
fn one_frames_message_holds_every_group_with_the_quaternion_reordered() {
    let (arm_1, mut arm_2) = (Sample::new("ARM_1", 7), Sample::new("ARM_2", 7));
    arm_2.cartesian[1][0] = -1.5; // a pose of its own, so that a group given another's shows
    let mut encoder = Encoder::new(VF_SCHEMA_FRAME_TRANSFORMS).unwrap();
    let frames = encode_frames(&mut encoder, 1_700_000_000_123_456_789, &[&arm_1, &arm_2]);

    let names: Vec<_> = frames
        .transforms
        .iter()
        .map(|t| (&*t.parent_frame_id, &*t.child_frame_id))
        .collect();
    let expected = [("world", "ARM_1_tcp"), ("world", "ARM_1_flange")];
    assert_eq!(names[..2], expected);
    assert_eq!(names[2..], [("world", "ARM_2_tcp"), ("world", "ARM_2_flange")]);
    let poses = [
        &arm_1.cartesian[1],
        &arm_1.cartesian[0],
        &arm_2.cartesian[1],
        &arm_2.cartesian[0],
    ];
    for (transform, pose) in frames.transforms.iter().zip(poses) {
        let t = transform.translation.as_ref().unwrap();
        assert_eq!([t.x, t.y, t.z], pose[..3]);
        let r = transform.rotation.as_ref().unwrap();
        assert_eq!([r.x, r.y, r.z, r.w], [pose[4], pose[5], pose[6], pose[3]]);
        let stamp = transform.timestamp.unwrap();
        assert_eq!((stamp.sec(), stamp.nsec()), (1_700_000_000, 123_456_789));
    }

    // Other groups on the same channel: the frames are named after them.
    let frames = encode_frames(&mut encoder, 2, &[&arm_2]);
    let names: Vec<_> = frames.transforms.iter().map(|t| &*t.child_frame_id).collect();
    assert_eq!(names, ["ARM_2_tcp", "ARM_2_flange"]);
    assert_eq!(frames.transforms[0].translation.as_ref().unwrap().x, -1.5);
    assert!(encode_frames(&mut encoder, 3, &[]).transforms.is_empty());
}

#[test]
fn joint_states_name_joints_by_robot_index_and_follow_a_new_layout() {
    let sample = Sample::new("ARM_2", 7);
    let mut encoder = Encoder::new(VF_SCHEMA_JOINT_STATES).unwrap();
    let bytes = encode_record(&mut encoder, 5, &sample.states().record(7));
    let joints = <JointStates as Decode>::decode(&bytes[..]).unwrap().joints;

    let names: Vec<_> = joints.iter().map(|j| j.name.as_str()).collect();
    assert_eq!(
        names,
        ["joint_7", "joint_8", "joint_9", "joint_10", "joint_11", "joint_12", "joint_13"]
    );
    for (i, joint) in joints.iter().enumerate() {
        assert_eq!(joint.position, Some(sample.joints[0][i]));
        assert_eq!(joint.velocity, Some(sample.joints[2][i]));
        assert_eq!(joint.effort, Some(sample.joints[4][i]));
        assert_eq!(joint.acceleration, None);
    }

    // The same channel, a group of another size and start: names follow.
    let smaller = Sample::new("EXT_AXIS", 2);
    let mut names_at = |log_time, first_joint| -> Vec<String> {
        let bytes = encode_record(&mut encoder, log_time, &smaller.states().record(first_joint));
        let joints = <JointStates as Decode>::decode(&bytes[..]).unwrap().joints;
        joints.into_iter().map(|j| j.name).collect()
    };
    assert_eq!(names_at(6, 14), ["joint_14", "joint_15"]);
    assert_eq!(names_at(7, 3), ["joint_3", "joint_4"]);

    // Names given for some joints (a robot model's): the others keep theirs,
    // and a channel that named its joints before names them again.
    let given = JointNames::new(["base", "", "", "wrist"].map(String::from).to_vec());
    let (table, mut out) = (smaller.states(), Vec::new());
    let record = table.record(2);
    // SAFETY: `smaller`'s values outlive the call.
    let fields = unsafe { fields(&record) }.unwrap();
    encoder.encode_record(8, &fields, &given, &mut out).unwrap();
    let joints = <JointStates as Decode>::decode(&out[..]).unwrap().joints;
    let names: Vec<_> = joints.iter().map(|j| j.name.as_str()).collect();
    assert_eq!(names, ["joint_2", "wrist"]);
}

/// The RobotStates message as a protobuf reader sees it (repeated scalars
/// read the same packed or not).
#[derive(Clone, PartialEq, prost::Message)]
struct StatesAsRead {
    #[prost(sint32, repeated, tag = "1")]
    timestamp: Vec<i32>,
    #[prost(double, repeated, tag = "2")]
    q: Vec<f64>,
    #[prost(double, repeated, tag = "10")]
    temperature: Vec<f64>,
    #[prost(double, repeated, tag = "11")]
    flange_pose: Vec<f64>,
    #[prost(double, repeated, tag = "14")]
    tcp_wrench: Vec<f64>,
    #[prost(double, repeated, tag = "18")]
    raw_ft_sensor: Vec<f64>,
}

#[test]
fn states_keep_the_values_at_float_precision_and_the_stamp_exactly() {
    let mut sample = Sample::new("ARM_1", 7);
    // A wrench the client rotated into the world frame carries digits the
    // sensor never measured.
    sample.cartesian[3][0] = 0.1;
    let table = sample.states();
    let bytes = encode_record(&mut table.encoder("RobotStates"), 0, &table.record(0));
    let read = StatesAsRead::decode(&bytes[..]).unwrap();
    assert_eq!(read.timestamp, [-7, 123_456]);
    assert_eq!(read.q, sample.joints[0]);
    assert_eq!(read.temperature, sample.joints[8]);
    assert_eq!(read.flange_pose, sample.cartesian[0]);
    assert_eq!(read.tcp_wrench[0], f64::from(0.1f32));
    assert_eq!(read.tcp_wrench[1..], sample.cartesian[3][1..]);
    assert_eq!(read.raw_ft_sensor, sample.cartesian[7]);
}

#[test]
fn a_record_unlike_its_channel_or_its_own_joints_is_refused() {
    use velmor_abi::code::ENULL;
    let sample = Sample::new("ARM_1", 7);
    let table = sample.states();
    let mut states = table.encoder("RobotStates");
    let failure = |encoder: &mut Encoder, table: &Table| {
        let failure = try_encode(encoder, 0, &table.record(0), &mut Vec::new()).unwrap_err();
        (failure.code, failure.message)
    };

    // Another record's table, or this one's with a field missing, renamed,
    // of another kind or of another fixed length, would be read as fields
    // it is not.
    let other = Sample::new("ARM_1", 7);
    let mut shorter = other.states();
    shorter.fields.pop();
    assert_eq!(failure(&mut states, &shorter).0, EINVAL);
    let mut renamed = other.states();
    renamed.fields[1].name = c"theta".as_ptr();
    renamed.fields[2].name = c"q".as_ptr();
    assert_eq!(failure(&mut states, &renamed).0, EINVAL);
    let mut rekinded = other.states();
    rekinded.fields[10].kind = VF_FIELD_F64_SEQUENCE;
    rekinded.fields[10].len = 7;
    assert_eq!(failure(&mut states, &rekinded).0, EINVAL);
    let mut resized = other.states();
    resized.fields[12].len = 5;
    assert_eq!(failure(&mut states, &resized).0, EINVAL);

    // A per-joint vector of another length, on either kind of channel.
    let mut uneven = other.states();
    uneven.fields[9].len = 6;
    let expected = (EINVAL, "a record's joint vectors differ in length".to_owned());
    assert_eq!(failure(&mut states, &uneven), expected);
    let mut joints = Encoder::new(VF_SCHEMA_JOINT_STATES).unwrap();
    assert_eq!(failure(&mut joints, &uneven), expected);

    let mut missing = other.states();
    missing.fields[1].data = std::ptr::null();
    assert_eq!(failure(&mut joints, &missing), (ENULL, "q is NULL".to_owned()));
    let mut frames = Encoder::new(VF_SCHEMA_FRAME_TRANSFORMS).unwrap();
    assert_eq!(failure(&mut frames, &table).0, EINVAL);
    let mut out = Vec::new();
    // SAFETY: the frames point into `sample`, which outlives the call.
    assert!(unsafe { states.encode_frames(0, &[sample.frames()], &mut out) }.is_err());

    let fields = (table.fields.as_ptr(), table.fields.len());
    for name in ["", "robot.States", "Robot States"] {
        // SAFETY: as above.
        assert!(unsafe { Shape::from_c(name, fields.0, fields.1) }.is_err(), "{name}");
    }
    let twice = Table::default().field(c"q", VF_FIELD_F64_SEQUENCE, &sample.joints[0]);
    let twice = twice.field(c"q", VF_FIELD_F64_SEQUENCE, &sample.joints[1]);
    // SAFETY: as above.
    assert!(unsafe { Shape::from_c("Twice", twice.fields.as_ptr(), 2) }.is_err());
    assert!(Encoder::new(2).is_err());
}

/// Recorded bytes of our schemas and of one message each, as this crate
/// wrote them when every field was spelled out by hand: an MCAP file keeps
/// its bytes, schema records included, whatever builds them. Run with
/// VELMOR_BLESS_VECTORS=1 to write the files again (only for a change of
/// format that is meant).
mod recorded {
    use super::*;

    const DIR: &str = concat!(env!("CARGO_MANIFEST_DIR"), "/../tests/vectors/foxglove");

    fn check(name: &str, schema: &[u8], message: &[u8]) {
        let path = |what: &str| format!("{DIR}/{name}.{what}.bin");
        if std::env::var_os("VELMOR_BLESS_VECTORS").is_some() {
            std::fs::create_dir_all(DIR).unwrap();
            std::fs::write(path("schema"), schema).unwrap();
            std::fs::write(path("message"), message).unwrap();
            return;
        }
        assert!(
            std::fs::read(path("schema")).unwrap() == schema,
            "{name}: schema bytes differ"
        );
        assert!(
            std::fs::read(path("message")).unwrap() == message,
            "{name}: message bytes differ"
        );
    }

    /// Values that float precision changes, negative ones, zeros (written
    /// all the same) and a stamp with a negative half, so that rounding,
    /// zigzag and every value's tag show.
    fn sample() -> Sample {
        let mut sample = Sample::new("ARM_1", 7);
        for (f, field) in sample.joints.iter_mut().enumerate() {
            for (j, value) in field.iter_mut().enumerate() {
                *value = (f as f64 - 4.0) * 0.1 + j as f64 * 1e-9;
            }
        }
        sample.cartesian[3] = vec![0.1, -0.2, 0.0, 1e30, -0.0, 3.0];
        sample.cartesian[7] = vec![0.0; 6];
        sample
    }

    fn schema_and_message(mut encoder: Encoder, log_time: u64, record: &VfRecord) -> (Vec<u8>, Vec<u8>) {
        let message = encode_record(&mut encoder, log_time, record);
        (encoder.schema().data.into_owned(), message)
    }

    #[test]
    fn our_schemas_and_messages_keep_their_recorded_bytes() {
        let sample = sample();
        let states = sample.states();
        let (schema, message) = schema_and_message(states.encoder("RobotStates"), 0, &states.record(3));
        check("robotstates", &schema, &message);
        let joints = Encoder::new(VF_SCHEMA_JOINT_STATES).unwrap();
        let (schema, message) = schema_and_message(joints, 1_700_000_000_123_456_789, &states.record(3));
        check("jointstates", &schema, &message);

        let stamp = [i32::MIN, i32::MAX];
        let (j, c) = (&sample.joints, &sample.cartesian);
        let actions = Table::default()
            .field(c"timestamp", VF_FIELD_I32_ARRAY, &stamp)
            .field(c"q_d", VF_FIELD_F64_SEQUENCE, &j[1])
            .field(c"dq_d", VF_FIELD_F64_SEQUENCE, &j[4])
            .field(c"tau_d", VF_FIELD_F64_SEQUENCE, &j[8])
            .field(c"tcp_pose_d", VF_FIELD_F64_ARRAY, &c[1])
            .field(c"tcp_twist_d", VF_FIELD_F64_ARRAY, &c[2])
            .field(c"tcp_wrench_d", VF_FIELD_F64_ARRAY, &c[3]);
        let (schema, message) = schema_and_message(actions.encoder("RobotActions"), 0, &actions.record(0));
        check("robotactions", &schema, &message);

        let (mut inputs, mut outputs) = ([false; 20], [true; 20]);
        inputs[3] = true;
        outputs[19] = false;
        let io = Table::default()
            .field(c"timestamp", VF_FIELD_I32_ARRAY, &[5, -1])
            .field(c"estop_released", VF_FIELD_BOOL, &[true])
            .field(c"enabling_device_on", VF_FIELD_BOOL, &[false])
            .field(c"digital_inputs", VF_FIELD_BOOL_ARRAY, &inputs)
            .field(c"digital_outputs", VF_FIELD_BOOL_ARRAY, &outputs);
        let (schema, message) = schema_and_message(io.encoder("RobotIo"), 0, &io.record(0));
        check("robotio", &schema, &message);
    }
}

//! The encoders against the SDK's own decoders and our schemas' descriptors.
use std::ffi::CString;

use foxglove::messages::{FrameTransforms, JointStates};
use foxglove::Decode;
use prost::Message;

use super::*;

/// A group's states with every value distinct, so that a swapped field shows.
struct Sample {
    group: CString,
    joints: Vec<Vec<f64>>,
    cartesian: Vec<Vec<f64>>,
}

impl Sample {
    fn new(group: &str, joints: usize) -> Self {
        let joint_field = |field: usize| (0..joints).map(|j| (field * 10 + j) as f64 + 0.25).collect();
        let cartesian_field = |field: usize, len: usize| (0..len).map(|i| 100.0 + (field * 10 + i) as f64).collect();
        Self {
            group: CString::new(group).unwrap(),
            joints: (0..9).map(joint_field).collect(),
            cartesian: (0..8).map(|f| cartesian_field(f, if f < 2 { 7 } else { 6 })).collect(),
        }
    }

    fn states(&self, first_joint: u32) -> VfGroupStates {
        let j = |i: usize| self.joints[i].as_ptr();
        let c = |i: usize| self.cartesian[i].as_ptr();
        VfGroupStates {
            first_joint,
            joints: self.joints[0].len(),
            timestamp: [-7, 123_456],
            q: j(0),
            theta: j(1),
            dq: j(2),
            dtheta: j(3),
            tau: j(4),
            tau_dot: j(5),
            tau_ext: j(6),
            tau_interact: j(7),
            temperature: j(8),
            flange_pose: c(0),
            tcp_pose: c(1),
            tcp_twist: c(2),
            tcp_wrench: c(3),
            tcp_wrench_local: c(4),
            raw_tcp_wrench: c(5),
            raw_tcp_wrench_local: c(6),
            raw_ft_sensor: c(7),
        }
    }
}

fn encode_states(encoder: &mut Encoder, log_time: u64, states: &VfGroupStates) -> Vec<u8> {
    let mut out = Vec::new();
    // SAFETY: every test's states come from a Sample that outlives the call.
    unsafe { encoder.encode_states(log_time, states, &mut out) }
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
    let bytes = encode_states(&mut encoder, 5, &sample.states(7));
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
        let bytes = encode_states(&mut encoder, log_time, &smaller.states(first_joint));
        let joints = <JointStates as Decode>::decode(&bytes[..]).unwrap().joints;
        joints.into_iter().map(|j| j.name).collect()
    };
    assert_eq!(names_at(6, 14), ["joint_14", "joint_15"]);
    assert_eq!(names_at(7, 3), ["joint_3", "joint_4"]);
}

/// Our schemas' fields as their descriptors declare them: (name, type, repeated).
fn declared_fields(encoder: &Encoder) -> Vec<(String, i32, bool)> {
    use foxglove::prost_types::field_descriptor_proto::Label;
    let schema = encoder.schema();
    assert_eq!(schema.encoding, "protobuf");
    let set = foxglove::prost_types::FileDescriptorSet::decode(&schema.data[..]).unwrap();
    let short_name = schema.name.rsplit('.').next().unwrap();
    let message = set
        .file
        .iter()
        .flat_map(|f| &f.message_type)
        .find(|m| m.name() == short_name)
        .unwrap();
    message
        .field
        .iter()
        .map(|f| (f.name().to_owned(), f.r#type() as i32, f.label() == Label::Repeated))
        .collect()
}

#[test]
fn our_schemas_carry_every_field_of_the_records_under_their_names() {
    use foxglove::prost_types::field_descriptor_proto::Type;
    let (double, sint32, boolean) = (Type::Double as i32, Type::Sint32 as i32, Type::Bool as i32);
    let expect = |names: &[&str], kind: i32| names.iter().map(|n| (n.to_string(), kind, true)).collect::<Vec<_>>();

    let states = [
        "q",
        "theta",
        "dq",
        "dtheta",
        "tau",
        "tau_dot",
        "tau_ext",
        "tau_interact",
        "temperature",
        "flange_pose",
        "tcp_pose",
        "tcp_twist",
        "tcp_wrench",
        "tcp_wrench_local",
        "raw_tcp_wrench",
        "raw_tcp_wrench_local",
        "raw_ft_sensor",
    ];
    let mut wanted = expect(&["timestamp"], sint32);
    wanted.extend(expect(&states, double));
    assert_eq!(declared_fields(&Encoder::new(VF_SCHEMA_ROBOT_STATES).unwrap()), wanted);

    let actions = ["q_d", "dq_d", "tau_d", "tcp_pose_d", "tcp_twist_d", "tcp_wrench_d"];
    let mut wanted = expect(&["timestamp"], sint32);
    wanted.extend(expect(&actions, double));
    assert_eq!(declared_fields(&Encoder::new(VF_SCHEMA_ROBOT_ACTIONS).unwrap()), wanted);

    let io = declared_fields(&Encoder::new(VF_SCHEMA_ROBOT_IO).unwrap());
    let wanted = vec![
        ("timestamp".to_owned(), sint32, true),
        ("estop_released".to_owned(), boolean, false),
        ("enabling_device_on".to_owned(), boolean, false),
        ("digital_inputs".to_owned(), boolean, true),
        ("digital_outputs".to_owned(), boolean, true),
    ];
    assert_eq!(io, wanted);
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
    let mut encoder = Encoder::new(VF_SCHEMA_ROBOT_STATES).unwrap();
    let bytes = encode_states(&mut encoder, 0, &sample.states(0));
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
fn a_record_on_a_channel_of_another_schema_is_refused() {
    let sample = Sample::new("ARM_1", 7);
    let mut out = Vec::new();
    let mut actions = Encoder::new(VF_SCHEMA_ROBOT_ACTIONS).unwrap();
    let mut frames = Encoder::new(VF_SCHEMA_FRAME_TRANSFORMS).unwrap();
    let mut joints = Encoder::new(VF_SCHEMA_JOINT_STATES).unwrap();
    let mut states = sample.states(0);
    // SAFETY: the records point into `sample`, which outlives every call, and
    // a NULL array is refused before it is read.
    unsafe {
        let failure = actions.encode_states(0, &states, &mut out).err().unwrap();
        assert_eq!(failure.code, EINVAL);
        assert!(frames.encode_states(0, &states, &mut out).is_err());
        assert!(actions.encode_frames(0, &[sample.frames()], &mut out).is_err());

        states.q = std::ptr::null();
        assert_eq!(
            joints.encode_states(0, &states, &mut out).err().unwrap().code,
            velmor_abi::code::ENULL
        );
    }
    assert!(Encoder::new(5).is_err());
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

    fn schema_and_message(schema: VfSchema, encode: impl FnOnce(&mut Encoder, &mut Vec<u8>)) -> (Vec<u8>, Vec<u8>) {
        let mut encoder = Encoder::new(schema).unwrap();
        let mut out = Vec::new();
        encode(&mut encoder, &mut out);
        (encoder.schema().data.into_owned(), out)
    }

    #[test]
    fn our_schemas_and_messages_keep_their_recorded_bytes() {
        let sample = sample();
        let states = sample.states(3);
        let (schema, message) = schema_and_message(VF_SCHEMA_ROBOT_STATES, |e, out| {
            // SAFETY: the states point into `sample`, which outlives the call.
            unsafe { e.encode_states(0, &states, out) }
                .map_err(|f| f.message)
                .unwrap()
        });
        check("robotstates", &schema, &message);
        let (schema, message) = schema_and_message(VF_SCHEMA_JOINT_STATES, |e, out| {
            // SAFETY: as above.
            unsafe { e.encode_states(1_700_000_000_123_456_789, &states, out) }
                .map_err(|f| f.message)
                .unwrap()
        });
        check("jointstates", &schema, &message);

        let j = |i: usize| sample.joints[i].as_ptr();
        let c = |i: usize| sample.cartesian[i].as_ptr();
        let actions = VfGroupActions {
            joints: 7,
            timestamp: [i32::MIN, i32::MAX],
            q_d: j(1),
            dq_d: j(4),
            tau_d: j(8),
            tcp_pose_d: c(1),
            tcp_twist_d: c(2),
            tcp_wrench_d: c(3),
        };
        let (schema, message) = schema_and_message(VF_SCHEMA_ROBOT_ACTIONS, |e, out| {
            // SAFETY: the actions point into `sample`, which outlives the call.
            unsafe { e.encode_actions(&actions, out) }
                .map_err(|f| f.message)
                .unwrap()
        });
        check("robotactions", &schema, &message);

        let mut io = VfIo {
            timestamp: [5, -1],
            estop_released: true,
            enabling_device_on: false,
            digital_inputs: [false; 20],
            digital_outputs: [true; 20],
        };
        io.digital_inputs[3] = true;
        io.digital_outputs[19] = false;
        let (schema, message) = schema_and_message(VF_SCHEMA_ROBOT_IO, |e, out| e.encode_io(&io, out).unwrap());
        check("robotio", &schema, &message);
    }
}

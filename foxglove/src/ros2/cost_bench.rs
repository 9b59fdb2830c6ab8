//! What a sample costs to encode as CDR, beside the protobuf encoders a
//! recording uses today, on the same values. A benchmark, not a test: it
//! prints figures and asserts nothing about time.
//!
//!   cargo test --release --lib -p velmor_foxglove encode_cost -- --ignored --nocapture
//!
//! One row per message: ns per sample, the median of several rounds, each
//! encoding into one buffer kept across samples as a recorder keeps it. The
//! last two rows are a whole sample of five groups (the basic stream's and
//! the extra one's) as each recording's channels encode it, message by
//! message, with the check of the record's table that every log call makes,
//! their rounds interleaved; scripts/bench reads them by their names.
use std::ffi::CString;
use std::hint::black_box;
use std::time::{Duration, Instant};

use super::*;
use crate::encoder::{Encoder, VF_SCHEMA_FRAME_TRANSFORMS, VF_SCHEMA_JOINT_STATES};
use crate::field_table::{
    fields, Shape, VfRecord, VF_FIELD_BOOL, VF_FIELD_BOOL_ARRAY, VF_FIELD_F64_ARRAY, VF_FIELD_F64_SEQUENCE,
    VF_FIELD_I32_ARRAY,
};
use crate::joint_names::JointNames;
use crate::records::{Pose, VfGroupFrames};
use crate::test_table::{Table, STATES_CARTESIAN, STATES_JOINTS};

const ROUNDS: usize = 7;
const ROUND_TIME: Duration = Duration::from_millis(200);
const JOINTS: usize = 7;
const GROUPS: usize = 5;
const RECEIVE_TIME: u64 = 1_765_324_800_123_456_789;

/// Prints the median ns per call of `encode`, which encodes one sample
/// into `out`, beside the size of what it encoded.
fn time_per_sample(name: &str, mut encode: impl FnMut(&mut Vec<u8>)) {
    let mut out = Vec::new();
    encode(&mut out);
    let bytes = out.len();
    print_row(name, bytes, median_ns(|| encode(black_box(&mut out))));
}

fn print_row(name: &str, bytes: usize, ns: f64) {
    println!("{name:<34} {bytes:>6} B {ns:>9.1} ns");
}

/// Median ns per call of `call`.
fn median_ns(mut call: impl FnMut()) -> f64 {
    median((0..ROUNDS).map(|_| round_ns(&mut call)).collect())
}

/// ns per call of `call`, over one round.
fn round_ns(mut call: impl FnMut()) -> f64 {
    let start = Instant::now();
    let mut samples = 0u64;
    while start.elapsed() < ROUND_TIME {
        for _ in 0..1000 {
            call();
        }
        samples += 1000;
    }
    start.elapsed().as_nanos() as f64 / samples as f64
}

fn median(mut rounds: Vec<f64>) -> f64 {
    rounds.sort_by(f64::total_cmp);
    rounds[rounds.len() / 2]
}

/// Which record of a sample a channel encodes.
#[derive(Clone, Copy)]
enum Source {
    States,
    Actions,
    Io,
    Frames,
}

/// The records of one sample, as the recorder hands them to the channels.
struct SampleRecords<'a> {
    states: VfRecord,
    actions: VfRecord,
    io: VfRecord,
    frames: &'a [VfGroupFrames],
}

/// A recording's channels for one robot: each group's, then /tf and /io.
struct RecordingChannels(Vec<(Encoder, Source)>);

impl RecordingChannels {
    fn new(group: impl Fn() -> Vec<(Encoder, Source)>, tf: Encoder, io: Encoder) -> Self {
        let mut channels: Vec<_> = (0..GROUPS).flat_map(|_| group()).collect();
        channels.extend([(tf, Source::Frames), (io, Source::Io)]);
        Self(channels)
    }

    /// Encodes one sample on every channel into `out` in turn, as the
    /// writer does before it copies each message into its chunk; returns
    /// the bytes of all the messages.
    fn encode(&mut self, sample: &SampleRecords, out: &mut Vec<u8>) -> usize {
        let mut bytes = 0;
        for (encoder, source) in &mut self.0 {
            let record = match source {
                Source::States => &sample.states,
                Source::Actions => &sample.actions,
                Source::Io => &sample.io,
                Source::Frames => {
                    // SAFETY: every group's name and poses point into values
                    // the caller keeps alive for the call.
                    unsafe { encoder.encode_frames(RECEIVE_TIME, sample.frames, out) }.unwrap();
                    bytes += out.len();
                    continue;
                }
            };
            // SAFETY: the records' tables are over values the caller keeps
            // alive for the call.
            let fields = unsafe { fields(record) }.unwrap();
            encoder
                .encode_record(RECEIVE_TIME, &fields, &JointNames::DEFAULTS, out)
                .unwrap();
            bytes += out.len();
        }
        bytes
    }
}

fn ros2_encoder(message: VfRos2Message, frame_id: &str) -> Encoder {
    Encoder::Ros2(Box::new(Ros2Channel::new(message, frame_id).unwrap()))
}

/// Times a whole sample on each recording's channels, the recordings in
/// turn round after round, so that a change in the machine's load falls on
/// them alike.
fn time_recordings(mut recordings: Vec<(&str, RecordingChannels)>, sample: &SampleRecords) {
    let mut out = Vec::new();
    let mut rounds = vec![Vec::new(); recordings.len()];
    for _ in 0..ROUNDS {
        for ((_, channels), times) in recordings.iter_mut().zip(&mut rounds) {
            times.push(round_ns(|| {
                channels.encode(sample, black_box(&mut out));
            }));
        }
    }
    for ((name, mut channels), times) in recordings.into_iter().zip(rounds) {
        let bytes = channels.encode(sample, &mut out);
        print_row(name, bytes, median(times));
    }
}

fn pose(base: f64) -> Pose {
    [base, base + 0.1, base + 0.2, 0.9, 0.1, -0.2, 0.3]
}

#[test]
#[ignore = "a benchmark: prints figures"]
fn encode_cost() {
    let q: Vec<f64> = (0..JOINTS).map(|j| j as f64 * 0.1).collect();
    let dq: Vec<f64> = q.iter().map(|v| -v).collect();
    let tau: Vec<f64> = q.iter().map(|v| v * 10.0).collect();
    let names: Vec<CString> = (0..GROUPS).map(|g| CString::new(format!("arm_{g}")).unwrap()).collect();
    let poses: Vec<(Pose, Pose)> = (0..GROUPS).map(|g| (pose(g as f64), pose(g as f64 + 0.5))).collect();

    println!("{:<34} {:>8} {:>12}", "message", "size", "per sample");
    let mut joint_states = JointStateEncoder::default();
    time_per_sample("ros2 JointState, 7 joints", |out| {
        let values = JointValues {
            position: &q,
            velocity: &dq,
            effort: &tau,
        };
        joint_states.encode(
            Time::from_unix_nanos(RECEIVE_TIME),
            7,
            &JointNames::DEFAULTS,
            &values,
            out,
        );
    });

    let mut protobuf = Encoder::new(VF_SCHEMA_JOINT_STATES).unwrap();
    // The joint states read only q, dq and tau of a group's states.
    let states = Table::default()
        .field(c"q", VF_FIELD_F64_SEQUENCE, &q)
        .field(c"dq", VF_FIELD_F64_SEQUENCE, &dq)
        .field(c"tau", VF_FIELD_F64_SEQUENCE, &tau);
    let record = states.record(7);
    time_per_sample("protobuf JointStates, 7 joints", |out| {
        // SAFETY: the table's values are the vectors above, which outlive
        // the call.
        let fields = unsafe { fields(&record) }.unwrap();
        protobuf
            .encode_record(RECEIVE_TIME, &fields, &JointNames::DEFAULTS, out)
            .unwrap();
    });

    time_per_sample("ros2 TFMessage, 5 groups", |out| {
        let groups: [GroupFrames; GROUPS] = std::array::from_fn(|g| GroupFrames {
            group: names[g].to_str().unwrap(),
            tcp_pose: &poses[g].0,
            flange_pose: &poses[g].1,
        });
        encode_tf_message(Time::from_unix_nanos(RECEIVE_TIME), &groups, out);
    });

    let mut protobuf = Encoder::new(VF_SCHEMA_FRAME_TRANSFORMS).unwrap();
    let frames: Vec<VfGroupFrames> = (0..GROUPS)
        .map(|g| VfGroupFrames {
            group: names[g].as_ptr(),
            tcp_pose: poses[g].0.as_ptr(),
            flange_pose: poses[g].1.as_ptr(),
        })
        .collect();
    time_per_sample("protobuf FrameTransforms, 5 groups", |out| {
        // SAFETY: every group's name and poses point into the vectors above,
        // which outlive the call.
        unsafe { protobuf.encode_frames(RECEIVE_TIME, &frames, out) }.unwrap();
    });

    let wrench = [1.0, 2.0, 3.0, 0.1, 0.2, 0.3];
    time_per_sample("ros2 WrenchStamped", |out| {
        encode_wrench_stamped(Time::from_unix_nanos(RECEIVE_TIME), "arm_0_tcp", &wrench, out);
    });

    // A group's states whole: the stamp pair, nine per-joint fields, two
    // poses, a twist and five wrenches.
    let (stamp, pose) = ([1, 2], pose(0.0));
    let states = STATES_JOINTS.into_iter().fold(
        Table::default().field(c"timestamp", VF_FIELD_I32_ARRAY, &stamp),
        |table, name| table.field(name, VF_FIELD_F64_SEQUENCE, &q),
    );
    let (pose_names, wrench_names) = STATES_CARTESIAN.split_at(2);
    let states = pose_names
        .iter()
        .fold(states, |table, name| table.field(name, VF_FIELD_F64_ARRAY, &pose));
    let states = wrench_names
        .iter()
        .fold(states, |table, name| table.field(name, VF_FIELD_F64_ARRAY, &wrench));
    let record = states.record(7);
    // SAFETY: the table's names and values outlive the call.
    let shape = unsafe { Shape::from_c("RobotStates", states.fields.as_ptr(), states.fields.len()) }.unwrap();
    let mut whole = Ros2Channel::record(shape);
    time_per_sample("ros2 RobotStates, 7 joints", |out| {
        // SAFETY: as above.
        let fields = unsafe { fields(&record) }.unwrap();
        whole
            .encode_record(&fields, &JointNames::DEFAULTS, Time::from_unix_nanos(RECEIVE_TIME), out)
            .unwrap();
    });
    let mut protobuf = states.encoder("RobotStates");
    time_per_sample("protobuf RobotStates, 7 joints", |out| {
        // SAFETY: as above.
        let fields = unsafe { fields(&record) }.unwrap();
        protobuf
            .encode_record(RECEIVE_TIME, &fields, &JointNames::DEFAULTS, out)
            .unwrap();
    });

    let actions = Table::default()
        .field(c"timestamp", VF_FIELD_I32_ARRAY, &stamp)
        .field(c"q_d", VF_FIELD_F64_SEQUENCE, &q)
        .field(c"dq_d", VF_FIELD_F64_SEQUENCE, &dq)
        .field(c"tau_d", VF_FIELD_F64_SEQUENCE, &tau)
        .field(c"tcp_pose_d", VF_FIELD_F64_ARRAY, &pose)
        .field(c"tcp_twist_d", VF_FIELD_F64_ARRAY, &wrench)
        .field(c"tcp_wrench_d", VF_FIELD_F64_ARRAY, &wrench);
    let (inputs, outputs) = ([true; 20], [false; 20]);
    let io = Table::default()
        .field(c"timestamp", VF_FIELD_I32_ARRAY, &stamp)
        .field(c"estop_released", VF_FIELD_BOOL, &[true])
        .field(c"enabling_device_on", VF_FIELD_BOOL, &[false])
        .field(c"digital_inputs", VF_FIELD_BOOL_ARRAY, &inputs)
        .field(c"digital_outputs", VF_FIELD_BOOL_ARRAY, &outputs);
    let sample = SampleRecords {
        states: states.record(7),
        actions: actions.record(7),
        io: io.record(0),
        frames: &frames,
    };
    // FoxgloveTopics' channels and Ros2Topics', in cli/recorder/.
    let protobuf = RecordingChannels::new(
        || {
            vec![
                (Encoder::new(VF_SCHEMA_JOINT_STATES).unwrap(), Source::States),
                (states.encoder("RobotStates"), Source::States),
                (actions.encoder("RobotActions"), Source::Actions),
            ]
        },
        Encoder::new(VF_SCHEMA_FRAME_TRANSFORMS).unwrap(),
        io.encoder("RobotIo"),
    );
    let ros2 = RecordingChannels::new(
        || {
            vec![
                (ros2_encoder(VF_ROS2_JOINT_STATES, ""), Source::States),
                (ros2_encoder(VF_ROS2_TCP_WRENCH, "world"), Source::States),
                (ros2_encoder(VF_ROS2_RAW_TCP_WRENCH, "world"), Source::States),
                (ros2_encoder(VF_ROS2_TCP_WRENCH_LOCAL, "arm_0_tcp"), Source::States),
                (ros2_encoder(VF_ROS2_RAW_TCP_WRENCH_LOCAL, "arm_0_tcp"), Source::States),
                (ros2_encoder(VF_ROS2_JOINT_COMMANDS, ""), Source::Actions),
            ]
        },
        ros2_encoder(VF_ROS2_TF, ""),
        ros2_encoder(VF_ROS2_IO, ""),
    );
    time_recordings(
        vec![
            ("protobuf recording, 5 groups", protobuf),
            ("ros2 recording, 5 groups", ros2),
        ],
        &sample,
    );
}

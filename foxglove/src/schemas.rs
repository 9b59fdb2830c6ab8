//! Our own message schemas, derived (protobuf) from these structs by the
//! SDK. They mirror the client's records field by field, under the records'
//! names. Values are stored as double holding the robot's float precision:
//! they arrive from the robot as float and are only widened on the way
//! (tcp_wrench and raw_tcp_wrench, which the client rotates into the world
//! frame, are rounded back to float precision, the precision they were
//! measured with). Measured on a recording, zstd packs such doubles into a
//! quarter less than the same values as float, their three low bytes being
//! zero: double is the smaller recording, and the type Foxglove's own
//! schemas use. The time stamp pair is the robot's, copied as it came.
//!
//! The SDK names a derived schema `<lowercase name>.<Name>`, so these appear
//! as `robotstates.RobotStates`, `robotactions.RobotActions` and
//! `robotio.RobotIo`.

#[derive(foxglove::Encode, Default, Debug, Clone, PartialEq)]
pub struct RobotStates {
    pub timestamp: [i32; 2],
    pub q: Vec<f64>,
    pub theta: Vec<f64>,
    pub dq: Vec<f64>,
    pub dtheta: Vec<f64>,
    pub tau: Vec<f64>,
    pub tau_dot: Vec<f64>,
    pub tau_ext: Vec<f64>,
    pub tau_interact: Vec<f64>,
    pub temperature: Vec<f64>,
    pub flange_pose: [f64; 7],
    pub tcp_pose: [f64; 7],
    pub tcp_twist: [f64; 6],
    pub tcp_wrench: [f64; 6],
    pub tcp_wrench_local: [f64; 6],
    pub raw_tcp_wrench: [f64; 6],
    pub raw_tcp_wrench_local: [f64; 6],
    pub raw_ft_sensor: [f64; 6],
}

#[derive(foxglove::Encode, Default, Debug, Clone, PartialEq)]
pub struct RobotActions {
    pub timestamp: [i32; 2],
    pub q_d: Vec<f64>,
    pub dq_d: Vec<f64>,
    pub tau_d: Vec<f64>,
    pub tcp_pose_d: [f64; 7],
    pub tcp_twist_d: [f64; 6],
    pub tcp_wrench_d: [f64; 6],
}

#[derive(foxglove::Encode, Default, Debug, Clone, PartialEq)]
pub struct RobotIo {
    pub timestamp: [i32; 2],
    pub estop_released: bool,
    pub enabling_device_on: bool,
    pub digital_inputs: [bool; 20],
    pub digital_outputs: [bool; 20],
}

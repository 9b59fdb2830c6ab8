//! Our own message schemas, derived (protobuf) from these structs by the
//! SDK. They mirror the client's records field by field, under the records'
//! names. Values are stored as float: they arrive from the robot as float and
//! are only widened to double on the way, so float keeps them exactly and
//! halves the recording (tcp_wrench and raw_tcp_wrench, which the client
//! rotates into the world frame, are rounded back to float precision). The
//! time stamp pair is the robot's, copied as it came.
//!
//! The SDK names a derived schema `<lowercase name>.<Name>`, so these appear
//! as `robotstates.RobotStates`, `robotactions.RobotActions` and
//! `robotio.RobotIo`.

#[derive(foxglove::Encode, Default, Debug, Clone, PartialEq)]
pub struct RobotStates {
    pub timestamp: [i32; 2],
    pub q: Vec<f32>,
    pub theta: Vec<f32>,
    pub dq: Vec<f32>,
    pub dtheta: Vec<f32>,
    pub tau: Vec<f32>,
    pub tau_dot: Vec<f32>,
    pub tau_ext: Vec<f32>,
    pub tau_interact: Vec<f32>,
    pub temperature: Vec<f32>,
    pub flange_pose: [f32; 7],
    pub tcp_pose: [f32; 7],
    pub tcp_twist: [f32; 6],
    pub tcp_wrench: [f32; 6],
    pub tcp_wrench_local: [f32; 6],
    pub raw_tcp_wrench: [f32; 6],
    pub raw_tcp_wrench_local: [f32; 6],
    pub raw_ft_sensor: [f32; 6],
}

#[derive(foxglove::Encode, Default, Debug, Clone, PartialEq)]
pub struct RobotActions {
    pub timestamp: [i32; 2],
    pub q_d: Vec<f32>,
    pub dq_d: Vec<f32>,
    pub tau_d: Vec<f32>,
    pub tcp_pose_d: [f32; 7],
    pub tcp_twist_d: [f32; 6],
    pub tcp_wrench_d: [f32; 6],
}

#[derive(foxglove::Encode, Default, Debug, Clone, PartialEq)]
pub struct RobotIo {
    pub timestamp: [i32; 2],
    pub estop_released: bool,
    pub enabling_device_on: bool,
    pub digital_inputs: [bool; 20],
    pub digital_outputs: [bool; 20],
}

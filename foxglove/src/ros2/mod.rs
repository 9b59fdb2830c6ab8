//! ROS 2 messages for a recording that `ros2 bag play` and ROS 2 tools read:
//! standard types encoded as CDR, their `ros2msg` schemas, and the QoS each
//! topic is said to be offered with. Each encoder writes into a buffer its
//! caller keeps, straight from the sample's values.
mod cdr;
mod channel;
mod definitions;
mod io;
mod joint_state;
mod qos;
mod record_msg;
mod time;
mod transforms;
mod wrench;

pub use channel::*;
pub use definitions::MESSAGE_ENCODING;
pub use io::encode_io;
pub use joint_state::{JointStateEncoder, JointValues};
pub use qos::OFFERED_QOS_PROFILES;
pub use time::Time;
#[cfg(test)]
pub use transforms::encode_tf_message;
pub use transforms::{GroupFrames, TfMessageWriter};
pub use wrench::encode_wrench_stamped;

#[cfg(test)]
#[path = "golden_tests.rs"]
mod golden_tests;

#[cfg(test)]
#[path = "cost_bench.rs"]
mod cost_bench;

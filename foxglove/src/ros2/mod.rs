//! ROS 2 messages for a recording that `ros2 bag play` and ROS 2 tools read:
//! standard types encoded as CDR. Each encoder writes into a buffer its
//! caller keeps, straight from the sample's values.
mod cdr;
mod io;
mod joint_state;
mod time;
mod transforms;
mod wrench;

pub use io::encode_io;
pub use joint_state::{JointStateEncoder, JointValues};
pub use time::Time;
pub use transforms::{encode_tf_message, GroupFrames};
pub use wrench::encode_wrench_stamped;

#[cfg(test)]
#[path = "golden_tests.rs"]
mod golden_tests;

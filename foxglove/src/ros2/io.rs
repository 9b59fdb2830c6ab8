//! The robot's safety inputs and digital I/O as sensor_msgs/Joy.
//!
//! Why Joy: no standard message carries a device's named digital signals,
//! and these must play with `ros2 bag play` on any install and plot in
//! PlotJuggler without our own interface package. Joy is a device's
//! stamped digital and analog inputs, lives in sensor_msgs (in every
//! install, ros-base included), and its `int32[] buttons` is a plain
//! numeric array that plotting tools show element by element. The
//! alternatives fall short: std_msgs/Bool needs a topic per signal (42
//! here), the std_msgs arrays carry no stamp, diagnostic_msgs carries
//! values as strings, which plots cannot show without parsing them, and
//! sensor_msgs/JointState would name the signals but call them positions.
//! The signals' order is fixed and written in [`encode_io`]'s comment; the
//! axes stay empty.
use super::cdr::CdrWriter;
use super::time::{write_header, Time};
use crate::records::VfIo;

const BUTTONS: usize = 2 + 20 + 20;

/// Encodes into `out` (its contents replaced, its capacity kept) the
/// buttons 1 for on, 0 for off, in this order: estop_released,
/// enabling_device_on, digital_inputs 0 to 19, digital_outputs 0 to 19.
pub fn encode_io(stamp: Time, io: &VfIo, out: &mut Vec<u8>) {
    let mut cdr = CdrWriter::new(out);
    write_header(&mut cdr, stamp, "");
    cdr.length(0);
    let signals = [io.estop_released, io.enabling_device_on]
        .into_iter()
        .chain(io.digital_inputs)
        .chain(io.digital_outputs);
    let mut buttons = [0; BUTTONS];
    for (button, on) in buttons.iter_mut().zip(signals) {
        *button = i32::from(on);
    }
    cdr.i32s(&buttons);
}

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
//! The buttons are the I/O record's values in its field list's order; the
//! axes stay empty.
use super::cdr::CdrWriter;
use super::time::{write_header, Time};
use crate::field_table::{Fields, Values};

/// Encodes into `out` (its contents replaced, its capacity kept) every
/// on/off value of the I/O record as a button, 1 for on, 0 for off, in the
/// record's field order: estop_released, enabling_device_on, digital_inputs
/// 0 to 19, digital_outputs 0 to 19.
pub fn encode_io(stamp: Time, io: &Fields, out: &mut Vec<u8>) {
    let signals = || {
        io.values()
            .filter_map(|values| match values {
                Values::Bool(signals) => Some(signals),
                _ => None,
            })
            .flatten()
    };
    let mut cdr = CdrWriter::new(out);
    write_header(&mut cdr, stamp, "");
    cdr.length(0);
    cdr.length(signals().count());
    for &on in signals() {
        cdr.i32(i32::from(on));
    }
}

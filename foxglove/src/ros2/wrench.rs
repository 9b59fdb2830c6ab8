//! geometry_msgs/WrenchStamped: a force-torque reading in a named frame.
use super::cdr::CdrWriter;
use super::time::{write_header, Time};

/// Encodes into `out` (its contents replaced, its capacity kept) a wrench as
/// the robot sends it: force x, y, z, then torque x, y, z, in `frame_id`.
pub fn encode_wrench_stamped(stamp: Time, frame_id: &str, wrench: &[f64; 6], out: &mut Vec<u8>) {
    let mut cdr = CdrWriter::new(out);
    write_header(&mut cdr, stamp, frame_id);
    cdr.f64_fields(wrench);
}

//! builtin_interfaces/Time and std_msgs/Header, which every stamped message
//! starts with.
use super::cdr::CdrWriter;

const NANOS_PER_SECOND: u64 = 1_000_000_000;

/// A point in time as ROS 2 writes it: seconds since the Unix epoch (signed,
/// so a time before 1970 has a negative `sec`) and the nanoseconds within.
#[derive(Clone, Copy, Debug, PartialEq, Eq)]
pub struct Time {
    pub sec: i32,
    pub nanosec: u32,
}

impl Time {
    /// The last instant a 32-bit `sec` holds, early in 2038. Not `pub`:
    /// cbindgen would write a public associated constant, and so this type,
    /// into the C header.
    pub(crate) const MAX: Self = Self {
        sec: i32::MAX,
        nanosec: 999_999_999,
    };

    /// A receive time in nanoseconds since the Unix epoch. After 2038 the
    /// message type cannot hold it; it stays at [`Time::MAX`] rather than
    /// wrapping to a time before 1970, so recorded times never run backwards.
    pub fn from_unix_nanos(nanos: u64) -> Self {
        match i32::try_from(nanos / NANOS_PER_SECOND) {
            Ok(sec) => Self {
                sec,
                nanosec: (nanos % NANOS_PER_SECOND) as u32,
            },
            Err(_) => Self::MAX,
        }
    }

    pub fn write(self, cdr: &mut CdrWriter) {
        cdr.i32(self.sec);
        cdr.u32(self.nanosec);
    }
}

/// std_msgs/Header: the stamp, then the frame the data is in.
pub fn write_header(cdr: &mut CdrWriter, stamp: Time, frame_id: &str) {
    stamp.write(cdr);
    cdr.string(frame_id);
}

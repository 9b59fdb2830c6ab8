//! sensor_msgs/JointState for one joint group: its measured or its
//! commanded joint values.
use super::cdr::CdrWriter;
use super::time::{write_header, Time};
use crate::joint_names::JointNames;

/// One group's values, one per joint in each.
pub struct JointValues<'a> {
    pub position: &'a [f64],
    pub velocity: &'a [f64],
    pub effort: &'a [f64],
}

/// Keeps the group's joint names, which change only when the group does,
/// so that a sample costs no formatting. The target's names are set before
/// its first message and never change.
#[derive(Default)]
pub struct JointStateEncoder {
    first_joint: u32,
    names: Vec<String>,
}

impl JointStateEncoder {
    /// Encodes into `out` (its contents replaced, its capacity kept) one
    /// name per position, the names of the robot's joints from
    /// `first_joint` on, and no frame: joint values are in no frame.
    pub fn encode(
        &mut self,
        stamp: Time,
        first_joint: u32,
        names: &JointNames,
        values: &JointValues,
        out: &mut Vec<u8>,
    ) {
        self.name(first_joint, names, values.position.len());
        let mut cdr = CdrWriter::new(out);
        write_header(&mut cdr, stamp, "");
        cdr.strings(&self.names);
        cdr.f64s(values.position);
        cdr.f64s(values.velocity);
        cdr.f64s(values.effort);
    }

    fn name(&mut self, first_joint: u32, names: &JointNames, joints: usize) {
        if self.first_joint != first_joint || self.names.len() != joints {
            self.first_joint = first_joint;
            self.names = (0..joints).map(|i| names.name(first_joint, i).into_owned()).collect();
        }
    }
}

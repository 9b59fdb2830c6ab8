//! The joints' names, by their index in the whole robot, which a target's
//! joint messages carry: the names a user gave (a robot model's, so that
//! its tools find the joints) or `joint_<index>`. A target takes them once,
//! before its first message; its encoders read them without a lock.
use std::borrow::Cow;
use std::ffi::c_char;

use velmor_abi::code::{Code, EINVAL};

use crate::error::Failure;
use crate::log_target::{with_target, VfLogTarget};
use crate::records::{text, values};

#[derive(Default)]
pub struct JointNames {
    /// By robot-wide index; an empty name stands for the default.
    names: Vec<String>,
}

impl JointNames {
    pub const DEFAULTS: Self = Self { names: Vec::new() };

    /// `names[i]` names joint i; an empty one keeps its default.
    pub fn new(names: Vec<String>) -> Self {
        Self { names }
    }

    /// The name of joint `offset` of a group whose first joint is
    /// `first_joint`. The default names a joint by its robot-wide index, so
    /// that a joint keeps its name in every group that holds it.
    pub fn name(&self, first_joint: u32, offset: usize) -> Cow<'_, str> {
        let index = u64::from(first_joint) + offset as u64;
        match usize::try_from(index).ok().and_then(|i| self.names.get(i)) {
            Some(name) if !name.is_empty() => Cow::Borrowed(name),
            _ => Cow::Owned(format!("joint_{index}")),
        }
    }
}

/// Gives the target's joints their names: `names[i]` is joint i's (its index
/// in the whole robot); NULL or "" keeps joint_<i>, as does every joint from
/// `count` on. Call it once, before the first message is logged: VF_EINVAL
/// when the target already has names.
///
/// # Safety
/// Unless `count` is 0, `names` is NULL or points to `count` pointers, each
/// NULL or a NUL-terminated string; all valid for the call.
#[no_mangle]
pub unsafe extern "C" fn vf_log_target_set_joint_names(
    target: Option<&VfLogTarget>,
    names: *const *const c_char,
    count: usize,
) -> Code {
    with_target(target, "target", |_| {
        let target = target.expect("with_target checked it");
        // SAFETY: the caller vouches for `count` pointers at `names`.
        let given = unsafe { values(names, count, "names") }?;
        let mut names = Vec::with_capacity(count);
        for &name in given {
            let name = if name.is_null() {
                ""
            } else {
                // SAFETY: the caller vouches for every name that is not NULL.
                unsafe { text(name, "name") }?
            };
            names.push(name.to_owned());
        }
        target
            .set_joint_names(JointNames::new(names))
            .map_err(|_| Failure::new(EINVAL, "the joints already have their names"))
    })
}

//! The {call, drop, context} triples of the C side, owned by Rust.
//! Owning the triple in a value whose `Drop` calls the C drop is what makes
//! "drop runs exactly once, also on failure" hold on every path.
use std::ffi::c_void;

use crate::guard::guard_unit;

/// The C context pointer. The C side promises that its callbacks may be run
/// from any thread and concurrently, which is what makes sharing it sound.
#[derive(Clone, Copy)]
pub struct Context(pub *mut c_void);
impl Context {
    /// Taking `self` whole keeps closures capturing the Send wrapper, not the raw field.
    pub fn ptr(self) -> *mut c_void {
        self.0
    }
}

unsafe impl Send for Context {}
unsafe impl Sync for Context {}

pub struct OwnedClosure<F: Copy> {
    pub call: Option<F>,
    drop: Option<extern "C" fn(*mut c_void)>,
    pub context: Context,
}

impl<F: Copy> OwnedClosure<F> {
    pub fn new(call: Option<F>, drop: Option<extern "C" fn(*mut c_void)>, context: *mut c_void) -> Self {
        OwnedClosure { call, drop, context: Context(context) }
    }
}

impl<F: Copy> Drop for OwnedClosure<F> {
    fn drop(&mut self) {
        if let Some(drop) = self.drop.take() {
            let context = self.context;
            guard_unit(|| drop(context.0));
        }
    }
}

unsafe impl<F: Copy> Send for OwnedClosure<F> {}
unsafe impl<F: Copy> Sync for OwnedClosure<F> {}

//! libvelmor_runtime.so: the bridge's C ABI (`vb_`, bridge/include/) and
//! qrk's Foxglove C ABI (`vf_`, foxglove/include/), unchanged, in one shared
//! library. A cdylib exports the `#[no_mangle]` functions of the crates it
//! links, and links a dependency only when it names it: these uses are what
//! put each crate's functions into the library.
pub use velmor_bridge::*;
pub use velmor_foxglove::*;

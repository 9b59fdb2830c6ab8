//! What every C ABI of ours shares, written once: the result codes, one
//! meaning per number whichever crate returns it (`code`); the panic guard
//! that keeps unwinding out of C (`guard`); and the text of a thread's last
//! failure (`last_error`). The bridge (`vb_`) and qrk's Foxglove library
//! (`vf_`) sit on this crate; each header names the codes with its prefix.
pub mod code;
pub mod guard;
pub mod last_error;

// cargo rebuilds a crate when a variable it read at compile time changes:
// the checkout's path (.cargo/config.toml) keeps one checkout from taking
// another's build of our crates, which all sit on this one, from the shared
// target directory as its own.
const _CHECKOUT: Option<&str> = option_env!("VELMOR_CHECKOUT");

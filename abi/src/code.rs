//! Result codes: 0 ok, negative on failure, one meaning per number across
//! both C ABIs. The numbers up to -9 and -128 are zenoh-c's, which the C++
//! side reports as zenoh's own; numbers of ours follow on from them.

/// A call's result: 0 ok, negative on failure.
pub type Code = i8;

/// Success.
pub const OK: Code = 0;
/// An argument does not fit (a rejected key expression, mode or endpoint; an
/// unknown schema, channel or compression).
pub const EINVAL: Code = -1;
/// zenoh's: text that does not parse.
pub const EPARSE: Code = -2;
/// A file cannot be created or written.
pub const EIO: Code = -3;
/// The network cannot be used as asked (a port in use, no such address).
pub const ENETWORK: Code = -4;
/// A pointer that must not be NULL is NULL.
pub const ENULL: Code = -5;
/// zenoh's: what was asked for is not available.
pub const EUNAVAILABLE: Code = -6;
/// zenoh's: a payload that does not deserialize.
pub const EDESERIALIZE: Code = -7;
/// zenoh's: the session is closed.
pub const ESESSION_CLOSED: Code = -8;
/// zenoh's: text that is not UTF-8.
pub const EUTF8: Code = -9;
/// A file that must be new exists (and is kept).
pub const EEXIST: Code = -10;
/// Any other failure; a panic inside, caught, is one (a fault of the
/// library).
pub const EGENERIC: Code = -128;

#[cfg(test)]
mod tests {
    use super::*;

    #[test]
    fn every_code_has_a_number_of_its_own() {
        let mut codes = [
            OK,
            EINVAL,
            EPARSE,
            EIO,
            ENETWORK,
            ENULL,
            EUNAVAILABLE,
            EDESERIALIZE,
            ESESSION_CLOSED,
            EUTF8,
            EEXIST,
            EGENERIC,
        ];
        codes.sort_unstable();
        assert!(codes.windows(2).all(|pair| pair[0] != pair[1]), "{codes:?}");
    }
}

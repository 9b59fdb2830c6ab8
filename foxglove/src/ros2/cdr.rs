//! The CDR that ROS 2 writes (XCDR1, little-endian): an encapsulation header,
//! then every primitive at its natural alignment counted from the end of
//! that header. The writer appends to a buffer its caller keeps between
//! messages, so a message costs no allocation once the buffer has grown to
//! its size.

/// Plain CDR, little-endian, no options.
const ENCAPSULATION: [u8; 4] = [0x00, 0x01, 0x00, 0x00];

pub struct CdrWriter<'a> {
    out: &'a mut Vec<u8>,
}

impl<'a> CdrWriter<'a> {
    /// Starts a message in `out`, dropping what it held but keeping its
    /// capacity.
    pub fn new(out: &'a mut Vec<u8>) -> Self {
        out.clear();
        out.extend_from_slice(&ENCAPSULATION);
        Self { out }
    }

    fn align(&mut self, size: usize) {
        let offset = self.out.len() - ENCAPSULATION.len();
        let padding = offset.wrapping_neg() & (size - 1);
        self.out.resize(self.out.len() + padding, 0);
    }

    pub fn i32(&mut self, value: i32) {
        self.align(4);
        self.out.extend_from_slice(&value.to_le_bytes());
    }

    pub fn u32(&mut self, value: u32) {
        self.align(4);
        self.out.extend_from_slice(&value.to_le_bytes());
    }

    /// A sequence's or a string's length prefix. A message of 4 GiB is
    /// beyond anything a recorder writes; the panic guard at the C entry
    /// point turns one into an error.
    pub fn length(&mut self, len: usize) {
        self.u32(u32::try_from(len).expect("a CDR length fits in 32 bits"));
    }

    pub fn string(&mut self, value: &str) {
        self.string_of(&[value]);
    }

    /// One string made of `parts`, so that a name built from a prefix and a
    /// suffix needs no buffer of its own. The length counts the closing NUL.
    pub fn string_of(&mut self, parts: &[&str]) {
        self.length(parts.iter().map(|part| part.len()).sum::<usize>() + 1);
        for part in parts {
            self.out.extend_from_slice(part.as_bytes());
        }
        self.out.push(0);
    }

    pub fn strings<S: AsRef<str>>(&mut self, values: &[S]) {
        self.length(values.len());
        for value in values {
            self.string(value.as_ref());
        }
    }

    /// A `float64[]`: the elements' alignment applies only when there is one.
    pub fn f64s(&mut self, values: &[f64]) {
        self.length(values.len());
        self.f64_fields(values);
    }

    /// Consecutive `float64` fields, as a Vector3's x, y, z: one alignment
    /// for all, since each ends where the next may start.
    pub fn f64_fields(&mut self, values: &[f64]) {
        self.f64_each(values.iter().copied());
    }

    /// As [`CdrWriter::f64_fields`], for values made on the way.
    pub fn f64_each(&mut self, values: impl ExactSizeIterator<Item = f64>) {
        if values.len() != 0 {
            self.align(8);
        }
        for value in values {
            self.out.extend_from_slice(&value.to_le_bytes());
        }
    }

    /// A `bool` or the elements of a `bool[N]`: one byte each, 0 or 1.
    pub fn bools(&mut self, values: &[bool]) {
        self.out.extend(values.iter().map(|&value| u8::from(value)));
    }
}

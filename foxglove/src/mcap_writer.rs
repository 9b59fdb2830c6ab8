//! MCAP recordings, written with the SDK's MCAP writer on a buffered file.
//! Every message carries the caller's sequence number and log time, which is
//! also its publish time (the recorder has no other). The channels' records
//! go into the first chunk, with the first message, so that metadata written
//! before it (the robot's identity) comes before every chunk; a metadata record reaches the file at once. The first
//! write error ends the recording: every later call returns it again, and
//! the file keeps what was written before it (complete chunks stay readable;
//! the summary and footer are missing).
use std::collections::BTreeMap;
use std::ffi::c_char;
use std::fs::{File, OpenOptions};
use std::io::{BufWriter, ErrorKind};

use mcap::records::{MessageHeader, Metadata};
use mcap::{Compression, WriteOptions, Writer};

use velmor_abi::code::{Code, EEXIST, EINVAL, EIO, ENULL};

use crate::encoder::Encoder;
use crate::error::{guard_constructor, guard_unit, Failure};
use crate::log_target::{with_target, Encode, LogTarget, Targets, VfLogTarget};
use crate::records::{text, values as array, VfStamp};

/// How a recording compresses its chunks.
pub type VfCompression = i32;
pub const VF_COMPRESSION_NONE: VfCompression = 0;
pub const VF_COMPRESSION_ZSTD: VfCompression = 1;
pub const VF_COMPRESSION_LZ4: VfCompression = 2;

/// What a target's channels are for: a recording's, in its header's
/// profile, and a live server's alike.
pub type VfMcapProfile = i32;
/// Foxglove's and PlotJuggler's own channels (protobuf): no profile.
pub const VF_MCAP_PROFILE_NONE: VfMcapProfile = 0;
/// ROS 2's: the profile `ros2`, and a target that takes only channels added
/// with vf_log_target_add_ros2_channel and records in CDR (ROS 2's tools
/// refuse a file that mixes encodings).
pub const VF_MCAP_PROFILE_ROS2: VfMcapProfile = 1;

/// Whether `profile` is ROS 2's; VF_EINVAL for an unknown one.
pub(crate) fn is_ros2_profile(profile: VfMcapProfile) -> Result<bool, Failure> {
    match profile {
        VF_MCAP_PROFILE_NONE => Ok(false),
        VF_MCAP_PROFILE_ROS2 => Ok(true),
        other => Err(Failure::new(EINVAL, format!("no MCAP profile numbered {other}"))),
    }
}

/// zstd's fastest level: compression is most of the recorder's own CPU, and
/// level 1 takes a third less of it than the default 3 (measured at 1 kHz:
/// the recorder's own threads 3.8% of a core against 5.7%) for 5% more
/// bytes; higher levels gain nothing on the robot's values (6 and 9 write
/// more).
const ZSTD_LEVEL: u32 = 1;

/// An MCAP recording: chunked, each chunk compressed as asked, with a
/// summary and footer once finished. The first write error (a full disk, a
/// file-size limit; a process that sets RLIMIT_FSIZE must ignore SIGXFSZ to
/// see one) ends the recording: that call and every later one return VF_EIO
/// with the same message, and the file keeps every chunk completed before it
/// (no summary or footer). Messages are compressed on the calling thread;
/// each chunk is followed by its message indexes, which indexed readers
/// need. The channels' records are written with the first message, so that
/// a metadata record written before it precedes every chunk.
pub struct VfMcapWriter {
    target: VfLogTarget,
}

struct Channel {
    topic: String,
    /// The file's id of the channel, once its records are written.
    id: Option<u16>,
    encoder: Encoder,
}

pub(crate) struct McapFile {
    path: String,
    /// None once finished.
    writer: Option<Writer<BufWriter<File>>>,
    /// The first write error, as returned to the caller.
    failure: Option<String>,
    channels: Vec<Channel>,
    buffer: Vec<u8>,
    /// A ROS 2 recording (profile `ros2`), whose channels are all ROS 2's.
    ros2: bool,
}

/// The header profile of a ROS 2 recording, which ROS 2's readers require.
const ROS2_PROFILE: &str = "ros2";

fn options(compression: VfCompression) -> Result<WriteOptions, Failure> {
    // Level 0 is each compressor's default.
    let (compression, level) = match compression {
        VF_COMPRESSION_NONE => (None, 0),
        VF_COMPRESSION_ZSTD => (Some(Compression::Zstd), ZSTD_LEVEL),
        VF_COMPRESSION_LZ4 => (Some(Compression::Lz4), 0),
        other => return Err(Failure::new(EINVAL, format!("no compression numbered {other}"))),
    };
    // Compression runs on the caller's thread: the recorder's writer thread
    // has the time (a chunk every few hundred milliseconds), and worker
    // threads would only add their own overhead. Message indexes (16 bytes
    // per message after each chunk), which the indexed readers of the
    // TypeScript viewers need to read a chunk at all. A chunk is compressed
    // in memory and written whole, its message indexes after it, so that a
    // failed write leaves every chunk before it complete and after it at most
    // the start of one chunk or of its indexes (written in place, a chunk
    // would begin with a placeholder length that stops readers at its
    // header).
    Ok(WriteOptions::new()
        .compression(compression)
        .compression_threads(0)
        .compression_level(level)
        .emit_message_indexes(true)
        .disable_seeking(true)
        .library(format!("velmor qrk; {}", mcap::LIBRARY_IDENTIFIER)))
}

impl McapFile {
    fn create(path: &str, compression: VfCompression, overwrite: bool, ros2: bool) -> Result<Self, Failure> {
        let options = options(compression)?.profile(if ros2 { ROS2_PROFILE } else { "" });
        let cannot = |e: &dyn std::error::Error| Failure::new(EIO, format!("cannot write {path}: {}", root_cause(e)));
        let file = create_file(path, overwrite)?;
        let writer = options.create(BufWriter::new(file)).map_err(|e| cannot(&e))?;
        Ok(Self {
            path: path.to_owned(),
            writer: Some(writer),
            failure: None,
            channels: Vec::new(),
            buffer: Vec::new(),
            ros2,
        })
    }

    /// The writer, unless the recording has failed or finished.
    fn writer(&mut self) -> Result<&mut Writer<BufWriter<File>>, Failure> {
        if let Some(failure) = &self.failure {
            return Err(Failure::new(EIO, failure));
        }
        self.writer
            .as_mut()
            .ok_or_else(|| Failure::new(EINVAL, format!("{} is already finished", self.path)))
    }

    /// Keeps the first write error for every later call.
    fn failed(&mut self, error: impl std::error::Error) -> Failure {
        let message = format!("cannot write {}: {}", self.path, root_cause(&error));
        self.failure = Some(message.clone());
        Failure::new(EIO, message)
    }

    /// Writes a metadata record (after the chunk in progress, which it
    /// ends) and flushes the file, so that the record outlives a process
    /// killed right after.
    fn write_metadata(&mut self, name: &str, metadata: BTreeMap<String, String>) -> Result<(), Failure> {
        let writer = self.writer()?;
        let written = writer
            .write_metadata(&Metadata {
                name: name.to_owned(),
                metadata,
            })
            .and_then(|()| writer.flush());
        written.map_err(|e| self.failed(e))
    }

    /// Writes the schema and channel records of every channel not yet in the
    /// file (they open a chunk).
    fn write_channels(&mut self) -> Result<(), Failure> {
        self.writer()?;
        let writer = self.writer.as_mut().expect("checked above");
        let mut written = Ok(());
        for channel in self.channels.iter_mut().filter(|channel| channel.id.is_none()) {
            let description = channel.encoder.schema();
            let added = writer
                .add_schema(&description.name, &description.encoding, &description.data)
                .and_then(|schema_id| {
                    let encoding = channel.encoder.message_encoding();
                    writer.add_channel(schema_id, &channel.topic, encoding, &channel.encoder.channel_metadata())
                });
            match added {
                Ok(id) => channel.id = Some(id),
                Err(e) => {
                    written = Err(e);
                    break;
                }
            }
        }
        written.map_err(|e| self.failed(e))
    }

    /// Writes the last chunk, the summary and the footer, and flushes.
    fn finish(&mut self) -> Result<(), Failure> {
        // A recording without messages still lists its channels.
        self.write_channels()?;
        let mut writer = self.writer.take().expect("checked above");
        if let Err(e) = writer.finish() {
            return Err(self.failed(e));
        }
        writer
            .into_inner()
            .into_inner()
            .map(drop)
            .map_err(|e| self.failed(e.error()))
    }

    pub(crate) fn is_ros2(&self) -> bool {
        self.ros2
    }

    pub(crate) fn path(&self) -> &str {
        &self.path
    }
}

impl LogTarget for McapFile {
    fn add_channel(&mut self, topic: &str, encoder: Encoder) -> Result<u32, Failure> {
        self.writer()?;
        self.channels.push(Channel {
            topic: topic.to_owned(),
            id: None,
            encoder,
        });
        Ok((self.channels.len() - 1) as u32)
    }

    /// Encodes with `encode` into the shared buffer and writes the message.
    fn log(&mut self, channel: u32, stamp: &VfStamp, encode: impl Encode) -> Result<(), Failure> {
        self.writer()?;
        match self.channels.get(channel as usize) {
            None => return Err(Failure::new(EINVAL, format!("no channel {channel}"))),
            Some(target) if target.id.is_none() => self.write_channels()?,
            Some(_) => {}
        }
        let target = &mut self.channels[channel as usize];
        encode(&mut target.encoder, &mut self.buffer)?;
        let header = MessageHeader {
            channel_id: target.id.expect("written above"),
            sequence: stamp.sequence,
            log_time: stamp.log_time,
            publish_time: stamp.log_time,
        };
        let writer = self.writer.as_mut().expect("checked above");
        let written = writer.write_to_known_channel(&header, &self.buffer);
        written.map_err(|e| self.failed(e))
    }
}

/// Creates `path` exclusively (O_EXCL, which never follows a symlink), so
/// that of two recorders given one path at the same moment only one gets
/// it. `overwrite` removes what is there (a symlink itself, not its target)
/// and creates anew; a second try covers a file that reappears in between.
fn create_file(path: &str, overwrite: bool) -> Result<File, Failure> {
    let failure = |what: &str, e: std::io::Error| Failure::new(EIO, format!("{what} {path}: {}", root_cause(&e)));
    let mut attempts = 0;
    loop {
        attempts += 1;
        match OpenOptions::new().write(true).create_new(true).open(path) {
            Err(e) if e.kind() == ErrorKind::AlreadyExists => {
                if !overwrite || attempts == 3 {
                    return Err(Failure::new(EEXIST, format!("{path} already exists")));
                }
                match std::fs::remove_file(path) {
                    Err(e) if e.kind() != ErrorKind::NotFound => return Err(failure("cannot replace", e)),
                    _ => {}
                }
            }
            opened => return opened.map_err(|e| failure("cannot write", e)),
        }
    }
}

/// The innermost error: the MCAP writer wraps the system's ("File too large")
/// in its own words.
fn root_cause(error: &dyn std::error::Error) -> String {
    let mut cause = error;
    while let Some(source) = cause.source() {
        cause = source;
    }
    cause.to_string()
}

/// Creates a recording in a new file at `path` (UTF-8), exclusively:
/// VF_EEXIST, "PATH already exists", when a file or symlink is there, which
/// is left untouched; with `overwrite`, what is there is removed first (a
/// symlink itself, never its target). VF_EIO when it cannot be created,
/// VF_EINVAL for an unknown profile. On failure `out` is set to NULL.
///
/// # Safety
/// `path` is NULL or a NUL-terminated string, valid for the call; `out` is
/// NULL or may be written with one pointer.
#[no_mangle]
pub unsafe extern "C" fn vf_mcap_writer_create(
    path: *const c_char,
    compression: VfCompression,
    overwrite: bool,
    profile: VfMcapProfile,
    out: *mut *mut VfMcapWriter,
) -> Code {
    let create = || {
        let ros2 = is_ros2_profile(profile)?;
        // SAFETY: the caller vouches for `path` for the call.
        let file = McapFile::create(unsafe { text(path, "path") }?, compression, overwrite, ros2)?;
        Ok(VfMcapWriter {
            target: VfLogTarget::new(Targets::Mcap(file)),
        })
    };
    // SAFETY: the caller vouches that `out` may be written; the writer
    // passes to it, to give back to vf_mcap_writer_drop.
    unsafe { guard_constructor(out, create) }
}

/// The target this recording's channels are added to and its messages
/// logged on (vf_log_target_add_channel and the log calls), valid as long as
/// the writer; NULL for a NULL writer.
#[no_mangle]
pub extern "C" fn vf_mcap_writer_log_target(writer: Option<&VfMcapWriter>) -> Option<&VfLogTarget> {
    writer.map(|writer| &writer.target)
}

/// Runs `body` on the writer's file under its lock, as a C call.
fn with_file(writer: Option<&VfMcapWriter>, body: impl FnOnce(&mut McapFile) -> Result<(), Failure>) -> Code {
    with_target(vf_mcap_writer_log_target(writer), "writer", |target| match target {
        Targets::Mcap(file) => body(file),
        // vf_mcap_writer_create makes every writer's target of its file.
        Targets::Live(_) => unreachable!("a writer's target is a live server's"),
    })
}

/// Writes an MCAP metadata record: `count` keys and values. It ends the chunk
/// in progress and is flushed to the file at once.
///
/// # Safety
/// `name` is NULL or a NUL-terminated string; unless `count` is 0, `keys`
/// and `values` are NULL or point to `count` pointers each, every one NULL
/// or a NUL-terminated string; all valid for the call.
#[no_mangle]
pub unsafe extern "C" fn vf_mcap_writer_write_metadata(
    writer: Option<&VfMcapWriter>,
    name: *const c_char,
    keys: *const *const c_char,
    values: *const *const c_char,
    count: usize,
) -> Code {
    with_file(writer, |file| {
        // SAFETY: the caller vouches for `name`, `keys` and `values` for the
        // call, which this closure runs within.
        let (name, metadata) = unsafe { (text(name, "name")?, metadata(keys, values, count)?) };
        file.write_metadata(name, metadata)
    })
}

/// `count` keys and values from C.
///
/// # Safety
/// As vf_mcap_writer_write_metadata's `keys` and `values`, valid while this
/// runs.
unsafe fn metadata(
    keys: *const *const c_char,
    values: *const *const c_char,
    count: usize,
) -> Result<BTreeMap<String, String>, Failure> {
    if count > 0 && (keys.is_null() || values.is_null()) {
        return Err(Failure::new(ENULL, "keys or values is NULL"));
    }
    // SAFETY: the caller vouches for `count` pointers in each.
    let pairs = unsafe { array(keys, count, "keys")?.iter().zip(array(values, count, "values")?) };
    let mut metadata = BTreeMap::new();
    for (&key, &value) in pairs {
        // SAFETY: the caller vouches for every key and value.
        let (key, value) = unsafe { (text(key, "key")?, text(value, "value")?) };
        metadata.insert(key.to_owned(), value.to_owned());
    }
    Ok(metadata)
}

/// Writes the last chunk, the summary and the footer, and flushes the file;
/// later calls return VF_EINVAL.
#[no_mangle]
pub extern "C" fn vf_mcap_writer_finish(writer: Option<&VfMcapWriter>) -> Code {
    with_file(writer, McapFile::finish)
}

/// Finishes a recording that is neither finished nor failed (errors are
/// lost: call vf_mcap_writer_finish to see them), then releases it.
///
/// # Safety
/// `writer` is NULL or a handle from vf_mcap_writer_create not yet dropped,
/// which no other call uses during or after this one.
#[no_mangle]
pub unsafe extern "C" fn vf_mcap_writer_drop(writer: *mut VfMcapWriter) {
    if writer.is_null() {
        return;
    }
    // SAFETY: `vf_mcap_writer_create` made the handle with Box::into_raw, and
    // the caller gives it back once.
    let owned = unsafe { Box::from_raw(writer) };
    guard_unit(|| {
        if let Targets::Mcap(mut file) = owned.target.into_inner() {
            if file.failure.is_none() && file.writer.is_some() {
                let _ = file.finish();
            }
        }
    });
}

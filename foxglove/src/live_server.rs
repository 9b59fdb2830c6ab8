//! The live view: the SDK's WebSocket server on a context of its own, with
//! one SDK channel per topic. A message is encoded only when some client
//! subscribes to its channel, and the SDK queues it per client with a bound
//! (a slow client loses the oldest messages; the server's memory stays
//! bounded). The server runs on the SDK's own tokio runtime and listens on a
//! loopback port of its own; viewers reach it through the front door
//! (front_door.rs), which sets the limits the SDK does not.
//!
//! Stopping is bounded in time: the door closes first, which cuts every
//! viewer's connection; then the SDK's graceful stop, which would wait for
//! every connection's task (a viewer that stopped reading never takes the
//! closing frame), gets a deadline, and what has not ended by then is
//! aborted.
use std::ffi::c_char;
use std::sync::Arc;
use std::time::Duration;

use foxglove::{ChannelBuilder, Context, PartialMetadata, RawChannel, WebSocketServer, WebSocketServerHandle};

use velmor_abi::code::{Code, EINVAL, ENETWORK};

use crate::encoder::Encoder;
use crate::error::{guard_constructor, guard_unit, Failure};
use crate::front_door::{FrontDoor, Limits};
use crate::log_target::{Encode, LogTarget, Targets, VfLogTarget};
use crate::mcap_writer::{is_ros2_profile, VfMcapProfile};
use crate::records::{text, VfStamp};

/// The live server: the SDK's Foxglove WebSocket server (subprotocols
/// foxglove.sdk.v1 and foxglove.sdk.v1.1). It advertises every channel added
/// and sends a message only to the clients subscribed to its channel; each
/// client has a bounded queue (the SDK's 1024 messages), and a client that
/// falls behind loses the oldest. A message on a channel that no client
/// subscribes to is not even encoded. Limits: at most `max_viewers`
/// connections at once (one more is answered with HTTP 503 and closed), 10
/// s for a connection to complete its WebSocket handshake. The SDK itself
/// listens on a loopback port of its own, to which the server's port relays.
pub struct VfLiveServer {
    door: FrontDoor,
    handle: WebSocketServerHandle,
    target: VfLogTarget,
}

pub(crate) struct Channels {
    context: Arc<Context>,
    list: Vec<(Arc<RawChannel>, Encoder)>,
    buffer: Vec<u8>,
    /// ROS 2's channels (VF_MCAP_PROFILE_ROS2) instead of Foxglove's.
    ros2: bool,
}

impl Channels {
    pub(crate) fn new(context: Arc<Context>, ros2: bool) -> Self {
        Self {
            context,
            list: Vec::new(),
            buffer: Vec::new(),
            ros2,
        }
    }

    pub(crate) fn is_ros2(&self) -> bool {
        self.ros2
    }
}

impl LogTarget for Channels {
    fn add_channel(&mut self, topic: &str, encoder: Encoder) -> Result<u32, Failure> {
        let raw = ChannelBuilder::new(topic)
            .context(&self.context)
            .schema(encoder.schema())
            .message_encoding(encoder.message_encoding())
            .build_raw()
            .map_err(|e| Failure::new(EINVAL, format!("cannot add {topic}: {e}")))?;
        self.list.push((raw, encoder));
        Ok((self.list.len() - 1) as u32)
    }

    fn log(&mut self, channel: u32, stamp: &VfStamp, encode: impl Encode) -> Result<(), Failure> {
        let Some((raw, encoder)) = self.list.get_mut(channel as usize) else {
            return Err(Failure::new(EINVAL, format!("no channel {channel}")));
        };
        if !raw.has_sinks() {
            return Ok(());
        }
        encode(encoder, &mut self.buffer)?;
        raw.log_with_meta(&self.buffer, PartialMetadata::with_log_time(stamp.log_time));
        Ok(())
    }
}

/// How long a connection may take to finish its WebSocket handshake: a
/// browser on the other side of the world needs well under a second.
const HANDSHAKE_DEADLINE: Duration = Duration::from_secs(10);

/// Starts a server reached on `host` and `port` (0: any free port; see
/// vf_live_server_port) whose channels are of `profile`, as a recording's:
/// Foxglove's (VF_MCAP_PROFILE_NONE) or ROS 2's (VF_MCAP_PROFILE_ROS2, for
/// the viewers that subscribe to CDR channels only). VF_ENETWORK when it
/// cannot listen; VF_EINVAL when max_viewers is 0 or the profile unknown.
/// On failure `out` is set to NULL.
///
/// # Safety
/// `host` is NULL or a NUL-terminated string, valid for the call; `out` is
/// NULL or may be written with one pointer.
#[no_mangle]
pub unsafe extern "C" fn vf_live_server_start(
    host: *const c_char,
    port: u16,
    max_viewers: usize,
    profile: VfMcapProfile,
    out: *mut *mut VfLiveServer,
) -> Code {
    let start = || {
        // SAFETY: the caller vouches for `host` for the call.
        let host = unsafe { text(host, "host") }?;
        if max_viewers == 0 {
            return Err(Failure::new(EINVAL, "max_viewers is 0"));
        }
        let ros2 = is_ros2_profile(profile)?;
        let context = Context::new();
        let handle = WebSocketServer::new()
            .name("qrk")
            .context(&context)
            .bind("127.0.0.1", 0)
            .start_blocking()
            .map_err(|e| Failure::new(ENETWORK, format!("cannot start the server: {e}")))?;
        let limits = Limits {
            max_viewers,
            handshake: HANDSHAKE_DEADLINE,
        };
        let door = match FrontDoor::open(host, port, ([127, 0, 0, 1], handle.port()).into(), limits) {
            Ok(door) => door,
            Err(e) => {
                stop_within(handle, STOP_DEADLINE);
                return Err(Failure::new(ENETWORK, format!("cannot serve on {host}:{port}: {e}")));
            }
        };
        Ok(VfLiveServer {
            door,
            handle,
            target: VfLogTarget::new(Targets::Live(Channels::new(context, ros2))),
        })
    };
    // SAFETY: the caller vouches that `out` may be written; the server
    // passes to it, to give back to vf_live_server_stop.
    unsafe { guard_constructor(out, start) }
}

/// The port viewers connect to (0 for a NULL server).
#[no_mangle]
pub extern "C" fn vf_live_server_port(server: Option<&VfLiveServer>) -> u16 {
    server.map_or(0, |server| server.door.port())
}

/// Connections refused so far for being over max_viewers (0 for a NULL
/// server).
#[no_mangle]
pub extern "C" fn vf_live_server_refused(server: Option<&VfLiveServer>) -> u64 {
    server.map_or(0, |server| server.door.refused())
}

/// The target this server's channels are added to (the server advertises
/// them) and its messages logged on (vf_log_target_add_channel and the log
/// calls), valid as long as the server; NULL for a NULL server.
#[no_mangle]
pub extern "C" fn vf_live_server_log_target(server: Option<&VfLiveServer>) -> Option<&VfLogTarget> {
    server.map(|server| &server.target)
}

/// How long viewers get to receive the closing frame before their
/// connections are cut. A viewer on the same machine or network needs
/// milliseconds; the rest of the process's shutdown needs the remaining
/// budget of Ctrl-C's two seconds.
const STOP_DEADLINE: Duration = Duration::from_millis(500);

/// Waits for the server's tasks until the deadline; returns false when some
/// had to be aborted (dropping the SDK's shutdown handle, here with the
/// unfinished wait, aborts them). The SDK's runtime gives us no handle, so the
/// deadline's clock runs on a runtime of its own on this thread.
fn stop_within(handle: WebSocketServerHandle, deadline: Duration) -> bool {
    let shutdown = handle.stop();
    match tokio::runtime::Builder::new_current_thread().enable_time().build() {
        // The timer is made inside the runtime: it needs the runtime's clock.
        Ok(clock) => clock
            .block_on(async { tokio::time::timeout(deadline, shutdown.wait()).await })
            .is_ok(),
        Err(_) => false,
    }
}

/// Closes every connection, waits at most half a second for the server's
/// tasks to end (aborting the rest: a client that stopped reading never
/// takes its closing frame), and releases the server.
///
/// # Safety
/// `server` is NULL or a handle from vf_live_server_start not yet stopped,
/// which no other call uses during or after this one.
#[no_mangle]
pub unsafe extern "C" fn vf_live_server_stop(server: *mut VfLiveServer) {
    if server.is_null() {
        return;
    }
    // SAFETY: `vf_live_server_start` made the handle with Box::into_raw, and
    // the caller gives it back once.
    let mut owned = unsafe { Box::from_raw(server) };
    guard_unit(|| {
        owned.door.close();
        stop_within(owned.handle, STOP_DEADLINE);
        if let Targets::Live(channels) = owned.target.into_inner() {
            for (raw, _) in channels.list {
                raw.close();
            }
        }
    });
}

#[cfg(test)]
mod tests {
    use super::*;
    use std::io::{Read, Write};
    use std::net::TcpStream;
    use std::time::Instant;

    fn serve() -> WebSocketServerHandle {
        WebSocketServer::new()
            .context(&Context::new())
            .bind("127.0.0.1", 0)
            .start_blocking()
            .unwrap()
    }

    /// Whether the server has accepted a connection on `port`: the kernel
    /// lists a connection still waiting in the backlog with inode 0.
    fn accepted(port: u16) -> bool {
        let table = std::fs::read_to_string("/proc/self/net/tcp").unwrap();
        table.lines().skip(1).any(|line| {
            let fields: Vec<&str> = line.split_whitespace().collect();
            fields[1].ends_with(&format!(":{port:04X}")) && fields[3] == "01" && fields[9] != "0"
        })
    }

    #[test]
    fn a_connection_that_never_finishes_its_handshake_is_cut_at_the_deadline() {
        let handle = serve();
        let mut silent = TcpStream::connect(("127.0.0.1", handle.port())).unwrap();
        silent.write_all(b"GET / HTTP/1.1\r\n").unwrap(); // and never the rest
        let waiting = Instant::now();
        while !accepted(handle.port()) {
            assert!(waiting.elapsed() < Duration::from_secs(5), "the server did not accept");
            std::thread::sleep(Duration::from_millis(5));
        }
        let started = Instant::now();
        assert!(!stop_within(handle, Duration::from_millis(200)));
        let took = started.elapsed();
        assert!(took < Duration::from_secs(2), "{took:?}");
        // Aborted, not merely abandoned: the socket closes.
        silent.set_read_timeout(Some(Duration::from_secs(5))).unwrap();
        assert_eq!(silent.read(&mut [0; 64]).unwrap(), 0);
    }

    #[test]
    fn a_server_without_viewers_stops_at_once() {
        let started = Instant::now();
        assert!(stop_within(serve(), Duration::from_secs(5)));
        assert!(started.elapsed() < Duration::from_secs(1));
    }
}

//! The live view: the SDK's WebSocket server on a context of its own, with
//! one SDK channel per topic. A message is encoded only when some client
//! subscribes to its channel, and the SDK queues it per client with a bound
//! (a slow client loses the oldest messages; the server's memory stays
//! bounded). The server runs on the SDK's own tokio runtime.
use std::ffi::c_char;
use std::sync::{Arc, Mutex};

use foxglove::{ChannelBuilder, Context, PartialMetadata, RawChannel, WebSocketServer, WebSocketServerHandle};

use crate::encoder::Encoder;
use crate::error::{fail, guard, guard_unit, Failure};
use crate::records::{reference, text, VfGroupActions, VfGroupStates, VfIo, VfStamp};
use crate::{VfResult, VF_EINVAL, VF_ENETWORK, VF_ENULL};

pub struct VfLiveServer {
    context: Arc<Context>,
    handle: WebSocketServerHandle,
    channels: Mutex<Channels>,
}

#[derive(Default)]
struct Channels {
    list: Vec<(Arc<RawChannel>, Encoder)>,
    buffer: Vec<u8>,
}

impl Channels {
    fn log(
        &mut self,
        channel: u32,
        stamp: &VfStamp,
        encode: impl FnOnce(&mut Encoder, &mut Vec<u8>) -> Result<(), Failure>,
    ) -> Result<(), Failure> {
        let Some((raw, encoder)) = self.list.get_mut(channel as usize) else {
            return Err(Failure::new(VF_EINVAL, format!("no channel {channel}")));
        };
        if !raw.has_sinks() {
            return Ok(());
        }
        encode(encoder, &mut self.buffer)?;
        raw.log_with_meta(&self.buffer, PartialMetadata::with_log_time(stamp.log_time));
        Ok(())
    }
}

fn with_channels(server: *const VfLiveServer, body: impl FnOnce(&mut Channels) -> Result<(), Failure>) -> VfResult {
    guard(|| {
        let server = reference(server, "server")?;
        let mut channels = server.channels.lock().unwrap_or_else(|poisoned| poisoned.into_inner());
        body(&mut channels)
    })
}

#[no_mangle]
pub extern "C" fn vf_live_server_start(host: *const c_char, port: u16, out: *mut *mut VfLiveServer) -> VfResult {
    if out.is_null() {
        return fail(VF_ENULL, "out is NULL");
    }
    unsafe { *out = std::ptr::null_mut() };
    guard(|| {
        let host = text(host, "host")?;
        let context = Context::new();
        let handle = WebSocketServer::new()
            .name("qrk")
            .context(&context)
            .bind(host, port)
            .start_blocking()
            .map_err(|e| Failure::new(VF_ENETWORK, format!("cannot serve on {host}:{port}: {e}")))?;
        let server = Box::new(VfLiveServer {
            context,
            handle,
            channels: Mutex::default(),
        });
        unsafe { *out = Box::into_raw(server) };
        Ok(())
    })
}

#[no_mangle]
pub extern "C" fn vf_live_server_port(server: *const VfLiveServer) -> u16 {
    unsafe { server.as_ref() }.map_or(0, |server| server.handle.port())
}

#[no_mangle]
pub extern "C" fn vf_live_server_client_count(server: *const VfLiveServer) -> usize {
    unsafe { server.as_ref() }.map_or(0, |server| server.handle.client_count())
}

#[no_mangle]
pub extern "C" fn vf_live_server_add_channel(
    server: *const VfLiveServer,
    topic: *const c_char,
    schema: i32,
    channel: *mut u32,
) -> VfResult {
    let context = match unsafe { server.as_ref() } {
        Some(server) => server.context.clone(),
        None => return fail(VF_ENULL, "server is NULL"),
    };
    with_channels(server, |channels| {
        let topic = text(topic, "topic")?;
        let Some(channel) = (unsafe { channel.as_mut() }) else {
            return Err(Failure::new(VF_ENULL, "channel is NULL"));
        };
        let encoder = Encoder::new(schema)?;
        let raw = ChannelBuilder::new(topic)
            .context(&context)
            .schema(encoder.schema())
            .message_encoding(encoder.message_encoding())
            .build_raw()
            .map_err(|e| Failure::new(VF_EINVAL, format!("cannot add {topic}: {e}")))?;
        channels.list.push((raw, encoder));
        *channel = (channels.list.len() - 1) as u32;
        Ok(())
    })
}

#[no_mangle]
pub extern "C" fn vf_live_server_log_states(
    server: *const VfLiveServer,
    channel: u32,
    stamp: *const VfStamp,
    states: *const VfGroupStates,
) -> VfResult {
    with_channels(server, |channels| {
        let (stamp, states) = (reference(stamp, "stamp")?, reference(states, "states")?);
        channels.log(channel, stamp, |encoder, out| {
            encoder.encode_states(stamp.log_time, states, out)
        })
    })
}

#[no_mangle]
pub extern "C" fn vf_live_server_log_actions(
    server: *const VfLiveServer,
    channel: u32,
    stamp: *const VfStamp,
    actions: *const VfGroupActions,
) -> VfResult {
    with_channels(server, |channels| {
        let (stamp, actions) = (reference(stamp, "stamp")?, reference(actions, "actions")?);
        channels.log(channel, stamp, |encoder, out| encoder.encode_actions(actions, out))
    })
}

#[no_mangle]
pub extern "C" fn vf_live_server_log_io(
    server: *const VfLiveServer,
    channel: u32,
    stamp: *const VfStamp,
    io: *const VfIo,
) -> VfResult {
    with_channels(server, |channels| {
        let (stamp, io) = (reference(stamp, "stamp")?, reference(io, "io")?);
        channels.log(channel, stamp, |encoder, out| encoder.encode_io(io, out))
    })
}

#[no_mangle]
pub extern "C" fn vf_live_server_stop(server: *mut VfLiveServer) {
    if !server.is_null() {
        guard_unit(|| {
            let owned = unsafe { Box::from_raw(server) };
            owned.handle.stop().wait_blocking();
            let channels = owned
                .channels
                .into_inner()
                .unwrap_or_else(|poisoned| poisoned.into_inner());
            for (raw, _) in channels.list {
                raw.close();
            }
        });
    }
}

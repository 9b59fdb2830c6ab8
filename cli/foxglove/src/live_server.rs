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
use crate::records::{text, VfStamp};
use crate::sink::{export_sink_calls, Encode, Sink, SinkHandle};
use crate::{VfResult, VF_EINVAL, VF_ENETWORK, VF_ENULL};

pub struct VfLiveServer {
    handle: WebSocketServerHandle,
    channels: Mutex<Channels>,
}

pub(crate) struct Channels {
    context: Arc<Context>,
    list: Vec<(Arc<RawChannel>, Encoder)>,
    buffer: Vec<u8>,
}

impl Sink for Channels {
    fn add_channel(&mut self, topic: &str, schema: i32) -> Result<u32, Failure> {
        let encoder = Encoder::new(schema)?;
        let raw = ChannelBuilder::new(topic)
            .context(&self.context)
            .schema(encoder.schema())
            .message_encoding(encoder.message_encoding())
            .build_raw()
            .map_err(|e| Failure::new(VF_EINVAL, format!("cannot add {topic}: {e}")))?;
        self.list.push((raw, encoder));
        Ok((self.list.len() - 1) as u32)
    }

    fn log(&mut self, channel: u32, stamp: &VfStamp, encode: impl Encode) -> Result<(), Failure> {
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

impl SinkHandle for VfLiveServer {
    type Sink = Channels;
    const NAME: &'static str = "server";
    fn sink(&self) -> &Mutex<Channels> {
        &self.channels
    }
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
            handle,
            channels: Mutex::new(Channels {
                context,
                list: Vec::new(),
                buffer: Vec::new(),
            }),
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

export_sink_calls!(VfLiveServer =>
    vf_live_server_add_channel,
    vf_live_server_log_states,
    vf_live_server_log_frames,
    vf_live_server_log_actions,
    vf_live_server_log_io
);

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

//! The live server's front door: the port viewers connect to. The SDK's
//! WebSocket server takes every connection it is offered, waits for a
//! handshake without a deadline and stops accepting for good after an accept
//! error (out of file descriptors), and it lets no caller refuse or cut a
//! connection. So it listens on a loopback port of its own, and this door
//! relays each viewer's connection to it byte for byte, within limits:
//! - at most `max_viewers` connections at once; one more is answered with
//!   HTTP 503 and closed;
//! - a connection whose handshake the server has not answered within
//!   `handshake` is closed (the server's first bytes are its answer);
//! - an accept error is waited out, and the door keeps accepting.
//!
//! The door runs on a one-thread tokio runtime of its own; closing it drops
//! every relay, which closes both sockets of each, so the server sees every
//! viewer leave.
use std::net::SocketAddr;
use std::sync::atomic::{AtomicU64, Ordering};
use std::sync::Arc;
use std::time::Duration;

use tokio::io::{AsyncReadExt, AsyncWriteExt};
use tokio::net::{TcpListener, TcpStream};
use tokio::runtime::Runtime;
use tokio::sync::{OwnedSemaphorePermit, Semaphore};

#[derive(Clone, Copy, Debug)]
pub(crate) struct Limits {
    pub max_viewers: usize,
    pub handshake: Duration,
}

pub(crate) struct FrontDoor {
    runtime: Option<Runtime>,
    port: u16,
    refused: Arc<AtomicU64>,
}

const BUSY: &str = "too many viewers: qrk serve --max-viewers sets the limit";

/// After an accept error (no file descriptor left, a connection reset while
/// queued), a pause before the next accept: another at once would fail again.
const ACCEPT_PAUSE: Duration = Duration::from_millis(50);

impl FrontDoor {
    /// Listens on `host`:`port` (0: any free port) and relays to `server`.
    pub fn open(host: &str, port: u16, server: SocketAddr, limits: Limits) -> std::io::Result<Self> {
        let runtime = tokio::runtime::Builder::new_multi_thread()
            .worker_threads(1)
            .thread_name("qrk-serve-door")
            .enable_all()
            .build()?;
        let listener = runtime.block_on(TcpListener::bind((host, port)))?;
        let port = listener.local_addr()?.port();
        let refused = Arc::new(AtomicU64::new(0));
        runtime.spawn(accept(listener, server, limits, refused.clone()));
        Ok(Self {
            runtime: Some(runtime),
            port,
            refused,
        })
    }

    pub fn port(&self) -> u16 {
        self.port
    }

    /// Connections refused for being over `max_viewers`.
    pub fn refused(&self) -> u64 {
        self.refused.load(Ordering::Relaxed)
    }

    /// Stops accepting and cuts every connection through the door.
    pub fn close(&mut self) {
        if let Some(runtime) = self.runtime.take() {
            // The tasks only wait on sockets and timers: dropped at their next
            // await, which the timeout bounds anyway.
            runtime.shutdown_timeout(Duration::from_millis(200));
        }
    }
}

impl Drop for FrontDoor {
    fn drop(&mut self) {
        self.close();
    }
}

async fn accept(listener: TcpListener, server: SocketAddr, limits: Limits, refused: Arc<AtomicU64>) {
    let places = Arc::new(Semaphore::new(limits.max_viewers));
    loop {
        match listener.accept().await {
            Ok((viewer, _)) => match places.clone().try_acquire_owned() {
                Ok(place) => {
                    tokio::spawn(relay(viewer, server, limits.handshake, place));
                }
                Err(_) => {
                    refused.fetch_add(1, Ordering::Relaxed);
                    tokio::spawn(refuse(viewer));
                }
            },
            Err(_) => tokio::time::sleep(ACCEPT_PAUSE).await,
        }
    }
}

async fn refuse(mut viewer: TcpStream) {
    // The request is read to its end before the socket closes: closing with
    // unread bytes would reset the connection and lose the answer. A viewer
    // that takes longer than a second gets cut off.
    let answer = async {
        let response = format!(
            "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Type: text/plain\r\n\
             Content-Length: {}\r\n\r\n{BUSY}",
            BUSY.len()
        );
        viewer.write_all(response.as_bytes()).await?;
        viewer.shutdown().await?;
        let mut request = [0u8; 1024];
        while viewer.read(&mut request).await? > 0 {}
        Ok::<(), std::io::Error>(())
    };
    let _ = tokio::time::timeout(Duration::from_secs(1), answer).await;
}

/// Holds `place` while the connection lasts; frees it before closing the
/// sockets, so that a viewer who sees the connection end finds it free.
async fn relay(viewer: TcpStream, server: SocketAddr, handshake: Duration, place: OwnedSemaphorePermit) {
    let Ok(Ok(upstream)) = tokio::time::timeout(handshake, TcpStream::connect(server)).await else {
        return;
    };
    // Messages are small and frequent: sent as they come, not held back for
    // an acknowledgement.
    let _ = viewer.set_nodelay(true);
    let _ = upstream.set_nodelay(true);
    let (mut viewer_in, mut viewer_out) = viewer.into_split();
    let (mut server_in, mut server_out) = upstream.into_split();
    let to_server = tokio::io::copy(&mut viewer_in, &mut server_out);
    let to_viewer = async {
        match tokio::time::timeout(handshake, server_in.peek(&mut [0u8; 1])).await {
            Ok(Ok(n)) if n > 0 => {
                let _ = tokio::io::copy(&mut server_in, &mut viewer_out).await;
            }
            _ => {}
        }
    };
    // Either side ending ends the connection: dropping the halves closes both
    // sockets.
    tokio::select! {
        _ = to_server => {}
        () = to_viewer => {}
    }
    drop(place);
}

#[cfg(test)]
mod tests {
    use super::*;
    use std::io::{Read, Write};
    use std::net::{TcpListener as StdListener, TcpStream as StdStream};
    use std::time::Instant;

    /// A server that answers each connection's first bytes with "hello", or
    /// never answers.
    fn server(answers: bool) -> SocketAddr {
        let listener = StdListener::bind("127.0.0.1:0").unwrap();
        let addr = listener.local_addr().unwrap();
        std::thread::spawn(move || {
            for mut stream in listener.incoming().flatten() {
                std::thread::spawn(move || {
                    let mut buffer = [0; 64];
                    while matches!(stream.read(&mut buffer), Ok(n) if n > 0) {
                        if answers {
                            let _ = stream.write_all(b"hello");
                        }
                    }
                });
            }
        });
        addr
    }

    fn open(server: SocketAddr, max_viewers: usize, handshake: Duration) -> FrontDoor {
        FrontDoor::open("127.0.0.1", 0, server, Limits { max_viewers, handshake }).unwrap()
    }

    /// What the door answers a new connection's first bytes with ("" once it
    /// closes the connection without a word).
    fn answer(door: &FrontDoor) -> (StdStream, String) {
        let mut viewer = StdStream::connect(("127.0.0.1", door.port())).unwrap();
        viewer.set_read_timeout(Some(Duration::from_secs(10))).unwrap();
        viewer.write_all(b"GET /").unwrap();
        let mut buffer = [0; 256];
        let n = viewer.read(&mut buffer).unwrap();
        let text = String::from_utf8_lossy(&buffer[..n]).into_owned();
        (viewer, text)
    }

    #[test]
    fn the_door_refuses_viewers_over_the_limit_until_a_place_frees() {
        let door = open(server(true), 2, Duration::from_secs(10));
        let (first, hello) = answer(&door);
        assert_eq!(hello, "hello");
        let (_second, hello) = answer(&door);
        assert_eq!(hello, "hello");
        let (_, busy) = answer(&door);
        assert!(
            busy.starts_with("HTTP/1.1 503") && busy.contains("Content-Length: 56\r\n\r\ntoo many viewers"),
            "{busy}"
        );
        assert_eq!(door.refused(), 1);

        drop(first);
        let waiting = Instant::now();
        while answer(&door).1 != "hello" {
            assert!(waiting.elapsed() < Duration::from_secs(5), "the place did not free");
            std::thread::sleep(Duration::from_millis(10));
        }
    }

    #[test]
    fn a_handshake_left_unanswered_is_cut_at_the_deadline_and_frees_its_place() {
        let door = open(server(false), 1, Duration::from_millis(200));
        let started = Instant::now();
        assert_eq!(answer(&door).1, "");
        let took = started.elapsed();
        assert!(
            took >= Duration::from_millis(200) && took < Duration::from_secs(5),
            "{took:?}"
        );
        assert_eq!(answer(&door).1, "", "its place is free again, not refused");
    }

    #[test]
    fn closing_the_door_cuts_every_connection() {
        let mut door = open(server(true), 4, Duration::from_secs(10));
        let (mut viewer, _) = answer(&door);
        door.close();
        assert_eq!(viewer.read(&mut [0; 16]).unwrap(), 0);
        assert!(StdStream::connect(("127.0.0.1", door.port())).is_err());
    }
}

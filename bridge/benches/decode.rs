//! Times zenoh's own deserializer (zenoh-ext's `z_deserialize`) on the payloads
//! that bench/decode_bench.cpp writes, so that our C++ decoder can be compared
//! with it on the same bytes. The message layouts are mirrored as tuples; a
//! payload that does not decode, or that does not serialize back to the same
//! bytes, stops the bench, so a layout mistake cannot go unnoticed.
//!
//!   cargo bench --bench decode -- <payload dir>
//!   VELMOR_PAYLOAD_DIR=<payload dir> cargo bench --bench decode
//!
//! Prints one row per payload: name, size and ns per message (the median of
//! several timed rounds, each a fresh decode into owned values, then dropped).
use std::hint::black_box;
use std::path::PathBuf;
use std::time::{Duration, Instant};

use zenoh::bytes::ZBytes;
use zenoh_ext::{z_deserialize, z_serialize, Deserialize, Serialize};

type StatusData = (u16, i16, bool, bool, [bool; 8], [bool; 20], [bool; 20]);
type JointStateData = (
    Vec<f32>, // q
    Vec<f32>, // theta
    Vec<f32>, // dq
    Vec<f32>, // dtheta
    Vec<f32>, // tau
    Vec<f32>, // tau_dot
    Vec<f32>, // tau_ext
    Vec<f32>, // tau_interact
    Vec<f32>, // temperature
    Vec<[f32; 3]>,
    Vec<[f32; 3]>,
);
type CartesianStateData = ([f32; 7], [f32; 7], [f32; 6], [f32; 6], [f32; 6], [f32; 6], [f32; 6]);
type AllBasicStreamData = (StatusData, Vec<u16>, JointStateData, Vec<CartesianStateData>, i32, u32);
type RpcReply = (u16, bool, Vec<u16>, Vec<i32>, Vec<String>, Vec<f32>, Vec<Vec<f32>>);

const ROUNDS: usize = 7;
const ROUND_TIME: Duration = Duration::from_millis(200);

fn payload_dir() -> PathBuf {
    // cargo passes `--bench` to every bench binary.
    std::env::args()
        .skip(1)
        .find(|arg| !arg.starts_with("--"))
        .or_else(|| std::env::var("VELMOR_PAYLOAD_DIR").ok())
        .map(PathBuf::from)
        .unwrap_or_else(|| PathBuf::from("../build/bench"))
}

/// Median ns per `z_deserialize::<T>` of `payload`.
fn time_decode<T: Deserialize + Serialize>(name: &str, payload: &[u8]) -> f64 {
    let bytes = ZBytes::from(payload.to_vec());
    let decoded = z_deserialize::<T>(&bytes)
        .unwrap_or_else(|_| panic!("{name}: zenoh-ext rejects the payload; the mirrored layout is wrong"));
    assert_eq!(
        z_serialize(&decoded).to_bytes().as_ref(),
        payload,
        "{name}: zenoh-ext does not serialize the decoded message back to the same bytes"
    );

    // Iterations per round, so that one round takes about ROUND_TIME.
    let mut per_round: u64 = 1;
    loop {
        let start = Instant::now();
        for _ in 0..per_round {
            black_box(z_deserialize::<T>(black_box(&bytes)).ok());
        }
        if start.elapsed() >= ROUND_TIME / 10 {
            let scale = ROUND_TIME.as_secs_f64() / start.elapsed().as_secs_f64();
            per_round = ((per_round as f64) * scale).max(1.0) as u64;
            break;
        }
        per_round *= 2;
    }

    let mut samples: Vec<f64> = (0..ROUNDS)
        .map(|_| {
            let start = Instant::now();
            for _ in 0..per_round {
                black_box(z_deserialize::<T>(black_box(&bytes)).ok());
            }
            start.elapsed().as_nanos() as f64 / per_round as f64
        })
        .collect();
    samples.sort_by(f64::total_cmp);
    samples[ROUNDS / 2]
}

fn main() {
    let dir = payload_dir();
    let read = |file: &str| {
        let path = dir.join(file);
        std::fs::read(&path)
            .unwrap_or_else(|e| panic!("cannot read {} ({e}); run bench/decode_bench first", path.display()))
    };
    let basic = read("basic_payload.bin");
    let reply = read("reply_payload.bin");

    println!(
        "zenoh-ext z_deserialize, ns per message (median of {ROUNDS} rounds), payloads in {}",
        dir.display()
    );
    println!("{:<8} {:>6} {:>10}", "payload", "bytes", "ns");
    let basic_ns = time_decode::<AllBasicStreamData>("basic", &basic);
    println!("{:<8} {:>6} {:>10.1}", "basic", basic.len(), basic_ns);
    let reply_ns = time_decode::<RpcReply>("reply", &reply);
    println!("{:<8} {:>6} {:>10.1}", "reply", reply.len(), reply_ns);
}

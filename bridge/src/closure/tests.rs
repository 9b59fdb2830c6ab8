//! The gate's rules on real threads. A call is held inside the gate by a
//! channel it waits on, and everything that could hang (a gate that waits for
//! itself) runs on a thread of its own under a deadline, so a broken rule
//! fails the test instead of stalling the run.
use std::panic::resume_unwind;
use std::sync::mpsc::{channel, RecvTimeoutError, Sender};
use std::time::{Duration, Instant};

use super::probe::{deliver, Call, Probe};
use super::{Declared, OwnedClosure};
use crate::sync::atomic::{AtomicUsize, Ordering::SeqCst};
use crate::sync::thread::{self, JoinHandle};
use crate::sync::Arc;

const DEADLINE: Duration = Duration::from_secs(10);

/// Runs `body` on a thread of its own; fails when it does not return by the
/// deadline (a deadlock) or panics.
fn returns<T: Send + 'static>(what: &str, body: impl FnOnce() -> T + Send + 'static) -> T {
    let (done, returned) = channel();
    thread::spawn(move || done.send(body()));
    match returned.recv_timeout(DEADLINE) {
        Ok(value) => value,
        Err(RecvTimeoutError::Timeout) => panic!("{what} did not return"),
        Err(RecvTimeoutError::Disconnected) => panic!("{what} panicked"),
    }
}

/// Joins `threads`, failing when one hangs or panics.
fn join(what: &str, threads: Vec<JoinHandle<()>>) {
    returns(what, move || {
        for handle in threads {
            handle.join().unwrap();
        }
    });
}

fn wait_until(what: &str, condition: impl Fn() -> bool) {
    let start = Instant::now();
    while !condition() {
        assert!(start.elapsed() < DEADLINE, "never {what}");
        thread::yield_now();
    }
}

/// Calls blocked in the gate behind another.
fn waiting<F: Copy>(closure: &OwnedClosure<F>) -> usize {
    closure.gate.lock().waiting
}

/// Starts a call on a thread of its own and returns once it is inside the
/// gate, where it stays until the returned sender lets it go on to `then`.
fn hold_a_call(
    closure: &Arc<OwnedClosure<Call>>,
    then: impl FnOnce() + Send + 'static,
) -> (JoinHandle<()>, Sender<()>) {
    let (entered, inside) = channel();
    let (release, released) = channel::<()>();
    let closure = closure.clone();
    let caller = thread::spawn(move || {
        closure.run(|call, context| {
            deliver(call, context);
            entered.send(()).unwrap();
            released.recv().unwrap();
            then();
        })
    });
    inside.recv_timeout(DEADLINE).expect("the held call entered");
    (caller, release)
}

fn spawn_call(closure: &Arc<OwnedClosure<Call>>) -> JoinHandle<()> {
    let closure = closure.clone();
    thread::spawn(move || closure.run(deliver))
}

#[test]
fn calls_from_many_threads_never_overlap_and_none_is_lost() {
    let probe = Probe::new();
    let closure = Probe::closure(&probe);
    let inside = Arc::new(AtomicUsize::new(0));
    let overlaps = Arc::new(AtomicUsize::new(0));
    let callers: Vec<_> = (0..4)
        .map(|_| {
            let (closure, inside, overlaps) = (closure.clone(), inside.clone(), overlaps.clone());
            thread::spawn(move || {
                for _ in 0..200 {
                    closure.run(|call, context| {
                        if inside.fetch_add(1, SeqCst) > 0 {
                            overlaps.fetch_add(1, SeqCst);
                        }
                        deliver(call, context);
                        thread::yield_now();
                        inside.fetch_sub(1, SeqCst);
                    });
                }
            })
        })
        .collect();
    join("calls from many threads", callers);
    assert_eq!(overlaps.load(SeqCst), 0, "calls overlapped");
    assert_eq!(probe.calls(), 800, "a call that only had to wait was dropped");
}

#[test]
fn undeclare_waits_for_the_running_call_and_sends_the_waiting_ones_away() {
    let probe = Probe::new();
    let closure = Probe::closure(&probe);
    let declared = Declared::new((), closure.clone());
    let (running, release) = hold_a_call(&closure, || {});
    let queued = spawn_call(&closure);
    wait_until("a second call waited", || waiting(&closure) == 1);

    let (undeclared, returned) = channel();
    let undeclaring = thread::spawn(move || {
        declared.undeclare();
        undeclared.send(()).unwrap();
    });
    // Only a broken gate lets undeclare return while the call is held: the
    // pause gives it the time to, and costs a right gate nothing but the pause.
    assert_eq!(
        returned.recv_timeout(Duration::from_millis(200)),
        Err(RecvTimeoutError::Timeout),
        "undeclare returned while a call ran"
    );
    release.send(()).unwrap();
    returned
        .recv_timeout(DEADLINE)
        .expect("undeclare returned once the call did");

    join("the calls and undeclare", vec![running, queued, undeclaring]);
    closure.run(deliver);
    assert_eq!(probe.calls(), 1, "a call entered after undeclare began");
}

#[test]
fn undeclare_from_inside_a_call_returns_and_sends_the_waiting_ones_away() {
    let probe = Probe::new();
    let closure = Probe::closure(&probe);
    let declared = Declared::new((), closure.clone());
    let (running, release) = hold_a_call(&closure, move || declared.undeclare());
    let queued = spawn_call(&closure);
    wait_until("a second call waited", || waiting(&closure) == 1);

    release.send(()).unwrap();
    join("undeclare from inside a call", vec![running, queued]);
    closure.run(deliver);
    assert_eq!(probe.calls(), 1, "a call entered after undeclare began");
}

#[test]
fn a_call_delivered_inline_from_inside_a_call_is_dropped() {
    let probe = Probe::new();
    let closure = Probe::closure(&probe);
    let inner = closure.clone();
    returns("an inline call", move || {
        inner.run(|call, context| {
            deliver(call, context);
            inner.run(deliver);
        })
    });
    assert_eq!(probe.calls(), 1, "the inline call ran");
    closure.run(deliver);
    assert_eq!(probe.calls(), 2, "the gate stayed shut after the inline call");
}

#[test]
fn a_panicking_call_leaves_the_gate_open() {
    let probe = Probe::new();
    let closure = Probe::closure(&probe);
    let declared = Declared::new((), closure.clone());
    closure.run(|call, context| {
        deliver(call, context);
        // Unwinds like a panic without printing one.
        resume_unwind(Box::new("the call failed"));
    });
    closure.run(deliver);
    assert_eq!(probe.calls(), 2, "the gate stayed shut after a panic");
    returns("undeclare after a panic", move || declared.undeclare());
}

#[test]
fn the_c_drop_runs_once_after_the_last_call() {
    let probe = Probe::new();
    let closure = Probe::closure(&probe);
    let declared = Declared::new((), closure.clone());
    let drops_during_the_call = Arc::new(AtomicUsize::new(usize::MAX));
    let seen = drops_during_the_call.clone();
    let inside_probe = probe.clone();
    // zenoh may hold the last reference to the closure: undeclaring from
    // inside its call leaves that call running after every other is gone.
    let (running, release) = hold_a_call(&closure, move || {
        declared.undeclare();
        seen.store(inside_probe.drops(), SeqCst);
    });
    drop(closure);
    release.send(()).unwrap();
    join("the last call", vec![running]);
    assert_eq!(
        drops_during_the_call.load(SeqCst),
        0,
        "the C drop ran before the last call returned"
    );
    assert_eq!(probe.drops(), 1, "the C drop did not run exactly once");

    // An operation that fails before delivering still releases the context.
    let rejected = Probe::new();
    drop(Probe::closure_without_call(&rejected));
    assert_eq!((rejected.calls(), rejected.drops()), (0, 1));
}

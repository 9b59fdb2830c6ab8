//! The gate's protocol under loom (`--cfg loom`), which runs each model below
//! in every interleaving of its threads that the gate's mutex and condition
//! variable allow, up to LOOM_MAX_PREEMPTIONS forced switches, and fails on a
//! broken assertion, a deadlock or a leaked closure. A fault is recorded
//! rather than asserted inside a call: the gate contains a call's panic.
use super::probe::{deliver, Probe};
use super::Declared;
use crate::sync::atomic::{AtomicBool, AtomicUsize, Ordering::SeqCst};
use crate::sync::{thread, Arc};

#[derive(Default)]
struct Faults {
    overlapped: AtomicBool,
    entered_after_undeclare: AtomicBool,
    dropped_during_a_call: AtomicBool,
}

/// Two threads deliver one call each while a third undeclares and lets go of
/// its references: calls never overlap, none runs once undeclare has
/// returned, and the C drop runs once, after the last call.
#[test]
fn calls_meet_undeclare_and_the_drop_in_order() {
    loom::model(|| {
        let probe = Probe::new();
        let closure = Probe::closure(&probe);
        let declared = Declared::new((), closure.clone());
        let inside = Arc::new(AtomicUsize::new(0));
        let undeclared = Arc::new(AtomicBool::new(false));
        let faults = Arc::new(Faults::default());
        let callers: Vec<_> = (0..2)
            .map(|_| {
                let (closure, probe) = (closure.clone(), probe.clone());
                let (inside, undeclared, faults) = (inside.clone(), undeclared.clone(), faults.clone());
                thread::spawn(move || {
                    closure.run(|call, context| {
                        if inside.fetch_add(1, SeqCst) > 0 {
                            faults.overlapped.store(true, SeqCst);
                        }
                        if undeclared.load(SeqCst) {
                            faults.entered_after_undeclare.store(true, SeqCst);
                        }
                        deliver(call, context);
                        if probe.drops() > 0 {
                            faults.dropped_during_a_call.store(true, SeqCst);
                        }
                        // Still inside: undeclare must not have returned.
                        if undeclared.load(SeqCst) {
                            faults.entered_after_undeclare.store(true, SeqCst);
                        }
                        inside.fetch_sub(1, SeqCst);
                    })
                })
            })
            .collect();
        drop(closure);
        declared.undeclare();
        undeclared.store(true, SeqCst);
        for caller in callers {
            caller.join().unwrap();
        }
        assert!(!faults.overlapped.load(SeqCst), "calls overlapped");
        assert!(
            !faults.entered_after_undeclare.load(SeqCst),
            "a call ran after undeclare returned"
        );
        assert!(
            !faults.dropped_during_a_call.load(SeqCst),
            "the C drop ran during a call"
        );
        assert_eq!(probe.drops(), 1, "the C drop did not run exactly once");
    });
}

/// One call delivers inline to itself, then undeclares from inside, while
/// another call arrives: nothing waits forever, the inline call is dropped,
/// and the other call never enters once undeclare has begun.
#[test]
fn undeclare_from_inside_a_call_sends_the_other_call_away() {
    loom::model(|| {
        let probe = Probe::new();
        let closure = Probe::closure(&probe);
        let declared = Declared::new((), closure.clone());
        let undeclaring = Arc::new(AtomicBool::new(false));
        let entered_after_undeclare = Arc::new(AtomicBool::new(false));
        let first = {
            let (closure, undeclaring) = (closure.clone(), undeclaring.clone());
            thread::spawn(move || {
                closure.run(|call, context| {
                    deliver(call, context);
                    closure.run(deliver);
                    undeclaring.store(true, SeqCst);
                    declared.undeclare();
                })
            })
        };
        let second = {
            let (closure, entered) = (closure.clone(), entered_after_undeclare.clone());
            thread::spawn(move || {
                closure.run(|call, context| {
                    if undeclaring.load(SeqCst) {
                        entered.store(true, SeqCst);
                    }
                    deliver(call, context);
                })
            })
        };
        first.join().unwrap();
        second.join().unwrap();
        assert!(
            !entered_after_undeclare.load(SeqCst),
            "a call entered after undeclare began"
        );
        closure.run(deliver);
        assert!((1..=2).contains(&probe.calls()), "a call ran after undeclare");
    });
}

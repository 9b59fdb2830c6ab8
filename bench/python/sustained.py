"""Sustained streams: a Python program polling at a fixed rate while qrk-sim
streams both messages at 1 kHz.

Phases, all on one client:
  on      --seconds of polling states() and actions() at --poll-rate;
  paused  --pause-seconds of the same polling with the simulator stopped
          (SIGSTOP to --sim-pid), the receive path's idle baseline;
  tight   --tight-seconds of polling states() as fast as Python can, with
          the simulator running again, for a lower bound of samples decoded.

The simulator numbers its samples in the time stamp's second half, so the
samples sent during a phase are the difference of the first and last numbers
seen. CPU time comes from time.process_time (every thread of the process)
and time.thread_time (the polling thread). Prints one JSON object.
"""

import argparse
import json
import os
import signal
import time

from client_connect import connect


def sequence(results):
    return next(iter(results.values())).timestamp[1] if results else None


def poll(client, seconds, rate):
    """Polls states() and actions() at `rate` (0: as fast as possible)."""
    # The simulator's sample numbers only grow: counting changes counts them.
    seen = polls = empty = 0
    first = last = None
    period = 1.0 / rate if rate else 0.0
    wall0, cpu0, thread0 = time.monotonic(), time.process_time(), time.thread_time()
    next_poll = wall0
    end = wall0 + seconds
    while True:
        now = time.monotonic()
        if now >= end:
            break
        if period:
            if now < next_poll:
                time.sleep(next_poll - now)
            next_poll += period
            if next_poll < now - 0.1:  # fell far behind: do not burst
                next_poll = now
        states = client.states()
        if period:
            client.actions()
        polls += 1
        number = sequence(states)
        if number is None:
            empty += 1
        elif number != last:
            seen += 1
            first = number if first is None else first
            last = number
    wall = time.monotonic() - wall0
    return {
        "wall_s": wall,
        "cpu_s": time.process_time() - cpu0,
        "poll_thread_cpu_s": time.thread_time() - thread0,
        "polls": polls,
        "empty_results": empty,
        "distinct_seen": seen,
        "sent": (last - first + 1) if seen else 0,
    }


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--serial", required=True)
    parser.add_argument("--sim-pid", type=int, required=True)
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--pause-seconds", type=float, default=5.0)
    parser.add_argument("--tight-seconds", type=float, default=10.0)
    parser.add_argument("--poll-rate", type=float, default=1000.0)
    args = parser.parse_args()

    client = connect(args.serial, False, within=30.0)
    poll(client, 2.0, args.poll_rate)  # warm-up
    on = poll(client, args.seconds, args.poll_rate)
    os.kill(args.sim_pid, signal.SIGSTOP)
    try:
        paused = poll(client, args.pause_seconds, args.poll_rate)
    finally:
        os.kill(args.sim_pid, signal.SIGCONT)
    time.sleep(1.0)
    tight = poll(client, args.tight_seconds, 0)
    print(json.dumps({"on": on, "paused": paused, "tight": tight}))


if __name__ == "__main__":
    main()

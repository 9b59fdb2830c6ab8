"""A fleet in one Python process: one velmorqrk.Client per robot given by
--serials (stamp-server's robots), built one after the other, then each
polled with states() at --poll-rate for --seconds from one thread.

Prints one JSON object: the construction time of each client (its robot
already streaming, the earlier clients live), resident memory before the
first and after each client, the process's thread count before the first
client and with all of them, and for the polling phase the CPU of every
thread but the polling one (zenoh's and the client's receive path) with the
basic samples sent in that time (the span of the sequence numbers seen).
"""

import argparse
import json
import os
import time

from client_connect import connect


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def threads():
    return len(os.listdir("/proc/self/task"))


def poll(clients, seconds, rate):
    first = [None] * len(clients)
    last = [None] * len(clients)
    seen = 0
    period = 1.0 / rate
    start_ns = time.monotonic_ns()  # CLOCK_MONOTONIC, as the bare reference process's readings
    wall0, cpu0, mine0 = time.monotonic(), time.process_time(), time.thread_time()
    next_poll, end = wall0, wall0 + seconds
    while next_poll < end:
        pause = next_poll - time.monotonic()
        if pause > 0:
            time.sleep(pause)
        next_poll += period
        for i, client in enumerate(clients):
            states = client.states()
            if not states:
                continue
            number = next(iter(states.values())).timestamp[0]
            if number != last[i]:
                seen += 1
                first[i] = number if first[i] is None else first[i]
                last[i] = number
    mine = time.thread_time() - mine0
    return {"start_ns": start_ns, "wall_s": time.monotonic() - wall0,
            "receive_cpu_s": time.process_time() - cpu0 - mine, "poll_cpu_s": mine,
            "sent": sum(b - a + 1 for a, b in zip(first, last, strict=True) if a is not None), "seen": seen}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--serials", required=True, help="comma-separated")
    parser.add_argument("--seconds", type=float, default=5.0)
    parser.add_argument("--poll-rate", type=float, default=100.0)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    serials = args.serials.split(",")

    result = {"threads_base": threads(), "rss_base": resident_bytes(), "construct_s": [], "rss": []}
    clients = []
    for serial in serials:
        start = time.monotonic()
        clients.append(connect(serial, False, within=30.0))
        result["construct_s"].append(time.monotonic() - start)
        result["rss"].append(resident_bytes())
    result["threads_at_construction"] = threads()
    time.sleep(1.0)

    result["phases"] = [poll(clients, args.seconds, args.poll_rate) for _ in range(args.rounds)]
    # After the phases: right after the first client opened the session, zenoh
    # may still run a thread or two of the opening.
    result["threads"] = threads()
    print(json.dumps(result))


if __name__ == "__main__":
    main()

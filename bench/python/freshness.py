"""Freshness seen from Python: polls client.states() as fast as it can against
bench's stamp-server, whose time stamps read (sequence, CLOCK_MONOTONIC ns
modulo 2^32 at the put), and prints "python <latency ns>" for each new sample
after a warm-up: the time until states() returned it.
"""

import argparse
import time

from client_connect import connect

WARM_UP = 300


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--serial", required=True)
    parser.add_argument("--count", type=int, default=3000)
    args = parser.parse_args()
    client = connect(args.serial, False, within=30.0)
    clock = time.clock_gettime_ns
    monotonic = time.CLOCK_MONOTONIC
    latencies = []
    last = None
    seen = 0
    deadline = time.monotonic() + 120
    while len(latencies) < args.count:
        states = client.states()
        if not states:
            continue
        first, sent = next(iter(states.values())).timestamp
        if first == last:
            if time.monotonic() > deadline:
                raise SystemExit(f"only {len(latencies)} samples arrived")
            continue
        latency = (clock(monotonic) - sent) & 0xFFFFFFFF
        last = first
        seen += 1
        if seen > WARM_UP:
            latencies.append(latency)
    print("\n".join(f"python {latency}" for latency in latencies))


if __name__ == "__main__":
    main()

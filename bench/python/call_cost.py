"""Python call cost of the stream accessors against the bare conversion cost.

Connects to the robot given by --serial (qrk-sim with --groups 2,3,4,5: 16
joints in four groups), hands the client's own first results to the
benchmark-only helper module, then times, in alternating rounds of at least --round-ms, each
accessor of the client and the helper's method that returns a copy of the
same prebuilt result through the same casters. Prints one JSON object:
{name: {"client_us": ..., "bare_us": ...}} with the median of the rounds.
"""

import argparse
import json
import statistics
import sys
import time

import velmorqrk
import velmorqrk_bench_helper as helper
from client_connect import connect

NAMES = ("states", "actions", "digital_inputs")


def per_call_us(function, calls):
    start = time.perf_counter_ns()
    for _ in range(calls):
        function()
    return (time.perf_counter_ns() - start) / calls / 1000.0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--serial", required=True)
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--calls", type=int, default=2000, help="fewest calls in a round")
    parser.add_argument("--round-ms", type=float, default=20.0,
                        help="least length of a round: a fraction of a millisecond would be swayed by one interrupt")
    args = parser.parse_args()

    if not helper.shares_types():
        sys.exit("the helper module does not see velmorqrk's type registrations")
    client = connect(args.serial, False, within=30.0)
    time.sleep(0.5)
    states, actions, inputs = client.states(), client.actions(), client.digital_inputs()
    if len(states) != 4 or len(actions) != 4:
        sys.exit(f"expected four joint groups, got states {list(states)} actions {list(actions)}")
    prebuilt = helper.Prebuilt(states, actions, inputs)
    if type(next(iter(prebuilt.states().values()))) is not velmorqrk.RobotStates:
        sys.exit("the helper's records are not velmorqrk.RobotStates")

    pairs = {name: (getattr(client, name), getattr(prebuilt, name)) for name in NAMES}
    calls = {}
    for name, (ours, bare) in pairs.items():  # warm up, and size the rounds on the slower side
        slowest_us = max(per_call_us(ours, args.calls // 4), per_call_us(bare, args.calls // 4))
        calls[name] = max(args.calls, round(args.round_ms * 1000 / slowest_us))
    samples = {name: ([], []) for name in NAMES}
    for round_index in range(args.rounds):
        for name, (ours, bare) in pairs.items():
            # Alternate the order so that neither side always runs first.
            order = ((0, ours), (1, bare)) if round_index % 2 == 0 else ((1, bare), (0, ours))
            for side, function in order:
                samples[name][side].append(per_call_us(function, calls[name]))
    result = {name: {"client_us": statistics.median(ours), "bare_us": statistics.median(bare)}
              for name, (ours, bare) in samples.items()}
    print(json.dumps(result))


if __name__ == "__main__":
    main()

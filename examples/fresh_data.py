"""Waits for a robot to come up, then says twice a second whether its data is fresh.

    python examples/fresh_data.py AB-12-345 [--wait 60] [--seconds 10]

The stream calls answer from the latest sample received, however old it is:
while the link is down or the robot is stopped, estop_released() keeps
returning its last value. The robot's time stamp pair changes from one sample
to the next, so a pair that stops changing means stale data.
"""
import argparse
import math
import sys
import time

import velmorqrk

NOT_FOUND = "[velmor::qrk::Client] Failed to connect to ["


def connect_within(serial: str, seconds: float, verbose: bool = True) -> velmorqrk.Client:
    """A client for `serial`, constructed again while the robot is not found, for up to `seconds`.

    Each attempt itself searches for about 3 s, so a robot still missing at the
    deadline raises up to one attempt later. Any other error raises at once."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            return velmorqrk.Client(serial, verbose)
        except RuntimeError as error:
            if not str(error).startswith(NOT_FOUND) or time.monotonic() >= deadline:
                raise


class Freshness:
    """Tells whether a new sample has certainly come within the last `max_age` seconds.

    A time stamp that differs from the one the previous call saw means a new
    sample came after that call (differs, not grows: a restarted robot may
    count from the start again). Call it several times per `max_age`; a
    slower caller sees its data as stale."""

    def __init__(self, max_age: float = 0.5) -> None:
        self.max_age = max_age
        self.stamp: tuple[int, int] | None = None
        self.previous_call = -math.inf
        self.new_sample_after = -math.inf

    def fresh(self, client: velmorqrk.Client) -> bool:
        states = client.states()
        now = time.monotonic()
        if states:
            stamp = next(iter(states.values())).timestamp
            if stamp != self.stamp:  # a new sample came after the previous call
                self.stamp, self.new_sample_after = stamp, self.previous_call
        self.previous_call = now
        return now - self.new_sample_after <= self.max_age


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("serial")
    parser.add_argument("--wait", type=float, default=60.0, help="how long to wait for the robot (default 60 s)")
    parser.add_argument("--seconds", type=float, default=10.0, help="how long to watch (default 10 s)")
    args = parser.parse_args()

    client = connect_within(args.serial, args.wait, verbose=False)
    freshness = Freshness()
    end = time.monotonic() + args.seconds
    next_line = time.monotonic()
    while time.monotonic() < end:
        fresh = freshness.fresh(client)
        if time.monotonic() >= next_line:
            print(f"{'fresh' if fresh else 'STALE'} stamp={freshness.stamp} "
                  f"estop_released={client.estop_released()}", flush=True)
            next_line += 0.5
        time.sleep(0.05)
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""Clients for the tests and the benchmarks, constructed again while zenoh has not yet found the robot's host.

Construction searches for about 3 s, and a robot on the other host may not be
discovered that early. Only that failure is retried; any other raises at once."""

import time

import velmorqrk

NOT_FOUND = "[velmor::qrk::Client] Failed to connect to ["


def connect(*args, within=20.0, **kwargs):
    """A client built with these arguments, constructed again while the robot is not found; past `within`
    seconds the last not-found error raises."""
    deadline = time.monotonic() + within
    while True:
        try:
            return velmorqrk.Client(*args, **kwargs)
        except RuntimeError as error:
            if not str(error).startswith(NOT_FOUND) or time.monotonic() > deadline:
                raise

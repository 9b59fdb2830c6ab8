"""The client every Python benchmark measures, retried while zenoh has not yet
found the robot on the other host."""

import time

import velmorqrk


def connect(serial, within=30.0):
    deadline = time.monotonic() + within
    while True:
        try:
            return velmorqrk.Client(serial, False)
        except RuntimeError:
            if time.monotonic() > deadline:
                raise

"""Publishes large junk payloads on one key at a fixed rate, as any peer on
the network could: the client must drop them and keep its memory bounded.

    python junk_publisher.py KEY --size BYTES --rate HZ

Prints "ready" once the publisher is declared; SIGINT ends it.
"""
import argparse
import os
import signal
import time

import zenoh


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("key")
    parser.add_argument("--size", type=int, required=True)
    parser.add_argument("--rate", type=float, required=True)
    args = parser.parse_args()
    stop = []
    signal.signal(signal.SIGINT, lambda *_: stop.append(True))
    junk = os.urandom(args.size)  # one buffer, sent again and again: the sender's CPU stays low
    with zenoh.open(zenoh.Config()) as session:
        publisher = session.declare_publisher(args.key)
        print("ready", flush=True)
        next_put = time.monotonic()
        while not stop:
            publisher.put(junk)
            next_put += 1.0 / args.rate
            time.sleep(max(0.0, next_put - time.monotonic()))


if __name__ == "__main__":
    main()

"""zenoh's own router: the zenoh Python package's session in router mode.

    python zenoh_router.py ENDPOINT [ENDPOINT ...]

Listens on the given endpoints (one per subnet it joins) and answers
multicast scouting, so that peers on its subnets find it by zenoh's default
discovery; it routes between them. Prints "ready" on stdout once open; exits
cleanly on SIGINT or SIGTERM.
"""

import json
import signal
import sys
import threading

import zenoh


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: zenoh_router.py ENDPOINT [ENDPOINT ...]")
    config = zenoh.Config.from_json5(json.dumps({"mode": "router", "listen": {"endpoints": sys.argv[1:]}}))
    stop = threading.Event()
    for signum in (signal.SIGINT, signal.SIGTERM):
        signal.signal(signum, lambda *_: stop.set())
    with zenoh.open(config):
        print("ready", flush=True)
        while not stop.wait(0.5):
            pass
    print("router stopped", file=sys.stderr, flush=True)


if __name__ == "__main__":
    main()

"""What every pytest run of ours checks first (the conftest.py files of tests/python and tests/packaging).

Clients open zenoh sessions that scout by multicast on every interface, so a run refuses to start outside a
namespace made by scripts/netns-run. The programs the tests start are stopped with SIGINT and SIGHUP, as from a
terminal, and keep a signal ignored that they start with ignored: a run started as a background job or under nohup
gives both back, so that its programs start as from a terminal.
"""

import os
import signal
import socket


def isolation_problem():
    if "VELMOR_NETNS" not in os.environ:
        return "not started through scripts/netns-run (VELMOR_NETNS unset)"
    allowed = {"lo", *filter(None, os.environ.get("VELMOR_NETNS_IFACES", "").split(","))}
    foreign = sorted(name for _, name in socket.if_nameindex() if name not in allowed)
    return f"foreign network interfaces {foreign} in this namespace" if foreign else None


def unignore_stop_signals():
    if signal.getsignal(signal.SIGINT) == signal.SIG_IGN:
        signal.signal(signal.SIGINT, signal.default_int_handler)
    if signal.getsignal(signal.SIGHUP) == signal.SIG_IGN:
        signal.signal(signal.SIGHUP, signal.SIG_DFL)

"""Shared pytest setup for the velmorqrk tests.

The tests import the installed module (pip install . into .venv), never the
source tree. Clients open zenoh sessions that scout by multicast on every
interface, so the suite refuses to run outside a namespace made by
scripts/netns-run.

The programs the tests start (qrk, qrk-sim, the Python servers) are stopped
with SIGINT and SIGHUP, as from a terminal, and keep a signal ignored that
they start with ignored: a run started as a background job or under nohup
gets both back, so that its programs start as from a terminal.
"""

import os
import signal
import socket

import pytest

import velmorqrk


def _isolation_problem():
    if "VELMOR_NETNS" not in os.environ:
        return "not started through scripts/netns-run (VELMOR_NETNS unset)"
    allowed = {"lo", *filter(None, os.environ.get("VELMOR_NETNS_IFACES", "").split(","))}
    foreign = sorted(name for _, name in socket.if_nameindex() if name not in allowed)
    return f"foreign network interfaces {foreign} in this namespace" if foreign else None


def _unignore_stop_signals():
    if signal.getsignal(signal.SIGINT) == signal.SIG_IGN:
        signal.signal(signal.SIGINT, signal.default_int_handler)
    if signal.getsignal(signal.SIGHUP) == signal.SIG_IGN:
        signal.signal(signal.SIGHUP, signal.SIG_DFL)


def pytest_configure(config):
    problem = _isolation_problem()
    if problem:
        raise pytest.UsageError(f"REFUSING TO RUN: {problem}; run the tests with scripts/netns-run")
    _unignore_stop_signals()


def pytest_report_header(config):
    return f"velmorqrk: {velmorqrk.__file__}"

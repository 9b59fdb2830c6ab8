"""Shared pytest setup for the velmorqrk tests.

The tests import the installed module (pip install . into .venv), never the
source tree. Clients open zenoh sessions that scout by multicast on every
interface, so the suite refuses to run outside a namespace made by
scripts/netns-run.
"""

import os
import socket

import pytest

import velmorqrk


def _isolation_problem():
    if "VELMOR_NETNS" not in os.environ:
        return "not started through scripts/netns-run (VELMOR_NETNS unset)"
    allowed = {"lo", *filter(None, os.environ.get("VELMOR_NETNS_IFACES", "").split(","))}
    foreign = sorted(name for _, name in socket.if_nameindex() if name not in allowed)
    return f"foreign network interfaces {foreign} in this namespace" if foreign else None


def pytest_configure(config):
    problem = _isolation_problem()
    if problem:
        raise pytest.UsageError(f"REFUSING TO RUN: {problem}; run the tests with scripts/netns-run")


def pytest_report_header(config):
    return f"velmorqrk: {velmorqrk.__file__}"

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

import pytest

import velmorqrk
from netns_guard import isolation_problem, unignore_stop_signals


def pytest_configure(config):
    problem = isolation_problem()
    if problem:
        raise pytest.UsageError(f"REFUSING TO RUN: {problem}; run the tests with scripts/netns-run")
    unignore_stop_signals()


def pytest_report_header(config):
    return f"velmorqrk: {velmorqrk.__file__}"

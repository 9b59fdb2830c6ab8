"""Checks of what the build ships, run by the scripts that make it (scripts/test-package, scripts/test-wheel,
scripts/test-aarch64) against the installed package, wheel or cross-built programs they name in the environment.
They share tests/python's helpers and, as every run of ours, refuse to run outside scripts/netns-run."""

import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests/python"))

from netns_guard import isolation_problem, unignore_stop_signals  # noqa: E402


def pytest_configure(config):
    problem = isolation_problem()
    if problem:
        raise pytest.UsageError(f"REFUSING TO RUN: {problem}; run the tests with scripts/netns-run")
    unignore_stop_signals()


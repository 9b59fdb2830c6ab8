"""Robot data servers on the other host (see peer_host), and clients that wait to find them."""

import importlib.metadata
import os
import sys
import time
from pathlib import Path

import pytest

from client_connect import connect as connect  # the tests' connect, shared with the benchmarks
from peer_host import RobotServer

ROOT = Path(__file__).resolve().parents[2]
PYTHON_SERVER = Path(__file__).with_name("python_robot_server.py")

CONNECTED_LINE = "[velmor::qrk::Client] Connected to the robot"
EXIT_LINE = ">>>>> Velmor QRK exited <<<<<"


def _built_program(variable, path, target):
    """A program of the build ($variable, else build/test or build/dev); a missing one fails the test
    (a broken build must not pass as skipped)."""
    if variable in os.environ:
        candidates = [Path(os.environ[variable])]
    else:
        candidates = [ROOT / "build/test" / path, ROOT / "build/dev" / path]
    for candidate in candidates:
        if os.access(candidate, os.X_OK):
            return candidate
    pytest.fail(f"no {target} program at {' or '.join(map(str, candidates))} (build the target {target} "
                f"or set {variable})")


def qrk_sim():
    """The simulator program."""
    return _built_program("QRK_SIM", "sim/qrk-sim", "qrk-sim")


def qrk_tool():
    """The qrk command-line tool."""
    return _built_program("QRK", "cli/qrk", "qrk")


def foxglove_probe():
    """The simulated robot through qrk's Foxglove outputs (tests/cpp/cli/foxglove_probe.cpp)."""
    return _built_program("FOXGLOVE_PROBE", "tests/cpp/foxglove_probe", "foxglove_probe")


def simulated_robot(serial, *options, rate=100):
    return RobotServer([qrk_sim(), "--serial", serial, "--rate", rate, *options])


# The zenoh release of the tests' own .venv (requirements-dev.txt); older ones
# live in venvs of their own that scripts/setup makes (.venv-zenoh-<version>).
ZENOH_VERSION = importlib.metadata.version("eclipse-zenoh")
OLDER_ZENOH_VERSIONS = ("1.0.4", "1.6.2")


def zenoh_python(version):
    """An interpreter whose zenoh package is `version`; a missing venv fails the test (run scripts/setup)."""
    if version == ZENOH_VERSION:
        return Path(sys.executable)
    python = ROOT / f".venv-zenoh-{version}/bin/python"
    if not os.access(python, os.X_OK):
        pytest.fail(f"no {python} (scripts/setup makes it)")
    return python


def python_robot(serial, rate=100, style="callback", zenoh_version=ZENOH_VERSION, stream_delay=0.0, reply_key="query",
                 amplify=None):
    return RobotServer([zenoh_python(zenoh_version), PYTHON_SERVER, "--serial", serial, "--rate", rate,
                        "--style", style, "--stream-delay", stream_delay, "--reply-key", reply_key,
                        *(["--amplify", amplify] if amplify is not None else [])])


def report(config, text):
    """Prints `text` in the test output, past pytest's capture (for measured figures)."""
    with config.pluginmanager.getplugin("capturemanager").global_and_fixture_disabled():
        print(f"\n{text}", flush=True)


def wait_until(condition, within=5.0, step=0.01):
    """Polls `condition` until it holds; returns its last result."""
    deadline = time.monotonic() + within
    while not (result := condition()) and time.monotonic() < deadline:
        time.sleep(step)
    return result

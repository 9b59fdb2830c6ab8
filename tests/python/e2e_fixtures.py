"""Robot data servers on the other host (see peer_host), and clients that wait to find them."""

import importlib.metadata
import os
import sys
import time
from pathlib import Path

import pytest

import velmorqrk
from peer_host import RobotServer

ROOT = Path(__file__).resolve().parents[2]
PYTHON_SERVER = Path(__file__).with_name("python_robot_server.py")

CONNECTED_LINE = "[velmor::qrk::Client] Connected to the robot"
EXIT_LINE = ">>>>> Velmor QRK exited <<<<<"
_NOT_FOUND = "[velmor::qrk::Client] Failed to connect to ["


def qrk_sim():
    """The simulator program; a missing one fails the test (a broken build must not pass as skipped)."""
    if "QRK_SIM" in os.environ:
        candidates = [Path(os.environ["QRK_SIM"])]
    else:
        candidates = [ROOT / "build/test/sim/qrk-sim", ROOT / "build/dev/sim/qrk-sim"]
    for path in candidates:
        if os.access(path, os.X_OK):
            return path
    pytest.fail(f"no qrk-sim program at {' or '.join(map(str, candidates))} (build the target qrk-sim "
                "or set QRK_SIM)")


def qrk_tool():
    """The qrk command-line tool; a missing one fails the test, as for qrk_sim()."""
    if "QRK" in os.environ:
        candidates = [Path(os.environ["QRK"])]
    else:
        candidates = [ROOT / "build/test/cli/qrk", ROOT / "build/dev/cli/qrk"]
    for path in candidates:
        if os.access(path, os.X_OK):
            return path
    pytest.fail(f"no qrk program at {' or '.join(map(str, candidates))} (build the target qrk or set QRK)")


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


def python_robot(serial, rate=100, style="callback", zenoh_version=ZENOH_VERSION):
    return RobotServer([zenoh_python(zenoh_version), PYTHON_SERVER, "--serial", serial, "--rate", rate,
                        "--style", style])


def connect(*args, within=20.0, **kwargs):
    """A client built with these arguments, retried while zenoh has not yet found the robot's host."""
    deadline = time.monotonic() + within
    while True:
        try:
            return velmorqrk.Client(*args, **kwargs)
        except RuntimeError as error:
            if not str(error).startswith(_NOT_FOUND) or time.monotonic() > deadline:
                raise


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

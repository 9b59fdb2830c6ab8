"""Robot data servers on the other host, and clients that wait to find them.

A server runs in the second namespace of scripts/netns-run --peer (named by
VELMOR_PEER_NETNS; beside the tests when that is unset), prints "ready" on
stdout once its endpoints are declared and exits cleanly on SIGINT. Its
stderr goes to a temporary file that failures quote.
"""

import os
import select
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pytest

import velmorqrk

ROOT = Path(__file__).resolve().parents[2]
PYTHON_SERVER = Path(__file__).with_name("python_robot_server.py")

CONNECTED_LINE = "[velmor::qrk::Client] Connected to the robot"
EXIT_LINE = ">>>>> Velmor QRK exited <<<<<"
_NOT_FOUND = "[velmor::qrk::Client] Failed to connect to ["


def qrk_sim():
    """The simulator program, or a skip naming where it was looked for."""
    if "QRK_SIM" in os.environ:
        candidates = [Path(os.environ["QRK_SIM"])]
    else:
        candidates = [ROOT / "build/test/sim/qrk-sim", ROOT / "build/dev/sim/qrk-sim"]
    for path in candidates:
        if os.access(path, os.X_OK):
            return path
    pytest.skip(f"no qrk-sim program at {' or '.join(map(str, candidates))} (build the target qrk-sim "
                "or set QRK_SIM)")


def on_peer_host(argv):
    peer = os.environ.get("VELMOR_PEER_NETNS")
    return ["ip", "netns", "exec", peer, *map(str, argv)] if peer else [*map(str, argv)]


class RobotServer:
    """One server process on the peer host; stopped by `stop()` or on leaving a `with` block."""

    def __init__(self, argv, ready_within=20.0):
        self._stderr = tempfile.TemporaryFile()
        # `ip netns exec` execs the command, so signals reach the server itself.
        self.process = subprocess.Popen(on_peer_host(argv), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=self._stderr, text=True)
        line = None
        if select.select([self.process.stdout], [], [], ready_within)[0]:
            line = self.process.stdout.readline().strip()
        if line != "ready":
            self.__exit__()
            raise RuntimeError(f"{argv[0]} did not get ready (first line {line!r}); its log:\n{self._log}")

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGINT)
            try:
                self.process.wait(15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        self._stderr.seek(0)
        self._log = self._stderr.read().decode(errors="replace")
        self._stderr.close()


def simulated_robot(serial, *options, rate=100):
    return RobotServer([qrk_sim(), "--serial", serial, "--rate", rate, *options])


def python_robot(serial, rate=100):
    return RobotServer([sys.executable, PYTHON_SERVER, "--serial", serial, "--rate", rate])


def connect(*args, within=20.0, **kwargs):
    """A client built with these arguments, retried while zenoh has not yet found the robot's host."""
    deadline = time.monotonic() + within
    while True:
        try:
            return velmorqrk.Client(*args, **kwargs)
        except RuntimeError as error:
            if not str(error).startswith(_NOT_FOUND) or time.monotonic() > deadline:
                raise


def wait_until(condition, within=5.0, step=0.01):
    """Polls `condition` until it holds; returns its last result."""
    deadline = time.monotonic() + within
    while not (result := condition()) and time.monotonic() < deadline:
        time.sleep(step)
    return result

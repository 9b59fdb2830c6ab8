"""Server processes on the other host of scripts/netns-run --peer.

A server runs in the second namespace (named by VELMOR_PEER_NETNS; beside
the caller when that is unset), prints "ready" on stdout once its endpoints
are declared and exits cleanly on SIGINT (or, started with SIGINT ignored as
a background job's programs are, on SIGTERM). Its stderr goes to a temporary
file that failures quote and that `log` holds once the server has stopped.
Shared by the tests and the benchmarks, so it needs neither pytest nor the
module.
"""

import os
import select
import signal
import subprocess
import tempfile


def on_peer_host(argv, netns=None):
    host = netns or os.environ.get("VELMOR_PEER_NETNS")
    return ["ip", "netns", "exec", host, *map(str, argv)] if host else [*map(str, argv)]


class RobotServer:
    """One server process on the peer host (or in namespace `netns`); stopped by `stop()` or on leaving a `with`
    block."""

    def __init__(self, argv, ready_within=20.0, netns=None):
        self._stderr = tempfile.TemporaryFile()
        # `ip netns exec` execs the command, so signals reach the server itself.
        self.process = subprocess.Popen(on_peer_host(argv, netns), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=self._stderr, text=True)
        line = None
        if select.select([self.process.stdout], [], [], ready_within)[0]:
            line = self.process.stdout.readline().strip()
        if line != "ready":
            self.__exit__()
            raise RuntimeError(f"{argv[0]} did not get ready (first line {line!r}); its log:\n{self.log}")

    def stop(self):
        # SIGINT first, the clean end every server has; a server that ignores it (a benchmark run as a background
        # job starts everything so) gets SIGTERM, and one that ignores that too is killed.
        for stop_signal, grace in ((signal.SIGINT, 10), (signal.SIGTERM, 10), (signal.SIGKILL, None)):
            if self.process.poll() is not None:
                break
            self.process.send_signal(stop_signal)
            try:
                self.process.wait(grace)
            except subprocess.TimeoutExpired:
                continue
        self.process.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        self._stderr.seek(0)
        self.log = self._stderr.read().decode(errors="replace")
        self._stderr.close()

"""qrk serve under viewers (scripts/bench --serve): the bounds stated in the user guide.

qrk-sim streams at 1 kHz on the peer host; each load gets a fresh `qrk serve --max-viewers 64` on this host, and
Foxglove's reference client (bench/serve_viewers.mjs, one Node.js process) on this host's loopback plays the viewers:

  at once     50 viewers connect together, subscribe, and read for a while: every topic (the worst case), then a
              group's joint states and /tf (a typical 3D panel and plot), then every topic of `qrk serve --ros2`
              (ROS 2's CDR messages: PlotJuggler's worst case), a group's joint states and /tf of it, and every
              topic of `--ros2 --all-fields` (the records whole too, beside the standard messages)
  churn       500 viewers, one after the other over a minute, each connecting, subscribing to one topic and leaving
              on its first message

For each: what the viewers received, the samples qrk serve's pipeline dropped (its summary after Ctrl-C: a drop means
the server did not keep up with the robot), its CPU and memory before, at the peak of and after the load, whether a
new viewer still gets data afterwards, and how long qrk serve took to end after Ctrl-C.
"""

import json
import re
import signal
import statistics
import subprocess
import threading
import time
from pathlib import Path

from peer_host import RobotServer

ROOT = Path(__file__).resolve().parents[1]
VIEWERS = ROOT / "bench/serve_viewers.mjs"
SERIAL = "BENCH-SERVE"
PORT = 18901
GROUPS = ["ALL", "ARMS", "ARM_1", "ARM_2", "EXT_AXIS"]
EVERY_TOPIC = [f"/{g}/{k}" for g in GROUPS for k in ("joint_states", "states", "actions")] + ["/tf", "/io"]
TYPICAL = ["/ARM_1/joint_states", "/tf"]
ROS2_KINDS = ("joint_states", "joint_commands", "tcp_wrench", "raw_tcp_wrench", "tcp_wrench_local",
              "raw_tcp_wrench_local")
EVERY_ROS2_TOPIC = [f"/{g}/{k}" for g in GROUPS for k in ROS2_KINDS] + ["/tf", "/io"]
EVERY_ROS2_TOPIC_ALL_FIELDS = EVERY_ROS2_TOPIC + [f"/{g}/{k}" for g in GROUPS for k in ("states", "actions")]


def rss_kib(pid):
    status = Path(f"/proc/{pid}/status").read_text()
    return int(next(line.split()[1] for line in status.splitlines() if line.startswith("VmRSS:")))


def cpu_s(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / 100  # utime, stime in clock ticks (USER_HZ = 100 on Linux)


def viewers(*args, timeout):
    done = subprocess.run(["node", VIEWERS, *map(str, args)], capture_output=True, text=True, timeout=timeout)
    if done.returncode != 0:
        raise RuntimeError(f"serve_viewers.mjs {args[0]} failed: {done.stderr[-2000:]}")
    return json.loads(done.stdout)


def under_load(args, load, rounds=1, flags=()):
    """Runs `load(url)` `rounds` times against a fresh qrk serve with `flags`; returns the last round's result with
    the server's figures (memory after each round)."""
    serve = subprocess.Popen([args.build / "cli/qrk", "serve", SERIAL, "--port", str(PORT), "--max-viewers", "64",
                              *flags], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        if not serve.stdout.readline().startswith("serving"):
            raise RuntimeError(f"qrk serve did not start: {serve.communicate(timeout=10)[1]}")
        url = f"ws://127.0.0.1:{PORT}"
        time.sleep(2)  # the pipeline and the server settle
        before, cpu_before, started = rss_kib(serve.pid), cpu_s(serve.pid), time.monotonic()
        peak, after, busy = before, [], 0.0
        result = {}
        for _ in range(rounds):
            # The load (a Node.js process) is waited for on a thread; this one watches the server's memory.
            worker = threading.Thread(target=lambda: result.update(load(url)))
            round_started = time.monotonic()
            worker.start()
            while worker.is_alive():
                peak = max(peak, rss_kib(serve.pid))
                worker.join(0.2)
            busy += time.monotonic() - round_started
            cpu_busy = cpu_s(serve.pid)
            time.sleep(2)  # the viewers' connections are gone
            after.append(rss_kib(serve.pid))
            cpu_before += cpu_s(serve.pid) - cpu_busy  # the pause is not load
        cpu = (cpu_s(serve.pid) - cpu_before) / busy
        check = viewers("at-once", url, 1, 1, "/ARM_1/joint_states", timeout=60)  # a topic of every variant
        ended = time.monotonic()
        # SIGTERM, not SIGINT: a bench started as a background job starts qrk serve with SIGINT ignored, which it
        # keeps, as every command started from a script does.
        serve.send_signal(signal.SIGTERM)
        out, err = serve.communicate(timeout=30)
        exit_s = time.monotonic() - ended
        if serve.returncode != 0:
            raise RuntimeError(f"qrk serve failed ({serve.returncode}): {err}")
        counts = {m[1]: (int(m[2]), int(m[3])) for m in
                  re.finditer(r"^(\w+) stream: (\d+) samples received, \d+ served, (\d+) dropped", out, re.M)}
        return {**result, "rss_kib": (before, peak, after), "cpu": cpu, "started": started,
                "new_viewer": check["viewers"] == 1 and check["messages"][0] > 0, "exit_s": exit_s,
                "received": sum(r for r, _ in counts.values()), "dropped": sum(d for _, d in counts.values())}
    finally:
        if serve.poll() is None:
            serve.kill()
            serve.communicate()


def server_figures(run):
    before, peak, after = run["rss_kib"]
    rounds = f" after each of {len(after)} rounds" if len(after) > 1 else " after"
    afterwards = ", ".join(f"{kib / 1024:.1f}" for kib in after)
    return (f"qrk serve: {run['cpu'] * 100:.0f}% of a core under load; RSS {before / 1024:.1f} MiB before, "
            f"{peak / 1024:.1f} peak, {afterwards}{rounds}; a new viewer afterwards "
            f"{'gets data' if run['new_viewer'] else 'GETS NOTHING'}; ended {run['exit_s']:.2f} s after Ctrl-C")


def serve_bench(args, table):
    seconds = 10
    with RobotServer([args.build / "sim/qrk-sim", "--serial", SERIAL, "--rate", 1000]):
        for flags, name, topics, rounds in (
                ([], "every topic", EVERY_TOPIC, 3), ([], "/ARM_1/joint_states and /tf", TYPICAL, 1),
                (["--ros2"], "every topic", EVERY_ROS2_TOPIC, 3),
                (["--ros2"], "/ARM_1/joint_states and /tf", TYPICAL, 1),
                (["--ros2", "--all-fields"], "every topic", EVERY_ROS2_TOPIC_ALL_FIELDS, 1)):
            run = under_load(args, lambda url, topics=topics: viewers("at-once", url, 50, seconds, *topics,
                                                                    timeout=120), rounds, flags)
            rates = [count / run["seconds"] for count in run["messages"]]
            table.add(f"{' '.join(['qrk serve', *flags])}, 50 viewers at once of {name}, {rounds} × {seconds} s: "
                      "samples dropped / received",
                      f"{run['dropped']}", f"{run['received']}", run["dropped"] / max(run["received"], 1), 0,
                      f"{run['viewers']} viewers served, {run['refused']} refused; messages per viewer per second "
                      f"(last round): min {min(rates):.0f}, median {statistics.median(rates):.0f}; "
                      + server_figures(run))
        run = under_load(args, lambda url: viewers("churn", url, 500, 60, "/ARM_1/joint_states", timeout=180))
        delays = sorted(run["first_message_ms"])
        table.add("qrk serve, 500 viewers opened and closed over 60 s: samples dropped / received",
                  f"{run['dropped']}", f"{run['received']}", run["dropped"] / max(run["received"], 1), 0,
                  f"{run['served']} of {run['opened']} viewers got their first message ({run['failed']} failed), "
                  f"after {statistics.median(delays):.1f} ms median, {delays[int(len(delays) * 0.99)]:.1f} ms p99; "
                  + server_figures(run))

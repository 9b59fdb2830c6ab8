"""The qrk command-line tool against simulated robots on the other host."""

import contextlib
import fcntl
import json
import os
import pty
import re
import resource
import signal
import socket
import struct
import subprocess
import sys
import termios
import threading
import time
from pathlib import Path

import pytest
from mcap.exceptions import EndOfFile
from mcap.reader import NonSeekingReader, make_reader
from mcap.records import Channel, Chunk, Message, Metadata
from mcap.stream_reader import StreamReader, breakup_chunk
from mcap_protobuf.decoder import DecoderFactory

import python_robot_server as server
from e2e_fixtures import ROOT, connect, python_robot, qrk_sim, qrk_tool, simulated_robot, wait_until
from qrk_outputs import (
    COUNT_KEYS,
    IDENTITY_KEYS,
    OUTCOME_KEYS,
    float32,
    foxglove_topics,
    piece_description,
    piece_samples,
    read_indexed,
    read_mcap,
    read_rows,
    rows_of,
    series_pieces,
    viewed,
    viewer,
)
from velmorqrk import JointGroup

SERIAL = "QRK-TOOL-1"
OTHER = "QRK-TOOL-2"
GROUP_NAMES = ["ALL", "ARMS", "ARM_1", "ARM_2", "EXT_AXIS"]
JOINTS = {"ALL": 16, "ARMS": 14, "ARM_1": 7, "ARM_2": 7, "EXT_AXIS": 2}


def qrk(*args, timeout=60, **kwargs):
    return subprocess.run([qrk_tool(), *map(str, args)], capture_output=True, text=True, timeout=timeout, **kwargs)


def read_terminal(fd):
    try:
        return os.read(fd, 4096)
    except OSError:  # the other side closed
        return b""


def shown_on_a_terminal(argv, stream, rows=None):
    """What the qrk command `argv` writes to `stream` ("stdout" or "stderr") when that is a terminal (of `rows`
    rows, else the default size); the other stream is a pipe. The command must end with status 0."""
    leader, follower = pty.openpty()
    if rows:
        fcntl.ioctl(follower, termios.TIOCSWINSZ, struct.pack("HHHH", rows, 80, 0, 0))
    streams = {"stdout": subprocess.PIPE, "stderr": subprocess.PIPE, stream: follower}
    with subprocess.Popen([qrk_tool(), *map(str, argv)], **streams) as process:
        os.close(follower)
        shown = b""
        while chunk := read_terminal(leader):
            shown += chunk
        assert process.wait(timeout=20) == 0
    os.close(leader)
    return shown.decode()


def stopped(process, signum=signal.SIGINT):
    """Sends `signum` and waits for the program to end: its (stdout, stderr)."""
    process.send_signal(signum)
    return process.communicate(timeout=20)


@contextlib.contextmanager
def killed_if_left_running(process):
    """A failed check must not leave the program running."""
    try:
        yield process
    finally:
        if process.poll() is None:
            process.kill()
            process.communicate()


@pytest.fixture(scope="module")
def robots():
    with simulated_robot(SERIAL, "--serial", OTHER, rate=1000) as server:
        yield server


@pytest.mark.parametrize("args, message", [
    (["scan", "--bogus"], "scan: unknown option '--bogus'"),
    (["frobnicate"], "unknown command 'frobnicate'"),
    (["info", "not a serial!"], "info: invalid serial number 'not a serial!': a serial number is letters and "
                                "digits"),
    (["info", "AB-1/*"], "none of * $ / ? # after the last hyphen (see qrk info --help)"),
    (["record", SERIAL, "-o", "x", "--keep-files", "3"],
     "record: --keep-files needs --split-seconds or --split-bytes (see qrk record --help)"),
    (["record", SERIAL, "--seconds", "1", "-o", "x", "--format", "xml"], "--format: expected csv, jsonl, mcap or ros2"),
])
def test_usage_errors_are_one_line_and_status_2(args, message):
    result = qrk(*args)
    assert result.returncode == 2
    assert result.stdout == ""
    assert result.stderr.count("\n") == 1 and message in result.stderr


def test_scan_lists_the_robots_on_the_network(robots):
    result = qrk("scan")
    assert result.returncode == 0, result.stderr
    rows = {line.split()[0]: line.split() for line in result.stdout.splitlines()[1:-1]}
    assert set(rows) == {SERIAL, OTHER}
    for _, basic_hz, extra_hz, groups, version, _rtt, unit, servers in rows.values():
        assert 900 < float(basic_hz) < 1100 and 900 < float(extra_hz) < 1100
        assert groups.split(",") == GROUP_NAMES and version == "v2.1" and unit == "ms" and servers == "1"


def test_scan_flags_a_serial_served_twice_and_a_robot_of_another_version():
    with simulated_robot("QRK-TWIN-1", rate=200), simulated_robot("QRK-TWIN-1", rate=200), \
            simulated_robot("QRK-OLD-1", "--version", "v9.9", rate=200):
        table = qrk("scan")
        assert table.returncode == 0, table.stderr
        assert re.search(r"^QRK-TWIN-1 .* 2  <- more than one!$", table.stdout, re.M), table.stdout
        assert "QRK-TWIN-1: 2 servers answer for this serial number: two robots configured with one serial mix " \
               "their data in every client" in table.stdout
        assert "v9.9 (incompatible)" in table.stdout
        assert "QRK-OLD-1: v9.9 \u2014 this client speaks v2.1" in table.stdout
        robots = {robot["serial"]: robot for robot in json.loads(qrk("scan", "--json").stdout)}
        assert robots["QRK-TWIN-1"]["servers"] == 2 and robots["QRK-TWIN-1"]["compatible"] is True
        assert robots["QRK-OLD-1"]["version"] == "v9.9" and robots["QRK-OLD-1"]["compatible"] is False
        assert robots["QRK-OLD-1"]["servers"] == 1 and robots["QRK-OLD-1"]["round_trip_ms"] > 0

        info = qrk("info", "QRK-TWIN-1", "--json")
        assert "qrk: warning: QRK-TWIN-1: 2 servers answer for this serial number" in info.stderr
        assert json.loads(info.stdout)["serial"] == "QRK-TWIN-1"


@pytest.mark.parametrize("reply_key", ["query", "own"])
def test_scan_counts_the_servers_of_eclipse_zenoh_robots_whatever_key_they_reply_on(reply_key):
    # Replying on the query's key, a server answers the scan's wildcard query on the wildcard, naming no robot.
    # QRK-MUTE-1 streams only long after the scan, so nothing but its own reply can name it.
    with python_robot("QRK-PY-1", reply_key=reply_key), python_robot("QRK-PYTWIN-1", reply_key=reply_key), \
            python_robot("QRK-PYTWIN-1", reply_key=reply_key), \
            python_robot("QRK-MUTE-1", reply_key=reply_key, stream_delay=600):
        table = qrk("scan")
        assert table.returncode == 0, table.stderr
        assert re.search(r"^QRK-PY-1 .* 1$", table.stdout, re.M), table.stdout
        assert re.search(r"^QRK-PYTWIN-1 .* 2  <- more than one!$", table.stdout, re.M), table.stdout
        assert "QRK-PYTWIN-1: 2 servers answer for this serial number" in table.stdout
        unnamed = "and 1 rpc endpoint(s) that answered without naming their robot"
        assert (unnamed in table.stdout) == (reply_key == "query"), table.stdout
        servers = {robot["serial"]: robot["servers"] for robot in json.loads(qrk("scan", "--json").stdout)
                   if robot["serial"] not in (SERIAL, OTHER)}  # the module's simulators may still be serving
        expected = {"QRK-PY-1": 1, "QRK-PYTWIN-1": 2}
        assert servers == (expected if reply_key == "query" else {**expected, "QRK-MUTE-1": 1})

        info = qrk("info", "QRK-PYTWIN-1", "--json")
        assert "qrk: warning: QRK-PYTWIN-1: 2 servers answer for this serial number" in info.stderr


def test_info_on_a_robot_that_streams_but_does_not_answer_says_so():
    with simulated_robot("QRK-DEAF-1", "--silent", rate=200):
        info = qrk("info", "QRK-DEAF-1")
    assert info.returncode == 1
    assert "[velmor::qrk::Client] Failed to connect to [QRK-DEAF-1]. Please check that" in info.stderr
    assert re.search(r"QRK-DEAF-1 is on the network, its streams arrive \(\d+\.\d Hz\), but its query server does "
                     r"not answer", info.stderr), info.stderr


def test_scan_without_robots_says_what_to_check():
    # A namespace of its own, with a multicast loopback and nobody else on it.
    alone = f"ip link set lo up && ip link set lo multicast on && exec {qrk_tool()} scan --seconds 0.5"
    result = subprocess.run(["unshare", "--net", "sh", "-c", alone], capture_output=True, text=True, timeout=30)
    assert result.returncode == 1 and result.stdout == ""
    assert "no robot seen" in result.stderr and "multicast" in result.stderr and "router" in result.stderr
    as_json = subprocess.run(["unshare", "--net", "sh", "-c", alone + " --json"], capture_output=True, text=True,
                             timeout=30)
    assert as_json.returncode == 1 and json.loads(as_json.stdout) == [] and "no robot seen" in as_json.stderr


def test_info_matches_the_client(robots):
    result = qrk("info", SERIAL, "--json")
    assert result.returncode == 0, result.stderr
    info = json.loads(result.stdout)
    client = connect(SERIAL, verbose=False)
    groups = client.groups()
    assert info["serial"] == SERIAL and info["version"] == "v2.1" and info["connected"] is True
    assert [entry["group"] for entry in info["joint_groups"]] == list(groups.values())
    states = client.states()
    assert [entry["dof"] for entry in info["joint_groups"]] == [len(states[g].q) for g in groups]
    assert len(info["digital_inputs"]) == len(info["digital_outputs"]) == 20
    assert info["estop_released"] == client.estop_released()
    assert 0 <= info["basic_sample_age_s"] < 1 and 0 <= info["extra_sample_age_s"] < 1
    assert set(info["plan_info"]) == {name for name in dir(client.plan_info()) if not name.startswith("_")}
    assert set(info["primitive_states"]) == {g.name for g in client.primitive_states()}
    assert set(info["configuration_score"]) == {g.name for g in client.configuration_score()}
    assert all(len(score) == 2 for score in info["configuration_score"].values())

    text = qrk("info", SERIAL)
    assert text.returncode == 0 and "protocol version:   v2.1" in text.stdout
    assert re.search(r"^basic stream: +latest sample \d+\.\d ms ago$", text.stdout, re.M)
    assert re.search(r"^extra stream: +latest sample \d+\.\d ms ago$", text.stdout, re.M)


@pytest.mark.parametrize("stop", [signal.SIGINT, signal.SIGHUP])  # SIGHUP: its terminal closed
def test_monitor_prints_plain_blocks_and_ends_cleanly_on_ctrl_c(robots, stop):
    with subprocess.Popen([qrk_tool(), "monitor", SERIAL], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          text=True) as monitor:
        first = monitor.stdout.readline()
        monitor.send_signal(stop)
        out = first + monitor.stdout.read()
        assert monitor.wait(timeout=10) == 0, monitor.stderr.read()
    assert first.startswith(SERIAL) and "Hz" in first and "\x1b" not in out
    assert re.search(r"latest sample \d+\.\d ms ago$", first)
    assert re.search(r"^extra stream latest sample \d+\.\d ms ago$", out, re.M)
    # Per group measured, then commanded values: ARM_2's 7 joints of each.
    arm_2 = re.search(r"^ARM_2 +q +(.*)\n +TCP pose +.*\n +q_d +(.*)\n +TCP pose_d +(.*)$", out, re.M)
    assert arm_2 and len(arm_2[1].split()) == len(arm_2[2].split()) == 7 and len(arm_2[3].split()) == 7, out


def test_monitor_on_a_small_terminal_keeps_its_first_lines_in_sight(robots):
    shown = shown_on_a_terminal(["monitor", SERIAL, "--seconds", "1"], "stdout", rows=12)
    views = [view for view in shown.replace("\r\n", "\n").split("\x1b[H\x1b[2J") if view]
    assert len(views) >= 5, shown
    for view in views:
        rows = sum(max(1, -(-len(line) // 80)) for line in view.split("\n"))  # long lines wrap
        assert view.startswith(SERIAL) and rows <= 12, view
        assert re.search(r"\n\(\d+ more lines: a taller terminal shows them\)$", view), view


def test_a_robot_that_streams_nothing_is_shown_as_unknown_and_records_as_a_failure(tmp_path):
    with simulated_robot("QRK-MUTE-9", "--pause-streams"):
        info = qrk("info", "QRK-MUTE-9", "--json")
        report = json.loads(info.stdout)  # status 1: primitive states name groups no sample has shown yet
        assert info.returncode == 1 and "error" in report["primitive_states"], info.stderr
        assert report["estop_released"] is None and report["digital_inputs"] is None
        assert report["basic_sample_age_s"] is None and report["extra_sample_age_s"] is None
        text = qrk("info", "QRK-MUTE-9").stdout
        assert "E-stop released:    unknown (no sample yet)" in text and "latest sample no sample yet" in text
        with subprocess.Popen([qrk_tool(), "monitor", "QRK-MUTE-9", "--seconds", "1.5"], stdout=subprocess.PIPE,
                              text=True) as monitor:
            out = monitor.communicate(timeout=20)[0]
        assert "latest sample no sample yet\n" in out and "yet ago" not in out
        assert "E-stop released unknown" in out

        empty = qrk("record", "QRK-MUTE-9", "--seconds", 0.5, "-o", tmp_path / "run")
        assert empty.returncode == 1 and "no sample received from QRK-MUTE-9" in empty.stderr
        meta = json.loads((tmp_path / "run.meta.json").read_text())
        assert meta["empty"] is True and meta["streams"]["basic"]["received"] == 0
        allowed = qrk("record", "QRK-MUTE-9", "--seconds", 0.5, "-o", tmp_path / "run", "--overwrite",
                      "--allow-empty")
        assert allowed.returncode == 0 and "no sample received" in allowed.stderr
        mcap = qrk("record", "QRK-MUTE-9", "--seconds", 0.5, "-o", tmp_path / "run", "--format", "mcap")
        assert mcap.returncode == 1 and "no sample received" in mcap.stderr
        summary, metadata, messages = read_mcap(tmp_path / "run.mcap")
        assert metadata["recording"]["empty"] == "true" and metadata["robot"]["serial"] == "QRK-MUTE-9"
        assert not messages and {"/io", "/tf"} <= {c.topic for c in summary.channels.values()}  # topics listed


@pytest.mark.parametrize("file_format", ["csv", "jsonl"])
def test_record_writes_every_sample_of_both_streams(robots, tmp_path, file_format):
    prefix = tmp_path / "run"
    result = qrk("record", SERIAL, "--seconds", 3, "-o", prefix, "--format", file_format)
    assert result.returncode == 0, result.stderr
    meta = json.loads((tmp_path / "run.meta.json").read_text())
    assert list(meta) == IDENTITY_KEYS + OUTCOME_KEYS + ["streams"] and meta["format"] == file_format
    assert meta["complete"] and meta["ended_by"] == "time" and meta["version"] == "v2.1"
    assert [entry["group"] for entry in meta["layout"]] == GROUP_NAMES
    for stream in ("basic", "extra"):
        counts = meta["streams"][stream]
        assert list(counts) == ["file"] + COUNT_KEYS
        assert 2950 <= counts["written"] <= 3050 and counts["dropped"] == 0
        assert counts["received"] == counts["written"] and counts["rows"] == counts["written"] * len(GROUP_NAMES)
        path = tmp_path / counts["file"]
        if file_format == "csv":
            header, *rows = read_rows(path)
            assert all(len(row) == len(header) for row in rows)
            samples = [int(row[0]) for row in rows]
            stamps = [int(row[3]) for row in rows]
        else:
            rows = [json.loads(line) for line in path.read_text().splitlines()]
            samples = [row["sample"] for row in rows]
            stamps = [row["stamp"][1] for row in rows]
        assert len(rows) == counts["rows"]
        assert samples[::len(GROUP_NAMES)] == list(range(counts["written"]))
        if stream == "basic":  # the simulator numbers its samples: none missing in between
            assert stamps[-1] - stamps[0] == counts["written"] - 1


LATE = "QRK-LATE-1"
# The closing summary's own line for groups named after start-up, by the first basic sample.
LATE_GROUPS = re.compile(r"^joint groups came late: .*: " + ", ".join(GROUP_NAMES) + "$", re.M)


def started_while_paused(robot, args, running):
    """qrk `args` against `robot`, whose streams start paused (--start-paused): they resume once qrk's start-up has
    stopped waiting for the first sample, and said so on stderr, and `running(process)` says the command took
    the groups it had then. Returns the process and that line."""
    process = subprocess.Popen([qrk_tool(), *map(str, args)], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               text=True)
    said = process.stderr.readline()
    assert running(process), said
    robot.process.send_signal(signal.SIGUSR1)
    return process, said


def messages_said(summary, stream):
    return int(re.search(rf"^{stream} stream: \d+ samples received, \d+ written as (\d+) messages", summary,
                         re.M).group(1))


@pytest.mark.parametrize("file_format", ["csv", "jsonl", "mcap"])
def test_record_takes_the_joint_groups_from_a_first_sample_later_than_start_up(tmp_path, file_format):
    prefix = tmp_path / "late"
    with simulated_robot(LATE, "--start-paused", rate=500) as robot:
        args = ["record", LATE, "--seconds", 2, "-o", prefix, "--format", file_format]
        # Its first file is created after the groups are taken.
        recorder, said = started_while_paused(robot, args, lambda _: wait_until(lambda: any(tmp_path.iterdir())))
        out, err = recorder.communicate(timeout=30)
    assert recorder.returncode == 0 and "during start-up" in said, said + err
    if file_format == "mcap":
        summary, metadata, messages = read_mcap(tmp_path / "late.mcap")
        assert {c.topic: summary.schemas[c.schema_id].name for c in summary.channels.values()} == \
            foxglove_topics(GROUP_NAMES)
        recording = metadata["recording"]
        assert json.loads(metadata["robot"]["layout"]) == []  # written before the first sample
        assert [entry["group"] for entry in json.loads(recording["layout"])] == GROUP_NAMES
        written = int(recording["basic_written"])
        assert written > 500 and int(recording["extra_written"]) > 500
        assert recording["basic_unfit"] == "0"  # the naming sample too is cut for its groups
        assert len(messages["/ARM_1/joint_states"]) == written and len(messages["/tf"]) == written
        # The summary and the counts say what the file holds: every message, not every group.
        for stream in ("basic", "extra"):
            held = sum(len(m) for topic, m in messages.items() if topic.endswith("/actions") == (stream == "extra"))
            assert messages_said(out, stream) == int(recording[f"{stream}_rows"]) == held, stream
    else:
        check_late_rows(tmp_path, file_format)
    assert LATE_GROUPS.search(out), out


def check_late_rows(tmp_path, file_format):
    """Every sample of a recording whose groups came late has its rows, as if they had come in time."""
    meta = json.loads((tmp_path / "late.meta.json").read_text())
    for stream, q in (("basic", "q"), ("extra", "q_d")):
        counts = meta["streams"][stream]
        assert counts["written"] > 500 and counts["rows"] == counts["written"] * len(GROUP_NAMES), counts
        assert len(rows_of(tmp_path / counts["file"], file_format)) == counts["rows"]
        if file_format == "jsonl":
            rows = [json.loads(line) for line in (tmp_path / counts["file"]).read_text().splitlines()]
            assert all(len(row[q]) == JOINTS[row["group"]] for row in rows)
        if file_format == "csv":
            header, *rows = read_rows(tmp_path / counts["file"])
            assert f"{q}_15" in header and f"{q}_16" not in header  # ALL's 16 joints
            assert all(len(row) == len(header) for row in rows)
    # The sample that named the groups is cut for them too; commanded values may come before it.
    assert meta["streams"]["basic"]["unfit"] == 0
    assert [entry["group"] for entry in meta["layout"]] == GROUP_NAMES


def test_record_keeps_earlier_files_and_shows_progress_on_a_terminal(robots, tmp_path):
    prefix = tmp_path / "run"
    (tmp_path / "run.meta.json").write_text("earlier")
    refused = qrk("record", SERIAL, "--seconds", 0.5, "-o", prefix)
    assert refused.returncode == 1 and "run.meta.json already exists" in refused.stderr
    assert "--overwrite" in refused.stderr and (tmp_path / "run.meta.json").read_text() == "earlier"

    # stderr on a terminal: one status line, redrawn; nothing of it in a pipe.
    shown = shown_on_a_terminal(["record", SERIAL, "--seconds", "1.5", "-o", prefix, "--overwrite"], "stderr")
    views = shown.split("\r\x1b[2K")
    assert any(re.match(r"\d+\.\d / 1\.5 s  basic \d+  extra \d+ samples  \d+\.\d MB  0 dropped$", view)
               for view in views), shown
    assert json.loads((tmp_path / "run.meta.json").read_text())["complete"] is True


@pytest.mark.parametrize("stop", [signal.SIGINT, signal.SIGTERM, signal.SIGHUP])
def test_record_stopped_by_a_signal_leaves_complete_files(robots, tmp_path, stop):
    prefix = tmp_path / "run"
    recorder = subprocess.Popen([qrk_tool(), "record", SERIAL, "--seconds", "60", "-o", prefix],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    assert wait_until(lambda: (tmp_path / "run.basic.csv").exists() and
                      (tmp_path / "run.basic.csv").stat().st_size > 300_000, within=20)
    recorder.send_signal(stop)
    out, err = recorder.communicate(timeout=20)
    assert recorder.returncode == 0, err
    meta = json.loads((tmp_path / "run.meta.json").read_text())
    assert meta["complete"] and meta["ended_by"] == "signal"
    for stream in ("basic", "extra"):
        header, *rows = read_rows(tmp_path / meta["streams"][stream]["file"])
        assert len(rows) == meta["streams"][stream]["rows"] > 0
        assert all(len(row) == len(header) for row in rows)
    if stop == signal.SIGINT:  # the recording plotted, and the plot's mistakes said in one line
        assert plot(prefix, "--group", "ARM_2").returncode == 0 and (tmp_path / "run.ARM_2.png").stat().st_size
        wrong_group = plot(prefix, "--group", "ARM_9")
        assert wrong_group.returncode == 1 and wrong_group.stderr == \
            f"plot_recording: no joint group ARM_9 in {prefix}: its groups are {', '.join(GROUP_NAMES)}\n"
        wrong_path = plot(tmp_path / "rn")
        assert wrong_path.returncode == 1 and wrong_path.stderr.count("\n") == 1
        assert f"no recording at {tmp_path / 'rn'} (no rn.meta.json or rn.mcap); recordings in {tmp_path}: run" \
            in wrong_path.stderr


def plot(*args):
    return subprocess.run([sys.executable, ROOT / "examples" / "plot_recording.py", *map(str, args)],
                          capture_output=True, text=True, timeout=120)


def ignore_hangup_and_interrupt():
    signal.signal(signal.SIGHUP, signal.SIG_IGN)  # as nohup does
    signal.signal(signal.SIGINT, signal.SIG_IGN)  # as a non-interactive shell does for a background job


@pytest.mark.parametrize("program", ["record", "serve", "qrk-sim"])
def test_signals_ignored_at_start_stay_ignored_and_sigterm_still_ends_cleanly(robots, tmp_path, program):
    """`nohup qrk record ... &` must outlive the SSH session that started it."""
    port, csv = 18767, tmp_path / "run.basic.csv"
    argv, ready, working = {
        "record": ([qrk_tool(), "record", SERIAL, "-o", tmp_path / "run"],  # no --seconds: until stopped
                   lambda _: wait_until(lambda: csv.exists() and csv.stat().st_size > 100_000, within=20),
                   lambda grown: wait_until(lambda: csv.stat().st_size > grown + 300_000, within=20)),
        "serve": ([qrk_tool(), "serve", SERIAL, "--port", port],
                  lambda process: process.stdout.readline().startswith(f"serving {SERIAL}"),
                  lambda _: viewed(viewer(port, 1, "/io"))["messages"]["/io"]),
        "qrk-sim": ([qrk_sim(), "--serial", "QRK-NOHUP-1", "--rate", 100],
                    lambda process: process.stdout.readline().strip() == "ready",
                    lambda _: qrk("info", "QRK-NOHUP-1", "--json").returncode == 0),
    }[program]
    with killed_if_left_running(subprocess.Popen(list(map(str, argv)), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                                 text=True, preexec_fn=ignore_hangup_and_interrupt)) as process:
        assert ready(process)
        process.send_signal(signal.SIGHUP)
        process.send_signal(signal.SIGINT)
        assert working(csv.stat().st_size if program == "record" else None) and process.poll() is None
        _, err = stopped(process, signal.SIGTERM)
        assert process.returncode == 0, err


@pytest.mark.parametrize("file_format", ["csv", "mcap"])
def test_record_a_second_signal_while_finishing_ends_at_once_saying_what_is_left(robots, tmp_path, file_format):
    prefix = tmp_path / "run"
    recorder = subprocess.Popen([qrk_tool(), "record", SERIAL, "--seconds", "60", "-o", prefix, "--format",
                                 file_format], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    first = tmp_path / ("run.mcap" if file_format == "mcap" else "run.basic.csv")
    assert wait_until(lambda: first.exists() and first.stat().st_size > 100_000, within=20)
    recorder.send_signal(signal.SIGHUP)  # the terminal closed, and then the operator insists
    recorder.send_signal(signal.SIGTERM)
    out, err = recorder.communicate(timeout=20)
    # Status 128 + the signal handled second: either, as each may reach any of the program's threads first.
    assert recorder.returncode in (128 + signal.SIGHUP, 128 + signal.SIGTERM) and out == "", err
    if file_format == "csv":
        assert err == f"qrk: record: stopped at once: {prefix}.basic.csv and {prefix}.extra.csv lack the samples " \
                      f"still queued and may end in a cut-off row; {prefix}.meta.json says \"complete\": false\n"
        meta = json.loads((tmp_path / "run.meta.json").read_text())
        assert meta["complete"] is False and meta["end_time"] is None
    else:
        assert err == f"qrk: record: stopped at once: {prefix}.mcap is not finished: the samples still queued, the " \
                      "last chunk, the counts record, the summary and the footer are missing; its completed chunks " \
                      "are readable (mcap recover rebuilds the rest)\n"
        read = 0
        with open(first, "rb") as file, pytest.raises(EndOfFile):
            for _ in NonSeekingReader(file).iter_messages(log_time_order=False):
                read += 1
        assert read > 1000


def test_record_never_writes_over_another_recording_nor_through_a_symlink(robots, tmp_path):
    refusal = "already exists; choose another -o PATH, or give --overwrite to replace it\n"
    for file_format in ("csv", "jsonl", "mcap"):
        # Two recorders started at once look before either has created a file: only one may get them.
        prefix = tmp_path / file_format
        both = [subprocess.Popen([qrk_tool(), "record", SERIAL, "--seconds", "1", "-o", prefix, "--format",
                                  file_format], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                for _ in range(2)]
        ended = sorted(((recorder.communicate(timeout=30), recorder.returncode) for recorder in both),
                       key=lambda outcome: outcome[1])
        assert [status for _, status in ended] == [0, 1], ended
        refused = ended[1][0][1]
        assert refused.startswith("qrk: record: ") and refused.endswith(refusal), refused
        if file_format == "mcap":
            _, metadata, messages = read_mcap(f"{prefix}.mcap")
            written = int(metadata["recording"]["basic_written"])
            assert metadata["recording"]["complete"] == "true" and written > 300
            assert [m.sequence for m, _ in messages["/ARM_1/states"]] == list(range(written))
        else:
            meta = json.loads(prefix.with_suffix(".meta.json").read_text())
            assert meta["complete"] is True and meta["streams"]["basic"]["written"] > 300
            for stream in ("basic", "extra"):
                samples = [row[0] for row in rows_of(tmp_path / meta["streams"][stream]["file"], file_format)]
                assert samples == [n for n in range(meta["streams"][stream]["written"]) for _ in GROUP_NAMES]

    # A symlink where a file would go is never written through: refused, and with --overwrite replaced.
    kept = tmp_path / "kept.txt"
    kept.write_text("kept")
    for file_format, linked in (("csv", ["linked.basic.csv", "linked.meta.json", "linked.meta.json.tmp"]),
                                ("mcap", ["linked.mcap"])):
        for name in linked:
            (tmp_path / name).symlink_to(kept)
        args = ["record", SERIAL, "--seconds", 0.5, "-o", tmp_path / "linked", "--format", file_format]
        refused = qrk(*args)
        assert refused.returncode == 1 and refused.stderr.endswith(refusal), refused.stderr
        replaced = qrk(*args, "--overwrite")
        assert replaced.returncode == 0, replaced.stderr
        assert not any((tmp_path / name).is_symlink() for name in linked) and kept.read_text() == "kept"


def limit_file_size():
    signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # a write past the limit fails with EFBIG instead
    resource.setrlimit(resource.RLIMIT_FSIZE, (2_000_000, 2_000_000))


def test_record_write_errors_fail_cleanly_and_keep_complete_rows(robots, tmp_path):
    directory = qrk("record", SERIAL, "--seconds", 1, "-o", tmp_path)
    assert directory.returncode == 1 and "is a directory" in directory.stderr
    missing = qrk("record", SERIAL, "--seconds", 1, "-o", tmp_path / "no" / "run")
    assert missing.returncode == 1 and "cannot write" in missing.stderr and "No such file" in missing.stderr

    # A file-size limit stands in for a full disk: the write fails part-way, the counts are still said (on stderr,
    # with the error) and match the complete rows the files keep.
    for file_format in ("csv", "jsonl"):
        start = time.monotonic()
        full = qrk("record", SERIAL, "--seconds", 30, "-o", tmp_path / file_format, "--format", file_format,
                   preexec_fn=limit_file_size)
        assert full.returncode == 1 and "File too large" in full.stderr and full.stdout == "", full.stderr
        assert time.monotonic() - start < 20
        meta = json.loads((tmp_path / f"{file_format}.meta.json").read_text())
        assert meta["complete"] is False and meta["ended_by"] == "write error"
        for stream in ("basic", "extra"):
            counts = meta["streams"][stream]
            said = re.search(rf"^{stream} stream: (\d+) samples received, (\d+) written as (\d+) rows", full.stderr,
                             re.M)
            assert said and [int(n) for n in said.groups()] == [counts["received"], counts["written"],
                                                                  counts["rows"]], full.stderr
            rows = rows_of(tmp_path / counts["file"], file_format)
            assert len(rows) == counts["rows"] > 0
            if file_format == "csv":
                assert len({len(row) for row in rows}) == 1


# MCAP recordings and the live view, read by independent readers: the mcap
# packages, and Foxglove's reference client in Node.js (tests/node/).
PY_SERIAL = "PY-MCAP-1"
PY_GROUPS = {"ALL": 0, "ARM_1": 3, "EXT_AXIS": 5}
FOXGLOVE_TOPICS = foxglove_topics(PY_GROUPS)


def test_record_mcap_holds_every_sample_under_the_foxglove_topics(tmp_path):
    with python_robot(PY_SERIAL, rate=500):
        result = qrk("record", PY_SERIAL, "--seconds", 2, "-o", tmp_path / "run", "--format", "mcap")
        assert result.returncode == 0, result.stderr
        assert sorted(p.name for p in tmp_path.iterdir()) == ["run.mcap"]  # self-contained
        summary, metadata, messages = read_mcap(tmp_path / "run.mcap")
        assert {c.topic: summary.schemas[c.schema_id].name for c in summary.channels.values()} == FOXGLOVE_TOPICS
        assert {chunk.compression for chunk in summary.chunk_indexes} == {"zstd"}
        robot, recording = metadata["robot"], metadata["recording"]
        assert sorted(robot) == sorted(IDENTITY_KEYS) and robot["format"] == "mcap"
        assert sorted(recording) == sorted(["start_time"] + OUTCOME_KEYS +
                                           [f"{stream}_{key}" for stream in ("basic", "extra") for key in COUNT_KEYS])
        assert robot["serial"] == PY_SERIAL and robot["version"] == "v2.1" and recording["complete"] == "true"
        assert [entry["group"] for entry in json.loads(robot["layout"])] == list(PY_GROUPS)
        assert robot["start_time"] == recording["start_time"] and recording["ended_by"] == "time"
        written = int(recording["basic_written"])
        assert written > 500 and int(recording["basic_dropped"]) == 0
        counts = {}
        for topic, received in messages.items():
            sequences = [message.sequence for message, _ in received]
            counts[topic] = int(recording["extra_written"]) if topic.endswith("/actions") else written
            assert sequences == list(range(counts[topic])), topic
        assert read_indexed(tmp_path / "run.mcap", counts)["metadata"] == metadata

        # The server's own values of the same sample, found by its time stamp.
        frames = {(message.sequence, t.child_frame_id): t for message, tf in messages["/tf"] for t in tf.transforms}
        tcp_pose = [float32(v) for v in server.cartesian_values("tcp_pose", PY_GROUPS["ARM_1"])]
        for message, states in messages["/ARM_1/states"][::97]:
            n = states.timestamp[1] % 2**32 - server.SECOND_BASE
            q = server.joint_values("q", n)[:7]
            assert list(states.q) == [float32(v) for v in q]
            joint_states = messages["/ARM_1/joint_states"][message.sequence][1]
            assert [j.name for j in joint_states.joints] == [f"joint_{i}" for i in range(7)]
            assert [j.position for j in joint_states.joints] == [float32(v) for v in q]
            assert [j.effort for j in joint_states.joints] == [float32(v) for v in server.joint_values("tau", n)[:7]]
            tcp = frames[message.sequence, "ARM_1_tcp"]
            assert tcp.parent_frame_id == "world"
            assert [tcp.translation.x, tcp.translation.y, tcp.translation.z] == tcp_pose[:3]
            assert [tcp.rotation.x, tcp.rotation.y, tcp.rotation.z, tcp.rotation.w] == tcp_pose[4:] + tcp_pose[3:4]

        # Ctrl-C mid-recording: a whole file, summary and footer included.
        recorder = subprocess.Popen([qrk_tool(), "record", PY_SERIAL, "--seconds", "60", "-o", tmp_path / "cut",
                                     "--format", "mcap", "--compression", "lz4"], stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, text=True)
        assert wait_until(lambda: (tmp_path / "cut.mcap").exists() and (tmp_path / "cut.mcap").stat().st_size > 50_000,
                          within=20)
        recorder.send_signal(signal.SIGINT)
        _, err = recorder.communicate(timeout=20)
        assert recorder.returncode == 0, err
        summary, metadata, _ = read_mcap(tmp_path / "cut.mcap")
        assert metadata["recording"]["ended_by"] == "signal"
        assert {c.compression for c in summary.chunk_indexes} == {"lz4"}
        assert plot(tmp_path / "cut", "--group", "EXT_AXIS").returncode == 0
        assert (tmp_path / "cut.EXT_AXIS.png").exists()
        wrong_group = plot(tmp_path / "cut", "--group", "ARMS")
        assert wrong_group.stderr.endswith(": its groups are ALL, ARM_1, EXT_AXIS\n"), wrong_group.stderr

        # A file-size limit stands in for a full disk: exit 1, the complete chunks readable.
        full = qrk("record", PY_SERIAL, "--seconds", 60, "-o", tmp_path / "full", "--format", "mcap",
                   "--compression", "none", preexec_fn=limit_file_size)
        assert full.returncode == 1 and "File too large" in full.stderr, full.stderr
        said = re.search(r"^basic stream: \d+ samples received, (\d+) written", full.stderr, re.M)
        assert said and int(said.group(1)) > 100 and full.stdout == "", full.stderr
        sequences = []
        with open(tmp_path / "full.mcap", "rb") as file, pytest.raises(EndOfFile):
            for _, channel, message in NonSeekingReader(file).iter_messages(log_time_order=False):
                if channel.topic == "/ARM_1/joint_states":
                    sequences.append(message.sequence)
        assert len(sequences) > 100 and sequences == list(range(len(sequences)))


def test_record_mcap_of_the_simulator_opens_in_the_indexed_reader_and_a_killed_one_says_what_it_is(
        robots, tmp_path):
    result = qrk("record", SERIAL, "--seconds", 2, "-o", tmp_path / "run", "--format", "mcap")
    assert result.returncode == 0, result.stderr
    _, metadata, messages = read_mcap(tmp_path / "run.mcap")
    recording = metadata["recording"]
    assert int(recording["basic_written"]) >= 1900 and int(recording["basic_dropped"]) == 0
    counts = {topic: int(recording["extra_written" if topic.endswith("/actions") else "basic_written"])
              for topic in messages}
    assert len(counts) == 3 * len(GROUP_NAMES) + 2
    tf = messages["/tf"][-1][1].transforms  # every group's frames in each sample's one message
    assert [t.child_frame_id for t in tf] == [f"{g}_{frame}" for g in GROUP_NAMES for frame in ("tcp", "flange")]
    read_indexed(tmp_path / "run.mcap", counts)

    # SIGKILL (power loss alike): the identity comes before the first chunk, the chunks written read back.
    recorder = subprocess.Popen([qrk_tool(), "record", SERIAL, "--seconds", "60", "-o", tmp_path / "killed",
                                 "--format", "mcap"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    killed = tmp_path / "killed.mcap"
    assert wait_until(lambda: killed.exists() and killed.stat().st_size > 3_000_000, within=20)
    recorder.kill()
    recorder.wait(timeout=10)
    kinds, topics, sequences = [], {}, []
    with open(killed, "rb") as file:
        try:
            for record in StreamReader(file, emit_chunks=True).records:
                kinds.append(type(record).__name__)
                if isinstance(record, Metadata):
                    identity = record
                elif isinstance(record, Chunk):
                    for inner in breakup_chunk(record, validate_crc=True):
                        if isinstance(inner, Channel):
                            topics[inner.id] = inner.topic
                        elif isinstance(inner, Message) and topics[inner.channel_id] == "/ARM_2/states":
                            sequences.append(inner.sequence)
        except EndOfFile:  # killed in the middle of a record
            pass
    assert kinds[:2] == ["Header", "Metadata"] and kinds.count("Metadata") == 1 and "Footer" not in kinds
    assert identity.name == "robot" and identity.metadata["serial"] == SERIAL
    assert set(identity.metadata) == set(IDENTITY_KEYS)
    assert [entry["group"] for entry in json.loads(identity.metadata["layout"])] == GROUP_NAMES
    assert kinds.count("Chunk") >= 2 and kinds.count("MessageIndex") >= kinds.count("Chunk")
    assert len(sequences) > 1000 and sequences == list(range(len(sequences)))


def said_totals(summary):
    """The samples per stream the closing summary says were received and written."""
    return {stream: tuple(map(int, re.search(rf"^{stream} stream: (\d+) samples received, (\d+) written", summary,
                                              re.M).groups())) for stream in ("basic", "extra")}


def check_series(pieces, file_format, first=None):
    """Every piece complete and its own description right: the sample numbers of each stream run on from one
    piece to the next without a gap or a repeat, each piece's first_sample is its first one, and its counts are
    what it holds. Returns the sums of the pieces' (received, written) per stream."""
    sums = {"basic": [0, 0], "extra": [0, 0]}
    following = dict(first or {"basic": 0, "extra": 0})
    for number, stem, complete in pieces:
        described = piece_description(stem, file_format)
        assert complete and described["complete"] and described["piece"] == number, stem
        for stream, samples in piece_samples(stem, file_format).items():
            counts = described["streams"][stream]
            assert counts["first_sample"] == following[stream] and counts["dropped"] == 0, (stem, stream, counts)
            assert samples == list(range(following[stream], following[stream] + counts["received"])), (stem, stream)
            assert counts["written"] == len(samples), (stem, stream)
            following[stream] += counts["received"]
            sums[stream][0] += counts["received"]
            sums[stream][1] += counts["written"]
    return {stream: tuple(pair) for stream, pair in sums.items()}


@pytest.mark.parametrize("file_format", ["csv", "jsonl", "mcap"])
def test_record_in_pieces_holds_every_sample_once_and_a_restart_continues_the_series(robots, tmp_path, file_format):
    prefix = tmp_path / "cell"
    result = qrk("record", SERIAL, "--seconds", 7, "--split-seconds", 2, "-o", prefix, "--format", file_format)
    assert result.returncode == 0, result.stderr
    pieces = series_pieces(prefix, file_format)
    assert [number for number, _, _ in pieces] == [1, 2, 3, 4], pieces
    assert check_series(pieces, file_format) == said_totals(result.stdout)
    assert re.search(r"^series: 4 pieces completed \(cell-\S+-000001 to cell-\S+-000004\), 0 files deleted",
                     result.stdout, re.M), result.stdout
    names = sorted(path.name for path in tmp_path.iterdir())
    assert not any(".active" in name or name.endswith(".tmp") for name in names), names

    # A recorder restarted with the same -o (a service after a crash) numbers on beside the earlier pieces.
    again = qrk("record", SERIAL, "--seconds", 1, "--split-seconds", 2, "-o", prefix, "--format", file_format)
    assert again.returncode == 0, again.stderr
    assert [number for number, _, _ in series_pieces(prefix, file_format)] == [1, 2, 3, 4, 5]
    assert sorted(path.name for path in tmp_path.iterdir() if "-000005" not in path.name) == names


@pytest.mark.parametrize("file_format", ["csv", "mcap"])
def test_record_in_pieces_killed_leaves_its_closed_pieces_whole_and_the_open_one_active(
        robots, tmp_path, file_format):
    prefix = tmp_path / "cell"
    recorder = subprocess.Popen([qrk_tool(), "record", SERIAL, "--split-seconds", "1", "-o", prefix, "--format",
                                 file_format], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with killed_if_left_running(recorder):
        def two_closed_and_one_growing():
            pieces = series_pieces(prefix, file_format)
            open_ones = [stem for _, stem, complete in pieces if not complete]
            data = Path(f"{open_ones[-1]}{'.mcap' if file_format == 'mcap' else '.basic.csv'}") if open_ones else None
            return sum(complete for _, _, complete in pieces) >= 2 and data and data.stat().st_size > 1_000_000
        assert wait_until(two_closed_and_one_growing, within=30)
        recorder.kill()
        recorder.wait(timeout=10)
    pieces = series_pieces(prefix, file_format)
    *closed, (last, active, complete) = pieces
    assert not complete and all(done for _, _, done in closed) and last == closed[-1][0] + 1, pieces
    first = {stream: 0 for stream in ("basic", "extra")}
    for stream, (received, _) in check_series(closed, file_format).items():
        first[stream] += received
    # The open piece reads as far as it was written, and goes on from where the closed ones stopped.
    if file_format == "csv":
        assert json.loads(Path(f"{active}.meta.json").read_text())["complete"] is False
        header, *rows = read_rows(f"{active}.basic.csv")
        whole = [row for row in rows if len(row) == len(header)]
        assert len(whole) >= len(rows) - 1 and int(whole[0][0]) == first["basic"], (whole[0][:2], first)
        return
    kinds, sequences = [], []
    with open(f"{active}.mcap", "rb") as file:
        with contextlib.suppress(EndOfFile):  # killed in the middle of a record
            for record in StreamReader(file, emit_chunks=True).records:
                kinds.append(type(record).__name__)
                if isinstance(record, Chunk):
                    topics = {}
                    for inner in breakup_chunk(record, validate_crc=True):
                        if isinstance(inner, Channel):
                            topics[inner.id] = inner.topic
                        elif isinstance(inner, Message) and topics.get(inner.channel_id) == "/io":
                            sequences.append(inner.sequence)
    assert kinds[:2] == ["Header", "Metadata"] and "Footer" not in kinds and kinds.count("Chunk") >= 1
    assert sequences and sequences == list(range(first["basic"], first["basic"] + len(sequences)))


@pytest.mark.parametrize("file_format, keep, bound", [("mcap", "--keep-bytes", "6M"), ("csv", "--keep-files", "2")])
def test_record_in_pieces_keeps_within_its_retention_deleting_only_its_oldest_pieces(
        robots, tmp_path, file_format, keep, bound):
    prefix = tmp_path / "cell"
    other = tmp_path / "cell-20200101T000000Z-000001.notes"  # beside the series, not of it
    other.write_text("kept")

    def held():
        total = 0
        for path in tmp_path.iterdir():
            with contextlib.suppress(FileNotFoundError):  # deleted or renamed since the listing
                total += path.stat().st_size if path != other else 0
        return total

    recorder = subprocess.Popen([qrk_tool(), "record", SERIAL, "--seconds", "6", "--split-seconds", "1", keep, bound,
                                 "-o", prefix, "--format", file_format], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
    with killed_if_left_running(recorder):
        sizes = []

        def ended():  # what the series holds, looked at all along: while a piece is written too
            sizes.append(held())
            return recorder.poll() is not None

        assert wait_until(ended, within=30)
        out, err = recorder.communicate(timeout=30)
    assert recorder.returncode == 0, err
    deleted = int(re.search(r"^series: \d+ pieces completed .*, (\d+) files deleted", out, re.M).group(1))
    kept = series_pieces(prefix, file_format)
    numbers = [number for number, _, _ in kept]
    assert deleted > 0 and numbers == list(range(numbers[0], numbers[0] + len(numbers))) and numbers[0] > 1
    assert all(complete for _, _, complete in kept) and other.read_text() == "kept"
    if keep == "--keep-files":
        assert len(kept) == 2
    else:
        # Between two looks of the recorder (20 ms) a piece grows by some 50 kB, and a closing one by its index.
        assert held() <= 6_000_000 and max(sizes) <= 6_300_000, (held(), max(sizes))


GAP = "QRK-GAP-1"


def test_record_rides_out_robot_restarts_and_starts_a_piece_for_another_layout(tmp_path):
    prefix = tmp_path / "cell"

    def grown_by(number, size):
        """Waits until piece `number` holds `size` bytes more than it does now."""
        def held():
            return sum(Path(f"{stem}.mcap").stat().st_size for n, stem, _ in series_pieces(prefix, "mcap")
                       if n == number)
        before = held()
        assert wait_until(lambda: held() > before + size, within=20), series_pieces(prefix, "mcap")

    with contextlib.ExitStack() as stack:
        with simulated_robot(GAP, rate=500):
            recorder = stack.enter_context(killed_if_left_running(subprocess.Popen(
                [qrk_tool(), "record", GAP, "--split-seconds", "60", "-o", prefix, "--format", "mcap"],
                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)))
            grown_by(1, 200_000)
        time.sleep(1.5)  # the robot is off (no condition to wait for: the break is the point)
        with simulated_robot(GAP, rate=500):  # back as it was
            grown_by(1, 200_000)
        time.sleep(1.5)
        with simulated_robot(GAP, "--groups", "0,3", rate=500):  # back as ALL and ARM_1 only
            grown_by(2, 200_000)
            out, err = stopped(recorder, signal.SIGTERM)
    assert recorder.returncode == 0, err
    pieces = series_pieces(prefix, "mcap")
    assert [number for number, _, _ in pieces] == [1, 2], pieces
    assert check_series(pieces, "mcap") == said_totals(out)
    files = [read_mcap(f"{stem}.mcap") for _, stem, _ in pieces]
    with open(f"{pieces[0][1]}.mcap", "rb") as file:
        gaps = [record.metadata for record in make_reader(file).iter_metadata() if record.name == "gap"]
    # Both returns were breaks that the robot's time stamp going back marks as restarts.
    assert len(gaps) == 2 and all(gap["restarted"] == "true" and float(gap["seconds"]) > 1.5 for gap in gaps), gaps
    assert files[0][1]["recording"]["ended_by"] == "layout change"
    for (summary, metadata, _), groups in zip(files, (GROUP_NAMES, ["ALL", "ARM_1"]), strict=True):
        assert [entry["group"] for entry in json.loads(metadata["robot"]["layout"])] == groups
        assert {c.topic for c in summary.channels.values()} == set(foxglove_topics(groups))
    assert len(files[1][2]["/ARM_1/joint_states"]) > 100


def server_sockets(port, closing=False):
    """The connections accepted on `port` in this network namespace: {peer port: bytes queued to send}. A
    connection still waiting in the listener's backlog (inode 0) is not listed. With `closing`, every connection
    the server has not closed yet: also those its peer closed, accepted or still waiting to be."""
    sockets = {}
    for line in Path("/proc/net/tcp").read_text().splitlines()[1:]:
        fields = line.split()
        held = fields[3] in ("01", "08") if closing else fields[3] == "01" and fields[9] != "0"
        if fields[1].endswith(f":{port:04X}") and held:
            sockets[int(fields[2].split(":")[1], 16)] = int(fields[4].split(":")[0], 16)
    return sockets


def test_serve_shows_the_robot_live_to_several_viewers(robots):
    port = 18765
    with killed_if_left_running(subprocess.Popen([qrk_tool(), "serve", SERIAL, "--port", str(port)],
                                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)) as serve:
        first_line = serve.stdout.readline()
        assert first_line.startswith(f"serving {SERIAL} on ws://127.0.0.1:{port}"), first_line
        first = viewer(port, 20, "/ARM_1/joint_states", "/ARM_1/states")
        second = viewer(port, 20, "--commands", "/ARM_2/joint_states", "/tf")
        seen, other = viewed(first), viewed(second)
        # Nothing a viewer sends acts on the robot: no capability is offered, and a publish on a channel of the
        # viewer's own, a service call and parameter requests are each refused.
        assert other["capabilities"] == []
        assert sorted(other["replies"]) == sorted([
            "Server does not support clientPublish capability", "Unknown channel ID: 1",
            "Server does not support services", "Server does not support parameters capability",
            "Server does not support parameters capability"]), other["replies"]
        assert set(seen["advertised"]) == {f"/{g}/{k}" for g in GROUP_NAMES for k in ("joint_states", "states",
                                                                                        "actions")} | {"/tf", "/io"}
        joint_states = seen["messages"]["/ARM_1/joint_states"]
        assert all([j["name"] for j in m["message"]["joints"]] == [f"joint_{i}" for i in range(7)]
                   for m in joint_states)
        states = {m["log_time"]: m["message"] for m in seen["messages"]["/ARM_1/states"]}
        paired = [(m["message"], states[m["log_time"]]) for m in joint_states if m["log_time"] in states]
        assert paired and all([float32(j["position"]) for j in js["joints"]] == record["q"]
                              for js, record in paired)
        assert [j["name"] for j in other["messages"]["/ARM_2/joint_states"][0]["message"]["joints"]] == \
            [f"joint_{i}" for i in range(7, 14)]

        busy = qrk("serve", SERIAL, "--port", port, timeout=30)
        assert busy.returncode == 1 and busy.stderr.count("\n") == 1 and f"127.0.0.1:{port}" in busy.stderr
        assert viewed(viewer(port, 1, "/io"))["messages"]["/io"]  # the first server is still serving
        _, err = stopped(serve)
        assert serve.returncode == 0, err


def plotjuggler_subscribes(channel):
    """PlotJuggler 4's test of an advertised channel: it subscribes only to ROS 2's CDR with a ros2msg schema."""
    return channel["encoding"] == "cdr" and channel["schemaEncoding"] == "ros2msg" and \
        channel["schemaName"] != "" and channel["schemaLength"] > 0


@pytest.mark.parametrize("flags", [[], ["--all-fields"]], ids=["standard", "all-fields"])
def test_serve_ros2_serves_a_ros2_recordings_topics_to_plotjuggler_with_the_clients_values(robots, tmp_path, flags):
    names = tmp_path / "names.yaml"
    names.write_text("8: arm_2_elbow\n")
    flags = [*flags, "--joint-names", str(names)]
    recorded = qrk("record", SERIAL, "--seconds", 1, "-o", tmp_path / "run", "--format", "ros2", *flags)
    assert recorded.returncode == 0, recorded.stderr
    with open(tmp_path / "run.mcap", "rb") as file:
        recorded_topics = {channel.topic for channel in make_reader(file).get_summary().channels.values()}
    port = 18768 + len(flags)
    records = "--all-fields" in flags
    topics = ["/ARM_2/joint_states", "/ARM_2/tcp_wrench_local", "/tf"] + (["/ARM_2/states"] if records else [])
    with killed_if_left_running(subprocess.Popen([qrk_tool(), "serve", SERIAL, "--port", str(port), "--ros2", *flags],
                                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)) as serve:
        assert serve.stdout.readline().startswith(f"serving {SERIAL} on ws://127.0.0.1:{port}")
        client = connect(SERIAL, verbose=False)
        read = {}  # the client's ARM_2 states by the robot's time stamp, read while the viewer watches
        done = threading.Event()

        def read_states():
            while not done.is_set():
                states = client.states()[JointGroup.ARM_2]
                read[tuple(states.timestamp)] = states

        reading = threading.Thread(target=read_states)
        reading.start()
        try:
            seen = viewed(viewer(port, 200, *topics))
        finally:
            done.set()
            reading.join()
        _, err = stopped(serve)
        assert serve.returncode == 0, err
    advertised = seen["advertised"]
    assert set(advertised) == recorded_topics  # instead of the protobuf topics, which share their names
    assert all(plotjuggler_subscribes(channel) for channel in advertised.values()), advertised
    by_time = {topic: {m["log_time"]: m["message"] for m in seen["messages"][topic]} for topic in topics}
    for joint_states in by_time["/ARM_2/joint_states"].values():
        assert joint_states["name"] == ["joint_7", "arm_2_elbow"] + [f"joint_{i}" for i in range(9, 14)]
    if not records:
        return
    # One sample's messages share its log time; its states carry the robot's time stamp, which the client's read.
    matched = 0
    for log_time, message in by_time["/ARM_2/states"].items():
        states = read.get(tuple(message["timestamp"]))
        if states is None or log_time not in by_time["/ARM_2/joint_states"] or log_time not in by_time["/tf"]:
            continue
        matched += 1
        assert message["tau_ext"] == states.tau_ext and message["flange_pose"] == states.flange_pose
        joint_states = by_time["/ARM_2/joint_states"][log_time]
        assert [joint_states[f] for f in ("position", "velocity", "effort")] == [states.q, states.dq, states.tau]
        wrench = by_time["/ARM_2/tcp_wrench_local"].get(log_time)
        if wrench is not None:
            assert wrench["header"]["frame_id"] == "ARM_2_tcp"
            force, torque = wrench["wrench"]["force"], wrench["wrench"]["torque"]
            assert [*force.values(), *torque.values()] == states.tcp_wrench_local
        tcp = next(t for t in by_time["/tf"][log_time]["transforms"] if t["child_frame_id"] == "ARM_2_tcp")
        translation, rotation = tcp["transform"]["translation"], tcp["transform"]["rotation"]
        pose = states.tcp_pose
        assert [*translation.values(), *rotation.values()] == pose[:3] + pose[4:] + pose[3:4]
    assert matched > 20, (matched, len(read))


def test_serve_takes_the_joint_groups_from_a_first_sample_later_than_start_up_and_names_joints_as_told(tmp_path):
    port = 18767
    names = tmp_path / "names.json"
    names.write_text('{"8": "arm_2_elbow"}')
    with simulated_robot(LATE, "--start-paused", rate=500) as robot:
        serve, said = started_while_paused(robot, ["serve", LATE, "--port", port, "--joint-names", names],
                                           lambda serve: serve.stdout.readline().startswith(f"serving {LATE}"))
        with killed_if_left_running(serve):
            seen = viewed(viewer(port, 20, "/ARM_2/joint_states", "/ARM_2/actions"))
            assert set(seen["advertised"]) == set(foxglove_topics(GROUP_NAMES))
            assert [j["name"] for j in seen["messages"]["/ARM_2/joint_states"][0]["message"]["joints"]] == \
                ["joint_7", "arm_2_elbow"] + [f"joint_{i}" for i in range(9, 14)]
            out, err = stopped(serve)
    assert serve.returncode == 0 and "during start-up" in said, said + err
    assert LATE_GROUPS.search(out), out


def test_serve_ends_on_sighup_as_on_ctrl_c(robots):  # its terminal or SSH session closed
    with subprocess.Popen([qrk_tool(), "serve", SERIAL, "--port", "18766"], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True) as serve:
        assert serve.stdout.readline().startswith(f"serving {SERIAL}")
        serve.send_signal(signal.SIGHUP)
        _, err = serve.communicate(timeout=20)
        assert serve.returncode == 0, err


def test_serve_holds_its_viewer_limit_and_ends_at_once_whatever_its_viewers_do(robots):
    port = 18766
    serve = subprocess.Popen([qrk_tool(), "serve", SERIAL, "--port", str(port), "--max-viewers", "4"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    held = []
    stalled = None
    try:
        assert serve.stdout.readline().startswith(f"serving {SERIAL}")
        # A viewer of every topic that stops reading: its connection backs up.
        stalled = viewer(port, 1_000_000, *foxglove_topics(GROUP_NAMES), pause_ms=600_000)
        assert wait_until(lambda: max(server_sockets(port).values(), default=0) > 1 << 20, within=20)

        # Connections opened and closed, then three held: four places taken, a fifth connection refused.
        for _ in range(50):
            socket.create_connection(("127.0.0.1", port)).close()
        # A place is free once the server has closed its end too, not when the viewer has.
        assert wait_until(lambda: len(server_sockets(port, closing=True)) == 1, within=10), server_sockets(port)
        held += [socket.create_connection(("127.0.0.1", port)) for _ in range(3)]
        assert wait_until(lambda: len(server_sockets(port)) == 4, within=10), server_sockets(port)
        with socket.create_connection(("127.0.0.1", port)) as fifth:
            fifth.sendall(b"GET / HTTP/1.1\r\n\r\n")
            fifth.settimeout(10)
            assert fifth.recv(1024).startswith(b"HTTP/1.1 503 Service Unavailable")
        for connection in held:
            connection.close()
        held.clear()
        # A new viewer still gets the robot's data once places free up.
        assert wait_until(lambda: len(server_sockets(port, closing=True)) == 1, within=10), server_sockets(port)
        assert viewed(viewer(port, 5, "/ARM_1/states"))["messages"]["/ARM_1/states"]

        # And a connection that never completes its handshake, beside the stalled viewer.
        silent = socket.create_connection(("127.0.0.1", port))
        silent.sendall(b"GET / HTTP/1.1\r\n")
        held.append(silent)
        assert wait_until(lambda: len(server_sockets(port)) == 2, within=10), server_sockets(port)
        started = time.monotonic()
        serve.send_signal(signal.SIGINT)
        out, err = serve.communicate(timeout=20)
        took = time.monotonic() - started
        print(f"qrk serve ended {took:.3f} s after Ctrl-C, with a stalled viewer and a stalled handshake")
        assert serve.returncode == 0 and took < 5, (took, err)
        assert re.search(r"^basic stream: [1-9]\d* samples received, [1-9]\d* served, 0 dropped", out, re.M), out
        assert re.search(r"^viewers refused \(over --max-viewers 4\): [1-9]", out, re.M), out
    finally:  # a failed check must not leave the server running
        for connection in held:
            connection.close()
        for process in (serve, stalled):
            if process is not None and process.poll() is None:
                process.kill()
                process.communicate()


SNAP = "QRK-SNAP-1"


def snapshot_files(folder):
    """The snapshots' complete stems (paths without the format's endings), and whether any is still .active."""
    names = [path.name for path in folder.iterdir() if "-snap-" in path.name]
    stems = sorted({re.sub(r"\.(mcap|basic\.jsonl|extra\.jsonl|meta\.json)$", "", name) for name in names})
    return [folder / stem for stem in stems if not stem.endswith(".active")], any(".active" in name for name in names)


def log_times(path, topics):
    """{topic: [(log time in seconds, sequence)]} of an MCAP file's messages on `topics`, undecoded."""
    with open(path, "rb") as file:
        found = {topic: [] for topic in topics}
        for _, channel, message in make_reader(file).iter_messages(topics=topics, log_time_order=False):
            found[channel.topic].append((message.log_time / 1e9, message.sequence))
        return found


def rss_bytes(pid):
    fields = Path(f"/proc/{pid}/status").read_text().split("VmRSS:")[1].split()
    return int(fields[0]) * 1024


def check_mcap_window(stem, reference, pre, post):
    """Each stream's part of the MCAP snapshot `stem` is the continuous recording `reference`'s samples from PRE
    before its first event to POST after its last, to within a sample period (the two streams arrive on threads of
    their own), none missing. Returns the events."""
    _, metadata, _ = read_mcap(f"{stem}.mcap")
    events = json.loads(metadata["recording"]["events"])
    low, high = events[0]["time"] - pre, events[-1]["time"] + post
    topics = ["/io", "/ARM_1/actions"]  # one of each stream
    held, whole = log_times(f"{stem}.mcap", topics), log_times(reference, topics)
    for topic in topics:
        numbers = [sequence for _, sequence in held[topic]]
        assert numbers == list(range(numbers[0], numbers[0] + len(numbers))), topic
        surely = {sequence for when, sequence in whole[topic] if low + 0.001 <= when <= high - 0.001}
        maybe = {sequence for when, sequence in whole[topic] if low - 0.001 <= when <= high + 0.001}
        assert surely <= set(numbers) <= maybe, (topic, min(numbers), max(numbers))
    return events


def check_jsonl_window(stem, pre, post):
    """The JSON Lines snapshot `stem` from PRE before its first event to POST after its last: its samples' receive
    times within that span and reaching its ends (here without a continuous recording to compare with, to within a
    generous bound for a loaded machine). Returns the events and the robot's stamp of each event's sample."""
    meta = json.loads(Path(f"{stem}.meta.json").read_text())
    events = meta["events"]
    assert meta["complete"] and meta["ended_by"] == "snapshot", meta
    rows = [json.loads(line) for stream in ("basic", "extra")
            for line in Path(f"{stem}.{stream}.jsonl").read_text().splitlines()]
    times = [row["receive_time"] for row in rows]
    low, high = events[0]["time"] - pre, events[-1]["time"] + post
    assert low - 0.001 <= min(times) < low + 0.05 and high - 0.05 < max(times) <= high + 0.001, (
        min(times) - low, max(times) - high)
    stamps = {row["receive_time"]: row["stamp"] for row in rows}
    return events, [stamps[event["time"]] for event in events if event["label"] != "mark"]


def test_record_snapshots_the_window_around_each_event_in_files_of_their_own(tmp_path):
    pre, post, press = 1.0, 1.0, 6
    # Two recorders of one robot: MCAP beside a continuous recording, which shows what each window must hold, and
    # JSON Lines alone. The E-stop pressed, then an input rising inside its window: one snapshot of both (late
    # enough for the recorders to have found the robot and filled their windows).
    folders = {"mcap": tmp_path / "mcap", "jsonl": tmp_path / "jsonl"}
    with contextlib.ExitStack() as stack:
        stack.enter_context(simulated_robot(SNAP, "--event", f"estop:press@{press}", "--event",
                                            f"di:2:on@{press + 0.6}", rate=1000))
        recorders = {}
        for file_format, folder in folders.items():
            folder.mkdir()
            recorders[file_format] = stack.enter_context(killed_if_left_running(subprocess.Popen(
                [qrk_tool(), "record", SNAP, "-o", folder / "cell", "--format", file_format, "--snapshot",
                 f"{pre}:{post}", "--on", "estop", "--on", "di:2:rising",
                 *(["--continuous"] if file_format == "mcap" else [])],
                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)))
        rss = {file_format: [] for file_format in folders}

        def each_has(count):
            for file_format, recorder in recorders.items():
                assert recorder.poll() is None, recorder.communicate()  # ended before its time: why
                rss[file_format].append(rss_bytes(recorder.pid))
            return all(len(snapshot_files(folder)[0]) == count for folder in folders.values())

        assert wait_until(lambda: each_has(1), within=press + 15), [list(f.iterdir()) for f in folders.values()]
        filled = {file_format: len(sizes) for file_format, sizes in rss.items()}
        for recorder in recorders.values():
            recorder.send_signal(signal.SIGUSR1)  # an operator's mark, after that window
        assert wait_until(lambda: each_has(2), within=10)
        wait_until(lambda: each_has(3), within=2)  # the ring full and steady meanwhile
        said = {file_format: stopped(recorder) for file_format, recorder in recorders.items()}

    for file_format, folder in folders.items():
        out, err = said[file_format]
        assert recorders[file_format].returncode == 0, err
        stems, active = snapshot_files(folder)
        assert not active and len(stems) == 2, stems
        assert re.fullmatch(r"cell-snap-\d{8}T\d{6}\.\d{3}Z-estop\+di2-rising", stems[0].name), stems
        assert re.fullmatch(r"cell-snap-\d{8}T\d{6}\.\d{3}Z-mark", stems[1].name), stems
        assert re.search(r"^snapshots: 2 written", out, re.M), out
        # The ring holds PRE seconds, not the run: once full (a few MB at this rate), its memory stays flat.
        steady = rss[file_format][filled[file_format]:]
        assert max(steady) - min(steady) < 8_000_000, rss[file_format]

    mcap_stems, reference = snapshot_files(folders["mcap"])[0], folders["mcap"] / "cell.mcap"
    events = check_mcap_window(mcap_stems[0], reference, pre, post)
    marks = check_mcap_window(mcap_stems[1], reference, pre, post)
    with open(f"{mcap_stems[0]}.mcap", "rb") as file:
        pressed = [message.log_time / 1e9 for _, _, message, io in make_reader(
            file, decoder_factories=[DecoderFactory()]).iter_decoded_messages(topics=["/io"]) if not io.estop_released]
    assert [event["label"] for event in events] == ["estop", "di2-rising"], events
    assert 0.4 < events[1]["time"] - events[0]["time"] < 0.8, events
    # The event's time is the receive time of the first sample that shows it.
    assert pressed[0] == pytest.approx(events[0]["time"], abs=1e-6)
    assert [event["label"] for event in marks] == ["mark"]

    jsonl_stems = snapshot_files(folders["jsonl"])[0]
    events, stamps = check_jsonl_window(jsonl_stems[0], pre, post)
    assert [event["label"] for event in events] == ["estop", "di2-rising"], events
    assert stamps[0][0] == press  # the simulator's first sample of second `press`, the press scripted for it
    marks, _ = check_jsonl_window(jsonl_stems[1], pre, post)
    assert [event["label"] for event in marks] == ["mark"]

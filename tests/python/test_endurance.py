"""A Python program polling one client at 1 kHz while qrk-sim streams at 1 kHz.

The process's resident memory stays flat after a warm-up, nothing is logged
at error level, and every result comes from a single sample; with garbage
interleaved on both streams, or another peer's 20 MB junk payloads on the
basic-stream key, the same holds (the junk within a looser bound). `qrk record` keeps its memory
flat too and drops nothing. The short forms run with the suite; scripts/soak
sets VELMOR_SOAK_SECONDS, VELMOR_GARBAGE_SECONDS and VELMOR_RECORD_SECONDS.
"""

import contextlib
import json
import os
import subprocess
import sys
import time
from pathlib import Path

import pytest

from e2e_fixtures import connect, qrk_tool, simulated_robot, wait_until
from peer_host import RobotServer
from velmorqrk import JointGroup

SOAK_SECONDS = float(os.environ.get("VELMOR_SOAK_SECONDS", "20"))
GARBAGE_SECONDS = float(os.environ.get("VELMOR_GARBAGE_SECONDS", "10"))
RECORD_SECONDS = float(os.environ.get("VELMOR_RECORD_SECONDS", "6"))
MAX_GROWTH = 1 << 20
JUNK_GROWTH = 64 << 20


def resident_bytes(pid="self"):
    with open(f"/proc/{pid}/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def single_sample_problem(results, joints):
    """Why `results` (of qrk-sim's five groups) cannot come from one sample, or None."""
    if len(results) != 5:
        return f"groups {list(results)}"
    if len({record.timestamp for record in results.values()}) != 1:
        return "groups carry different time stamps"
    every, arms = getattr(results[JointGroup.ALL], joints), getattr(results[JointGroup.ARMS], joints)
    if (arms != every[:14] or getattr(results[JointGroup.ARM_1], joints) != arms[:7]
            or getattr(results[JointGroup.ARM_2], joints) != arms[7:]
            or getattr(results[JointGroup.EXT_AXIS], joints) != every[14:]):
        return f"the groups' {joints} are not cut from one vector"
    return None


def poll(client, seconds):
    """Polls states() and actions() at 1 kHz; returns the resident growth after
    the warm-up (the first quarter, at least 2 s) and the samples seen."""
    start = time.monotonic()
    warm_up, end = start + max(2.0, seconds / 4), start + seconds
    baseline, growth, seen, last = None, 0, 0, (0, 0)
    next_poll = next_sample = start
    while (now := time.monotonic()) < end:
        if now < next_poll:
            time.sleep(next_poll - now)
        next_poll += 0.001
        states, actions = client.states(), client.actions()
        problem = single_sample_problem(states, "q") or single_sample_problem(actions, "q_d")
        assert problem is None, problem
        stamp = next(iter(states.values())).timestamp
        assert stamp >= last, f"time stamp went back from {last} to {stamp}"
        seen += stamp != last  # counted, not collected: a set would grow the memory watched here
        last = stamp
        if now >= next_sample:
            next_sample += 1.0
            if now >= warm_up:
                baseline = resident_bytes() if baseline is None else baseline
                growth = max(growth, resident_bytes() - baseline)
    return growth, seen


def junk_peer(serial):
    """Another peer putting 20 MB of junk ten times a second on the robot's basic-stream key."""
    return RobotServer([sys.executable, Path(__file__).with_name("junk_publisher.py"),
                        f"velmor/robot/{serial}/basic_stream_data", "--size", 20_000_000, "--rate", 10])


@pytest.mark.parametrize("garbage", ["clean", "garbage", "junk"])
def test_memory_stays_flat_and_nothing_is_logged_at_one_kilohertz(garbage, capfd):
    seconds = SOAK_SECONDS if garbage == "clean" else GARBAGE_SECONDS
    serial = f"QRK-SOAK-{garbage.upper()}"
    options = ("--garbage-rate", 1000) if garbage == "garbage" else ()
    with simulated_robot(serial, *options, rate=1000), \
            (junk_peer(serial) if garbage == "junk" else contextlib.nullcontext()):
        client = connect(serial, verbose=False)
        capfd.readouterr()
        growth, seen = poll(client, seconds)
        out, err = capfd.readouterr()
        del client
    with capfd.disabled():
        print(f"\n{serial}: {seconds:g} s, {seen} samples seen, resident growth after warm-up {growth} bytes, "
              f"resident {resident_bytes() // 1024} KiB")
    assert "[error]" not in out + err
    # zenoh holds a few of the 20 MB junk payloads in flight at any time; what
    # must not happen is growth with every payload.
    assert growth < (JUNK_GROWTH if garbage == "junk" else MAX_GROWTH)
    # The poll and the stream both run at 1 kHz. How many samples a poll sees
    # depends on the machine's load (a third of them on a busy 2-core box);
    # what must not happen is a stream that stalls.
    assert seen > seconds * 100


def test_recording_keeps_memory_flat_and_drops_nothing(tmp_path):
    # One joint group keeps a long soak's files small; the receive path and
    # the queue are the same.
    with simulated_robot("QRK-SOAK-REC", "--groups", "3", rate=1000):
        recorder = subprocess.Popen([qrk_tool(), "record", "QRK-SOAK-REC", "--seconds", str(RECORD_SECONDS),
                                     "-o", tmp_path / "run"], stdout=subprocess.DEVNULL)
        assert wait_until(lambda: (tmp_path / "run.basic.csv").stat().st_size > 0
                          if (tmp_path / "run.basic.csv").exists() else False, within=20)
        start = time.monotonic()
        baseline, growth = None, 0
        while recorder.poll() is None:
            if time.monotonic() - start >= max(2.0, RECORD_SECONDS / 4):
                try:
                    resident = resident_bytes(recorder.pid)
                except (FileNotFoundError, ProcessLookupError, IndexError):
                    break  # it just exited
                baseline = resident if baseline is None else baseline
                growth = max(growth, resident - baseline)
            time.sleep(0.5)
        assert recorder.wait() == 0
    meta = json.loads((tmp_path / "run.meta.json").read_text())
    print(f"\nrecording {RECORD_SECONDS:g} s: resident growth {growth / 1024:.0f} KiB, "
          f"{meta['streams']['basic']['written']} basic samples")
    assert growth < MAX_GROWTH
    assert meta["streams"]["basic"]["dropped"] == meta["streams"]["extra"]["dropped"] == 0
    assert meta["streams"]["basic"]["written"] >= RECORD_SECONDS * 1000 * 0.95

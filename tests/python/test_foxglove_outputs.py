"""qrk's Foxglove outputs (foxglove/) read by independent readers: recordings by the mcap and
mcap-protobuf-support packages and by @mcap/core's indexed reader, the live server by Foxglove's reference
client in Node.js (tests/node/). The simulated robot drives them through tests/cpp/cli/foxglove_probe.cpp, which
reports ARM_1's values of the first and last sample it wrote. What qrk record and qrk serve add on top
(write errors, several viewers, a busy port) is tested in test_qrk_tool.py."""

import json
import signal
import subprocess
from itertools import pairwise
from pathlib import Path

import pytest

from e2e_fixtures import foxglove_probe
from qrk_outputs import float32, foxglove_topics, read_indexed, read_mcap, viewed, viewer
from records_table import FIELDS

GROUPS = {"ALL": 0, "ARMS": 0, "ARM_1": 0, "ARM_2": 7, "EXT_AXIS": 14}  # name: first joint
JOINTS = {"ALL": 16, "ARMS": 14, "ARM_1": 7, "ARM_2": 7, "EXT_AXIS": 2}
TOPICS = foxglove_topics(GROUPS)
START_NS = 1_700_000_000_000_000_000


def record(path, compression, samples, **kwargs):
    return subprocess.run([foxglove_probe(), "record", path, compression, str(samples)], capture_output=True,
                          text=True, timeout=120, **kwargs)


@pytest.mark.parametrize("compression", ["zstd", "lz4", "none"])
def test_a_recording_reads_back_with_every_topic_sample_and_value(tmp_path, compression):
    samples = 300
    result = record(tmp_path / "run.mcap", compression, samples)
    assert result.returncode == 0, result.stderr
    reported = json.loads(result.stdout)
    summary, metadata, by_topic = read_mcap(tmp_path / "run.mcap")

    assert {chunk.compression for chunk in summary.chunk_indexes} == {"" if compression == "none" else compression}
    channels = summary.channels.values()
    assert {c.topic: summary.schemas[c.schema_id].name for c in channels} == TOPICS
    assert metadata == {"robot": {"serial": "AB-12-345", "complete": "true"}}
    for topic, received in by_topic.items():
        sequences = [message.sequence for message, _ in received]
        assert sequences == list(range(samples)), topic
        assert all(m.log_time == START_NS + m.sequence * 1_000_000 and m.publish_time == m.log_time
                   for m, _ in received), topic

    # The schemas carry the records' fields in the records' order, under the names the module gives them.
    for kind, record_class in (("states", "RobotStates"), ("actions", "RobotActions")):
        schema_fields = [field.name for field in by_topic[f"/ARM_1/{kind}"][0][1].DESCRIPTOR.fields]
        assert schema_fields == [name for name, _, _ in FIELDS[record_class]], kind

    for group, first in GROUPS.items():
        joints = by_topic[f"/{group}/joint_states"][0][1].joints
        assert [j.name for j in joints] == [f"joint_{first + i}" for i in range(JOINTS[group])]
        assert len(by_topic[f"/{group}/states"][0][1].tau_ext) == JOINTS[group]
        assert len(by_topic[f"/{group}/actions"][0][1].q_d) == JOINTS[group]

    # ARM_1 in the first and the last sample, as the probe handed it over.
    for index, expected in ((0, reported["first"]), (samples - 1, reported["last"])):
        joints = by_topic["/ARM_1/joint_states"][index][1].joints
        assert [j.position for j in joints] == expected["q"]
        assert [j.velocity for j in joints] == expected["dq"]
        assert [j.effort for j in joints] == expected["tau"]
        states = by_topic["/ARM_1/states"][index][1]
        assert list(states.q) == [float32(v) for v in expected["q"]]
        assert list(states.tcp_pose) == [float32(v) for v in expected["tcp_pose"]]
        assert list(states.timestamp) == [index // 1000, index]
        tf = by_topic["/tf"][index][1].transforms  # one message with every group's frames
        assert [t.child_frame_id for t in tf] == [f"{g}_{frame}" for g in GROUPS for frame in ("tcp", "flange")]
        frames = {t.child_frame_id: t for t in tf}
        for frame, pose in (("ARM_1_tcp", expected["tcp_pose"]), ("ARM_1_flange", expected["flange_pose"])):
            t = frames[frame]
            assert t.parent_frame_id == "world"
            assert [t.translation.x, t.translation.y, t.translation.z] == pose[:3]
            assert [t.rotation.x, t.rotation.y, t.rotation.z, t.rotation.w] == pose[4:] + pose[3:4]
        assert list(by_topic["/io"][index][1].digital_inputs) == expected["inputs"]

    # The TypeScript viewers' reader: every message through the indexes, and a window of time.
    indexed = read_indexed(tmp_path / "run.mcap", dict.fromkeys(TOPICS, samples))
    assert indexed["metadata"] == metadata


def test_an_unwritable_path_fails_cleanly(tmp_path):
    missing = record(tmp_path / "no" / "run.mcap", "zstd", 10)
    assert missing.returncode == 1 and "cannot write" in missing.stderr and "No such file" in missing.stderr


class LiveServer:
    """The probe serving the simulated robot at 1 kHz on a free port."""

    def __init__(self, port=0):
        self.process = subprocess.Popen([foxglove_probe(), "serve", str(port), "1000"], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if not line.startswith("port "):
            raise RuntimeError(f"the probe did not serve: {self.process.communicate(timeout=10)[1]}")
        self.port = int(line.split()[1])

    def viewer(self, count, *topics, pause_ms=0):
        return viewer(self.port, count, *topics, pause_ms=pause_ms)

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        self.process.communicate(timeout=10)
        return self.process.returncode


def rss_kib(pid):
    status = Path(f"/proc/{pid}/status").read_text()
    return int(next(line.split()[1] for line in status.splitlines() if line.startswith("VmRSS:")))


def test_a_slow_viewer_loses_messages_and_the_server_stays_bounded():
    server = LiveServer()
    try:
        before = rss_kib(server.process.pid)
        # Stops reading for 4 s while every topic streams at 1 kHz (about 6 MB/s of messages).
        slow = server.viewer(3000, "/ARM_1/states", *[f"/{g}/joint_states" for g in GROUPS], "/tf", pause_ms=4000)
        prompt = server.viewer(5, "/ARM_1/states")
        assert viewed(prompt)["messages"]["/ARM_1/states"]
        numbers = [m["message"]["timestamp"][1] for m in viewed(slow)["messages"]["/ARM_1/states"]]
        gaps = [b - a for a, b in pairwise(numbers)]
        assert max(gaps) > 100, "the slow viewer lost nothing"
        assert rss_kib(server.process.pid) - before < 64 * 1024
    finally:
        assert server.stop() == 0

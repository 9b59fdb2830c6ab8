"""The two architectures as robot and client of each other (scripts/test-aarch64): the robot on the peer host, the
client here, as on a robot cell's network; the aarch64 programs (AARCH64_QRK, AARCH64_QRK_SIM) run under the
emulator, the x86_64 ones (QRK, QRK_SIM) natively."""

import json

import pytest

from peer_host import RobotServer
from qrk_outputs import foxglove_topics, read_mcap
from shipped import emulated, given, run

# Emulated, a program takes some seconds to start.
READY_WITHIN = 60


def robot(serial, on_aarch64):
    program = emulated([given("AARCH64_QRK_SIM")]) if on_aarch64 else [given("QRK_SIM")]
    return RobotServer([*program, "--serial", serial, "--rate", 200, "--duration", 120], ready_within=READY_WITHIN)


def client(on_aarch64):
    return emulated([given("AARCH64_QRK")]) if on_aarch64 else [given("QRK")]


@pytest.mark.parametrize("robot_on_aarch64", [True, False],
                         ids=["aarch64 robot, x86_64 qrk", "x86_64 robot, aarch64 qrk"])
def test_qrk_info_names_the_robot_of_the_other_architecture(robot_on_aarch64):
    serial = "AR-64-001" if robot_on_aarch64 else "AR-64-002"
    with robot(serial, robot_on_aarch64):
        info = json.loads(run([*client(not robot_on_aarch64), "info", serial, "--json"]))
    assert info["serial"] == serial


def test_aarch64_mcap_recording_reads_on_x86_64(tmp_path):
    serial = "AR-64-003"
    with robot(serial, on_aarch64=False):
        run([*client(on_aarch64=True), "record", serial, "--seconds", 3, "-o", tmp_path / "run", "--format", "mcap"])
    summary, metadata, messages = read_mcap(tmp_path / "run.mcap")
    assert next(iter(metadata.values()))["serial"] == serial
    schemas = {channel.topic: summary.schemas[channel.schema_id].name for channel in summary.channels.values()}
    groups = [topic.split("/")[1] for topic in schemas if topic.endswith("/joint_states")]
    assert groups and schemas == foxglove_topics(groups)
    counts = {topic: len(decoded) for topic, decoded in messages.items()}
    assert set(counts) == set(schemas) and min(counts.values()) > 0, counts

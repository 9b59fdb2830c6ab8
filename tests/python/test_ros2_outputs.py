"""qrk record --format ros2 read back with what ROS 2 users read with: rosbags (rosbag2.Reader and AnyReader on the
standalone .mcap), mcap-ros2-support's decoder, and @mcap/core's indexed reader with @foxglove/rosmsg2-serialization
(tests/node/ros2_decoded.mjs), which Foxglove and Lichtblick decode with; with --all-fields too, its own types read
with the interface package's .msg files. The values are held to a JSON Lines recording of the same samples: every
recorder starts while the simulator's streams are paused, so that a sample's number names the same sample in all."""

import json
import re
import signal
import subprocess

import pytest
from mcap.reader import make_reader
from mcap_ros2.decoder import DecoderFactory
from rosbags.highlevel import AnyReader
from rosbags.rosbag2 import Reader
from rosbags.typesys import Stores, get_types_from_msg, get_typestore

from e2e_fixtures import ROOT, qrk_tool, simulated_robot, wait_until
from qrk_outputs import NODE, float32

SERIAL = "QRK-ROS2-1"
GROUPS = {"ALL": 0, "ARMS": 0, "ARM_1": 0, "ARM_2": 7, "EXT_AXIS": 14}  # name: first joint
JOINTS = {"ALL": 16, "ARMS": 14, "ARM_1": 7, "ARM_2": 7, "EXT_AXIS": 2}
NAMES = {0: "shoulder_pan_joint", 1: "shoulder_lift_joint", 15: "axis_b"}  # the rest keep joint_<index>
WRENCHES = {"tcp_wrench": "world", "raw_tcp_wrench": "world", "tcp_wrench_local": "_tcp",
            "raw_tcp_wrench_local": "_tcp"}
# rcl's rule for a topic name: tokens of letters, digits and underscores, none starting with a digit, no "__".
TOPIC_NAME = re.compile(r"^(/[A-Za-z_][A-Za-z0-9_]*)+$")
CHECKED = range(0, 900, 97)  # the samples whose values are compared
PACKAGE_MSGS = ROOT / "ros2" / "velmorqrk_msgs" / "msg"
RECORDS = {"states": ("velmorqrk_msgs/msg/RobotStates", "basic"), "actions": ("velmorqrk_msgs/msg/RobotActions",
                                                                               "extra")}


def ros2_topics(groups):
    """Every topic of a ROS 2 recording of a robot with these groups, with its type."""
    topics = {"/io": "sensor_msgs/msg/Joy", "/tf": "tf2_msgs/msg/TFMessage"}
    for group in groups:
        topics[f"/{group}/joint_states"] = topics[f"/{group}/joint_commands"] = "sensor_msgs/msg/JointState"
        for wrench in WRENCHES:
            topics[f"/{group}/{wrench}"] = "geometry_msgs/msg/WrenchStamped"
    return topics


def joint_name(index):
    return NAMES.get(index, f"joint_{index}")


@pytest.fixture(scope="module")
def recorded(tmp_path_factory):
    """The same samples recorded as ROS 2 (with joint names) and as JSON Lines, and what qrk said of a joint
    names file for another robot."""
    folder = tmp_path_factory.mktemp("ros2")
    names = folder / "names.yaml"
    names.write_text("".join(f"{index}: {name}\n" for index, name in NAMES.items()))
    with simulated_robot(SERIAL, "--start-paused", rate=500) as robot:
        recorders = [subprocess.Popen([qrk_tool(), "record", SERIAL, "--seconds", "2", "-o", folder / prefix,
                                       "--format", file_format, *extra], stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, text=True)
                     for prefix, file_format, extra in (("run", "ros2", ["--joint-names", names]),
                                                        ("all", "ros2", ["--all-fields"]), ("rows", "jsonl", []))]
        # Each says when start-up stopped waiting for a first sample; its files follow.
        for recorder in recorders:
            assert "during start-up" in recorder.stderr.readline()
        files = [folder / name for name in ("run.mcap", "all.mcap", "rows.basic.jsonl")]
        assert wait_until(lambda: all(file.exists() for file in files), within=20)
        robot.process.send_signal(signal.SIGUSR1)
        for recorder in recorders:
            _, err = recorder.communicate(timeout=30)
            assert recorder.returncode == 0, err
        other = folder / "other.yaml"
        other.write_text('{"0": "base", "16": "beyond"}')
        refused = subprocess.run([qrk_tool(), "record", SERIAL, "--seconds", "1", "-o", folder / "refused", "--format",
                                  "ros2", "--joint-names", other], capture_output=True, text=True, timeout=60)
    return folder, refused


def rows(path):
    """A JSON Lines recording's rows by (sample, group)."""
    return {(row["sample"], row["group"]): row for row in map(json.loads, path.read_text().splitlines())}


def test_a_ros2_recording_opens_in_rosbags_with_every_sample_and_the_values_of_json_lines(recorded):
    folder, _ = recorded
    path = folder / "run.mcap"
    with open(path, "rb") as file:
        reader = make_reader(file)
        assert reader.get_header().profile == "ros2"
        summary = reader.get_summary()
        metadata = {record.name: record.metadata for record in reader.iter_metadata()}
        recording = metadata["recording"]
        assert json.loads(metadata["robot"]["joint_names"]) == [NAMES.get(i, "") for i in range(16)]
        # Sequence, log and publish time of every message, in file order.
        stamps = {}
        for _, channel, message in reader.iter_messages(log_time_order=False):
            assert message.publish_time == message.log_time
            stamps.setdefault(channel.topic, []).append((message.sequence, message.log_time))
    topics = ros2_topics(GROUPS)
    assert all(TOPIC_NAME.match(topic) and "__" not in topic for topic in topics)
    for channel in summary.channels.values():  # nothing but CDR: ROS 2's tools refuse a file that mixes
        schema = summary.schemas[channel.schema_id]
        assert (channel.message_encoding, schema.encoding) == ("cdr", "ros2msg"), channel.topic
        assert schema.name == topics[channel.topic]
        qos = channel.metadata["offered_qos_profiles"]
        enums = re.findall(r"\b(history|reliability|durability|liveliness): (\S+)", qos)
        assert len(enums) == 4 and all(value.isdigit() for _, value in enums), qos  # Humble reads integers only

    # Every sample on every topic, numbered from 0: the counts the recording says it wrote.
    written = {topic: int(recording["extra_written" if topic.endswith("/joint_commands") else "basic_written"])
               for topic in topics}
    assert written["/tf"] > 900 and recording["basic_dropped"] == recording["extra_dropped"] == "0"
    assert {topic: [sequence for sequence, _ in s] for topic, s in stamps.items()} == \
        {topic: list(range(count)) for topic, count in written.items()}
    assert sum(written[t] for t in topics if not t.endswith("/joint_commands")) == int(recording["basic_rows"])
    with Reader(path) as bag:
        assert {c.topic: (c.msgtype, c.msgcount) for c in bag.connections} == \
            {topic: (kind, written[topic]) for topic, kind in topics.items()}
        assert all(c.ext.offered_qos_profiles[0].depth == 10 for c in bag.connections)

    # Every message decoded, in each topic's order; its header's stamp is its log time.
    decoded = {}
    with AnyReader([path], default_typestore=get_typestore(Stores.ROS2_HUMBLE)) as bag:
        for connection, time, data in bag.messages():
            decoded.setdefault(connection.topic, []).append((time, bag.deserialize(data, connection.msgtype)))
    for topic, messages in decoded.items():
        assert [time for time, _ in messages] == [log_time for _, log_time in stamps[topic]], topic
        for time, message in messages[::50]:
            header = message.transforms[0].header if topic == "/tf" else message.header
            assert header.stamp.sec * 1_000_000_000 + header.stamp.nanosec == time, topic

    basic, extra = rows(folder / "rows.basic.jsonl"), rows(folder / "rows.extra.jsonl")
    for sample in CHECKED:
        for group, first in GROUPS.items():
            row, commanded = basic[sample, group], extra[sample, group]
            names = [joint_name(first + i) for i in range(JOINTS[group])]
            states = decoded[f"/{group}/joint_states"][sample][1]
            assert states.name == names and states.header.frame_id == ""
            for field, values in (("position", row["q"]), ("velocity", row["dq"]), ("effort", row["tau"])):
                assert list(getattr(states, field)) == [float32(v) for v in values], (sample, group, field)
            commands = decoded[f"/{group}/joint_commands"][sample][1]
            assert commands.name == names
            assert list(commands.position) == [float32(v) for v in commanded["q_d"]]
            assert list(commands.effort) == [float32(v) for v in commanded["tau_d"]]
            for wrench, frame in WRENCHES.items():
                message = decoded[f"/{group}/{wrench}"][sample][1]
                assert message.header.frame_id == (frame if frame == "world" else group + frame)
                force, torque = message.wrench.force, message.wrench.torque
                values = [force.x, force.y, force.z, torque.x, torque.y, torque.z]
                # The world-frame wrenches are the client's doubles, which JSON Lines writes at the float precision
                # they were measured with.
                assert list(map(float32, values)) == list(map(float32, row[wrench])), (wrench, sample)
        transforms = decoded["/tf"][sample][1].transforms
        assert [t.child_frame_id for t in transforms] == [f"{g}_{f}" for g in GROUPS for f in ("tcp", "flange")]
        for transform, group in zip(transforms[::2], GROUPS, strict=True):
            pose = [float32(v) for v in basic[sample, group]["tcp_pose"]]
            assert transform.header.frame_id == "world"
            t, r = transform.transform.translation, transform.transform.rotation
            assert [t.x, t.y, t.z, r.x, r.y, r.z, r.w] == pose[:3] + pose[4:] + pose[3:4], (sample, group)
        buttons = decoded["/io"][sample][1].buttons
        assert len(buttons) == 42 and set(buttons) <= {0, 1} and len(decoded["/io"][sample][1].axes) == 0

    # mcap-ros2-support decodes the same messages.
    with open(path, "rb") as file:
        for _, channel, message, ros in make_reader(file, decoder_factories=[DecoderFactory()]).iter_decoded_messages(
                topics=["/ARM_2/joint_states", "/io", "/tf"], log_time_order=False):
            if message.sequence in CHECKED:
                ours = decoded[channel.topic][message.sequence][1]
                if channel.topic == "/tf":
                    assert [t.transform.rotation.w for t in ros.transforms] == \
                        [t.transform.rotation.w for t in ours.transforms]
                elif channel.topic == "/io":
                    assert list(ros.buttons) == list(ours.buttons)
                else:
                    assert (list(ros.name), list(ros.position)) == (ours.name, list(ours.position))


def test_with_all_fields_each_groups_records_read_whole_with_the_interface_packages_types(recorded):
    folder, _ = recorded
    path = folder / "all.mcap"
    package = {f"velmorqrk_msgs/msg/{msg.stem}": msg.read_text() for msg in PACKAGE_MSGS.glob("*.msg")}
    assert sorted(package) == sorted(kind for kind, _ in RECORDS.values())
    with open(path, "rb") as file:
        summary = make_reader(file).get_summary()
    schemas = {summary.schemas[c.schema_id].name: summary.schemas[c.schema_id].data.decode()
               for c in summary.channels.values()}
    for kind, text in package.items():  # the package a ROS user builds is the recording's own types
        assert schemas[kind].split("=" * 80 + "\n")[0] == text, kind

    store = get_typestore(Stores.ROS2_HUMBLE)
    for kind, text in package.items():
        store.register(get_types_from_msg(text, kind))
    topics = ros2_topics(GROUPS) | {f"/{g}/{r}": kind for g in GROUPS for r, (kind, _) in RECORDS.items()}
    decoded = {}
    with AnyReader([path], default_typestore=store) as bag:
        assert {c.topic: c.msgtype for c in bag.connections} == topics
        for connection, time, data in bag.messages(connections=[c for c in bag.connections
                                                                 if c.msgtype.startswith("velmorqrk_msgs/")]):
            message = bag.deserialize(data, connection.msgtype)
            assert message.header.stamp.sec * 1_000_000_000 + message.header.stamp.nanosec == time
            assert message.header.frame_id == ""
            decoded.setdefault(connection.topic, []).append(message)

    streams = {stream: rows(folder / f"rows.{stream}.jsonl") for stream in ("basic", "extra")}
    for group in GROUPS:
        for record, (kind, stream) in RECORDS.items():
            fields = [line.split()[1] for line in package[kind].splitlines()[1:]]
            messages = decoded[f"/{group}/{record}"]
            assert len(messages) > 900
            for sample in CHECKED:
                row, message = streams[stream][sample, group], messages[sample]
                for field in fields:
                    ours = list(getattr(message, field))
                    # JSON Lines calls the robot's time stamp pair "stamp".
                    expected = row["stamp"] if field == "timestamp" else [float32(v) for v in row[field]]
                    assert ours == expected, (group, record, sample, field)
                assert len(message.q if record == "states" else message.q_d) == JOINTS[group]

    # mcap-ros2-support decodes them from the schema the file holds alone.
    with open(path, "rb") as file:
        for _, channel, message, ros in make_reader(file, decoder_factories=[DecoderFactory()]).iter_decoded_messages(
                topics=["/ARM_2/states", "/EXT_AXIS/actions"], log_time_order=False):
            if message.sequence in CHECKED:
                ours = decoded[channel.topic][message.sequence]
                assert list(ros.timestamp) == list(ours.timestamp)
                fields = ("tau_ext", "raw_ft_sensor") if channel.topic.endswith("/states") else ("dq_d", "tcp_pose_d")
                for field in fields:
                    assert list(getattr(ros, field)) == list(getattr(ours, field)), (channel.topic, field)


def test_a_ros2_recording_decodes_in_the_typescript_viewers_as_in_rosbags(recorded):
    folder, _ = recorded
    result = subprocess.run(["node", NODE / "ros2_decoded.mjs", folder / "run.mcap", *map(str, CHECKED)],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    viewer = json.loads(result.stdout)
    assert viewer["profile"] == "ros2" and viewer["stamps_match_log_time"]
    topics = ros2_topics(GROUPS)
    assert {topic: (c["message_encoding"], c["schema_encoding"], c["schema_name"])
            for topic, c in viewer["channels"].items()} == \
        {topic: ("cdr", "ros2msg", kind) for topic, kind in topics.items()}
    with open(folder / "run.mcap", "rb") as file:
        summary = make_reader(file).get_summary()
    counts = {summary.channels[c].topic: n for c, n in summary.statistics.channel_message_counts.items()}
    assert viewer["counts"] == counts
    basic = rows(folder / "rows.basic.jsonl")
    for sample in CHECKED:
        states = viewer["messages"]["/ARM_2/joint_states"][str(sample)]
        assert states["name"] == [joint_name(7 + i) for i in range(7)]
        assert states["position"] == [float32(v) for v in basic[sample, "ARM_2"]["q"]]
        wrench = viewer["messages"]["/EXT_AXIS/tcp_wrench_local"][str(sample)]
        assert wrench["header"]["frame_id"] == "EXT_AXIS_tcp"
        assert list(wrench["wrench"]["force"].values()) == [float32(v) for v in basic[sample, "EXT_AXIS"][
            "tcp_wrench_local"][:3]]
        transforms = viewer["messages"]["/tf"][str(sample)]["transforms"]
        assert [t["child_frame_id"] for t in transforms][-2:] == ["EXT_AXIS_tcp", "EXT_AXIS_flange"]
        assert len(viewer["messages"]["/io"][str(sample)]["buttons"]) == 42


def test_joint_names_of_another_robot_are_refused_before_a_file_is_made(recorded):
    folder, refused = recorded
    assert refused.returncode == 1
    assert refused.stderr.endswith(f"--joint-names {folder / 'other.yaml'}: joint 16 ('beyond') is beyond the "
                                   "robot's 16 joints (0 to 15)\n"), refused.stderr
    assert not (folder / "refused.mcap").exists()

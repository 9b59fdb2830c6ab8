#!/usr/bin/env python3
"""Generates ros2_vectors.rs: the CDR bytes of every ROS 2 message type a
recording writes, made by rosbags' own serializer (Typestore.serialize_cdr,
ROS 2 Humble type store), each paired with the sample it was made from; the
`ros2msg` schema text of each type (Typestore.generate_msgdef); and the
offered_qos_profiles text, checked with rosbags' QoS parser. The Rust side
(foxglove/src/ros2/golden_tests.rs) encodes every sample with our encoders
and compares byte for byte.

Every vector is also encoded from the schema text alone by two other
implementations, mcap-ros2-support's serialize_dynamic and
@foxglove/rosmsg2-serialization's MessageWriter (tests/node/ros2_encode.mjs,
installed by scripts/setup): a vector they do not all agree on stops the
generator.

    .venv/bin/python tests/vectors/make_ros2_vectors.py
"""

import json
import math
import pathlib
import subprocess
from importlib.metadata import version

import numpy as np
from mcap_ros2._dynamic import serialize_dynamic
from rosbags.interfaces import Qos, QosDurability, QosHistory, QosLiveliness, QosReliability, QosTime
from rosbags.rosbag2.metadata import parse_qos
from rosbags.typesys import Stores, get_types_from_msg, get_typestore

OUT = pathlib.Path(__file__).with_name("ros2_vectors.rs")
PACKAGE = pathlib.Path(__file__).parents[2] / "ros2" / "velmorqrk_msgs" / "msg"
NODE_ENCODER = pathlib.Path(__file__).parents[1] / "node" / "ros2_encode.mjs"
STORE = get_typestore(Stores.ROS2_HUMBLE)
T = STORE.types

WORLD = "world"
TYPES = ("sensor_msgs/msg/JointState", "tf2_msgs/msg/TFMessage", "geometry_msgs/msg/WrenchStamped",
         "sensor_msgs/msg/Joy")

NOT_SET = QosTime(0, 0)
QOS = Qos(QosHistory.KEEP_LAST, 10, QosReliability.RELIABLE, QosDurability.VOLATILE, NOT_SET, NOT_SET,
          QosLiveliness.AUTOMATIC, NOT_SET, False)


def humble_qos_text(qos):
    """One offered profile in rosbag2's (Humble) layout, enumerations as
    integers; what it must mean is checked below with rosbags' parser."""
    def duration(name, time):
        return f"  {name}:\n    sec: {time.sec}\n    nsec: {time.nsec}\n"
    return (f"- history: {qos.history.value}\n  depth: {qos.depth}\n  reliability: {qos.reliability.value}\n"
            f"  durability: {qos.durability.value}\n" + duration("deadline", qos.deadline)
            + duration("lifespan", qos.lifespan) + f"  liveliness: {qos.liveliness.value}\n"
            + duration("liveliness_lease_duration", qos.liveliness_lease_duration)
            + f"  avoid_ros_namespace_conventions: {str(qos.avoid_ros_namespace_conventions).lower()}\n")


QOS_TEXT = humble_qos_text(QOS)


def rust_f64(x):
    if math.isnan(x):
        return "f64::NAN"
    if math.isinf(x):
        return "f64::INFINITY" if x > 0 else "f64::NEG_INFINITY"
    return repr(float(x))


def rust_f64s(xs):
    return "&[" + ", ".join(rust_f64(x) for x in xs) + "]"


def rust_str(s):
    def char(c):
        if c == "\n":
            return "\\n"
        return c if c.isprintable() and c not in '"\\' else f"\\u{{{ord(c):x}}}"

    return '"' + "".join(char(c) for c in s) + '"'


def rust_bools(xs):
    return "[" + ", ".join("true" if x else "false" for x in xs) + "]"


def time(sec, nanosec):
    return T["builtin_interfaces/msg/Time"](sec=sec, nanosec=nanosec)


def rust_time(t):
    return f"Time {{ sec: {t.sec}, nanosec: {t.nanosec} }}"


def header(stamp, frame_id):
    return T["std_msgs/msg/Header"](stamp=stamp, frame_id=frame_id)


def as_dict(msg):
    """A rosbags message as the nested dicts mcap-ros2-support encodes."""
    if isinstance(msg, np.ndarray):
        return msg.tolist()
    if isinstance(msg, list):
        return [as_dict(m) for m in msg]
    if hasattr(msg, "__dataclass_fields__"):
        return {k: as_dict(getattr(msg, k)) for k in msg.__dataclass_fields__ if k != "__msgtype__"}
    return msg


# Every vector for the TypeScript writer, checked in one run at the end.
FOR_NODE = []


def json_floats(value):
    """`value` with each float JSON cannot carry tagged for ros2_encode.mjs."""
    if isinstance(value, float) and not math.isfinite(value):
        return {"f64": "NaN" if math.isnan(value) else ("Infinity" if value > 0 else "-Infinity")}
    if isinstance(value, list):
        return [json_floats(v) for v in value]
    if isinstance(value, dict):
        return {k: json_floats(v) for k, v in value.items()}
    return value


def cdr(msg, typename):
    ours = bytes(STORE.serialize_cdr(msg, typename))
    definition = STORE.generate_msgdef(typename, ros_version=2)[0]
    theirs = bytes(serialize_dynamic(typename, definition)[typename](as_dict(msg)))
    # mcap-ros2-support writes the same encapsulation header.
    assert ours == theirs, f"{typename}: rosbags and mcap-ros2-support disagree"
    FOR_NODE.append((typename, definition, as_dict(msg), ours.hex()))
    return ours.hex()


def ascii_only(value):
    if isinstance(value, str):
        return value.isascii()
    if isinstance(value, list):
        return all(ascii_only(v) for v in value)
    if isinstance(value, dict):
        return all(ascii_only(v) for v in value.values())
    return True


def check_with_node():
    # That writer sizes a string by its UTF-16 length and so cuts one with
    # other than ASCII (its reader, which the viewers use, reads them whole):
    # those vectors are left to the other two.
    vectors = [v for v in FOR_NODE if ascii_only(v[2])]
    cases = [{"definition": d, "message": json_floats(m)} for _, d, m, _ in vectors]
    run = subprocess.run(["node", str(NODE_ENCODER)], input=json.dumps(cases), capture_output=True, text=True,
                         check=True)
    for (typename, _, message, expected), got in zip(vectors, json.loads(run.stdout), strict=True):
        assert got == expected, f"{typename}: rosbags and @foxglove/rosmsg2-serialization disagree on {message}"
    return len(vectors)


def times():
    for name, sec, nanosec in [("zero", 0, 0), ("before_1970", -1, 999_999_999), ("lowest", -(2**31), 1),
                               ("last_of_2038", 2**31 - 1, 999_999_999), ("ordinary", 1_765_324_800, 123_456_789)]:
        t = time(sec, nanosec)
        yield f'TimeCase {{ name: "{name}", stamp: {rust_time(t)}, cdr: "{cdr(t, "builtin_interfaces/msg/Time")}" }}'


def headers():
    for name, stamp, frame in [("negative_stamp_odd_frame", time(-5, 7), "abc"),
                               ("empty_frame", time(1, 2), ""),
                               ("world", time(1_765_324_800, 5), WORLD),
                               ("non_ascii_frame", time(0, 0), "bras_\u00e9")]:
        msg = header(stamp, frame)
        yield (f'HeaderCase {{ name: "{name}", stamp: {rust_time(stamp)}, frame_id: {rust_str(frame)}, '
               f'cdr: "{cdr(msg, "std_msgs/msg/Header")}" }}')


def joint_states():
    def case(name, stamp, first_joint, position, velocity, effort):
        msg = T["sensor_msgs/msg/JointState"](
            header=header(stamp, ""),
            name=[f"joint_{first_joint + i}" for i in range(len(position))],
            position=np.array(position, dtype=np.float64),
            velocity=np.array(velocity, dtype=np.float64),
            effort=np.array(effort, dtype=np.float64))
        return (f'JointStateCase {{ name: "{name}", stamp: {rust_time(stamp)}, first_joint: {first_joint}, '
                f'position: {rust_f64s(position)}, velocity: {rust_f64s(velocity)}, effort: {rust_f64s(effort)}, '
                f'cdr: "{cdr(msg, "sensor_msgs/msg/JointState")}" }}')

    yield case("no_joints", time(3, 4), 0, [], [], [])
    yield case("one_joint", time(-1, 999_999_999), 0, [0.5], [-1.25], [3.0])
    yield case("seven_joints_across_ten", time(1_765_324_800, 1), 6, [0.1 * i for i in range(7)],
               [-0.0, 1e-300, 5e-324, 1.7976931348623157e308, -2.5, 3.0, 4.0], [i * 10.0 for i in range(7)])
    yield case("not_finite", time(7, 8), 2, [math.nan, math.inf], [-math.inf, 0.0], [1.0, math.nan])
    # As many joints as the case before, other names: names kept from it show.
    yield case("last_joint_index_past_32_bits", time(0, 0), 2**32 - 1, [1.0, 2.0], [3.0, 4.0], [5.0, 6.0])
    yield case("no_effort", time(7, 8), 1, [1.0, 2.0, 3.0], [4.0, 5.0, 6.0], [])
    yield case("sixty_four_joints", time(1_765_324_800, 999_999_999), 3, [i * 0.01 for i in range(64)],
               [-i * 0.5 for i in range(64)], [i * 1.5 + 0.25 for i in range(64)])


def tf_messages():
    def transform(stamp, child, pose):
        x, y, z, qw, qx, qy, qz = pose  # the robot's order: position, then (w, x, y, z)
        return T["geometry_msgs/msg/TransformStamped"](
            header=header(stamp, WORLD), child_frame_id=child,
            transform=T["geometry_msgs/msg/Transform"](
                translation=T["geometry_msgs/msg/Vector3"](x=x, y=y, z=z),
                rotation=T["geometry_msgs/msg/Quaternion"](x=qx, y=qy, z=qz, w=qw)))

    def case(name, stamp, groups):
        transforms = []
        for group, tcp, flange in groups:
            transforms += [transform(stamp, f"{group}_tcp", tcp), transform(stamp, f"{group}_flange", flange)]
        msg = T["tf2_msgs/msg/TFMessage"](transforms=transforms)
        rust_groups = ", ".join(f"({rust_str(g)}, {rust_f64s(tcp)[1:]}, {rust_f64s(flange)[1:]})"
                                for g, tcp, flange in groups)
        return (f'TfCase {{ name: "{name}", stamp: {rust_time(stamp)}, groups: &[{rust_groups}], '
                f'cdr: "{cdr(msg, "tf2_msgs/msg/TFMessage")}" }}')

    def pose(base):
        return [base + 0.5, base + 1.5, base + 2.5, 0.25 + base, 0.5, -0.5, 0.75 - base]

    yield case("no_groups", time(1, 1), [])
    yield case("one_group", time(-3, 500), [("arm", pose(0.0), pose(10.0))])
    yield case("five_groups", time(1_765_324_800, 42), [
        (name, pose(i * 100.0), pose(i * 100.0 + 50.0))
        for i, name in enumerate(["left_arm", "right_arm", "torso", "head", "bras_\u00e9"])])
    yield case("not_finite", time(2, 3), [("g", [math.nan, math.inf, -math.inf, 1.0, -0.0, math.nan, 0.0],
                                           [math.inf] * 7)])


def wrenches():
    def case(name, stamp, frame, wrench):
        force, torque = wrench[:3], wrench[3:]
        msg = T["geometry_msgs/msg/WrenchStamped"](
            header=header(stamp, frame),
            wrench=T["geometry_msgs/msg/Wrench"](force=T["geometry_msgs/msg/Vector3"](*force),
                                                 torque=T["geometry_msgs/msg/Vector3"](*torque)))
        return (f'WrenchCase {{ name: "{name}", stamp: {rust_time(stamp)}, frame_id: {rust_str(frame)}, '
                f'wrench: {rust_f64s(wrench)[1:]}, cdr: "{cdr(msg, "geometry_msgs/msg/WrenchStamped")}" }}')

    yield case("in_no_frame", time(1, 2), "", [1.0, 2.0, 3.0, 4.0, 5.0, 6.0])
    yield case("in_odd_length_frame", time(-9, 9), "arm_tcp1", [-1.5, 0.0, -0.0, 1e-9, 2e9, 7.25])
    yield case("not_finite", time(4, 4), "arm_flange", [math.nan, math.inf, -math.inf, 0.5, -0.5, math.nan])


def ios():
    def case(name, stamp, estop, enabling, inputs, outputs):
        buttons = [int(b) for b in [estop, enabling, *inputs, *outputs]]
        msg = T["sensor_msgs/msg/Joy"](header=header(stamp, ""), axes=np.array([], dtype=np.float32),
                                       buttons=np.array(buttons, dtype=np.int32))
        return (f'IoCase {{ name: "{name}", stamp: {rust_time(stamp)}, estop_released: {str(estop).lower()}, '
                f'enabling_device_on: {str(enabling).lower()}, digital_inputs: {rust_bools(inputs)}, '
                f'digital_outputs: {rust_bools(outputs)}, cdr: "{cdr(msg, "sensor_msgs/msg/Joy")}" }}')

    yield case("all_off", time(0, 1), False, False, [False] * 20, [False] * 20)
    yield case("each_signal_apart", time(-2, 3), True, False, [i % 3 == 0 for i in range(20)],
               [i in (1, 19) for i in range(20)])
    yield case("all_on", time(5, 6), True, True, [True] * 20, [True] * 20)


# Our own records' types, registered from the interface package's files, and
# one of every field kind a record may have, which those do not all use.
EVERY_KIND_MSG = ("std_msgs/Header header\nint32[2] timestamp\nbool on\nfloat64[] q\nbool[3] inputs\n"
                  "float64[7] pose\nbool last\n")
RECORD_TYPES = {f"velmorqrk_msgs/msg/{msg.stem}": msg.read_text() for msg in sorted(PACKAGE.glob("*.msg"))}
RECORD_TYPES["velmorqrk_msgs/msg/EveryKind"] = EVERY_KIND_MSG
for _typename, _text in RECORD_TYPES.items():
    STORE.register(get_types_from_msg(_text, _typename))


def record_fields(typename):
    """(type, name) of every field after the header, in order."""
    lines = RECORD_TYPES[typename].splitlines()
    assert lines[0] == "std_msgs/Header header", typename
    return [tuple(line.split()) for line in lines[1:]]


def record_msgs():
    """Each record's message with 1 and 7 joints, not finite values and
    negative stamps; every float given to our encoder as it arrives and to
    rosbags at the float precision ours must keep."""
    def value(k, i, special):
        if special:
            return [math.nan, math.inf, -math.inf, -0.0, 5e-324][(k + i) % 5]
        return (k + 1) * 0.1 + i * 1.37 - 3.3

    def case(name, typename, stamp, joints, robot_stamp, special=False):
        values, rust = {}, []
        for k, (kind, field) in enumerate(record_fields(typename)):
            if kind == "int32[2]":
                values[field] = np.array(robot_stamp, dtype=np.int32)
                rust.append(f'(c"{field}", FieldCase::I32(&{list(robot_stamp)}))')
            elif kind.startswith("float64"):
                n = joints if kind == "float64[]" else int(kind[8:-1])
                raw = [value(k, i, special) for i in range(n)]
                values[field] = np.array(raw, dtype=np.float32).astype(np.float64)
                variant = "Sequence" if kind == "float64[]" else "Array"
                rust.append(f'(c"{field}", FieldCase::{variant}({rust_f64s(raw)}))')
            elif kind == "bool":
                values[field] = (k % 2) == 1
                rust.append(f'(c"{field}", FieldCase::Bool(&[{str(values[field]).lower()}]))')
            else:
                bits = [(k + i) % 2 == 0 for i in range(int(kind[5:-1]))]
                values[field] = np.array(bits, dtype=np.bool_)
                rust.append(f'(c"{field}", FieldCase::Bools(&{rust_bools(bits)}))')
        msg = T[typename](header=header(stamp, ""), **values)
        return (f'RecordMsgCase {{ name: "{name}", record: "{typename.rsplit("/", 1)[1]}", stamp: {rust_time(stamp)}, '
                f'fields: &[{", ".join(rust)}], cdr: "{cdr(msg, typename)}" }}')

    for typename in RECORD_TYPES:
        short = typename.rsplit("/", 1)[1]
        yield case(f"{short}_one_joint", typename, time(1_765_324_800, 123_456_789), 1, [12, 345])
        yield case(f"{short}_seven_joints", typename, time(3, 4), 7, [-(2**31), 2**31 - 1])
        yield case(f"{short}_not_finite_negative_stamps", typename, time(-1, 999_999_999), 7, [-1, -2], True)
    yield case("EveryKind_no_joints", "velmorqrk_msgs/msg/EveryKind", time(0, 0), 0, [0, 0])


def definitions():
    for typename in TYPES:
        text = STORE.generate_msgdef(typename, ros_version=2)[0]
        # The text must also describe the type to the second implementation.
        serialize_dynamic(typename, text)
        yield f"({rust_str(typename)}, {rust_str(text)})"


def record_definitions():
    for typename in RECORD_TYPES:
        text = STORE.generate_msgdef(typename, ros_version=2)[0]
        serialize_dynamic(typename, text)
        yield f"({rust_str(typename)}, {rust_str(text)})"


def table(name, rust_type, rows):
    return [f"const {name}: &[{rust_type}] = &["] + [f"    {row}," for row in rows] + ["];"]


def main():
    # Known bytes of CDR: a wrong serializer or use of it stops here.
    known = bytes(STORE.serialize_cdr(header(time(1, 2), "ab"), "std_msgs/msg/Header")).hex()
    assert known == "000100000100000002000000030000006162" + "00", known
    assert parse_qos(QOS_TEXT) == [QOS], parse_qos(QOS_TEXT)

    lines = [
        f"// Generated by tests/vectors/make_ros2_vectors.py with rosbags {version('rosbags')} (ROS 2 Humble type "
        f"store), checked against mcap-ros2-support {version('mcap-ros2-support')} and "
        f"@foxglove/rosmsg2-serialization; do not edit.",
        *table("TIMES", "TimeCase", times()),
        *table("HEADERS", "HeaderCase", headers()),
        *table("JOINT_STATES", "JointStateCase", joint_states()),
        *table("TF_MESSAGES", "TfCase", tf_messages()),
        *table("WRENCHES", "WrenchCase", wrenches()),
        *table("IOS", "IoCase", ios()),
        *table("DEFINITIONS", "(&str, &str)", definitions()),
        *table("RECORD_MSGS", "RecordMsgCase", record_msgs()),
        *table("RECORD_DEFINITIONS", "(&str, &str)", record_definitions()),
        f"const OFFERED_QOS: &str = {rust_str(QOS_TEXT)};",
    ]
    by_node = check_with_node()
    OUT.write_text("\n".join(lines) + "\n")
    print(f"wrote {OUT}: {len(FOR_NODE)} vectors, {by_node} of them also checked with MessageWriter")


if __name__ == "__main__":
    main()

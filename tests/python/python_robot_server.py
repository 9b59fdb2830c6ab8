"""A robot data server built on the zenoh Python package and its serializer.

It serves a small robot of 9 joints (ALL 0/9, ARM_1 0/7, EXT_AXIS 7/2) under
one serial number: both state streams at a fixed rate and the remote
procedures 0, 1, 3, 4, 9 and 10, with values chosen so that a test can say
exactly what a client must read back. The values are module-level functions
and constants, which the tests import; zenoh itself is imported only when
serving, so importing this file loads no second zenoh runtime into a test.

    python python_robot_server.py --serial SN [--rate HZ] [--style callback|loop|silent]
                                  [--stream-delay SECONDS] [--reply-key query|own]
                                  [--amplify PROCEDURE]

--style loop serves the queries the way many servers are written, in a
`for query in queryable:` loop, which keeps the last query object alive until
the next one arrives: zenoh then ends each query only at its time-out.
--style silent keeps every query without ever replying, as a robot whose
software hangs; it logs "held: procedure N" for each.
--stream-delay starts both streams that long after the queries are served,
as a robot whose controller boots after its data server.
--reply-key query (the default) replies on the query's own key, as most
servers are written (`query.reply(query.key_expr, ...)`): a reply to a
wildcard query then carries the wildcard, not the serial. --reply-key own
replies on the server's own key, which names the robot whatever was asked.
--amplify answers that procedure with a reply built to cost its decoder far
more memory than its size: AMPLIFY_COUNT empty strings (one byte each on the
wire, a whole string object each in memory), as a hostile or broken server may.

It runs on every zenoh Python release from 1.0 on (the tests also serve from
1.0.4 and 1.6.2), so it keeps to the API those share.

Prints "ready" on stdout once its endpoints are declared; exits cleanly on
SIGINT or SIGTERM.
"""

import argparse
import signal
import sys
import threading
import time

JOINT_COUNT = 9
# Joint group -> (start ID, DoF).
LAYOUT = {0: (0, 9), 3: (0, 7), 5: (7, 2)}
GROUPS = [0, 3, 5]

JOINT_FIELDS = ("q", "theta", "dq", "dtheta", "tau", "tau_dot", "tau_ext", "tau_interact", "temperature")
DESIRED_JOINT_FIELDS = ("q_d", "dq_d", "tau_d")
POSE_FIELDS = ("flange_pose", "tcp_pose")
SCREW_FIELDS = ("tcp_twist", "tcp_wrench_local", "aux_wrench", "raw_tcp_wrench_local", "raw_ft_sensor")

# Sample n carries the time stamp (TIMESTAMP_FIRST + n // 100, SECOND_BASE + n
# mod 2^16): the second half is always 2^31 or more.
TIMESTAMP_FIRST = 1_700_000_000
SECOND_BASE = 0xFFFF0000

AUX_U16 = 0xBEEF
AUX_I16 = -1234
ESTOP_RELEASED = True
ENABLING_DEVICE_ON = False
AUX_FLAGS = [True, False] * 4
DIGITAL_INPUTS = [i % 3 == 0 for i in range(20)]
DIGITAL_OUTPUTS = [i in (1, 4, 19) for i in range(20)]

# Orientation (w, x, y, z) of each group's poses: a non-unit identity, half a
# turn about z, and a quarter turn about x before normalisation.
ORIENTATION = {0: (2.0, 0.0, 0.0, 0.0), 3: (0.0, 0.0, 0.0, 1.0), 5: (1.0, 1.0, 0.0, 0.0)}

VERSION = "v2.1"
# Groups out of order, integer/double/string values, a repeated name (the
# first wins), an empty value and an "=" inside a value.
PRIMITIVE_ENTRIES = [
    "jointGroup = 3", "primitiveName = MoveL", "reachedTarget = 0", "speed = 0.25", "mode = fast",
    "jointGroup = 0", "primitiveName = Hold", "count = 007", "offset = -12", "gain = +12",
    "label = two words", "tag = 12abc", "blank =", "count = 99",
    "jointGroup = 5", "primitiveName = Home", "ratio = 1e3", "rule = a=b",
]
PLAN_INFO = ["MoveL", "grasp", "PickAndPlace/grasp", "1.250", "3", "PickAndPlace", "0.75", "7x"]
# Packed manipulability vectors: floats 4 and 7 feed the two scores; the
# others hold values that would give different scores if used by mistake.
MANIPULABILITY = {
    0: [0.0, 0.0, 0.6, 0.6, 0.15, 0.6, 0.6, 0.3],
    3: [3.0, 0.0, 0.6, 0.6, 0.04, 0.6, 0.6, 0.525],
    5: [5.0, 0.0, 0.01, 0.01, 0.23, 0.01, 0.01, -0.01, 0.5],
}


AMPLIFY_COUNT = 20_000_000


def timestamp(n):
    return TIMESTAMP_FIRST + n // 100, SECOND_BASE + n % 0x10000


def joint_values(field, n=0):
    """The full-robot vector of joint quantity `field` in sample n; the desired ones never change."""
    k = (JOINT_FIELDS + DESIRED_JOINT_FIELDS).index(field)
    sign = -1.0 if k % 2 else 1.0
    return [sign * (k + 1 + 0.1 * joint + 0.001 * (n % 1000)) for joint in range(JOINT_COUNT)]


def cartesian_values(field, group):
    """Cartesian array `field` of `group`: a pose's position then the group's orientation, or a screw."""
    k = (POSE_FIELDS + SCREW_FIELDS + ("tcp_pose_d", "tcp_twist_d", "tcp_wrench_d")).index(field)
    values = [(-1.0) ** i * (group + 0.1 * (k + 1) + 0.01 * (i + 1)) for i in range(6)]
    return [*values[:3], *ORIENTATION[group]] if field.startswith(("flange_pose", "tcp_pose")) else values


def aux_vec3(n):
    return [[float(joint), 0.5, -float(n % 7)] for joint in range(JOINT_COUNT)]


def basic_payload(n):
    from zenoh.ext import Float32, Int16, Int32, UInt16, UInt32, z_serialize

    def floats(values):
        return [Float32(v) for v in values]

    status = (UInt16(AUX_U16), Int16(AUX_I16), ESTOP_RELEASED, ENABLING_DEVICE_ON, AUX_FLAGS, DIGITAL_INPUTS,
              DIGITAL_OUTPUTS)
    joints = (*(floats(joint_values(field, n)) for field in JOINT_FIELDS),
              [floats(v) for v in aux_vec3(n)], [floats(v) for v in aux_vec3(n + 1)])
    cartesian = [tuple(floats(cartesian_values(field, group)) for field in POSE_FIELDS + SCREW_FIELDS)
                 for group in GROUPS]
    first, second = timestamp(n)
    return z_serialize((status, [UInt16(g) for g in GROUPS], joints, cartesian, Int32(first), UInt32(second)))


def extra_payload():
    from zenoh.ext import Float32, UInt16, z_serialize

    def floats(values):
        return [Float32(v) for v in values]

    joints = tuple(floats(joint_values(field)) for field in DESIRED_JOINT_FIELDS)
    cartesian = [tuple(floats(cartesian_values(field, group)) for field in ("tcp_pose_d", "tcp_twist_d",
                                                                             "tcp_wrench_d"))
                 for group in GROUPS]
    return z_serialize(([UInt16(g) for g in GROUPS], joints, cartesian))


def reply_payload(request_id, requested_groups):
    from zenoh.ext import Float32, Int32, UInt16, z_serialize

    success, groups, ints, strings, floats, floats2d = True, [], [], [], [], []
    if request_id == 0:
        success = False  # the answer a client expects to a reachability probe
    elif request_id == 1:
        strings = [VERSION]
    elif request_id == 3:
        strings = PRIMITIVE_ENTRIES
    elif request_id == 4:
        strings = PLAN_INFO
    elif request_id == 9:
        groups = list(MANIPULABILITY)
        floats2d = [[Float32(v) for v in packed] for packed in MANIPULABILITY.values()]
    elif request_id == 10:
        groups = [g for g in requested_groups if g in LAYOUT]
        ints = [Int32(LAYOUT[g][0]) for g in groups]
        floats = [Float32(LAYOUT[g][1]) for g in groups]
    else:
        success = False
    return z_serialize((UInt16(request_id), success, [UInt16(g) for g in groups], ints, strings, floats,
                        floats2d))


def amplifying_payload(request_id):
    """A success reply whose string container holds AMPLIFY_COUNT empty strings.

    A serialized tuple is its fields' serializations one after the other, so
    the reply is zenoh's own serialization of the fields around the string
    container, whose count (LEB128) and one zero byte per empty string are
    written here: the serializer would take seconds to write them one by one.
    """
    from zenoh.ext import UInt16, z_serialize

    count, n = bytearray(), AMPLIFY_COUNT
    while n >= 0x80:
        count.append(n & 0x7F | 0x80)
        n >>= 7
    count.append(n)
    head = z_serialize((UInt16(request_id), True, [], [])).to_bytes()
    tail = z_serialize(([], [])).to_bytes()
    return head + bytes(count) + bytes(AMPLIFY_COUNT) + tail


def serve_in_a_loop(queryable, answer):
    for query in queryable:
        answer(query)


def serve(serial, rate, style, stream_delay, reply_key, amplify=None):
    import zenoh
    from zenoh.ext import UInt16, z_deserialize

    stop = threading.Event()
    for signum in (signal.SIGINT, signal.SIGTERM):
        signal.signal(signum, lambda *_: stop.set())

    prefix = f"velmor/robot/{serial}"
    held = []

    def hold(query):
        request_id, _ = z_deserialize(tuple[UInt16, list[UInt16]], query.payload)
        print(f"held: procedure {request_id}", file=sys.stderr, flush=True)
        held.append(query)  # the requester waits until its own time-out

    def answer(query):
        try:
            request_id, groups = z_deserialize(tuple[UInt16, list[UInt16]], query.payload)
        except Exception as error:  # noqa: BLE001 - any undecodable request gets an error reply
            query.reply_err(f"undecodable request: {error}")
            return
        print(f"query: procedure {request_id} {groups}", file=sys.stderr, flush=True)
        payload = amplifying_payload(request_id) if request_id == amplify else reply_payload(request_id, groups)
        query.reply(query.key_expr if reply_key == "query" else f"{prefix}/rpc", payload,
                    encoding=zenoh.Encoding.ZENOH_SERIALIZED)

    with zenoh.open(zenoh.Config()) as session:
        basic = session.declare_publisher(f"{prefix}/basic_stream_data")
        extra = session.declare_publisher(f"{prefix}/extra_stream_data")
        if style == "loop":
            queryable = session.declare_queryable(f"{prefix}/rpc")
            threading.Thread(target=serve_in_a_loop, args=(queryable, answer), daemon=True).start()
        else:
            queryable = session.declare_queryable(f"{prefix}/rpc", hold if style == "silent" else answer)
        print("ready", flush=True)
        period = 1.0 / rate
        due = time.monotonic() + stream_delay
        n = 0
        while not stop.wait(max(0.0, due - time.monotonic())):
            basic.put(basic_payload(n), encoding=zenoh.Encoding.ZENOH_SERIALIZED)
            extra.put(extra_payload(), encoding=zenoh.Encoding.ZENOH_SERIALIZED)
            n += 1
            due = max(due + period, time.monotonic() - period)
        queryable.undeclare()
        print(f"stopping after {n} samples", file=sys.stderr, flush=True)


def main():
    parser = argparse.ArgumentParser(description="Robot data server on the zenoh Python package")
    parser.add_argument("--serial", required=True)
    parser.add_argument("--rate", type=float, default=100.0)
    parser.add_argument("--style", choices=("callback", "loop", "silent"), default="callback")
    parser.add_argument("--stream-delay", type=float, default=0.0)
    parser.add_argument("--reply-key", choices=("query", "own"), default="query")
    parser.add_argument("--amplify", type=int)
    args = parser.parse_args()
    serve(args.serial, args.rate, args.style, args.stream_delay, args.reply_key, args.amplify)


if __name__ == "__main__":
    main()

"""velmorqrk.Client against the simulated robot (qrk-sim) on the other host.

The simulator's robot has 16 joints: two 7-joint arms and a 2-axis external
axis. Its values follow known laws (joint torques from gravity, a tool 0.12 m
long pointing down, a force sensor with a fixed bias, a bit walking over the
digital inputs), which the checks below hold the client's records to.
"""

import math
import pickle
import re
import subprocess
import sys
import time

import pytest

import velmorqrk
from e2e_fixtures import CONNECTED_LINE, EXIT_LINE, ROOT, connect, simulated_robot, wait_until
from velmorqrk import JointGroup

# The user guide's start-up and freshness recipes, from the example that holds them.
sys.path.insert(0, str(ROOT / "examples"))
from fresh_data import Freshness, connect_within  # noqa: E402

SERIAL = "QRK-E2E-1001"
DOFS = {JointGroup.ALL: 16, JointGroup.ARMS: 14, JointGroup.ARM_1: 7, JointGroup.ARM_2: 7,
        JointGroup.EXT_AXIS: 2}
GROUPS = list(DOFS)
JOINT_FIELDS = ("q", "theta", "dq", "dtheta", "tau", "tau_dot", "tau_ext", "tau_interact", "temperature")
POSES = ("flange_pose", "tcp_pose")
SCREWS = ("tcp_twist", "tcp_wrench", "tcp_wrench_local", "raw_tcp_wrench", "raw_tcp_wrench_local",
          "raw_ft_sensor")
FORCE_SENSOR_BIAS = [0.4, -0.3, 0.6, 0.02, -0.01, 0.005]
# Plan node -> (primitive, node number, waiting for a step); primitive -> (speed, mode).
PLAN = {"approach": ("MoveJ", "0", False), "grasp": ("MoveL", "1", False), "lift": ("MoveL", "2", True),
        "place": ("Hold", "3", False)}
PRIMITIVES = {"MoveJ": (0.5, "fast"), "MoveL": (0.25, "fine"), "Hold": (0.0, "fine")}


@pytest.fixture(scope="module")
def robot():
    with simulated_robot(SERIAL, rate=500) as server:
        yield server


@pytest.fixture(scope="module")
def client(robot):
    return connect(SERIAL, verbose=False)


def sequence(record):
    """The sample number that the simulator puts in the second half of the time stamp."""
    return record.timestamp[1]


def norm(values):
    return math.sqrt(sum(v * v for v in values))


def raises_exactly(exception, message):
    # Matching instead of keeping the exception: a kept traceback would hold
    # the test's client alive until the next garbage collection.
    return pytest.raises(exception, match=f"^{re.escape(message)}$")


def assert_floats(values, length):
    assert isinstance(values, list) and len(values) == length
    assert all(type(v) is float for v in values)


def test_repr_and_missing_serial(client):
    assert repr(client) == "<velmorqrk.Client>"
    with pytest.raises(TypeError):
        velmorqrk.Client()


# A connected client refuses pickling and copying under every protocol; run
# in a fresh interpreter, since protocols 0 and 1 once aborted it.
_PICKLING_CHILD = """
import copy, pickle, sys, time
import velmorqrk
deadline = time.monotonic() + 20
while True:
    try:
        client = velmorqrk.Client(sys.argv[1], False)
        break
    except RuntimeError:
        if time.monotonic() > deadline:
            raise
ways = [(f"pickle {p}", lambda p=p: pickle.dumps(client, p)) for p in range(pickle.HIGHEST_PROTOCOL + 1)]
for name, way in ways + [("copy", lambda: copy.copy(client)), ("deepcopy", lambda: copy.deepcopy(client))]:
    try:
        way()
        print(name, "succeeded", flush=True)
    except TypeError as error:
        print(name, error, flush=True)
assert client.connected()
"""


def test_connected_client_cannot_be_pickled_or_copied(robot):
    child = subprocess.run([sys.executable, "-c", _PICKLING_CHILD, SERIAL], capture_output=True, text=True,
                           timeout=60)
    assert child.returncode == 0, child.stdout + child.stderr
    ways = [f"pickle {p}" for p in range(pickle.HIGHEST_PROTOCOL + 1)] + ["copy", "deepcopy"]
    outcomes = [line for line in child.stdout.splitlines() if not line.startswith("[")]  # not log lines
    assert outcomes == [f"{way} cannot pickle 'Client' object" for way in ways]


def test_invalid_serial_is_refused_before_any_network_activity(capfd):
    # Two robots whose keys a pattern serial would match: a client must never
    # reach them, nor mix their samples.
    with simulated_robot("QRK-PAT-1", "--serial", "QRK-PAT-2"):
        connect("QRK-PAT-1", False)  # both robots are known to zenoh by now
        capfd.readouterr()
        for serial in ["AB_1-345", "AB-3_45", "AB12345", "QRK-PAT-$*", "QRK-PAT-*", "QRK-PAT-**", "QRK-PAT-1/*",
                       "QRK-PAT-1?x", "QRK-PAT-1#x", "QRK-PAT-1\n"]:
            start = time.monotonic()
            with raises_exactly(ValueError,
                                "[velmor::qrk::Client] Format of the provided robot serial number is invalid"):
                velmorqrk.Client(serial, False)
            assert time.monotonic() - start < 0.5, serial
            assert capfd.readouterr().out == "", serial  # no exit line: nothing was started


# Run in a fresh interpreter on this host: builds a client with the given
# arguments, retrying while zenoh has not found the robot, marks every attempt
# on stdout, reads the states once and drops the client.
_LOGGING_CHILD = """
import time
import velmorqrk
deadline = time.monotonic() + 20
while True:
    print("-- attempt", flush=True)
    try:
        client = velmorqrk.Client({arguments})
        break
    except RuntimeError as error:
        if not str(error).startswith("[velmor::qrk::Client] Failed to connect to ["):
            raise
        if time.monotonic() > deadline:
            raise
assert client.states()
del client
print("-- done", flush=True)
"""

_VERBOSE_LINES = [
    "| | | | | | | | | |  Velmor QRK v2.1  | | | | | | | | | |",
    f"[velmor::qrk::Client] Searching for [{SERIAL}] ...",
    CONNECTED_LINE,
    *(f"[velmor::qrk::Client] Joint group: {group.name}, DoF: {dof}" for group, dof in DOFS.items()),
    "[velmor::qrk::Client] Initialization complete",
    EXIT_LINE,
]


@pytest.mark.parametrize("arguments,lines", [
    # The space in the serial is normalised to a hyphen.
    ("robot_sn='QRK E2E-1001'", _VERBOSE_LINES),
    (f"'{SERIAL}', False", [CONNECTED_LINE, EXIT_LINE]),
    (f"'{SERIAL}', verbose=False", [CONNECTED_LINE, EXIT_LINE]),
], ids=["keyword-serial-verbose-by-default", "positional-quiet", "keyword-quiet"])
def test_info_log_of_a_client_lifetime(robot, arguments, lines):
    child = subprocess.run([sys.executable, "-c", _LOGGING_CHILD.format(arguments=arguments)],
                           capture_output=True, text=True, timeout=60)
    assert child.returncode == 0, child.stdout + child.stderr
    last_attempt = child.stdout.rsplit("-- attempt\n", 1)[1]
    # spdlog's default pattern: "[date time] [level] message".
    records = [re.fullmatch(r"\[[^]]*\] \[(\w+)\] (.*)", line) for line in last_attempt.splitlines()]
    assert [r[2] for r in records if r and r[1] == "info"] == lines
    assert last_attempt.endswith(f"{EXIT_LINE}\n-- done\n")


def test_states_cut_the_robot_into_its_joint_groups(client):
    assert client.groups() == {group: group.name for group in GROUPS}
    states = client.states()
    assert list(states) == GROUPS
    stamp = states[JointGroup.ALL].timestamp
    for group, record in states.items():
        assert record.timestamp == stamp  # one sample for all groups
        assert all(type(half) is int for half in record.timestamp)
        for field in JOINT_FIELDS:
            assert_floats(getattr(record, field), DOFS[group])
        for field in POSES:
            assert_floats(getattr(record, field), 7)
        for field in SCREWS:
            assert_floats(getattr(record, field), 6)

        tcp, flange = record.tcp_pose, record.flange_pose
        assert norm(tcp[3:]) == pytest.approx(1.0, abs=1e-5)
        assert norm([t - f for t, f in zip(tcp[:3], flange[:3], strict=True)]) == pytest.approx(0.12, abs=1e-5)
        assert [r - w for r, w in zip(record.raw_tcp_wrench_local, record.tcp_wrench_local, strict=True)] == \
            pytest.approx(FORCE_SENSOR_BIAS, abs=1e-5)
        assert record.raw_ft_sensor == record.raw_tcp_wrench_local
        # The world-frame wrenches are rotations of the local ones; the tool
        # points down, so the local -15 N along the tool pulls up in the world.
        for world, local in ((record.tcp_wrench, record.tcp_wrench_local),
                             (record.raw_tcp_wrench, record.raw_tcp_wrench_local)):
            assert norm(world[:3]) == pytest.approx(norm(local[:3]), rel=1e-9)
            assert norm(world[3:]) == pytest.approx(norm(local[3:]), rel=1e-9)
        assert record.tcp_wrench_local[2] < -13 and record.tcp_wrench[2] > 10

    whole = states[JointGroup.ALL]
    for field in JOINT_FIELDS:
        full = getattr(whole, field)
        assert getattr(states[JointGroup.ARMS], field) == full[:14]
        assert getattr(states[JointGroup.ARM_1], field) == full[:7]
        assert getattr(states[JointGroup.ARM_2], field) == full[7:14]
        assert getattr(states[JointGroup.EXT_AXIS], field) == full[14:]
    for joint, (q, theta, tau) in enumerate(zip(whole.q, whole.theta, whole.tau, strict=True)):
        gravity = 4.0 if joint >= 14 else 30.0 / (1 + joint % 7)
        assert tau == pytest.approx(gravity * math.cos(q), abs=1e-4)
        assert theta - q == pytest.approx(tau / 5000, abs=1e-6)
    assert whole.tau_interact == pytest.approx([0.8 * t for t in whole.tau_ext], abs=1e-6)
    assert all(30 < t < 42 for t in whole.temperature)


def test_actions_carry_the_set_points_with_the_basic_time_stamp(client):
    before = client.states()[JointGroup.ALL]
    actions = client.actions()
    after = client.states()[JointGroup.ALL]
    assert list(actions) == GROUPS
    for group, record in actions.items():
        assert sequence(before) <= sequence(record) <= sequence(after)
        for field in ("q_d", "dq_d", "tau_d"):
            assert_floats(getattr(record, field), DOFS[group])
        assert_floats(record.tcp_pose_d, 7)
        assert norm(record.tcp_pose_d[3:]) == pytest.approx(1.0, abs=1e-5)
        assert record.tcp_twist_d != [0.0] * 6
        assert record.tcp_wrench_d == [0.0, 0.0, -15.0, 0.0, 0.0, 0.0]
    whole = actions[JointGroup.ALL]
    assert actions[JointGroup.ARM_2].tau_d == whole.tau_d[7:14]
    assert actions[JointGroup.EXT_AXIS].dq_d == whole.dq_d[14:]
    # The set points lead the measured positions by a few milliseconds.
    assert whole.q_d == pytest.approx(after.q, abs=0.25)


def test_stream_keeps_the_latest_sample(client):
    first = client.states()[JointGroup.ARM_1]

    def newer_sample():
        record = client.states()[JointGroup.ARM_1]
        return record if sequence(record) > sequence(first) else None

    later = wait_until(newer_sample)
    assert later, "the time stamp did not advance"
    assert later.timestamp[0] >= first.timestamp[0]
    assert later.q != first.q

    assert client.estop_released() is True
    assert type(client.enabling_device_on()) is bool
    inputs, outputs = client.digital_inputs(), client.digital_outputs()
    for io in (inputs, outputs):
        assert len(io) == 20 and all(type(bit) is bool for bit in io)
        assert io.count(True) == 1
    # One bit walks up the inputs four times a second.
    assert wait_until(lambda: client.digital_inputs() != inputs, within=2.0)


def test_remote_queries(client):
    assert client.connected() is True

    primitives = client.primitive_states()
    assert list(primitives) == GROUPS
    for record in primitives.values():
        assert list(record.names_and_values) == ["mode", "reachedTarget", "speed"]
        values = record.names_and_values
        assert type(values["speed"]) is float and type(values["reachedTarget"]) is int
        assert values["reachedTarget"] in (0, 1)
        assert (values["speed"], values["mode"]) == PRIMITIVES[record.pt_name]

    plan = client.plan_info()
    assert (plan.pt_name, plan.node_path_number, plan.waiting_for_step) == PLAN[plan.node_name]
    assert plan.node_path == f"PickAndPlace/{plan.node_name}"
    assert 0.0 <= float(plan.node_path_time_period) < 4.0
    assert plan.assigned_plan_name == "PickAndPlace"
    assert plan.velocity_scale == 0.5

    scores = client.configuration_score()
    assert list(scores) == GROUPS
    for pair in scores.values():
        assert type(pair) is tuple and len(pair) == 2
        assert all(type(score) is float and 0.0 <= score <= 100.0 for score in pair)


def _snapshot(states):
    return {group: (record.timestamp, record.q, record.tcp_pose) for group, record in states.items()}


def test_robot_going_away_keeps_the_last_data_which_the_freshness_recipe_calls_stale():
    serial = "QRK-GONE-7"
    with simulated_robot(serial, rate=1000) as robot:
        client = connect_within(serial, 20, verbose=False)
        freshness = Freshness(max_age=0.5)
        assert wait_until(lambda: freshness.fresh(client)), "fresh while the robot streams"
        # Three seconds into the robot's clock, so that its successor's stamps stay lower for as long.
        assert wait_until(lambda: freshness.fresh(client) and freshness.stamp >= (3, 0), within=10.0)
        groups, seen = client.groups(), _snapshot(client.states())
        robot.stop()
        assert wait_until(lambda: not freshness.fresh(client), within=2.0), "stale once the robot stops"

        start = time.monotonic()
        assert client.connected() is False
        assert time.monotonic() - start < 1.5
        last = _snapshot(client.states())
        assert last and all(last[g][0][1] >= seen[g][0][1] for g in GROUPS)

        for call, message in ((client.plan_info, "[velmor::qrk::Client] plan_info: No reply from the robot"),
                              (client.primitive_states,
                               "[velmor::qrk::Client::primitive_states] No reply from the robot"),
                              (client.configuration_score,
                               "[velmor::qrk::Model::configuration_score] No reply from the robot")):
            start = time.monotonic()
            with raises_exactly(RuntimeError, message):
                call()
            assert time.monotonic() - start < 2.5

        assert _snapshot(client.states()) == last
        assert client.groups() == groups
        assert client.estop_released() is True
        assert freshness.fresh(client) is False

    # The same client resumes with the robot's new process, whose clock and
    # sample numbers start over: its stamps are lower for a while.
    gone_stamp = freshness.stamp
    with simulated_robot(serial):
        assert wait_until(lambda: freshness.fresh(client), within=30.0), "fresh again after the restart"
        assert freshness.stamp < gone_stamp


# Run in a fresh interpreter, whose new zenoh session knows nothing yet:
# constructs one client and prints how long that took and how it ended.
_CONSTRUCTING_CHILD = """
import sys, time
import velmorqrk
start = time.monotonic()
try:
    velmorqrk.Client(sys.argv[1], False)
    outcome = "connected"
except RuntimeError as error:
    outcome = str(error)
print(f"{time.monotonic() - start:.3f} {outcome}", flush=True)
"""


def _construct_in_child(serial):
    return subprocess.Popen([sys.executable, "-c", _CONSTRUCTING_CHILD, serial], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True)


def _outcome(child):
    """(seconds, outcome) of a constructing child; its last line, after the log lines."""
    output, _ = child.communicate(timeout=60)
    seconds, outcome = output.splitlines()[-1].split(" ", 1)
    return float(seconds), outcome


def test_search_finds_a_robot_that_starts_or_is_learnt_while_it_runs():
    trials = 20  # enough that a one-in-eight failure cannot pass
    started_late = []
    for trial in range(trials):
        serial = f"QRK-LATE-{trial}"
        child = _construct_in_child(serial)
        time.sleep(0.5)
        with simulated_robot(serial):
            started_late.append(_outcome(child))
    assert [outcome for _, outcome in started_late] == ["connected"] * trials, started_late

    # The robot is up; a second client process starts while a first one
    # connects, and its session has yet to learn of the robot's queryable.
    pairs = []
    with simulated_robot("QRK-PAIR-1"):
        for _ in range(trials):
            first = _construct_in_child("QRK-PAIR-1")
            time.sleep(0.5)
            second = _construct_in_child("QRK-PAIR-1")
            pairs.append((_outcome(first), _outcome(second)))
        assert [(a[1], b[1]) for a, b in pairs] == [("connected", "connected")] * trials, pairs

        # With no such robot, another zenoh peer on the network does not cut
        # the search short.
        seconds, outcome = _outcome(_construct_in_child("QRK-ABSENT-1"))
        assert outcome.startswith("[velmor::qrk::Client] Failed to connect to [QRK-ABSENT-1]")
        assert 2.9 <= seconds < 4.5
    print("robot started late:", sorted(s for s, _ in started_late))
    print("second client:", sorted(b[0] for _, b in pairs))


def test_slow_robot_constructs_with_its_joint_groups():
    with simulated_robot("QRK-SLOW-2", rate=2):
        client = connect("QRK-SLOW-2", False)
        assert client.groups() == {group: group.name for group in GROUPS}
        states = client.states()
        assert {group: len(record.q) for group, record in states.items()} == DOFS
        assert all(record.timestamp != (0, 0) for record in states.values())
        assert list(client.primitive_states()) == GROUPS


def test_server_of_another_version_is_refused():
    with simulated_robot("QRK-VER-210", "--version", "v2.10"):
        with raises_exactly(RuntimeError, "[velmor::qrk::Client] Version of this client is incompatible "
                                          "with robot [QRK-VER-210]"):
            connect("QRK VER-210", False)


def test_robot_without_streams_answers_from_empty_data(capfd):
    with simulated_robot("QRK-MUTE-1", "--pause-streams"):
        client = connect("QRK-MUTE-1", False)
        assert capfd.readouterr().out.count("[warning] [velmor::qrk::Client] No basic stream data received "
                                            "during start-up; joint groups unknown") == 1
        assert client.groups() == {} and client.states() == {} and client.actions() == {}
        assert client.estop_released() is False and client.enabling_device_on() is False
        assert client.digital_inputs() == [False] * 20 and client.digital_outputs() == [False] * 20
        assert client.connected() is True
        # No group was streamed at start-up, so every group the robot names is unknown.
        with raises_exactly(RuntimeError, "[velmor::qrk::Client::primitive_states] Received primitive states "
                                          "for unknown joint group"):
            client.primitive_states()


# The robot's first N replies carry an empty entry: one call absorbs five of
# them but not six, which pins the number of fetches at six.
@pytest.mark.parametrize("corrupted", [2, 5, 6])
def test_corrupted_primitive_states_are_fetched_again_up_to_six_times(corrupted):
    serial = f"QRK-CORRUPT-{corrupted}"
    with simulated_robot(serial, "--corrupt-primitives", corrupted):
        client = connect(serial, False)
        if corrupted >= 6:
            with raises_exactly(RuntimeError, "[velmor::qrk::Client::primitive_states] Still received "
                                              "corrupted data after several attempts"):
                client.primitive_states()
        # The robot has run out of corrupted replies by now.
        assert list(client.primitive_states()) == GROUPS

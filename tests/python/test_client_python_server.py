"""velmorqrk.Client against a robot data server written on the zenoh Python package.

The server (python_robot_server.py) runs on the other host and encodes with
zenoh's own Python serializer, an implementation independent of the client's
decoders. Every accessor has to read back exactly what the server sent: the
float32 values widened without loss, the time stamp bit for bit, the texts
parsed into typed values. The server also runs on older zenoh releases
(.venv-zenoh-<version>, made by scripts/setup), as a robot whose software is
updated on its own schedule would.
"""

import contextlib
import json
import locale
import struct
import subprocess
import sys
import time
from pathlib import Path

import pytest

import python_robot_server as server
import velmorqrk
from e2e_fixtures import OLDER_ZENOH_VERSIONS, ZENOH_VERSION, connect, python_robot, report, wait_until
from velmorqrk import JointGroup

SERIAL = "PY-9-001"
GROUPS = [JointGroup.ALL, JointGroup.ARM_1, JointGroup.EXT_AXIS]


# (zenoh release of the server, how it serves queries). "loop" serves queries
# in a `for query in queryable:` loop, which keeps the last query alive: zenoh
# hands each reply over only at the query's time-out, and the client must
# still take it. "beside-zenoh" also holds a session of the zenoh package in
# this process, subscribed to the robot's stream: the module's zenoh and Rust
# runtime and the package's own run side by side, as in a program that uses
# both, and must neither clash nor bind to each other's symbols.
SERVERS = [(ZENOH_VERSION, "callback"), (ZENOH_VERSION, "loop"), (ZENOH_VERSION, "beside-zenoh"),
           *((version, "callback") for version in OLDER_ZENOH_VERSIONS)]


@contextlib.contextmanager
def zenoh_package_session_on(serial):
    """A zenoh package session in this process that counts the robot's basic samples while it is open."""
    import zenoh

    received = []
    with zenoh.open(zenoh.Config()) as session:
        subscriber = session.declare_subscriber(f"velmor/robot/{serial}/basic_stream_data", received.append)
        yield
        assert wait_until(lambda: received), "the zenoh package's session received nothing beside the module's"
        subscriber.undeclare()


@pytest.fixture(scope="module", params=SERVERS, ids=lambda server: f"zenoh-{server[0]}-{server[1]}")
def client(request):
    version, style = request.param
    beside = zenoh_package_session_on(SERIAL) if style == "beside-zenoh" else contextlib.nullcontext()
    with python_robot(SERIAL, style="callback" if style == "beside-zenoh" else style, zenoh_version=version), beside:
        start = time.monotonic()
        client = connect(SERIAL, verbose=False)
        report(request.config, f"server on zenoh {version} ({style}): client constructed in "
                               f"{time.monotonic() - start:.3f} s")
        yield client


@pytest.fixture
def comma_decimal_locale():
    """The process's locale set to German, as a host program in a European plant may do."""
    saved = locale.setlocale(locale.LC_ALL)
    locale.setlocale(locale.LC_ALL, "de_DE.UTF-8")  # scripts/setup generates it
    assert locale.localeconv()["decimal_point"] == ","
    yield
    locale.setlocale(locale.LC_ALL, saved)


def f32(values):
    return [struct.unpack("f", struct.pack("f", v))[0] for v in values]


def sample_number(timestamp):
    """The number of the sample that carried `timestamp`, after checking both halves."""
    first, second = timestamp
    assert second < 0  # sent as 2^32 - 65536 + n
    n = second + 2**32 - server.SECOND_BASE
    assert 0 <= n < 0x10000 and first == server.TIMESTAMP_FIRST + n // 100
    return n


def joint_slice(values, group):
    start, dof = server.LAYOUT[group.value]
    return values[start:start + dof]


def world_frame(group, screw):
    """`screw` in the world frame, for the server's three orientations."""
    fx, fy, fz, mx, my, mz = screw
    return {JointGroup.ALL: screw,                                # identity, given unnormalised
            JointGroup.ARM_1: [-fx, -fy, fz, -mx, -my, mz],       # half a turn about z
            JointGroup.EXT_AXIS: [fx, -fz, fy, mx, -mz, my]}[group]  # a quarter turn about x


def test_joint_groups_come_from_the_stream_and_the_layout_reply(client):
    assert client.connected() is True
    assert client.groups() == {group: group.name for group in GROUPS}
    assert list(client.states()) == GROUPS
    assert list(client.actions()) == GROUPS


def test_states_are_exactly_the_streamed_sample(client):
    states = client.states()
    n = sample_number(states[JointGroup.ALL].timestamp)
    for group, record in states.items():
        assert sample_number(record.timestamp) == n
        for field in server.JOINT_FIELDS:
            assert getattr(record, field) == joint_slice(f32(server.joint_values(field, n)), group), field
        for field in ("flange_pose", "tcp_pose", "tcp_twist", "tcp_wrench_local", "raw_tcp_wrench_local",
                      "raw_ft_sensor"):
            assert getattr(record, field) == f32(server.cartesian_values(field, group.value)), field
        for world, local in ((record.tcp_wrench, record.tcp_wrench_local),
                             (record.raw_tcp_wrench, record.raw_tcp_wrench_local)):
            assert world == pytest.approx(world_frame(group, local), rel=1e-12)


def test_time_stamp_follows_the_samples(client):
    first = sample_number(client.states()[JointGroup.EXT_AXIS].timestamp)
    assert wait_until(lambda: sample_number(client.states()[JointGroup.EXT_AXIS].timestamp) > first)


def test_actions_are_the_desired_values_with_the_basic_time_stamp(client):
    before = sample_number(client.states()[JointGroup.ALL].timestamp)
    actions = client.actions()
    after = sample_number(client.states()[JointGroup.ALL].timestamp)
    for group, record in actions.items():
        assert before <= sample_number(record.timestamp) <= after
        for field in server.DESIRED_JOINT_FIELDS:
            assert getattr(record, field) == joint_slice(f32(server.joint_values(field)), group), field
        for field in ("tcp_pose_d", "tcp_twist_d", "tcp_wrench_d"):
            assert getattr(record, field) == f32(server.cartesian_values(field, group.value)), field


def test_safety_inputs_and_digital_io(client):
    assert client.estop_released() is True
    assert client.enabling_device_on() is False
    assert client.digital_inputs() == server.DIGITAL_INPUTS
    assert client.digital_outputs() == server.DIGITAL_OUTPUTS


def test_primitive_states_are_parsed_into_typed_values(client, comma_decimal_locale):
    expected = {
        JointGroup.ALL: ("Hold", {"blank": "", "count": 7, "gain": 12.0, "label": "two", "offset": -12,
                                  "tag": "12abc"}),
        JointGroup.ARM_1: ("MoveL", {"mode": "fast", "reachedTarget": 0, "speed": 0.25}),
        JointGroup.EXT_AXIS: ("Home", {"ratio": 1000.0, "rule": "a=b"}),
    }
    primitives = client.primitive_states()
    assert list(primitives) == GROUPS
    got = {group: (record.pt_name, record.names_and_values) for group, record in primitives.items()}
    assert got == expected
    # 12 == 12.0 in Python: the alternatives must be told apart by type.
    for group, (_, values) in expected.items():
        assert {name: type(v) for name, v in got[group][1].items()} == \
            {name: type(v) for name, v in values.items()}
        assert list(got[group][1]) == sorted(values)


def test_plan_info_fields(client, comma_decimal_locale):
    plan = client.plan_info()
    assert (plan.pt_name, plan.node_name, plan.node_path, plan.node_path_time_period, plan.node_path_number,
            plan.assigned_plan_name) == tuple(server.PLAN_INFO[:6])
    assert plan.velocity_scale == 0.75
    assert plan.waiting_for_step is True  # "7x" reads as 7


def test_configuration_scores_from_the_manipulability_values(client):
    scores = client.configuration_score()
    assert list(scores) == GROUPS
    assert scores[JointGroup.ALL] == pytest.approx((40.0, 40.0), abs=1e-4)      # both upper knees
    assert scores[JointGroup.ARM_1] == pytest.approx((10.0, 70.0), abs=1e-4)    # 0.04 and 0.525
    assert scores[JointGroup.EXT_AXIS] == (100.0, 0.0)                           # capped, negative
    assert all(type(pair) is tuple and all(type(s) is float for s in pair) for pair in scores.values())


def test_stream_starting_after_start_up_names_the_joint_groups_once_it_runs(capfd):
    with python_robot("PY-LATE-1", rate=200, stream_delay=2.5):
        client = connect("PY-LATE-1", verbose=False)
        assert "No basic stream data received during start-up; joint groups unknown" in capfd.readouterr().out
        assert client.states() == {} and client.actions() == {}
        assert wait_until(lambda: client.states() != {}, within=10)
        states = client.states()
        assert list(states) == GROUPS
        n = sample_number(states[JointGroup.ARM_1].timestamp)
        assert states[JointGroup.ARM_1].q == joint_slice(f32(server.joint_values("q", n)), JointGroup.ARM_1)
        assert {group: len(record.dq) for group, record in states.items()} == \
            {group: server.LAYOUT[group.value][1] for group in GROUPS}
        actions = client.actions()
        assert list(actions) == GROUPS and actions[JointGroup.ARM_1].q_d == \
            joint_slice(f32(server.joint_values("q_d")), JointGroup.ARM_1)
        assert list(client.primitive_states()) == GROUPS


@pytest.mark.parametrize("version", [ZENOH_VERSION, *OLDER_ZENOH_VERSIONS])
def test_search_gives_up_on_a_server_that_holds_every_query(version):
    serial = f"PY-HELD-{version.replace('.', '')}"
    with python_robot(serial, style="silent", zenoh_version=version) as robot:
        start = time.monotonic()
        with pytest.raises(RuntimeError, match=rf"^\[velmor::qrk::Client\] Failed to connect to \[{serial}\]"):
            velmorqrk.Client(serial, False)
        elapsed = time.monotonic() - start
    # One reachability query a second, each reaching the server and ended by
    # the client's own time-out.
    assert robot.log.count("held: procedure 0") == 3, robot.log
    assert 2.9 <= elapsed < 4.5


# Runs in a process of its own, so that its peak memory is the client's alone.
AMPLIFIED_CALL = """
import json, resource, sys, time
sys.path.insert(0, sys.argv[3])
import velmorqrk
from client_connect import NOT_FOUND, connect

procedure, serial = int(sys.argv[1]), sys.argv[2]

def measured(call):
    before, start = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss, time.monotonic()
    try:
        call()
        error = None
    except RuntimeError as raised:
        error = str(raised)
    return {"seconds": time.monotonic() - start, "error": error,
            "growth": (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before) * 1024}

if procedure == 1:
    deadline = time.monotonic() + 20
    while (result := measured(lambda: velmorqrk.Client(serial, False)))["error"].startswith(NOT_FOUND) \\
            and time.monotonic() < deadline:
        pass
else:
    client = connect(serial, verbose=False)
    result = measured(client.primitive_states)
print(json.dumps(result))
"""

# The amplifying reply is 20 MB on the wire; zenoh holds it while it arrives.
AMPLIFIED_GROWTH_BOUND = 150 * 2**20


@pytest.mark.parametrize("procedure, error, within", [
    (3, "[velmor::qrk::Client::primitive_states] No reply from the robot", 2.5),
    (1, "[velmor::qrk::Client] Failed to sync QRK server version", 4.0),
], ids=["primitive-states", "server-version"])
def test_a_reply_built_to_amplify_is_refused_within_bounded_memory(request, procedure, error, within):
    """A reply of 2*10^7 empty strings would decode into 640 MB of string objects: it is refused as invalid."""
    serial = f"PY-AMP-{procedure}"
    with python_robot(serial, amplify=procedure):
        run = subprocess.run([sys.executable, "-c", AMPLIFIED_CALL, str(procedure), serial,
                              str(Path(__file__).parent)], capture_output=True, text=True, timeout=60)
    assert run.returncode == 0, run.stderr
    # The module logs to standard output too: the result is the one JSON line.
    result = json.loads(next(line for line in run.stdout.splitlines() if line.startswith('{"seconds"')))
    report(request.config, f"amplifying reply to procedure {procedure}: {result['seconds']:.2f} s, "
                           f"peak memory grew {result['growth'] / 2**20:.0f} MiB")
    assert result["error"] == error
    assert result["seconds"] < within
    assert result["growth"] < AMPLIFIED_GROWTH_BOUND

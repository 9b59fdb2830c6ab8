"""velmorqrk.Client reaching a robot on another subnet through zenoh's own router.

Runs under scripts/netns-run --routed (scripts/test does): the client's host,
a router's host with a leg on each subnet, and the robot's host. The client
keeps zenoh's default configuration and finds the router by multicast
scouting on its own subnet; qrk-sim runs as a zenoh client that connects to
the router's address on the robot's subnet. Nothing else joins the subnets.
The direct end-to-end tests' checks of the streams and queries run here
unchanged, on this module's client.
"""

import os
import sys
import time
from pathlib import Path

import pytest

from e2e_fixtures import connect, report, simulated_robot, wait_until
from peer_host import RobotServer
from velmorqrk import JointGroup

if "VELMOR_ROUTER_NETNS" not in os.environ:
    pytest.skip("needs the namespaces of scripts/netns-run --routed", allow_module_level=True)

from test_client_e2e import (  # noqa: E402,F401  (collected here, with this module's fixtures)
    test_actions_carry_the_set_points_with_the_basic_time_stamp,
    test_remote_queries,
    test_states_cut_the_robot_into_its_joint_groups,
    test_stream_keeps_the_latest_sample,
)

SERIAL = "QRK-ROUTED-1"
ROUTER = Path(__file__).with_name("zenoh_router.py")
PORT = 7447
# A construction that waits out even one of the search's one-second slots has
# not found the robot at once.
PROMPT_CONSTRUCTION = 1.0


def robot_behind_the_router(serial):
    return simulated_robot(serial, "--mode", "client", "--connect",
                           f"tcp/{os.environ['VELMOR_ROUTER_PEER_ADDR']}:{PORT}", rate=500)


def timed_connect(config, serial, what):
    start = time.monotonic()
    client = connect(serial, verbose=False)
    seconds = time.monotonic() - start
    report(config, f"through the router: {what} in {seconds:.3f} s")
    return client, seconds


@pytest.fixture(scope="module", autouse=True)
def router():
    endpoints = [f"tcp/{os.environ[name]}:{PORT}" for name in ("VELMOR_ROUTER_CLIENT_ADDR", "VELMOR_ROUTER_PEER_ADDR")]
    with RobotServer([sys.executable, ROUTER, *endpoints], netns=os.environ["VELMOR_ROUTER_NETNS"]) as router:
        yield router


@pytest.fixture(scope="module")
def robot():
    with robot_behind_the_router(SERIAL) as robot:
        yield robot


@pytest.fixture(scope="module")
def constructed(robot, request):
    return timed_connect(request.config, SERIAL, "client constructed")


@pytest.fixture(scope="module")
def client(constructed):
    return constructed[0]


def test_client_finds_the_robot_at_once(constructed):
    client, seconds = constructed
    assert seconds < PROMPT_CONSTRUCTION
    assert client.connected() is True


def _sequence(client):
    return client.states()[JointGroup.ALL].timestamp[1]


def test_same_client_resumes_when_the_robot_restarts_behind_the_router(request):
    serial = "QRK-ROUTED-2"
    with robot_behind_the_router(serial) as first:
        client, _ = timed_connect(request.config, serial, "second client constructed")
        assert wait_until(lambda: _sequence(client) > 50)
        first.stop()
        assert wait_until(lambda: not client.connected(), within=10.0)
        frozen = _sequence(client)

    with robot_behind_the_router(serial):
        start = time.monotonic()
        assert wait_until(client.connected, within=30.0)
        # The new process numbers its samples from 1 again.
        assert wait_until(lambda: _sequence(client) < frozen, within=30.0)
        resumed = time.monotonic() - start
        restarted = _sequence(client)
        assert wait_until(lambda: _sequence(client) > restarted)
        assert client.plan_info().assigned_plan_name == "PickAndPlace"
        assert list(client.configuration_score()) == list(client.groups())
    report(request.config, f"through the router: streams resumed {resumed:.3f} s after the robot's restart")

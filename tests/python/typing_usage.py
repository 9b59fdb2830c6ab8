"""Typed use of every class, property and method of velmorqrk, for mypy --strict.

scripts/test-wheel checks this file against the type stub that the installed
wheel carries, the package velmorqrk-stubs; test_stub.py checks that it
touches every name the stub declares. Nothing here runs at import; the functions only have to
type-check. assert_type pins the exact type the stub gives; the last function
holds misuses the stub must reject, each silenced by the error code mypy has to
report (an unused ignore fails --strict).
"""

from __future__ import annotations

from typing import NoReturn

from typing_extensions import assert_type

import velmorqrk
from velmorqrk import Client, JointGroup, PlanInfo, PrimitiveStates, RobotActions, RobotStates

Value = int | float | str


def joint_groups() -> list[JointGroup]:
    members = [JointGroup.UNKNOWN, JointGroup.ALL, JointGroup.ARMS, JointGroup.ARM_1, JointGroup.ARM_2,
               JointGroup.EXT_AXIS]
    exported = [velmorqrk.UNKNOWN, velmorqrk.ALL, velmorqrk.ARMS, velmorqrk.ARM_1, velmorqrk.ARM_2,
                velmorqrk.EXT_AXIS]
    assert_type(JointGroup.__members__, dict[str, JointGroup])
    group = JointGroup(3)
    assert_type(group.name, str)
    assert_type(group.value, int)
    assert_type(int(group), int)
    assert_type(["a", "b", "c", "d"][group], str)
    assert_type(group == JointGroup.ARM_1, bool)
    assert_type(group != velmorqrk.ARM_2, bool)
    assert_type(hash(group), int)
    assert_type(repr(group), str)
    assert_type(str(group), str)
    assert_type(group.__reduce__(), tuple[type[JointGroup], tuple[int]])
    assert_type(group.__getstate__(), int)
    group.__setstate__(4)
    return members + exported


def robot_states(states: RobotStates) -> RobotStates:
    stamp: tuple[int, int] = states.timestamp
    q: list[float] = states.q
    states.timestamp = (stamp[0], stamp[1] + 1)
    states.q = [v + 1.0 for v in q]
    states.theta = states.theta
    states.dq = states.dq
    states.dtheta = states.dtheta
    states.tau = states.tau
    states.tau_dot = states.tau_dot
    states.tau_ext = states.tau_ext
    states.tau_interact = states.tau_interact
    states.temperature = states.temperature
    x, y, z, qw, qx, qy, qz = states.tcp_pose
    states.tcp_pose = [x, y, z, qw, qx, qy, qz]
    states.flange_pose = states.flange_pose
    states.tcp_twist = states.tcp_twist
    states.tcp_wrench = states.tcp_wrench
    states.tcp_wrench_local = states.tcp_wrench_local
    states.raw_tcp_wrench = states.raw_tcp_wrench
    states.raw_tcp_wrench_local = states.raw_tcp_wrench_local
    states.raw_ft_sensor = states.raw_ft_sensor
    fx: float = states.tcp_wrench[0]
    assert fx == fx
    return states


def robot_actions(actions: RobotActions) -> RobotActions:
    assert_type(actions.timestamp, tuple[int, int])
    actions.timestamp = (0, 0)
    actions.q_d = actions.q_d
    actions.dq_d = [0.0] * len(actions.dq_d)
    actions.tau_d = actions.tau_d
    actions.tcp_pose_d = [*actions.tcp_pose_d[:3], 1.0, 0.0, 0.0, 0.0]
    actions.tcp_twist_d = actions.tcp_twist_d
    actions.tcp_wrench_d = [-v for v in actions.tcp_wrench_d]
    return actions


def primitive_states(primitive: PrimitiveStates) -> dict[str, Value]:
    assert_type(primitive.pt_name, str)
    primitive.pt_name = "MoveL"
    values = primitive.names_and_values
    values["reached"] = 1
    values["speed"] = 0.25
    values["target"] = "home"
    primitive.names_and_values = values
    return primitive.names_and_values


def plan_info(info: PlanInfo) -> str:
    info.pt_name = info.pt_name
    info.node_name = info.node_name.strip()
    info.node_path = info.node_path
    info.node_path_time_period = info.node_path_time_period
    info.node_path_number = info.node_path_number
    info.assigned_plan_name = info.assigned_plan_name
    info.velocity_scale = info.velocity_scale * 0.5
    info.waiting_for_step = not info.waiting_for_step
    return f"{info.assigned_plan_name}: {info.velocity_scale:.2f}"


def records() -> None:
    robot_states(RobotStates())
    robot_actions(RobotActions())
    primitive_states(PrimitiveStates())
    plan_info(PlanInfo())


def unpicklable(record: PlanInfo) -> NoReturn:
    # Records refuse pickling: their __reduce__ always raises.
    record.__reduce__()


def client(serial: str) -> None:
    robot = Client(serial)
    quiet = Client(robot_sn=serial, verbose=False)
    assert_type(repr(quiet), str)
    assert_type(robot.connected(), bool)
    assert_type(robot.groups(), dict[JointGroup, str])
    for group, states in robot.states().items():
        assert_type(group, JointGroup)
        robot_states(states)
    for actions in robot.actions().values():
        robot_actions(actions)
    primitives: dict[JointGroup, PrimitiveStates] = robot.primitive_states()
    for first, second in robot.configuration_score().values():
        assert_type(first + second, float)
    plan_info(robot.plan_info())
    assert_type(robot.estop_released(), bool)
    assert_type(robot.enabling_device_on(), bool)
    inputs: list[bool] = robot.digital_inputs()
    outputs: list[bool] = robot.digital_outputs()
    assert len(inputs) == len(outputs) == 20 and primitives is not None


def misuses(robot: Client, states: RobotStates) -> None:
    Client()  # type: ignore[call-arg]
    Client(42)  # type: ignore[arg-type]
    RobotStates(1)  # type: ignore[call-arg]
    states.q = (1.0, 2.0)  # type: ignore[assignment]
    states.timestamp = [0, 0]  # type: ignore[assignment]
    robot.states = {}  # type: ignore[method-assign, assignment]
    JointGroup("ARMS")  # type: ignore[arg-type]

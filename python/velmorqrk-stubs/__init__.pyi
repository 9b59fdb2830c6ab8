"""Velmor Quartz Relay Kit (QRK)"""

from typing import Annotated, ClassVar, NoReturn, Union

class JointGroup:
    """A part of the robot's joints: UNKNOWN -1, ALL 0, ARMS 2, ARM_1 3, ARM_2 4, EXT_AXIS 5.

    Strict: equal only to a JointGroup of the same value, not to an int, and not ordered."""

    UNKNOWN: ClassVar[JointGroup]
    ALL: ClassVar[JointGroup]
    ARMS: ClassVar[JointGroup]
    ARM_1: ClassVar[JointGroup]
    ARM_2: ClassVar[JointGroup]
    EXT_AXIS: ClassVar[JointGroup]
    __members__: ClassVar[dict[str, JointGroup]]
    def __init__(self, value: int) -> None:
        """Any signed 32-bit value, also one that names no member (its name is then "???")."""
    def __reduce__(self) -> tuple[type[JointGroup], tuple[int]]:
        """Pickles by numeric value."""
    @property
    def name(self) -> str:
        """The member's name, or "???" for a value that names no member."""
    @property
    def value(self) -> int:
        """The numeric value."""
    def __int__(self) -> int:
        """The numeric value."""
    def __index__(self) -> int:
        """The numeric value."""
    def __eq__(self, other: object) -> bool:
        """True only for a JointGroup of the same value; other types compare unequal without error."""
    def __ne__(self, other: object) -> bool:
        """The negation of ==."""
    def __hash__(self) -> int:
        """Hash of the numeric value."""
    def __repr__(self) -> str:
        """<JointGroup.NAME: value>, for example <JointGroup.ARMS: 2>."""
    def __str__(self) -> str:
        """JointGroup.NAME, for example JointGroup.ARM_1."""
    def __getstate__(self) -> int:
        """The numeric value, for pickling."""
    def __setstate__(self, state: int) -> None:
        """Restores from the numeric value, for pickling."""

UNKNOWN: JointGroup
ALL: JointGroup
ARMS: JointGroup
ARM_1: JointGroup
ARM_2: JointGroup
EXT_AXIS: JointGroup

class RobotStates:
    """Measured state of one joint group, a copy taken from one basic stream sample.

    The robot sends the real values as 32-bit floats. Reading a property copies the field into a new
    list or tuple (no network); assign a whole value to change a field."""

    def __init__(self) -> None:
        """An all-zero record: time stamp (0, 0), empty joint lists, arrays of 0.0."""
    def __reduce__(self) -> NoReturn:
        """Raises TypeError: records cannot be pickled or copied."""
    @property
    def timestamp(self) -> tuple[int, int]:
        """The sample's time stamp (first, second), copied bit for bit as two signed 32-bit integers."""
    @timestamp.setter
    def timestamp(self, arg0: tuple[int, int], /) -> None: ...
    @property
    def q(self) -> list[float]:
        """Joint positions, one entry per joint of the group."""
    @q.setter
    def q(self, arg0: list[float], /) -> None: ...
    @property
    def theta(self) -> list[float]:
        """The stream's theta values, one entry per joint of the group."""
    @theta.setter
    def theta(self, arg0: list[float], /) -> None: ...
    @property
    def dq(self) -> list[float]:
        """The stream's dq values, one entry per joint of the group."""
    @dq.setter
    def dq(self, arg0: list[float], /) -> None: ...
    @property
    def dtheta(self) -> list[float]:
        """The stream's dtheta values, one entry per joint of the group."""
    @dtheta.setter
    def dtheta(self, arg0: list[float], /) -> None: ...
    @property
    def tau(self) -> list[float]:
        """The stream's tau values, one entry per joint of the group."""
    @tau.setter
    def tau(self, arg0: list[float], /) -> None: ...
    @property
    def tau_dot(self) -> list[float]:
        """The stream's tau_dot values, one entry per joint of the group."""
    @tau_dot.setter
    def tau_dot(self, arg0: list[float], /) -> None: ...
    @property
    def tau_ext(self) -> list[float]:
        """The stream's tau_ext values, one entry per joint of the group."""
    @tau_ext.setter
    def tau_ext(self, arg0: list[float], /) -> None: ...
    @property
    def tau_interact(self) -> list[float]:
        """The stream's tau_interact values, one entry per joint of the group."""
    @tau_interact.setter
    def tau_interact(self, arg0: list[float], /) -> None: ...
    @property
    def temperature(self) -> list[float]:
        """Temperatures as the robot sends them, one entry per joint of the group."""
    @temperature.setter
    def temperature(self, arg0: list[float], /) -> None: ...
    @property
    def flange_pose(self) -> Annotated[list[float], "FixedSize(7)"]:
        """Flange pose: position x, y, z, then orientation quaternion w, x, y, z."""
    @flange_pose.setter
    def flange_pose(self, arg0: Annotated[list[float], "FixedSize(7)"], /) -> None: ...
    @property
    def tcp_pose(self) -> Annotated[list[float], "FixedSize(7)"]:
        """TCP pose: position x, y, z, then orientation quaternion w, x, y, z."""
    @tcp_pose.setter
    def tcp_pose(self, arg0: Annotated[list[float], "FixedSize(7)"], /) -> None: ...
    @property
    def tcp_twist(self) -> Annotated[list[float], "FixedSize(6)"]:
        """TCP twist, six values as the robot sends them."""
    @tcp_twist.setter
    def tcp_twist(self, arg0: Annotated[list[float], "FixedSize(6)"], /) -> None: ...
    @property
    def tcp_wrench(self) -> Annotated[list[float], "FixedSize(6)"]:
        """tcp_wrench_local rotated into the world frame by tcp_pose's orientation: force, then moment.

        Computed by the client; an all-zero orientation leaves the wrench unrotated."""
    @tcp_wrench.setter
    def tcp_wrench(self, arg0: Annotated[list[float], "FixedSize(6)"], /) -> None: ...
    @property
    def tcp_wrench_local(self) -> Annotated[list[float], "FixedSize(6)"]:
        """TCP wrench in the local frame, as the robot sends it: force, then moment."""
    @tcp_wrench_local.setter
    def tcp_wrench_local(self, arg0: Annotated[list[float], "FixedSize(6)"], /) -> None: ...
    @property
    def raw_tcp_wrench(self) -> Annotated[list[float], "FixedSize(6)"]:
        """raw_tcp_wrench_local rotated into the world frame by tcp_pose's orientation: force, then
        moment."""
    @raw_tcp_wrench.setter
    def raw_tcp_wrench(self, arg0: Annotated[list[float], "FixedSize(6)"], /) -> None: ...
    @property
    def raw_tcp_wrench_local(self) -> Annotated[list[float], "FixedSize(6)"]:
        """Raw TCP wrench in the local frame, as the robot sends it: force, then moment."""
    @raw_tcp_wrench_local.setter
    def raw_tcp_wrench_local(self, arg0: Annotated[list[float], "FixedSize(6)"], /) -> None: ...
    @property
    def raw_ft_sensor(self) -> Annotated[list[float], "FixedSize(6)"]:
        """The stream's raw_ft_sensor array, six values as the robot sends them."""
    @raw_ft_sensor.setter
    def raw_ft_sensor(self, arg0: Annotated[list[float], "FixedSize(6)"], /) -> None: ...

class RobotActions:
    """Commanded (desired) values of one joint group, a copy taken from one extra stream sample.

    The robot sends the real values as 32-bit floats. Reading a property copies the field into a new
    list or tuple (no network); assign a whole value to change a field."""

    def __init__(self) -> None:
        """An all-zero record: time stamp (0, 0), empty joint lists, arrays of 0.0."""
    def __reduce__(self) -> NoReturn:
        """Raises TypeError: records cannot be pickled or copied."""
    @property
    def timestamp(self) -> tuple[int, int]:
        """The time stamp of the latest basic sample when the record was made (extra samples carry
        none)."""
    @timestamp.setter
    def timestamp(self, arg0: tuple[int, int], /) -> None: ...
    @property
    def q_d(self) -> list[float]:
        """Commanded joint positions, one entry per joint of the group."""
    @q_d.setter
    def q_d(self, arg0: list[float], /) -> None: ...
    @property
    def dq_d(self) -> list[float]:
        """The stream's commanded dq_d values, one entry per joint of the group."""
    @dq_d.setter
    def dq_d(self, arg0: list[float], /) -> None: ...
    @property
    def tau_d(self) -> list[float]:
        """The stream's commanded tau_d values, one entry per joint of the group."""
    @tau_d.setter
    def tau_d(self, arg0: list[float], /) -> None: ...
    @property
    def tcp_pose_d(self) -> Annotated[list[float], "FixedSize(7)"]:
        """Commanded TCP pose, seven values as the robot sends them."""
    @tcp_pose_d.setter
    def tcp_pose_d(self, arg0: Annotated[list[float], "FixedSize(7)"], /) -> None: ...
    @property
    def tcp_twist_d(self) -> Annotated[list[float], "FixedSize(6)"]:
        """Commanded TCP twist, six values as the robot sends them."""
    @tcp_twist_d.setter
    def tcp_twist_d(self, arg0: Annotated[list[float], "FixedSize(6)"], /) -> None: ...
    @property
    def tcp_wrench_d(self) -> Annotated[list[float], "FixedSize(6)"]:
        """Commanded TCP wrench as the robot sends it, not rotated by the client: force, then moment."""
    @tcp_wrench_d.setter
    def tcp_wrench_d(self, arg0: Annotated[list[float], "FixedSize(6)"], /) -> None: ...

class PrimitiveStates:
    """States of the primitive one joint group is running, from one primitive_states() query.

    Reading a property copies the field into a new str or dict (no network)."""

    def __init__(self) -> None:
        """An empty record."""
    def __reduce__(self) -> NoReturn:
        """Raises TypeError: records cannot be pickled or copied."""
    @property
    def pt_name(self) -> str:
        """Name of the running primitive (the robot's primitiveName entry)."""
    @pt_name.setter
    def pt_name(self, arg0: str, /) -> None: ...
    @property
    def names_and_values(self) -> dict[str, Union[int, float, str]]:
        """The primitive's state variables by name, in name order.

        A value is the first word of the robot's text for it, read as int, else float, else str."""
    @names_and_values.setter
    def names_and_values(self, arg0: dict[str, Union[int, float, str]], /) -> None: ...

class PlanInfo:
    """The plan the robot is executing, from one plan_info() query.

    Reading a property copies the field (no network)."""

    def __init__(self) -> None:
        """An empty record: empty strings, velocity_scale 0.0, waiting_for_step False."""
    def __reduce__(self) -> NoReturn:
        """Raises TypeError: records cannot be pickled or copied."""
    @property
    def pt_name(self) -> str:
        """Text as the robot sends it."""
    @pt_name.setter
    def pt_name(self, arg0: str, /) -> None: ...
    @property
    def node_name(self) -> str:
        """Text as the robot sends it."""
    @node_name.setter
    def node_name(self, arg0: str, /) -> None: ...
    @property
    def node_path(self) -> str:
        """Text as the robot sends it."""
    @node_path.setter
    def node_path(self, arg0: str, /) -> None: ...
    @property
    def node_path_time_period(self) -> str:
        """Text as the robot sends it; not converted to a number."""
    @node_path_time_period.setter
    def node_path_time_period(self, arg0: str, /) -> None: ...
    @property
    def node_path_number(self) -> str:
        """Text as the robot sends it; not converted to a number."""
    @node_path_number.setter
    def node_path_number(self, arg0: str, /) -> None: ...
    @property
    def assigned_plan_name(self) -> str:
        """Text as the robot sends it."""
    @assigned_plan_name.setter
    def assigned_plan_name(self, arg0: str, /) -> None: ...
    @property
    def velocity_scale(self) -> float:
        """The velocity scale, converted from the robot's text."""
    @velocity_scale.setter
    def velocity_scale(self, arg0: float, /) -> None: ...
    @property
    def waiting_for_step(self) -> bool:
        """True when the robot's integer for it is not 0."""
    @waiting_for_step.setter
    def waiting_for_step(self, arg0: bool, /) -> None: ...

class Client:
    """Read-only connection to one robot's data server over zenoh.

    The stream calls answer locally from the latest samples; connected(), primitive_states(), plan_info()
    and configuration_score() are remote queries. No call releases the interpreter lock: while one
    blocks, no other Python thread runs."""

    def __init__(self, robot_sn: str, verbose: bool = True) -> None:
        """Finds robot robot_sn (for example "AB-12-345") and connects, blocking for up to three 1 s
        reachability queries, two 2 s queries and a 100 ms pause. ValueError: malformed serial number;
        RuntimeError: robot not found or incompatible. verbose only adds info log lines."""
    def __reduce__(self) -> NoReturn:
        """Raises TypeError: a client is a live connection and cannot be pickled or copied."""
    def connected(self) -> bool:
        """One reachability query, blocking up to 1 s: True only if the robot answered correctly."""
    def groups(self) -> dict[JointGroup, str]:
        """Joint groups in the latest basic sample, with their names; local, no network.

        Empty before the first sample; IndexError if the sample names group 1."""
    def states(self) -> dict[JointGroup, RobotStates]:
        """Measured state per joint group from the latest basic sample; local, no network.

        Empty, with an error in the log, when the sample does not fit the joint layout learnt when
        connecting."""
    def actions(self) -> dict[JointGroup, RobotActions]:
        """Commanded values per joint group from the latest extra sample; local, no network.

        Empty, with an error in the log, when the sample does not fit the joint layout learnt when
        connecting."""
    def primitive_states(self) -> dict[JointGroup, PrimitiveStates]:
        """States of the primitive each joint group runs.

        Remote query, blocking up to 2 s; repeated at once, six times in all at most, while a reply holds
        an empty entry. RuntimeError without a usable reply."""
    def configuration_score(self) -> dict[JointGroup, tuple[float, float]]:
        """Per joint group, two scores in 0..100 from the robot's manipulability values.

        Remote query, blocking up to 2 s; RuntimeError without a usable reply."""
    def plan_info(self) -> PlanInfo:
        """The plan the robot is executing.

        Remote query, blocking up to 2 s; RuntimeError without a usable reply."""
    def estop_released(self) -> bool:
        """Whether the emergency stop is released, from the latest basic sample (False before one);
        local."""
    def enabling_device_on(self) -> bool:
        """Whether the enabling device is on, from the latest basic sample (False before one); local."""
    def digital_inputs(self) -> Annotated[list[bool], "FixedSize(20)"]:
        """The 20 digital inputs of the latest basic sample, in order (all False before one); local."""
    def digital_outputs(self) -> Annotated[list[bool], "FixedSize(20)"]:
        """The 20 digital outputs of the latest basic sample, in order (all False before one); local."""
    def __repr__(self) -> str:
        """Always "<velmorqrk.Client>"; touches no connection."""

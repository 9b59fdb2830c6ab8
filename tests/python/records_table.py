"""The record classes' fields: name, rendered type and default, in field order."""

POSE = "Annotated[list[float], FixedSize(7)]"
SCREW = "Annotated[list[float], FixedSize(6)]"
JOINTS = "list[float]"
STAMP = "tuple[int, int]"

FIELDS = {
    "RobotStates": [
        ("timestamp", STAMP, (0, 0)),
        *[(name, JOINTS, []) for name in
          ("q", "theta", "dq", "dtheta", "tau", "tau_dot", "tau_ext", "tau_interact", "temperature")],
        ("flange_pose", POSE, [0.0] * 7),
        ("tcp_pose", POSE, [0.0] * 7),
        *[(name, SCREW, [0.0] * 6) for name in
          ("tcp_twist", "tcp_wrench", "tcp_wrench_local", "raw_tcp_wrench", "raw_tcp_wrench_local",
           "raw_ft_sensor")],
    ],
    "RobotActions": [
        ("timestamp", STAMP, (0, 0)),
        ("q_d", JOINTS, []),
        ("dq_d", JOINTS, []),
        ("tau_d", JOINTS, []),
        ("tcp_pose_d", POSE, [0.0] * 7),
        ("tcp_twist_d", SCREW, [0.0] * 6),
        ("tcp_wrench_d", SCREW, [0.0] * 6),
    ],
    "PrimitiveStates": [
        ("pt_name", "str", ""),
        ("names_and_values", "dict[str, Union[int, float, str]]", {}),
    ],
    "PlanInfo": [
        *[(name, "str", "") for name in
          ("pt_name", "node_name", "node_path", "node_path_time_period", "node_path_number",
           "assigned_plan_name")],
        ("velocity_scale", "float", 0.0),
        ("waiting_for_step", "bool", False),
    ],
}

ALL_FIELDS = [(cls, name, rendered, default)
              for cls, fields in FIELDS.items() for name, rendered, default in fields]

"""Live monitor of one robot: joint positions, TCP pose, safety inputs and I/O,
then the plan info, primitive states and configuration scores.

    python examples/monitor.py AB-12-345 [--seconds 10]
"""
import argparse
import sys
import time

import velmorqrk


def bits(values: list[bool]) -> str:
    return "".join("1" if v else "0" for v in values)


def live_line(client: velmorqrk.Client) -> str:
    states = client.states()
    parts = []
    for group, state in states.items():
        if group in (velmorqrk.ARM_1, velmorqrk.ARM_2, velmorqrk.EXT_AXIS):
            q = " ".join(f"{v:+.2f}" for v in state.q)
            parts.append(f"{group.name}[{q}]")
    tcp = states.get(velmorqrk.ARM_1)
    pose = " ".join(f"{v:+.3f}" for v in tcp.tcp_pose) if tcp else "-"
    stamp = next(iter(states.values())).timestamp if states else (0, 0)
    return (f"stamp=({stamp[0]}, {stamp[1]}) {' '.join(parts)} tcp1=({pose}) "
            f"estop_released={int(client.estop_released())} enabling={int(client.enabling_device_on())} "
            f"DI={bits(client.digital_inputs())} DO={bits(client.digital_outputs())}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("serial")
    parser.add_argument("--seconds", type=float, default=10.0)
    args = parser.parse_args()

    client = velmorqrk.Client(args.serial)
    print("groups:", {group.name: name for group, name in client.groups().items()})

    end = time.monotonic() + args.seconds
    while time.monotonic() < end:
        print(live_line(client), flush=True)
        time.sleep(0.5)

    info = client.plan_info()
    print(f"plan: primitive={info.pt_name} node={info.node_name} path={info.node_path} "
          f"plan={info.assigned_plan_name} velocity_scale={info.velocity_scale} "
          f"waiting_for_step={info.waiting_for_step}")
    for group, primitive in client.primitive_states().items():
        print(f"primitive {group.name}: {primitive.pt_name} {primitive.names_and_values}")
    for group, (first, second) in client.configuration_score().items():
        print(f"configuration score {group.name}: {first:.1f} / {second:.1f}")
    print("connected:", client.connected())
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""Plots one joint group of a `qrk record` recording: joint positions and the
TCP pose over time, as a PNG.

    qrk record AB-12-345 --seconds 10 -o run1
    python examples/plot_recording.py run1 --group ARM_1 -o run1.png

Reads run1.meta.json to find the format (CSV or JSON Lines) and the basic
stream's file, or run1.mcap (`qrk record --format mcap`). Needs matplotlib
(`pip install matplotlib`), and for MCAP the `mcap` and
`mcap-protobuf-support` packages.
"""
import argparse
import csv
import importlib
import json
import sys
from pathlib import Path
from typing import Any

import matplotlib

matplotlib.use("Agg")  # files only, no display needed
import matplotlib.pyplot as plt  # noqa: E402  (after choosing the back end)


class RecordingError(Exception):
    """What the user gave does not name a recording or a group in it: said in one line."""


def read_meta(prefix: Path) -> dict[str, Any]:
    meta_path = prefix.with_name(prefix.name + ".meta.json")
    if not meta_path.is_file():
        folder = prefix.parent
        found = sorted({path.name.removesuffix(".meta.json").removesuffix(".mcap")
                        for pattern in ("*.meta.json", "*.mcap") for path in folder.glob(pattern)})
        there = f"recordings in {folder}: {', '.join(found)}" if found else f"no recording in {folder}"
        raise RecordingError(f"no recording at {prefix} (no {meta_path.name} or {prefix.name}.mcap); {there}")
    meta: dict[str, Any] = json.loads(meta_path.read_text())
    return meta


def mcap_rows(path: Path, group: str) -> tuple[list[float], list[list[float]], list[list[float]]]:
    """Receive times (the messages' log times), joint positions and TCP poses of `group` in an MCAP file."""
    # Imported only for MCAP, which the CSV and JSON Lines paths do not need.
    make_reader = importlib.import_module("mcap.reader").make_reader
    decoder_factory = importlib.import_module("mcap_protobuf.decoder").DecoderFactory

    with open(path, "rb") as file:
        reader = make_reader(file, decoder_factories=[decoder_factory()])
        if reader.get_header().profile == "ros2":
            raise RecordingError(f"{path} is a ROS 2 recording (--format ros2), which this example does not read: "
                                 "open it in PlotJuggler or Foxglove, or read it with rosbags")
        topics = {channel.topic for channel in reader.get_summary().channels.values()}
        groups = sorted(topic.split("/")[1] for topic in topics if topic.endswith("/states"))
        if group not in groups:
            raise RecordingError(f"no joint group {group} in {path}: its groups are {', '.join(groups) or 'none'}")
        times: list[float] = []
        q: list[list[float]] = []
        pose: list[list[float]] = []
        for _, _, message, states in reader.iter_decoded_messages(topics=[f"/{group}/states"]):
            times.append(message.log_time / 1e9)
            q.append(list(states.q))
            pose.append(list(states.tcp_pose))
    return times, q, pose


def group_rows(prefix: Path, group: str) -> tuple[list[float], list[list[float]], list[list[float]]]:
    """Receive times (s from the first row), joint positions and TCP poses of `group`."""
    mcap = prefix.with_name(prefix.name + ".mcap")
    if mcap.is_file() and not prefix.with_name(prefix.name + ".meta.json").is_file():
        logged, positions, poses = mcap_rows(mcap, group)
        first = logged[0] if logged else 0.0
        return [t - first for t in logged], positions, poses
    meta = read_meta(prefix)
    path = prefix.with_name(meta["streams"]["basic"]["file"])
    groups = [entry["group"] for entry in meta["layout"]]
    if group not in groups:
        raise RecordingError(f"no joint group {group} in {prefix}: its groups are {', '.join(groups) or 'none'}")
    dof = next(entry["dof"] for entry in meta["layout"] if entry["group"] == group)
    times: list[float] = []
    q: list[list[float]] = []
    pose: list[list[float]] = []
    with open(path, newline="") as file:
        if meta["format"] == "csv":
            for row in csv.DictReader(file):
                if row["group"] == group:
                    times.append(float(row["receive_time"]))
                    q.append([float(row[f"q_{i}"]) for i in range(dof)])
                    pose.append([float(row[f"tcp_pose_{i}"]) for i in range(7)])
        else:
            for line in file:
                record = json.loads(line)
                if record["group"] == group:
                    times.append(float(record["receive_time"]))
                    q.append([float(v) for v in record["q"]])
                    pose.append([float(v) for v in record["tcp_pose"]])
    start = times[0] if times else 0.0
    return [t - start for t in times], q, pose


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("prefix", type=Path, help="the -o PATH given to qrk record")
    parser.add_argument("--group", default="ARM_1", help="joint group name (default ARM_1)")
    parser.add_argument("-o", "--output", type=Path, help="PNG to write (default PATH.GROUP.png)")
    args = parser.parse_args()

    try:
        times, q, pose = group_rows(args.prefix, args.group)
    except RecordingError as error:
        print(f"plot_recording: {error}", file=sys.stderr)
        return 1
    if not times:
        print(f"no rows of group {args.group} in the recording", file=sys.stderr)
        return 1
    figure, (joints, position, orientation) = plt.subplots(3, 1, sharex=True, figsize=(10, 9))
    for i in range(len(q[0])):
        joints.plot(times, [row[i] for row in q], label=f"q{i}", linewidth=0.8)
    # The robot's own units: the client converts nothing.
    joints.set_ylabel("joint position q")
    joints.legend(ncol=7, fontsize="small", loc="upper right")
    for i, axis in enumerate("xyz"):
        position.plot(times, [row[i] for row in pose], label=axis, linewidth=0.8)
    position.set_ylabel("TCP position")
    position.legend(loc="upper right")
    for i, part in enumerate(("qw", "qx", "qy", "qz"), start=3):
        orientation.plot(times, [row[i] for row in pose], label=part, linewidth=0.8)
    orientation.set_ylabel("TCP orientation (quaternion)")
    orientation.set_xlabel("receive time [s]")
    orientation.legend(loc="upper right")
    figure.suptitle(f"{args.prefix.name}: joint group {args.group}")
    figure.tight_layout()
    output = args.output or args.prefix.with_name(f"{args.prefix.name}.{args.group}.png")
    figure.savefig(output, dpi=80)
    print(output)
    return 0


if __name__ == "__main__":
    sys.exit(main())

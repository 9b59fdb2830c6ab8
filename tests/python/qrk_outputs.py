"""Reading what qrk writes and serves as its users' tools do: rows with the csv and json modules, MCAP recordings
with the mcap and mcap-protobuf-support packages and with @mcap/core in Node.js, the live view with Foxglove's
reference client in Node.js (tests/node/)."""

import csv
import json
import re
import struct
import subprocess
from pathlib import Path

from mcap.reader import make_reader
from mcap_protobuf.decoder import DecoderFactory


def float32(value):
    """`value` as the 32-bit float the robot sends, back as a Python float."""
    return struct.unpack("f", struct.pack("f", value))[0]


def read_mcap(path):
    """The file's summary, its metadata records by name, and its decoded messages by topic, in file order."""
    with open(path, "rb") as file:
        reader = make_reader(file, decoder_factories=[DecoderFactory()])
        summary = reader.get_summary()
        messages = {}
        for _, channel, message, proto in reader.iter_decoded_messages(log_time_order=False):
            messages.setdefault(channel.topic, []).append((message, proto))
        return summary, {record.name: record.metadata for record in reader.iter_metadata()}, messages


NODE = Path(__file__).resolve().parents[1] / "node"
INDEXED_READER = NODE / "mcap_indexed.mjs"
VIEWER = NODE / "foxglove_viewer.mjs"

# What every recording says of itself, meta.json and the MCAP records alike: what it is of, how it went, and per
# stream the counts.
IDENTITY_KEYS = ["serial", "version", "format", "layout", "qrk_version", "start_time"]
OUTCOME_KEYS = ["end_time", "complete", "empty", "ended_by"]
COUNT_KEYS = ["received", "written", "dropped", "unfit", "rows"]


def foxglove_topics(groups):
    """Every topic qrk shows a robot with these joint groups under, with its schema."""
    kinds = (("joint_states", "foxglove.JointStates"), ("states", "robotstates.RobotStates"),
             ("actions", "robotactions.RobotActions"))
    topics = {f"/{group}/{kind}": schema for group in groups for kind, schema in kinds}
    return {**topics, "/tf": "foxglove.FrameTransforms", "/io": "robotio.RobotIo"}


def read_rows(path):
    """A CSV file's rows, header first."""
    with open(path, newline="") as file:
        return list(csv.reader(file))


def rows_of(path, file_format):
    """A row file's rows as lists, sample number first, without the CSV header."""
    if file_format == "csv":
        return [[int(row[0]), *row[1:]] for row in read_rows(path)[1:]]
    return [[row["sample"], *row.values()] for row in map(json.loads, path.read_text().splitlines())]


def viewer(port, count, *topics, pause_ms=0):
    """The reference client on ws://127.0.0.1:`port`, reading `count` messages of `topics` (every topic when none),
    stalling `pause_ms` after the first; viewed() reads its report."""
    pause = ["--pause-ms", str(pause_ms)] if pause_ms else []
    return subprocess.Popen(["node", VIEWER, f"ws://127.0.0.1:{port}", str(count), *pause, *topics],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def viewed(process):
    out, err = process.communicate(timeout=30)
    assert process.returncode == 0, err
    return json.loads(out)


def read_indexed(path, counts):
    """Reads the file with @mcap/core's indexed reader, the TypeScript viewers' (tests/node/mcap_indexed.mjs),
    and checks what every viewer relies on: `counts` messages per topic, numbered from 0 without a gap; the
    statistics' per-channel counts the same; a time window in the middle returns exactly the messages inside it.
    Returns the reader's report (its metadata records too)."""
    result = subprocess.run(["node", INDEXED_READER, path], capture_output=True, text=True, timeout=60)
    assert result.returncode == 0, result.stderr
    indexed = json.loads(result.stdout)
    assert {topic: read["count"] for topic, read in indexed["messages"].items()} == counts
    for topic, read in indexed["messages"].items():
        assert (read["first_sequence"], read["last_sequence"], read["sequences"]) == \
            (0, read["count"] - 1, read["count"]), topic
    assert indexed["statistics"]["channels"] == counts
    assert indexed["statistics"]["message_count"] == sum(counts.values())
    window = indexed["window"]
    assert window["read"] == window["expected"] and window["outside"] == 0, window
    assert 0 < sum(window["read"].values()) < sum(counts.values()) / 2, window
    return indexed


SUFFIXES = {"csv": [".basic.csv", ".extra.csv", ".meta.json"], "jsonl": [".basic.jsonl", ".extra.jsonl", ".meta.json"],
            "mcap": [".mcap"]}


def series_pieces(prefix, file_format):
    """The pieces of the series at `prefix` on disk, by number: (number, stem, complete), the stem being the
    path of the piece's files without their endings (".active" included for the open one)."""
    pattern = re.compile(rf"^{re.escape(prefix.name)}-\d{{8}}T\d{{6}}Z-(\d{{6}})(\.active)?$")
    description = SUFFIXES[file_format][-1]
    pieces = []
    for path in prefix.parent.iterdir():
        if path.name.endswith(description) and (match := pattern.match(path.name[:-len(description)])):
            pieces.append((int(match.group(1)), prefix.parent / path.name[:-len(description)], not match.group(2)))
    return sorted(pieces)


def piece_description(stem, file_format):
    """A piece's counts as its description gives them: {stream: {received, written, ..., first_sample}}, with
    the piece's number and whether it is complete."""
    if file_format == "mcap":
        with open(f"{stem}.mcap", "rb") as file:
            records = {record.name: record.metadata for record in make_reader(file).iter_metadata()}
        recording = records["recording"]
        streams = {stream: {key: int(recording[f"{stream}_{key}"]) for key in COUNT_KEYS + ["first_sample"]}
                   for stream in ("basic", "extra")}
        return {"piece": int(records["robot"]["piece"]), "complete": recording["complete"] == "true",
                "streams": streams}
    meta = json.loads(Path(f"{stem}.meta.json").read_text())
    return {"piece": meta["piece"], "complete": meta["complete"], "streams": meta["streams"]}


def piece_samples(stem, file_format):
    """The sample numbers a piece holds, per stream, in file order: from the rows (one per sample, its first
    group's) or from the MCAP file's indexed reader (/io per basic sample, /ALL/actions per extra one)."""
    if file_format == "mcap":
        result = subprocess.run(["node", INDEXED_READER, f"{stem}.mcap"], capture_output=True, text=True, timeout=60)
        assert result.returncode == 0, result.stderr
        indexed = json.loads(result.stdout)["messages"]
        spans = {}
        for stream, topic in (("basic", "/io"), ("extra", "/ALL/actions")):
            read = indexed.get(topic, {"count": 0})
            assert read["count"] == 0 or read["sequences"] == read["count"], topic  # none twice
            spans[stream] = list(range(read["first_sequence"], read["last_sequence"] + 1)) if read["count"] else []
            assert len(spans[stream]) == read["count"], topic  # none missing in between
        return spans
    samples = {}
    for stream in ("basic", "extra"):
        numbers = [row[0] for row in rows_of(Path(f"{stem}.{stream}.{file_format}"), file_format)]
        assert numbers == sorted(numbers), stream
        samples[stream] = sorted(set(numbers))
    return samples

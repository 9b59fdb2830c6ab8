"""Reading qrk's MCAP recordings with the independent readers: the mcap and mcap-protobuf-support packages, and
@mcap/core in Node.js."""

import json
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


INDEXED_READER = Path(__file__).resolve().parents[1] / "node" / "mcap_indexed.mjs"


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

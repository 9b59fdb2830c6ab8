"""Reading qrk's MCAP recordings with the independent readers (the mcap and mcap-protobuf-support packages)."""

import struct

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

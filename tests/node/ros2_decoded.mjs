// Reads a ROS 2 recording as Foxglove and Lichtblick do: @mcap/core's
// indexed reader, each channel's ros2msg schema parsed by @foxglove/rosmsg
// and its CDR decoded by @foxglove/rosmsg2-serialization's MessageReader.
// Decodes every message and prints one JSON line:
//   {profile, channels: {topic: {message_encoding, schema_name,
//    schema_encoding, metadata}}, counts: {topic: count},
//    stamps_match_log_time: bool, messages: {topic: {sequence: message}}}
// `messages` holds the messages whose sequence is given, typed arrays as
// arrays. A message that does not decode fails.
//
//   node ros2_decoded.mjs FILE SEQUENCE...
import { McapIndexedReader } from "@mcap/core";
import { FileHandleReadable } from "@mcap/nodejs";
import { loadDecompressHandlers } from "@mcap/support";
import { parse } from "@foxglove/rosmsg";
import { MessageReader } from "@foxglove/rosmsg2-serialization";
import { open } from "node:fs/promises";

const [path, ...wanted] = process.argv.slice(2);
const sequences = new Set(wanted.map(Number));
const handle = await open(path, "r");
try {
  const reader = await McapIndexedReader.Initialize({
    readable: new FileHandleReadable(handle),
    decompressHandlers: await loadDecompressHandlers(),
  });
  const channels = {};
  const readers = new Map();
  for (const [id, channel] of reader.channelsById) {
    const schema = reader.schemasById.get(channel.schemaId);
    channels[channel.topic] = {
      message_encoding: channel.messageEncoding,
      schema_name: schema.name,
      schema_encoding: schema.encoding,
      metadata: Object.fromEntries(channel.metadata),
    };
    readers.set(id, new MessageReader(parse(new TextDecoder().decode(schema.data), { ros2: true })));
  }
  const counts = {};
  const messages = {};
  let stampsMatch = true;
  for await (const message of reader.readMessages({ validateCrcs: true })) {
    const topic = reader.channelsById.get(message.channelId).topic;
    const decoded = readers.get(message.channelId).readMessage(message.data);
    counts[topic] = (counts[topic] ?? 0) + 1;
    const stamp = decoded.header?.stamp ?? decoded.transforms?.[0]?.header.stamp;
    if (stamp && BigInt(stamp.sec) * 1_000_000_000n + BigInt(stamp.nanosec) !== message.logTime) stampsMatch = false;
    if (message.publishTime !== message.logTime) stampsMatch = false;
    if (sequences.has(message.sequence)) (messages[topic] ??= {})[message.sequence] = decoded;
  }
  const plain = (_key, value) => (ArrayBuffer.isView(value) ? Array.from(value) : value);
  console.log(
    JSON.stringify(
      { profile: reader.header.profile, channels, counts, stamps_match_log_time: stampsMatch, messages },
      plain,
    ),
  );
} finally {
  await handle.close();
}

// Reads an MCAP file with @mcap/core's indexed reader, the one the
// TypeScript viewers' file loaders are built on (chunk indexes, message
// indexes and statistics from the summary; zstd and lz4 through
// @mcap/support), and prints one JSON line:
//   {messages: {topic: {count, first_sequence, last_sequence, sequences}},
//    statistics: {message_count, channels: {topic: count}},
//    window: {start, end, expected: {topic: count}, read: {topic: count}, outside},
//    metadata: {name: {key: value}}}
// `sequences` counts the distinct sequence numbers. The window is the middle
// third of the recording's time span: `expected` counts the messages of the
// full read inside it, `read` what the reader returns when asked for it
// alone, `outside` how many of those lie outside it. Times are strings of
// nanoseconds (they exceed a double's precision).
//
//   node mcap_indexed.mjs FILE
import { McapIndexedReader } from "@mcap/core";
import { FileHandleReadable } from "@mcap/nodejs";
import { loadDecompressHandlers } from "@mcap/support";
import { open } from "node:fs/promises";

const [path] = process.argv.slice(2);
const handle = await open(path, "r");
try {
  const reader = await McapIndexedReader.Initialize({
    readable: new FileHandleReadable(handle),
    decompressHandlers: await loadDecompressHandlers(),
  });
  const topicOf = (id) => reader.channelsById.get(id).topic;
  const stats = reader.statistics;
  const start = stats.messageStartTime + (stats.messageEndTime - stats.messageStartTime) / 3n;
  const end = stats.messageStartTime + ((stats.messageEndTime - stats.messageStartTime) * 2n) / 3n;

  const messages = {};
  const expected = {};
  for await (const message of reader.readMessages({ validateCrcs: true })) {
    const topic = topicOf(message.channelId);
    const entry = (messages[topic] ??= { count: 0, first_sequence: message.sequence, seen: new Set() });
    entry.count += 1;
    entry.last_sequence = message.sequence;
    entry.seen.add(message.sequence);
    if (message.logTime >= start && message.logTime <= end) expected[topic] = (expected[topic] ?? 0) + 1;
  }
  for (const entry of Object.values(messages)) {
    entry.sequences = entry.seen.size;
    delete entry.seen;
  }

  const read = {};
  let outside = 0;
  for await (const message of reader.readMessages({ startTime: start, endTime: end })) {
    const topic = topicOf(message.channelId);
    read[topic] = (read[topic] ?? 0) + 1;
    if (message.logTime < start || message.logTime > end) outside += 1;
  }

  const metadata = {};
  for await (const record of reader.readMetadata()) metadata[record.name] = Object.fromEntries(record.metadata);

  const channels = {};
  for (const [id, count] of stats.channelMessageCounts) channels[topicOf(id)] = Number(count);
  console.log(
    JSON.stringify({
      messages,
      statistics: { message_count: Number(stats.messageCount), channels },
      window: { start: String(start), end: String(end), expected, read, outside },
      metadata,
    }),
  );
} finally {
  await handle.close();
}

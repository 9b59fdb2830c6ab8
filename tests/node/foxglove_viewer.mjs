// A viewer of qrk's live server through Foxglove's reference client
// (@foxglove/ws-protocol) on a WebSocket opened with the SDK's subprotocol:
// waits for the advertisement of every TOPIC, subscribes to them, decodes
// COUNT messages of each with the schema the server advertised (protobuf, or
// a ros2msg schema's CDR with @foxglove/rosmsg2-serialization, as Foxglove
// and PlotJuggler decode it), and prints one JSON line: {advertised: {topic:
// {encoding, schemaEncoding, schemaName, schemaLength}}, messages: {topic:
// [{log_time, message}]}}, typed arrays as arrays. A topic advertised twice
// fails. With --pause-ms N it stops reading its socket for
// N ms after subscribing, as a viewer too slow for the stream would. With
// --commands it first tries to act on the robot as a viewer could: publish on
// a channel of its own, call a service, get and set a parameter; the line
// then also holds the server's capabilities and its replies ({capabilities,
// replies: [text]}), and waits for a reply to each of the five.
//
//   node foxglove_viewer.mjs URL COUNT [--pause-ms N] [--commands] TOPIC...
import { parse } from "@foxglove/rosmsg";
import { MessageReader } from "@foxglove/rosmsg2-serialization";
import wsProtocol from "@foxglove/ws-protocol";
import protobuf from "protobufjs";
import descriptor from "protobufjs/ext/descriptor/index.js";
import WebSocket from "ws";

const { FoxgloveClient } = wsProtocol;
const [url, countText, ...rest] = process.argv.slice(2);
const count = Number(countText);
let pauseMs = 0;
if (rest[0] === "--pause-ms") {
  pauseMs = Number(rest[1]);
  rest.splice(0, 2);
}
const commands = rest[0] === "--commands";
if (commands) rest.shift();
const topics = rest;
const COMMANDS = 5;
let capabilities;
const replies = [];

const ws = new WebSocket(url, ["foxglove.sdk.v1"]);
const client = new FoxgloveClient({ ws });
const advertised = {};
const decoders = new Map(); // subscription id -> {topic, type}
const messages = Object.fromEntries(topics.map((topic) => [topic, []]));

// A function from a message's bytes to a plain object.
function decoderOf(channel) {
  if (channel.encoding === "cdr" && channel.schemaEncoding === "ros2msg") {
    const reader = new MessageReader(parse(channel.schema, { ros2: true }));
    return (bytes) => reader.readMessage(bytes);
  }
  if (channel.encoding !== "protobuf" || channel.schemaEncoding !== "protobuf") {
    throw new Error(`${channel.topic}: neither protobuf nor ROS 2's CDR`);
  }
  const set = descriptor.FileDescriptorSet.decode(Buffer.from(channel.schema, "base64"));
  const type = protobuf.Root.fromDescriptor(set).lookupType(channel.schemaName);
  return (bytes) => type.toObject(type.decode(bytes), { longs: String, arrays: true });
}

let finished = false;

function finishIfDone() {
  if (commands && replies.length < COMMANDS) return;
  if (!finished && topics.every((topic) => messages[topic].length >= count)) {
    finished = true;
    client.close();
    const line = commands ? { advertised, messages, capabilities, replies } : { advertised, messages };
    const plain = (_key, value) => (ArrayBuffer.isView(value) ? Array.from(value) : value);
    // Exiting at once would cut a long line short on a pipe.
    process.stdout.write(`${JSON.stringify(line, plain)}\n`, () => process.exit(0));
  }
}

client.on("serverInfo", (info) => {
  capabilities = info.capabilities;
  if (!commands) return;
  const channel = client.advertise({ topic: "/command", encoding: "json", schemaName: "command", schema: "" });
  client.sendMessage(channel, new TextEncoder().encode('{"enable": true}'));
  client.sendServiceCallRequest({ serviceId: 1, callId: 1, encoding: "json", data: new Uint8Array([123, 125]) });
  client.getParameters(["speed"], "get");
  client.setParameters([{ name: "speed", value: 1 }], "set");
});
client.on("status", ({ message }) => {
  replies.push(message);
  finishIfDone();
});
client.on("serviceCallFailure", ({ message }) => {
  replies.push(message);
  finishIfDone();
});
client.on("parameterValues", ({ parameters }) => {
  replies.push(`parameter values: ${JSON.stringify(parameters)}`);
  finishIfDone();
});

client.on("advertise", (channels) => {
  for (const channel of channels) {
    if (channel.topic in advertised) throw new Error(`${channel.topic} advertised twice`);
    const { encoding, schemaEncoding, schemaName, schema } = channel;
    advertised[channel.topic] = { encoding, schemaEncoding, schemaName, schemaLength: schema.length };
    if (topics.includes(channel.topic)) {
      decoders.set(client.subscribe(channel.id), { topic: channel.topic, decode: decoderOf(channel) });
    }
  }
  if (pauseMs > 0 && topics.every((topic) => topic in advertised)) {
    ws._socket.pause();
    setTimeout(() => ws._socket.resume(), pauseMs);
  }
});

client.on("message", ({ subscriptionId, timestamp, data }) => {
  if (finished) return;
  const { topic, decode } = decoders.get(subscriptionId);
  // Every topic keeps collecting until each has `count`: subscriptions start
  // at different moments, and the topics' windows must overlap.
  const bytes = new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
  messages[topic].push({ log_time: timestamp.toString(), message: decode(bytes) });
  finishIfDone();
});

client.on("error", (error) => {
  console.error(`viewer: ${error.message ?? error}`);
  process.exit(1);
});
client.on("close", () => {
  if (topics.every((topic) => messages[topic].length >= count)) return;
  console.error("viewer: the server closed the connection");
  process.exit(1);
});

// Encodes ROS 2 messages with @foxglove/rosmsg2-serialization's
// MessageWriter, the CDR writer of the TypeScript viewers, from the ros2msg
// schema text alone: a third implementation beside the two that
// tests/vectors/make_ros2_vectors.py compares. Reads one JSON array of
// {definition, message} from stdin and prints one JSON array of hex
// strings. A float that JSON cannot carry comes as {"f64": "NaN"},
// {"f64": "Infinity"} or {"f64": "-Infinity"}.
//
//   node ros2_encode.mjs < cases.json
import { parse } from "@foxglove/rosmsg";
import { MessageWriter } from "@foxglove/rosmsg2-serialization";

let input = "";
for await (const chunk of process.stdin) input += chunk;
const cases = JSON.parse(input, (_key, value) =>
  value !== null && typeof value === "object" && "f64" in value ? Number(value.f64) : value,
);
const encoded = cases.map(({ definition, message }) => {
  const writer = new MessageWriter(parse(definition, { ros2: true }));
  return Buffer.from(writer.writeMessage(message)).toString("hex");
});
process.stdout.write(JSON.stringify(encoded) + "\n");

// Load for qrk serve's benchmark (bench/run_bench.py --serve): many viewers
// of Foxglove's reference client (@foxglove/ws-protocol, from the tests'
// node_modules) in one process. Prints one JSON line.
//
//   node serve_viewers.mjs at-once URL N SECONDS TOPIC...
//     opens N viewers at once, subscribes each to every TOPIC, counts the
//     messages each receives for SECONDS once all have subscribed, closes
//     them: {viewers, refused, messages: [per viewer], seconds}
//   node serve_viewers.mjs churn URL N SECONDS TOPIC
//     opens N viewers one after the other, evenly over SECONDS; each closes
//     on its first message of TOPIC: {opened, served, failed,
//     first_message_ms: [per served viewer]}
import { createRequire } from "node:module";

const require = createRequire(new URL("../tests/node/package.json", import.meta.url));
const { FoxgloveClient } = require("@foxglove/ws-protocol");
const WebSocket = require("ws");

const [mode, url, countText, secondsText, ...topics] = process.argv.slice(2);
const count = Number(countText);
const seconds = Number(secondsText);

// A viewer that subscribes to `topics` as they are advertised; resolves
// "subscribed" once it has subscribed to all, or "refused" when the
// connection fails first.
function openViewer(onMessage) {
  const ws = new WebSocket(url, ["foxglove.sdk.v1"]);
  const client = new FoxgloveClient({ ws });
  const wanted = new Set(topics);
  const ready = new Promise((resolve) => {
    client.on("advertise", (channels) => {
      for (const channel of channels) {
        if (wanted.delete(channel.topic)) client.subscribe(channel.id);
      }
      if (wanted.size === 0) resolve("subscribed");
    });
    client.on("error", () => resolve("refused"));
    client.on("close", () => resolve("refused"));
  });
  client.on("message", onMessage);
  return { client, ws, ready };
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function atOnce() {
  const counts = new Array(count).fill(0);
  let counting = false;
  const viewers = counts.map((_, i) =>
    openViewer(() => {
      if (counting) counts[i] += 1;
    }),
  );
  const states = await Promise.all(viewers.map((viewer) => viewer.ready));
  counting = true;
  await sleep(seconds * 1000);
  counting = false;
  for (const viewer of viewers) viewer.ws.terminate();
  const served = counts.filter((_, i) => states[i] === "subscribed");
  return { viewers: served.length, refused: count - served.length, messages: served, seconds };
}

async function churn() {
  const firstMessageMs = [];
  let failed = 0;
  const pending = [];
  for (let i = 0; i < count; i += 1) {
    const started = performance.now();
    const done = new Promise((resolve) => {
      let first = true;
      const viewer = openViewer(() => {
        if (!first) return; // others were on their way before it closed
        first = false;
        firstMessageMs.push(performance.now() - started);
        viewer.ws.terminate();
        resolve();
      });
      viewer.ready.then((state) => {
        if (state === "refused") {
          failed += 1;
          resolve();
        }
      });
      // A viewer that gets nothing within 10 s counts as failed.
      setTimeout(() => {
        viewer.ws.terminate();
        resolve();
      }, 10_000);
    });
    pending.push(done);
    await sleep((seconds * 1000) / count);
  }
  await Promise.all(pending);
  return { opened: count, served: firstMessageMs.length, failed, first_message_ms: firstMessageMs };
}

const result = mode === "churn" ? await churn() : await atOnce();
process.stdout.write(`${JSON.stringify(result)}\n`, () => process.exit(0));

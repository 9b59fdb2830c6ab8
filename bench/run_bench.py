"""Runs the end-to-end benchmarks and prints one table (scripts/bench).

Every robot runs on the other host of scripts/netns-run --peer and every
reader on this one, so samples and queries cross a real veth link:

  freshness   stamp-server streams at 1 kHz with send-time stamps; the delay
              until Client::states() (C++, tight poll) returns a sample,
              against a bare subscriber callback on the same session, paired
              per sample; Python's states() poll against a bare callback
              alone in its process as further rows
  query       connected() against a bare zenoh get to the same queryable
  call cost   Python states()/actions()/digital_inputs() against the helper
              module's conversion of the same prebuilt results
  sustained   qrk-sim at 1 kHz: Python polling at 1 kHz (CPU, samples seen),
              and a C++ client with a subscriber on its own session counting
              every sample delivered and decoded
  recording   qrk record of qrk-sim at 1 kHz: samples written against those
              the simulator numbered in the same span, drops, the recorder's
              CPU share, MCAP's bytes and CPU against CSV's, the ROS 2
              recording's bytes against CSV's and its CPU against MCAP's
              (three runs of each format, interleaved; the medians), and
              what each MCAP recording's encoders spend on one sample
              (foxglove/src/ros2/cost_bench.rs)
  receive     instructions per received sample under callgrind, ours against
              a copy of the payload, and heap allocations per sample
              (bench/receive_cost.cpp): the same on every machine

With --serve, only qrk serve's benchmark runs instead (bench/serve_load.py): 50 viewers at once (with and
without --ros2), 500 opened and closed over a minute. With --fleet, only the fleet benchmark runs instead:

  fleet       for N robots of one stamp-server (1 kHz, both streams), one
              process holding N clients (e2e_reader fleet, then Python's
              bench/python/fleet.py polling each at 100 Hz) against bare
              subscribers on the same keys: receive-path CPU per robot,
              paired freshness, construction of the N-th client, memory per
              client, threads, samples lost

The table goes to stdout and, with the machine and date, between the markers
of bench/RESULTS.md (text outside the markers is kept); the fleet and serve
tables have markers of their own.
"""

import argparse
import datetime
import json
import os
import platform
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from mcap.reader import make_reader

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests/python"))
from serve_load import serve_bench  # noqa: E402  (beside this file)

from peer_host import RobotServer  # noqa: E402  (the tests' server processes, on the path above)

BEGIN, END = "<!-- bench:begin -->", "<!-- bench:end -->"
FLEET_BEGIN, FLEET_END = "<!-- bench:fleet:begin -->", "<!-- bench:fleet:end -->"
SERVE_BEGIN, SERVE_END = "<!-- bench:serve:begin -->", "<!-- bench:serve:end -->"


def isolation_problem():
    if "VELMOR_NETNS" not in os.environ or "VELMOR_PEER_NETNS" not in os.environ:
        return "not started through scripts/netns-run --peer"
    allowed = {"lo", *filter(None, os.environ.get("VELMOR_NETNS_IFACES", "").split(","))}
    foreign = sorted(name for _, name in socket.if_nameindex() if name not in allowed)
    return f"foreign network interfaces {foreign}" if foreign else None


def run(argv, env=None, timeout=600):
    done = subprocess.run([*map(str, argv)], capture_output=True, text=True, env=env, timeout=timeout)
    if done.returncode != 0:
        raise RuntimeError(f"{argv[0]} {argv[1]} failed ({done.returncode}):\n{done.stderr[-3000:]}")
    return done.stdout


def labelled(text, label):
    """The numbers of the lines "<label> <number>"; other lines (log output) are ignored."""
    values = []
    for line in text.splitlines():
        parts = line.split()
        if len(parts) == 2 and parts[0] == label:
            values.append(int(parts[1]))
    return values


def json_line(text):
    return json.loads(next(line for line in text.splitlines() if line.startswith("{")))


def percentile(values, q):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, max(0, round(q * len(ordered)) - 1))]


class Table:
    def __init__(self):
        self.rows = []
        self.missed = []

    def add(self, name, ours, reference="", ratio=None, aim=None, note=""):
        verdict = ""
        if aim is not None and ratio is not None:
            verdict = "met" if ratio <= aim else "MISSED"
            if verdict == "MISSED":
                self.missed.append(name)
        self.rows.append([name, ours, reference, "" if ratio is None else f"{ratio:.2f}",
                          "" if aim is None else f"≤ {aim:g}", verdict, note])

    def markdown(self):
        head = ["measurement", "ours", "reference", "ratio", "aim", "result", "notes"]
        lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
        lines += ["| " + " | ".join(row) + " |" for row in self.rows]
        return "\n".join(lines)


def us(ns):
    return f"{ns / 1000:.1f} µs"


def pairs(text):
    """(bare, client) delays of the lines "pair <bare> <client>"."""
    found = []
    for line in text.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[0] == "pair":
            found.append((int(parts[1]), int(parts[2])))
    return found


def freshness(args, table, env):
    bench = args.build / "bench"
    paired, alone, python = [], [], []
    missed = polls = 0
    with RobotServer([bench / "stamp-server", "--serial", "BENCH-FRESH", "--rate", 1000, "--groups", "2,3,4,5",
                     "--duration", 3600]):
        for _ in range(args.rounds):
            out = run([bench / "e2e_reader", "client", "BENCH-FRESH", args.samples])
            paired += pairs(out)
            missed += sum(labelled(out, "missed"))
            polls += sum(labelled(out, "polls"))
            alone += labelled(run([bench / "e2e_reader", "raw", "BENCH-FRESH", args.samples]), "raw")
            out = run([sys.executable, ROOT / "bench/python/freshness.py", "--serial", "BENCH-FRESH", "--count",
                       args.samples], env=env)
            python += labelled(out, "python")
        queries = run([bench / "e2e_reader", "query", "BENCH-FRESH", args.queries])
    bare, polled = [p[0] for p in paired], [p[1] for p in paired]
    extra = [client - raw for raw, client in paired]
    for q, label in ((0.5, "median"), (0.99, "p99")):
        ours, ref = percentile(polled, q), percentile(bare, q)
        note = (f"{len(paired)} samples, {args.rounds} rounds, 1 kHz; per-sample difference median "
                f"{us(percentile(extra, 0.5))}, p99 {us(percentile(extra, 0.99))}" if q == 0.5 else
                f"{missed} samples overwritten before a poll saw them; "
                f"{polls / (args.rounds * args.samples):.0f} polls per sample")
        table.add(f"freshness {label}: C++ states() tight poll vs bare callback on the same session (paired)",
                  us(ours), us(ref), ours / ref, 1.05 if q == 0.5 else 1.1, note)
    for q, label in ((0.5, "median"), (0.99, "p99")):
        ours, ref = percentile(python, q), percentile(alone, q)
        table.add(f"freshness {label}: Python states() tight poll vs bare callback alone in its process",
                  us(ours), us(ref), ours / ref, None,
                  "separate runs, interleaved; the bare run spins a thread where the poller would run")
    connected, bare_get = labelled(queries, "connected"), labelled(queries, "get")
    for q, label in ((0.5, "median"), (0.99, "p99")):
        ours, ref = percentile(connected, q), percentile(bare_get, q)
        table.add(f"query round trip {label}: connected() vs bare Session::get", us(ours), us(ref), ours / ref,
                  1.1 if q == 0.5 else None, f"{len(connected)} interleaved pairs" if q == 0.5 else "")


ALLOCATORS = {"malloc", "calloc", "realloc", "aligned_alloc", "posix_memalign", "memalign"}


def callgrind_dump(path):
    """(trigger, instructions, heap allocations) of one callgrind dump: the
    allocations are the calls into the C allocator counted inside it."""
    trigger, total, allocations, callee = "", 0, 0, ""
    for line in path.read_text().splitlines():
        if line.startswith("desc: Trigger: Client Request: "):
            trigger = line.split(": ", 2)[2].removeprefix("Client Request: ")
        elif line.startswith("totals:"):
            total = int(line.split()[1])
        elif line.startswith("cfn="):
            callee = line[4:].split("@")[0]
        elif line.startswith("calls=") and callee in ALLOCATORS:
            allocations += int(line[6:].split()[0])
    return trigger, total, allocations


def receive_cost(args, table):
    """Instructions per sample from the bridge's delivery to the end of the
    hand-over, under callgrind, for prepared payloads replayed on one session
    (bench/receive_cost.cpp): a callback that only counts, one that copies the
    payload, and the client's own path."""
    samples = 1000
    with tempfile.TemporaryDirectory() as tmp:
        out = run(["valgrind", "--tool=callgrind", "--collect-atstart=no", "--toggle-collect=*deliver_sample*",
                   "--compress-strings=no", f"--callgrind-out-file={tmp}/out.%p", args.build / "bench/receive_cost",
                   samples], timeout=900)
        dumps = [callgrind_dump(path) for path in Path(tmp).glob("out.*.*")]
    sizes = {}
    for line in out.splitlines():
        name, _, rest = line.partition(": ")
        if rest.endswith("samples"):
            sizes[name] = int(rest.split()[0])
    cost = {trigger: (total / samples, allocations / samples) for trigger, total, allocations in dumps}
    for stream in ("basic", "extra"):
        for joints, groups in ((16, 4), (64, 8)):
            key = f"{stream} {joints}"
            ours, ours_allocations = cost[f"ours {key}"]
            copy, _ = cost[f"copy {key}"]
            count, _ = cost[f"count {key}"]
            table.add(f"receive path per {stream} sample, {joints} joints in {groups} groups: instructions, ours vs "
                      "one copy of the payload (callgrind)", f"{ours:.0f}", f"{copy:.0f}", ours / copy, 2,
                      f"{sizes[f'ours {key}']} B payload; a callback that only counts: {count:.0f}; "
                      f"heap allocations per sample: {ours_allocations:g}")
    for stream in ("basic", "extra"):
        small, large = f"{stream} 16", f"{stream} 64"
        extra_bytes = sizes[f"ours {large}"] - sizes[f"ours {small}"]
        ours = (cost[f"ours {large}"][0] - cost[f"ours {small}"][0]) / extra_bytes
        copy = (cost[f"copy {large}"][0] - cost[f"copy {small}"][0]) / extra_bytes
        table.add(f"receive path per {stream} sample: instructions per added payload byte, 16 → 64 joints",
                  f"{ours:.3f}", f"{copy:.3f}", None, None, "ours vs the copy; fixed costs aside, cost grows with "
                  f"the payload ({extra_bytes} B more)")
    allocations = max(allocations for _, allocations in cost.values())
    table.add("receive path: heap allocations per sample in steady state (any receiver, both sizes)",
              f"{allocations:g}", "", allocations, 0, "calls into the C allocator counted by callgrind")


def call_cost(args, table, env):
    with RobotServer([args.build / "sim/qrk-sim", "--serial", "BENCH-CALLS", "--rate", 1000, "--groups", "2,3,4,5"]):
        result = json_line(run([sys.executable, ROOT / "bench/python/call_cost.py", "--serial", "BENCH-CALLS"],
                               env=env))
    for name in ("states", "actions", "digital_inputs"):
        ours, bare = result[name]["client_us"], result[name]["bare_us"]
        table.add(f"Python client.{name}() per call vs bare pybind11 conversion", f"{ours:.2f} µs",
                  f"{bare:.2f} µs", ours / bare, 1.2, "16 joints, 4 groups, streams at 1 kHz")


SUSTAINED_ROUNDS = 3


def sustained(args, table, env):
    """Three rounds of the Python client polling at 1 kHz against the bare
    subscribers' process, interleaved, so that the receive-path ratio comes
    with its spread; the first round also polls as fast as Python can."""
    rounds = []
    seconds = args.seconds / SUSTAINED_ROUNDS
    with RobotServer([args.build / "sim/qrk-sim", "--serial", "BENCH-SUSTAIN", "--rate", 1000]) as sim:
        for number in range(SUSTAINED_ROUNDS):
            result = json_line(run([sys.executable, ROOT / "bench/python/sustained.py", "--serial", "BENCH-SUSTAIN",
                                    "--sim-pid", sim.process.pid, "--seconds", seconds,
                                    "--tight-seconds", min(10, args.seconds) if number == 0 else 0], env=env))
            idle = run([args.build / "bench/e2e_reader", "idle", "BENCH-SUSTAIN", max(5, round(seconds / 2))])
            rounds.append((result, labelled(idle, "cpu_ns_per_sample")[0] / 1e9))
        count = run([args.build / "bench/e2e_reader", "count", "BENCH-SUSTAIN", max(5, round(args.seconds / 3))])
    on, paused, tight = rounds[0][0]["on"], rounds[0][0]["paused"], rounds[0][0]["tight"]
    rate = on["polls"] / on["wall_s"]
    table.add(f"sustained Python, {seconds:g} s: distinct samples seen by the 1 kHz poll / sent",
              f"{on['distinct_seen']}", f"{on['sent']}", on["distinct_seen"] / on["sent"], None,
              f"poll rate reached {rate:.0f}/s; {on['empty_results']} empty results")
    table.add(f"sustained Python, tight poll {tight['wall_s']:.0f} s: distinct samples seen / sent",
              f"{tight['distinct_seen']}", f"{tight['sent']}", tight["distinct_seen"] / tight["sent"], None,
              f"a lower bound of samples decoded; {tight['polls'] / tight['wall_s']:.0f} polls/s")
    sent, basic, extra, bad = (labelled(count, k)[0] for k in ("sent", "basic", "extra", "bad"))
    table.add("sustained C++: basic samples delivered and decoded on the client's session / sent", f"{basic}",
              f"{sent}", basic / sent, None, f"extra decoded {extra}, undecodable {bad}; tight poll saw "
              f"{labelled(count, 'polled')[0]}")

    # Threads other than the polling one: zenoh's and the client's receive path.
    def background(phase):
        return (phase["cpu_s"] - phase["poll_thread_cpu_s"]) / phase["wall_s"]

    def per_sample(result):
        return (background(result["on"]) - background(result["paused"])) / (result["on"]["sent"] /
                                                                             result["on"]["wall_s"])
    ratios = sorted(per_sample(result) / bare for result, bare in rounds)
    ours = median([per_sample(result) for result, _ in rounds])
    bare = median([bare for _, bare in rounds])
    table.add("sustained Python: receive-path CPU per sample (basic + extra) vs bare subscribers that only count",
              f"{ours * 1e6:.1f} µs", f"{bare * 1e6:.1f} µs", median(ratios), 1.1,
              f"median of {SUSTAINED_ROUNDS} interleaved rounds of {seconds:g} s (ratios "
              f"{ratios[0]:.2f}-{ratios[-1]:.2f}); client's background threads {background(on) * 100:.1f}% of "
              f"a core streaming, {background(paused) * 100:.1f}% paused (first round)")
    table.add("sustained Python: client process CPU share (1 kHz poll of states() + actions())",
              f"{on['cpu_s'] / on['wall_s'] * 100:.1f}% of a core",
              f"{paused['cpu_s'] / paused['wall_s'] * 100:.1f}% paused", None, None,
              f"polling thread {on['poll_thread_cpu_s'] / on['wall_s'] * 100:.1f}%")


def zenoh_thread(name):
    """zenoh's runtime threads (rx-0, net-0, ...); the program's own threads keep its name."""
    return name.split("-")[0] in {"acc", "app", "net", "rx", "tx"}


def thread_cpu(pid):
    """CPU seconds so far of the process's zenoh threads and of its other threads."""
    ticks = os.sysconf("SC_CLK_TCK")
    split = {"zenoh": 0.0, "own": 0.0}
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/stat") as file:
            stat = file.read()
        name, fields = stat[stat.index("(") + 1:stat.rindex(")")], stat[stat.rindex(")") + 2:].split()
        split["zenoh" if zenoh_thread(name) else "own"] += (int(fields[11]) + int(fields[12])) / ticks
    return split


def wait_watching_threads(process):
    """Waits for `process`; returns its exit code, resource use, and the share of a core its zenoh threads and
    its own threads used, from the last look at them (every 0.2 s) before it ended."""
    started, shares = time.monotonic(), {}
    while True:
        pid, status, usage = os.wait4(process.pid, os.WNOHANG)
        if pid:
            return os.waitstatus_to_exitcode(status), usage, shares
        try:
            split = thread_cpu(process.pid)
            shares = {kind: cpu / (time.monotonic() - started) for kind, cpu in split.items()}
        except (FileNotFoundError, ProcessLookupError):
            pass  # ending between the two calls
        time.sleep(0.2)


def record_once(args, file_format):
    """One `qrk record` of qrk-sim at 1 kHz in `file_format`: its metadata, bytes and resource use."""
    with RobotServer([args.build / "sim/qrk-sim", "--serial", "BENCH-RECORD", "--rate", 1000]), \
            tempfile.TemporaryDirectory() as folder:
        prefix = Path(folder) / "run"
        recorder = subprocess.Popen([args.build / "cli/qrk", "record", "BENCH-RECORD", "--seconds", str(args.seconds),
                                     "-o", prefix, "--format", file_format], stdout=subprocess.DEVNULL)
        recorder.returncode, usage, shares = wait_watching_threads(recorder)
        if recorder.returncode != 0:
            sys.exit(f"qrk record --format {file_format} failed with status {recorder.returncode}")
        run = {"size": sum(path.stat().st_size for path in Path(folder).iterdir()),
               "cpu_s": usage.ru_utime + usage.ru_stime, "rss_mib": usage.ru_maxrss / 1024, "threads": shares}
        if file_format in ("mcap", "ros2"):
            with open(prefix.with_suffix(".mcap"), "rb") as file:
                reader = make_reader(file)
                ended = next(m.metadata for m in reader.iter_metadata() if m.name == "recording")
                # The message indexes follow each chunk; the summary's chunk indexes say where and how long.
                run["index_bytes"] = sum(chunk.message_index_length for chunk in reader.get_summary().chunk_indexes)
            run["wall_s"] = float(ended["end_time"]) - float(ended["start_time"])
            run["dropped"] = int(ended["basic_dropped"]) + int(ended["extra_dropped"])
            run["written"] = int(ended["basic_written"])
        else:
            meta = json.loads(prefix.with_suffix(".meta.json").read_text())
            counts = meta["streams"]["basic"]
            with open(Path(folder) / counts["file"]) as rows:
                next(rows)
                run["stamps"] = [int(line.split(",", 4)[3]) for line in rows]
            run["wall_s"] = meta["end_time"] - meta["start_time"]
            run["dropped"] = counts["dropped"] + meta["streams"]["extra"]["dropped"]
        run["share"] = run["cpu_s"] / run["wall_s"]
        return run


def middle(runs, *keys):
    """The median over `runs` of the value at `keys` (run["threads"]["own"]: "threads", "own")."""
    def value(run):
        for key in keys:
            run = run[key]
        return run
    return median([value(run) for run in runs])


def recording(args, table):
    # CSV, MCAP and ROS 2 in turn, so that a change in the machine's load
    # over the runs falls on every format alike; each figure is the median of
    # its format's runs (on 2 busy cores one run's CPU share can be a fifth
    # off).
    csvs, mcaps, ros2s = [], [], []
    for _ in range(args.recording_runs):
        csvs.append(record_once(args, "csv"))
        mcaps.append(record_once(args, "mcap"))
        ros2s.append(record_once(args, "ros2"))
    csv = csvs[0]
    sent = csv["stamps"][-1] - csv["stamps"][0] + 1
    written = len(set(csv["stamps"]))
    runs = f"median of {args.recording_runs} interleaved runs"
    table.add(f"recording at 1 kHz, {args.seconds:g} s: basic samples written / sent in the same span",
              f"{written}", f"{sent}", written / sent, None,
              f"first CSV run; dropped {sum(run['dropped'] for run in csvs + mcaps + ros2s)} (both streams, every "
              f"run of every format); {csv['size'] / 1e6:.0f} MB written")
    csv_share = middle(csvs, "share")
    table.add("recording: qrk record CPU share (both streams, 5 groups, CSV)", f"{csv_share * 100:.1f}% of a core",
              "", None, None, f"{runs}; peak RSS {middle(csvs, 'rss_mib'):.0f} MiB")
    csv_size, mcap_size, index_size = middle(csvs, "size"), middle(mcaps, "size"), middle(mcaps, "index_bytes")
    hour = 3600 / middle(csvs, "wall_s")
    table.add("recording: MCAP (zstd, with message indexes) bytes vs CSV for the same time",
              f"{mcap_size / 1e6:.1f} MB", f"{csv_size / 1e6:.1f} MB", mcap_size / csv_size, 0.25,
              f"message indexes {index_size / 1e6:.1f} MB of it ({(mcap_size - index_size) / csv_size:.2f} of CSV "
              f"without them); per robot-hour: MCAP {mcap_size * hour / 1e9:.1f} GB, "
              f"CSV {csv_size * hour / 1e9:.1f} GB")
    mcap_share = middle(mcaps, "share")
    ratios = pair_ratios(mcaps, csvs, "share")
    table.add("recording: MCAP (zstd) CPU share vs CSV", f"{mcap_share * 100:.1f}% of a core",
              f"{csv_share * 100:.1f}%", mcap_share / csv_share, 1.0,
              f"{runs} (each pair's ratio: {ratios}); {mcaps[0]['written']} basic samples written; "
              f"peak RSS {middle(mcaps, 'rss_mib'):.0f} MiB")
    # What no format can save: zenoh's threads receive the same samples for
    # both (and run the client's callbacks, the same in both).
    csv_zenoh, mcap_zenoh = middle(csvs, "threads", "zenoh"), middle(mcaps, "threads", "zenoh")
    table.add("recording: zenoh's threads in the MCAP recorder vs the whole CSV recorder",
              f"{mcap_zenoh * 100:.1f}% of a core", f"{csv_share * 100:.1f}%", mcap_zenoh / csv_share, None,
              f"the least MCAP's CPU ratio could be; zenoh's threads use {csv_zenoh * 100:.1f}% (CSV); the "
              f"recorder's own threads {middle(mcaps, 'threads', 'own') * 100:.1f}% (MCAP) and "
              f"{middle(csvs, 'threads', 'own') * 100:.1f}% (CSV)")
    ros2_size, ros2_index = middle(ros2s, "size"), middle(ros2s, "index_bytes")
    table.add("recording: ROS 2 MCAP (CDR, zstd) bytes vs CSV", f"{ros2_size / 1e6:.1f} MB",
              f"{csv_size / 1e6:.1f} MB", ros2_size / csv_size, 0.25,
              f"each pair's ratio: {pair_ratios(ros2s, csvs, 'size')}; message indexes {ros2_index / 1e6:.1f} MB of "
              f"it; {ros2_size / mcap_size:.2f} of MCAP (protobuf); per robot-hour {ros2_size * hour / 1e9:.1f} GB")
    ros2_share = middle(ros2s, "share")
    table.add("recording: ROS 2 MCAP CPU share vs MCAP (protobuf)", f"{ros2_share * 100:.1f}% of a core",
              f"{mcap_share * 100:.1f}%", ros2_share / mcap_share, 1.1,
              f"{runs} (each pair's ratio: {pair_ratios(ros2s, mcaps, 'share')}); {ros2s[0]['written']} basic "
              f"samples written; dropped {sum(run['dropped'] for run in ros2s)}; zenoh's threads "
              f"{middle(ros2s, 'threads', 'zenoh') * 100:.1f}%, the recorder's own "
              f"{middle(ros2s, 'threads', 'own') * 100:.1f}%; peak RSS {middle(ros2s, 'rss_mib'):.0f} MiB")
    encode_cost(table)


# foxglove/src/ros2/cost_bench.rs, built by scripts/bench beside the programs.
ENCODE_COST = ["cargo", "test", "--release", "--locked", "--offline", "--lib", "-p", "velmor_foxglove", "encode_cost",
               "--", "--ignored", "--nocapture"]


def encode_cost(table):
    """Each recording's encoders on one sample of five groups, from the cost bench's rows "<name> <bytes> B <ns> ns"."""
    env = dict(os.environ, CARGO_TARGET_DIR=os.environ["VELMOR_CARGO_TARGET_DIR"])
    done = subprocess.run(ENCODE_COST, cwd=ROOT, capture_output=True, text=True, env=env, timeout=600)
    if done.returncode != 0:
        raise RuntimeError(f"the encoder cost bench failed ({done.returncode}):\n{done.stderr[-3000:]}")
    rows = {}
    for line in done.stdout.splitlines():
        name, _, figures = line.partition(", 5 groups ")
        if figures.endswith(" ns"):
            size, _, ns, _ = figures.split()
            rows[name] = (int(size), float(ns))
    (ros2_bytes, ros2_ns), (protobuf_bytes, protobuf_ns) = rows["ros2 recording"], rows["protobuf recording"]
    table.add("recording: ROS 2 encoders' cost per sample (5 groups, both streams) vs the protobuf recording's",
              f"{ros2_ns:.0f} ns", f"{protobuf_ns:.0f} ns", ros2_ns / protobuf_ns, None,
              f"every channel's message of one sample, table checks included: {ros2_bytes} B (ROS 2), "
              f"{protobuf_bytes} B (protobuf) before compression; foxglove/src/ros2/cost_bench.rs, median of 7 "
              "interleaved rounds")


def pair_ratios(runs, references, key):
    """Each run's `key` over that of the reference run of its round, as text."""
    return ", ".join(f"{run[key] / reference[key]:.2f}" for run, reference in zip(runs, references, strict=True))


def fleet_lines(text, label):
    """The number lists of the lines "<label> <number>..."."""
    return [[int(value) for value in line.split()[1:]] for line in text.splitlines()
            if line.split()[:1] == [label]]


def median(values):
    return percentile(values, 0.5)


class BareReference:
    """e2e_reader fleet-bare beside the measured process: the same keys' bare
    subscribers in a process of their own, their receive CPU read every 100 ms."""

    def __init__(self, bench, serials):
        self._output = tempfile.NamedTemporaryFile("w+")
        self.process = subprocess.Popen([bench / "e2e_reader", "fleet-bare", ",".join(serials), "3600"],
                                        stdout=self._output, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 20
        while "ready" not in Path(self._output.name).read_text():
            if time.monotonic() > deadline or self.process.poll() is not None:
                self.stop()
                raise RuntimeError("e2e_reader fleet-bare did not get ready")
            time.sleep(0.05)

    def stop(self):
        if self.process.poll() is None:
            time.sleep(0.3)  # a reading after the last measured phase's end
            self.process.terminate()
            self.process.wait()
        self.ticks = fleet_lines(Path(self._output.name).read_text(), "tick")
        self._output.close()

    def per_sample(self, start_ns, wall_ns):
        """Bare CPU ns per basic sample over the readings that span [start, start + wall]."""
        before = [tick for tick in self.ticks if tick[0] <= start_ns]
        after = [tick for tick in self.ticks if tick[0] >= start_ns + wall_ns]
        if not before or not after:
            raise RuntimeError("the bare reference process did not cover a measured phase")
        (_, cpu0, samples0), (_, cpu1, samples1) = before[-1], after[0]
        return (cpu1 - cpu0) / (samples1 - samples0)


class FleetTable:
    HEAD = ["N", "reader", "receive CPU per robot sample: ours / bare (medians)", "ratio, load-corrected",
            "aim: C++ ≤ 1.05, Python ≤ 1.1",
            "receive CPU per robot", "freshness median: ours / bare", "freshness p99: ours / bare",
            "paired difference median / p99",
            "N-th client construction", "RSS per added client", "threads", "basic samples lost / sent"]

    def __init__(self):
        self.rows = []
        self.missed = []

    def add(self, cells):
        self.rows.append([str(cell) for cell in cells])

    def markdown(self):
        lines = ["| " + " | ".join(self.HEAD) + " |", "|" + "---|" * len(self.HEAD)]
        lines += ["| " + " | ".join(row) + " |" for row in self.rows]
        return "\n".join(lines)


def core_share(out, label, n):
    """A robot's share of a core in the phases of `label`."""
    return median([v[0] / v[1] / n for v in fleet_lines(out, label)])


# CPU ns per basic sample of one robot (with its extra sample), raw and as a share of the reference
# process's over the same span of time. That share cancels the machine's changing load; dividing the
# clients' share by the bare phases' share cancels what separates the two processes (the bare phase
# holds the same subscribers as the reference, yet reads some 10-15% below it). One ratio per round.
def normalised_cpu(out, label, reference):
    raw = [(cpu / samples, reference.per_sample(start, wall))
           for cpu, wall, samples, start in fleet_lines(out, label)]
    return [ours for ours, _ in raw], [ours / ref for ours, ref in raw]


def losses(out, *labels):
    """(lost, sent) of basic samples in the given phases."""
    counts = [v for label in labels for v in fleet_lines(out, label)]
    return sum(lost for _, lost in counts), sum(arrived + lost for arrived, lost in counts)


def fleet(args, env):
    bench = args.build / "bench"
    table = FleetTable()
    per_robot = {"C++": {}, "Python": {}}
    threads = {"C++": {}, "Python": {}}
    for n in args.fleet_sizes:
        serials = [f"BENCH-FLEET-{i + 1}" for i in range(n)]
        argv = [bench / "stamp-server", "--rate", 1000, "--groups", "2,3,4,5", "--duration", 3600]
        for serial in serials:
            argv += ["--serial", serial]
        with RobotServer(argv):
            reference = BareReference(bench, serials)
            try:
                out = run([bench / "e2e_reader", "fleet", ",".join(serials), args.fleet_seconds])
                python = json_line(run([sys.executable, ROOT / "bench/python/fleet.py", "--serials",
                                        ",".join(serials), "--seconds", args.fleet_seconds, "--rounds", 3], env=env))
            finally:
                reference.stop()

        client_raw, client_share = normalised_cpu(out, "cpu_client", reference)
        bare_raw, bare_share = normalised_cpu(out, "cpu_bare", reference)
        ratios = [c / b for c, b in zip(client_share, bare_share, strict=True)]
        ours, bare, ratio = median(client_raw), median(bare_raw), median(ratios)
        verdict = "met" if ratio <= 1.05 else "MISSED"
        if verdict == "MISSED":
            table.missed.append(f"receive CPU ratio at N = {n}")
        found = pairs(out)
        fresh_bare, fresh_ours = [p[0] for p in found], [p[1] for p in found]
        extra = [client - raw for raw, client in found]
        construct = median([ns for i, ns in fleet_lines(out, "construct") if i == n])
        rss = {i: value for i, value in fleet_lines(out, "rss")}
        rss_base = fleet_lines(out, "rss_base")[0][0]
        added = (rss[n] - rss[1]) / (n - 1) if n > 1 else rss[1] - rss_base
        lost, sent = losses(out, "lost_clients", "lost_tight")
        lost_poll, sent_poll = losses(out, "lost_clients")
        lost_bare, sent_bare = losses(out, "lost_bare")
        lost_spin, sent_spin = losses(out, "lost_spin")
        with_clients = max(v[0] for v in fleet_lines(out, "threads"))
        per_robot["C++"][n], threads["C++"][n] = core_share(out, "cpu_client", n), with_clients
        table.add([n, "C++", f"{us(ours)} / {us(bare)}",
                   f"{ratio:.2f} (rounds {min(ratios):.2f}-{max(ratios):.2f})", verdict,
                   f"{per_robot['C++'][n] * 100:.2f}% of a core",
                   f"{us(percentile(fresh_ours, 0.5))} / {us(percentile(fresh_bare, 0.5))}",
                   f"{us(percentile(fresh_ours, 0.99))} / {us(percentile(fresh_bare, 0.99))}",
                   f"{us(percentile(extra, 0.5))} / {us(percentile(extra, 0.99))} ({len(found)} pairs)",
                   f"{construct / 1e6:.0f} ms", f"{added / 1024:.0f} KiB" + (" (the first client)" if n == 1 else ""),
                   f"{fleet_lines(out, 'threads_base')[0][0]} session alone, {with_clients} with clients",
                   f"{lost} / {sent} with clients ({lost_poll} / {sent_poll} while polled at 100 Hz); "
                   f"{lost_bare} / {sent_bare} with bare subscribers, {lost_spin} / {sent_spin} with bare "
                   f"subscribers and a thread spinning in the tight poll's place"])

        phases = python["phases"]
        # The Python process is measured against the reference like the clients' one, and its share divided
        # by the C++ bare phases' share of the same run.
        py_raw = [phase["receive_cpu_s"] * 1e9 / phase["sent"] for phase in phases]
        py_ratios = [ours / reference.per_sample(phase["start_ns"], round(phase["wall_s"] * 1e9)) /
                     median(bare_share) for ours, phase in zip(py_raw, phases, strict=True)]
        py_ours, py_ratio = median(py_raw), median(py_ratios)
        py_verdict = "met" if py_ratio <= 1.1 else "MISSED"
        if py_verdict == "MISSED":
            table.missed.append(f"Python receive CPU ratio at N = {n}")
        py_rss = python["rss"]
        py_added = (py_rss[-1] - py_rss[0]) / (n - 1) if n > 1 else py_rss[0] - python["rss_base"]
        per_robot["Python"][n] = median([phase["receive_cpu_s"] / phase["wall_s"] / n for phase in phases])
        threads["Python"][n] = python["threads"]
        table.add([n, "Python", f"{us(py_ours)} / {us(bare)} (C++ bare phases)",
                   f"{py_ratio:.2f} (phases {min(py_ratios):.2f}-{max(py_ratios):.2f})", py_verdict,
                   f"{per_robot['Python'][n] * 100:.2f}% of a core", "", "", "",
                   f"{python['construct_s'][-1] * 1e3:.0f} ms",
                   f"{py_added / 1024:.0f} KiB" + (" (the first client, opening the session)" if n == 1 else ""),
                   f"{python['threads_base']} before the first client, {python['threads']} with clients",
                   f"seen by the 100 Hz poll: {sum(p['seen'] for p in phases)} of "
                   f"{sum(p['sent'] for p in phases)} sent"])
        if n == max(args.fleet_sizes) and lost:
            table.missed.append(f"{lost} basic samples lost at N = {n}")
    notes = []
    for reader in ("C++", "Python"):
        shares, counts = per_robot[reader], threads[reader]
        smallest, largest = min(shares), max(shares)
        notes.append(f"{reader}: receive CPU per robot {shares[smallest] * 100:.2f}% of a core at N = {smallest}, "
                     f"{shares[largest] * 100:.2f}% at N = {largest} (×{shares[largest] / shares[smallest]:.2f}); "
                     f"threads with clients {', '.join(f'{counts[k]}' for k in sorted(counts))} "
                     f"for N = {', '.join(str(k) for k in sorted(counts))}")
        if len(set(counts.values())) != 1:
            table.missed.append(f"{reader} thread count depends on N")
    return table, notes


def machine():
    model = "unknown"
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            model = line.split(":", 1)[1].strip()
            break
    return f"{os.cpu_count()} × {model}, {platform.system()} {platform.release()}"


def write_results(path, header, table_text, begin=BEGIN, end=END):
    section = f"{begin}\n{header}\n\n{table_text}\n{end}"
    text = path.read_text() if path.exists() else "# Benchmark results\n\nWritten by scripts/bench.\n\n"
    if begin in text and end in text:
        text = text[:text.index(begin)] + section + text[text.index(end) + len(end):]
    else:
        text = text.rstrip("\n") + "\n\n" + section + "\n"
    path.write_text(text)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", type=Path, required=True)
    parser.add_argument("--seconds", type=float, default=60.0, help="sustained streams duration")
    parser.add_argument("--rounds", type=int, default=3, help="freshness rounds")
    parser.add_argument("--samples", type=int, default=3000, help="freshness samples per round")
    parser.add_argument("--queries", type=int, default=1000, help="query round trips of each kind")
    parser.add_argument("--results", type=Path, default=ROOT / "bench/RESULTS.md")
    parser.add_argument("--no-record", action="store_true", help="print the table only (CI)")
    parser.add_argument("--recording-runs", type=int, default=3, help="runs of each format, interleaved")
    parser.add_argument("--recording-only", action="store_true",
                        help="run the recording rows alone and print them (bench/RESULTS.md untouched)")
    parser.add_argument("--fleet", action="store_true", help="run the fleet benchmark alone")
    parser.add_argument("--fleet-sizes", type=lambda text: [int(n) for n in text.split(",")], default=[1, 2, 4, 8])
    parser.add_argument("--fleet-seconds", type=int, default=5, help="length of each fleet phase")
    parser.add_argument("--serve", action="store_true", help="run the qrk serve benchmark alone")
    args = parser.parse_args()
    problem = isolation_problem()
    if problem:
        sys.exit(f"REFUSING TO RUN: {problem}")

    # The module and the helper module as built, and the tests' client_connect.
    env = dict(os.environ, PYTHONPATH=f"{args.build / 'python'}:{args.build / 'bench'}:{ROOT / 'tests/python'}")
    load_before = os.getloadavg()[0]
    if args.fleet:
        table, notes = fleet(args, env)
        load_after = os.getloadavg()[0]
        header = (f"Machine: {machine()}  \nDate: {datetime.datetime.now().astimezone():%Y-%m-%d %H:%M %Z}  \n"
                  f"Load average (1 min) before/after: {load_before:.2f}/{load_after:.2f}  \n"
                  f"Build: Release, {args.build}; N = {', '.join(map(str, args.fleet_sizes))}; "
                  f"phases of {args.fleet_seconds} s, 5 rounds (C++), 3 (Python)")
        text = table.markdown() + "\n\n" + "\n".join(f"- {note}" for note in notes)
        print(header + "\n\n" + text)
        if not args.no_record:
            write_results(args.results, header, text, FLEET_BEGIN, FLEET_END)
        if table.missed:
            print(f"\naims missed: {', '.join(table.missed)}")
        return
    if args.serve:
        table = Table()
        serve_bench(args, table)
        header = (f"Machine: {machine()}  \nDate: {datetime.datetime.now().astimezone():%Y-%m-%d %H:%M %Z}  \n"
                  f"Load average (1 min) before/after: {load_before:.2f}/{os.getloadavg()[0]:.2f}  \n"
                  f"Build: Release, {args.build}")
        print(header + "\n\n" + table.markdown())
        if not args.no_record:
            write_results(args.results, header, table.markdown(), SERVE_BEGIN, SERVE_END)
        if table.missed:
            print(f"\naims missed: {', '.join(table.missed)}")
        return
    table = Table()
    if args.recording_only:
        args.no_record = True
    else:
        receive_cost(args, table)
        freshness(args, table, env)
        call_cost(args, table, env)
        sustained(args, table, env)
    recording(args, table)
    load_after = os.getloadavg()[0]

    header = (f"Machine: {machine()}  \nDate: {datetime.datetime.now().astimezone():%Y-%m-%d %H:%M %Z}  \n"
              f"Load average (1 min) before/after: {load_before:.2f}/{load_after:.2f}  \n"
              f"Build: Release, {args.build}; sustained {args.seconds:g} s")
    text = table.markdown()
    print(header + "\n\n" + text)
    if not args.no_record:
        write_results(args.results, header, text)
    if table.missed:
        print(f"\naims missed: {', '.join(table.missed)}")


if __name__ == "__main__":
    main()

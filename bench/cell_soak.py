"""qrk record left in the cell for a long span (scripts/soak --cell): the figures for bench/RESULTS.md.

qrk-sim streams five joint groups at 1 kHz on the peer host, pressing and releasing its E-stop now and then (SIGUSR2).
Two recorders take it at the same time for the same span:

  plain    today's recording: one unsplit MCAP file, the reference for CPU
  cell     MCAP in pieces (--split-seconds 60), within --keep-bytes, with --snapshot 10:5 --on estop

The simulator starts with its streams paused and resumes once both recorders wait for it, and it stops before them,
so that every sample it sent fell in both recordings' span: samples lost are those it sent minus those each recorder
wrote (the closing summaries' counts, over every piece, deleted ones included). Every few seconds: each recorder's
resident memory and the bytes of the cell's series on the disk (its snapshots apart). At the end one table: memory
(first, largest, last quarter's mean: flat), disk against the bound, and CPU per sample of both recorders (both under
the same load, so their ratio is fair), and that ratio again for each minute of the run: its spread is the noise
the whole run's ratio carries.
"""

import argparse
import os
import re
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests/python"))
from peer_host import RobotServer  # noqa: E402  (the tests' server processes, on the path above)

SERIAL = "SOAK-CELL-1"
PIECE = re.compile(r"^cell-\d{8}T\d{6}Z-(\d{6})\.")
SAMPLE_PERIOD = 5.0
BLOCK_SECONDS = 60.0  # a span of the run over which the CPU ratio is taken again, one E-stop cycle
ESTOP_PERIOD = 60.0  # pressed at 30 s into each minute, released 15 s later


def resident_bytes(pid):
    status = Path(f"/proc/{pid}/status").read_text()
    return int(next(line.split()[1] for line in status.splitlines() if line.startswith("VmRSS:"))) * 1024


def cpu_seconds(pid):
    """User and system time of a running process so far."""
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def block_ratios(cpu, every):
    """The cell recorder's CPU over the plain one's in each span of `every` readings: both took the same samples
    in it, so the spread of these is the noise a whole run's ratio carries."""
    ratios = []
    for start in range(0, len(cpu["plain"]) - every, every):
        plain = cpu["plain"][start + every] - cpu["plain"][start]
        cell = cpu["cell"][start + every] - cpu["cell"][start]
        if plain > 0:
            ratios.append(cell / plain)
    return ratios


def series_bytes(folder):
    """The bytes of the cell recorder's pieces, complete and open, and their numbers (complete ones only)."""
    held, numbers = 0, []
    for path in folder.iterdir():
        if match := PIECE.match(path.name):
            try:
                held += path.stat().st_size
            except FileNotFoundError:
                continue  # renamed or deleted between the listing and the look
            if ".active" not in path.name:
                numbers.append(int(match.group(1)))
    return held, sorted(set(numbers))


def summary_counts(summary):
    """{stream: (received, written, dropped)} from a closing summary."""
    counts = {}
    for stream in ("basic", "extra"):
        found = re.search(rf"^{stream} stream: (\d+) samples received, (\d+) written .*?, (\d+) dropped", summary,
                          re.M)
        if not found:
            sys.exit(f"no {stream} line in the summary:\n{summary}")
        counts[stream] = tuple(map(int, found.groups()))
    return counts


def started(argv):
    """A recorder started against the paused simulator, once it says it waits for the first sample."""
    process = subprocess.Popen(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    said = process.stderr.readline()
    if process.poll() is not None:
        sys.exit(f"{' '.join(map(str, argv))} ended at start: {said}{process.stderr.read()}")
    return process


def ended(process):
    """Stops a recorder with SIGTERM: its summary and its CPU seconds over its whole run. Not SIGINT: a soak left
    running as a background job (`nohup scripts/soak --cell &`) starts every program with SIGINT ignored, which
    they keep."""
    process.send_signal(signal.SIGTERM)
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit(f"a recorder failed (status {process.returncode}):\n{process.stdout.read()}{process.stderr.read()}")
    return process.stdout.read(), usage.ru_utime + usage.ru_stime


def toggles_due(elapsed):
    """E-stop toggles due `elapsed` seconds into the run: pressed 30 s into each minute, released 15 s later."""
    return sum(int((elapsed - at) // ESTOP_PERIOD) + 1 for at in (30.0, 45.0) if elapsed >= at)


def soak(args):
    build = Path(args.build)
    with tempfile.TemporaryDirectory(dir=args.folder) as scratch:
        plain_folder, cell_folder = Path(scratch) / "plain", Path(scratch) / "cell"
        plain_folder.mkdir()
        cell_folder.mkdir()
        qrk = build / "cli/qrk"
        rss = {"plain": [], "cell": []}
        cpu = {"plain": [], "cell": []}
        disk, toggles = [], 0
        with RobotServer([build / "sim/qrk-sim", "--serial", SERIAL, "--rate", 1000, "--start-paused"]) as robot:
            recorders = {
                "plain": started([qrk, "record", SERIAL, "-o", plain_folder / "run", "--format", "mcap"]),
                "cell": started([qrk, "record", SERIAL, "-o", cell_folder / "cell", "--format", "mcap",
                                 "--split-seconds", "60", "--keep-bytes", args.keep_bytes, "--snapshot", "10:5", "--on",
                                 "estop"]),
            }
            # Each has said it waits, then goes on to subscribe: a moment for that (no sign of it to wait on), so
            # that none of the first samples is sent before both listen.
            time.sleep(2)
            robot.process.send_signal(signal.SIGUSR1)  # the streams begin
            start = time.monotonic()
            end = start + args.minutes * 60
            while (now := time.monotonic()) < end:
                for _ in range(toggles, 0 if args.no_events else toggles_due(now - start)):
                    robot.process.send_signal(signal.SIGUSR2)
                    toggles += 1
                for name, process in recorders.items():
                    rss[name].append(resident_bytes(process.pid))
                    cpu[name].append(cpu_seconds(process.pid))
                disk.append(series_bytes(cell_folder)[0])
                time.sleep(max(0.0, min(SAMPLE_PERIOD, end - time.monotonic())))
        stopped = re.search(r"stopping after [\d.]+ s, (\d+) samples per robot", robot.log)
        if not stopped:
            sys.exit(f"qrk-sim did not say how many samples it sent (status {robot.process.returncode}):\n{robot.log}")
        sent = int(stopped.group(1))
        time.sleep(2)  # the last samples on their way
        results = {name: ended(process) for name, process in recorders.items()}
        snapshots = sorted(path for path in cell_folder.iterdir() if "-snap-" in path.name)
        figures = {"sent": sent, "toggles": toggles, "rss": rss, "cpu": cpu, "disk": disk,
                   "pieces": series_bytes(cell_folder)[1], "snapshots": len(snapshots),
                   "snapshot_bytes": sum(path.stat().st_size for path in snapshots)}
    print_table(args, figures, {name: (summary_counts(out), cpu, out) for name, (out, cpu) in results.items()})


def print_table(args, figures, results):
    sent, numbers = figures["sent"], figures["pieces"]
    # CPU over the samples of one stream: a sample here is one of each stream.
    per_sample = {name: cpu / max(1, counts["basic"][0]) for name, (counts, cpu, _) in results.items()}
    print(f"\ncell soak: {args.minutes:g} min, qrk-sim five groups at 1 kHz, {sent} samples sent per stream, "
          f"{figures['toggles']} E-stop toggles (SIGUSR2)")
    cell = f"--split-seconds 60 --keep-bytes {args.keep_bytes} --snapshot 10:5 --on estop"
    print(f"| | plain MCAP (reference) | {cell} |")
    print("|---|---|---|")
    for stream in ("basic", "extra"):
        cells = [f"{sent - counts[stream][1]}: {sent - counts[stream][0]} / {counts[stream][2]} / "
                 f"{counts[stream][0] - counts[stream][1] - counts[stream][2]}" for counts, _, _ in results.values()]
        print(f"| {stream} samples lost, sent - written: not received / dropped / not written | {cells[0]} | "
              f"{cells[1]} |")
    rss = figures["rss"]
    print(f"| RSS (MB), every {SAMPLE_PERIOD:g} s: first / max / last quarter's mean | {memory_cell(rss['plain'])} | "
          f"{memory_cell(rss['cell'])} |")
    print(f"| series on disk (MB), every {SAMPLE_PERIOD:g} s: max / bound | - | {max(figures['disk']) / 1e6:.1f} / "
          f"{parse_bytes(args.keep_bytes) / 1e6:.1f} |")
    kept = f"pieces {numbers[0]} to {numbers[-1]} kept" if numbers else "no piece complete"
    print(f"| pieces at the end | - | {kept}; {series_line(results['cell'][2])} |")
    print(f"| snapshots (beside the series, outside its bound) | - | {figures['snapshots']} files, "
          f"{figures['snapshot_bytes'] / 1e6:.1f} MB |")
    print(f"| CPU per sample (us, both streams) | {per_sample['plain'] * 1e6:.1f} | {per_sample['cell'] * 1e6:.1f} "
          f"(x{per_sample['cell'] / per_sample['plain']:.2f}) |")
    ratios = block_ratios(figures["cpu"], int(BLOCK_SECONDS / SAMPLE_PERIOD))
    if ratios:
        print(f"| CPU ratio per {BLOCK_SECONDS / 60:g} min of the run: median (min-max), {len(ratios)} spans | - | "
              f"x{statistics.median(ratios):.2f} ({min(ratios):.2f}-{max(ratios):.2f}) |")


def memory_cell(sizes):
    quarter = sizes[-max(1, len(sizes) // 4):]
    return f"{sizes[0] / 1e6:.1f} / {max(sizes) / 1e6:.1f} / {statistics.mean(quarter) / 1e6:.1f}"


def series_line(summary):
    found = re.search(r"^series: (.*)$", summary, re.M)
    return found.group(1) if found else "no series line"


def parse_bytes(text):
    found = re.fullmatch(r"(\d+)([KMG]?)", text)
    return int(found.group(1)) * {"": 1, "K": 10**3, "M": 10**6, "G": 10**9}[found.group(2)]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", required=True, help="the build folder holding sim/qrk-sim and cli/qrk")
    parser.add_argument("--minutes", type=float, default=60.0)
    parser.add_argument("--keep-bytes", default="1G", help="the cell recorder's --keep-bytes (decimal units)")
    parser.add_argument("--no-events", action="store_true",
                        help="never press the E-stop: the ring fills but no snapshot is written, which leaves what "
                        "splitting, retention and the ring cost apart from the snapshot files' own writing")
    parser.add_argument("--folder", default=None, help="where the recordings go (a temporary folder in it)")
    soak(parser.parse_args())


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""The tool as a user meets it, measured on the release build: how soon a
key shows, what it costs while nothing happens, how fast it starts and
closes, and how much memory it takes. Prints table rows; checks nothing.

    bench/tool_bench.py --build build/native-release [--json FILE] [--changes N]

Every run starts the real executable from a directory of its own with the
driver library beside it, as a user's copy is found. The terminal is a
pseudo-terminal owned by this script, so each byte the tool draws is
timestamped as it arrives; with its output to a pipe the tool prints one line
per field change instead.
"""
import argparse
import fcntl
import json
import os
import pty
import random
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time

CAPTION = b"Remote Control Test"
POLL_MS = 20
NS_PER_MS = 1_000_000


def now_ns():
    # CLOCK_MONOTONIC, the clock the simulated card counts its script on.
    return time.clock_gettime_ns(time.CLOCK_MONOTONIC)


class RunDir:
    """A directory holding the tool and one driver library beside it."""

    def __init__(self, build, library):
        self.path = tempfile.mkdtemp(prefix="rm-bench-")
        self.exe = os.path.join(self.path, "RemoteMonitor")
        shutil.copy2(os.path.join(build, "bin", "RemoteMonitor"), self.exe)
        shutil.copy2(library, os.path.join(self.path, "TavrixRC.dll"))

    def file(self, name):
        return os.path.join(self.path, name)

    def close(self):
        shutil.rmtree(self.path, ignore_errors=True)


class Terminal:
    """The tool on a pseudo-terminal of 80 x 24; a thread drains and
    timestamps what it draws."""

    def __init__(self, run_dir, env):
        self.master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
        full_env = dict(os.environ, TERM="xterm", **env)
        self.output = bytearray()
        self.caption_ns = None
        self.lock = threading.Lock()
        self.start_ns = now_ns()
        self.proc = subprocess.Popen([run_dir.exe], cwd=run_dir.path, env=full_env, stdin=slave, stdout=slave,
                                     stderr=slave, start_new_session=True)
        os.close(slave)
        self.reader = threading.Thread(target=self._drain, daemon=True)
        self.reader.start()

    def _drain(self):
        while True:
            try:
                data = os.read(self.master, 65536)
            except OSError:
                return
            if not data:
                return
            stamp = now_ns()
            with self.lock:
                self.output += data
                if self.caption_ns is None and CAPTION in self.output:
                    self.caption_ns = stamp

    def wait_for_caption(self, timeout_s=10.0):
        deadline = time.monotonic() + timeout_s
        while time.monotonic() < deadline:
            with self.lock:
                if self.caption_ns is not None:
                    return self.caption_ns
            time.sleep(0.001)
        raise RuntimeError("the dialog did not show within %.0f s" % timeout_s)

    def press(self, keys):
        os.write(self.master, keys)

    def end(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.reader.join(timeout=2)
        os.close(self.master)


def status_field(pid, field):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(field + ":"):
                return line.split()[1:]
    return None


def thread_sample(pid):
    """Per thread: name, CPU time in ns, voluntary and involuntary context
    switches."""
    threads = {}
    for tid in os.listdir("/proc/%d/task" % pid):
        base = "/proc/%d/task/%s/" % (pid, tid)
        try:
            with open(base + "comm") as f:
                name = f.read().strip()
            with open(base + "schedstat") as f:
                cpu_ns = int(f.read().split()[0])
            switches = {}
            with open(base + "status") as f:
                for line in f:
                    key, _, value = line.partition(":")
                    if key.endswith("ctxt_switches"):
                        switches[key] = int(value)
        except OSError:
            continue
        threads[int(tid)] = (name, cpu_ns, switches.get("voluntary_ctxt_switches", 0),
                             switches.get("nonvoluntary_ctxt_switches", 0))
    return threads


def percentile(sorted_values, fraction):
    index = min(len(sorted_values) - 1, max(0, int(round(fraction * (len(sorted_values) - 1)))))
    return sorted_values[index]


class Table:
    def __init__(self, suite):
        self.suite = suite
        self.figures = []

    def add(self, figure, value, unit, text, note=""):
        self.figures.append({"figure": figure, "value": value, "unit": unit, "note": note})
        print("| %s | %s | %s | %s |" % (self.suite, figure, text, note), flush=True)


def bench_latency(args, table):
    """Changes at random moments, read back from the tool's line output. The
    card counts its script from the last OpenCard; its call log, a FIFO here,
    says when that was, then is replaced by a directory so that no later call
    pays for logging."""
    rng = random.Random(20261209)
    changes = []
    at_ms = 1000
    previous = None
    for _ in range(args.changes):
        at_ms += rng.randint(POLL_MS + 10, POLL_MS + 60)
        code = rng.choice([c for c in range(0, 200) if c != previous])
        previous = code
        changes.append((at_ms, code))

    run_dir = RunDir(args.build, os.path.join(args.build, "bin", "TavrixRC.dll"))
    try:
        with open(run_dir.file("card.script"), "w") as f:
            for at, code in changes:
                f.write("%d %d\n" % (at, code))
        # The log is a link, so that it can be pointed at a directory in one
        # step: a call that opens it then finds nothing to write to.
        fifo = run_dir.file("calls.fifo")
        os.mkfifo(fifo)
        os.mkdir(run_dir.file("no-log"))
        log = run_dir.file("calls.log")
        os.symlink(fifo, log)
        log_fd = os.open(fifo, os.O_RDONLY | os.O_NONBLOCK)
        env = dict(os.environ, TAVRIXRC_SIM_SCRIPT=run_dir.file("card.script"), TAVRIXRC_SIM_LOG=log,
                   TAVRIXRC_SIM_CARDS="1")
        out_r, out_w = os.pipe()
        proc = subprocess.Popen([run_dir.exe], cwd=run_dir.path, env=env, stdin=subprocess.DEVNULL, stdout=out_w)
        os.close(out_w)

        # The card's origin: OpenCard restarts its clock just before it logs.
        os.set_blocking(log_fd, True)
        pending = b""
        open_ns = None
        while open_ns is None:
            data = os.read(log_fd, 4096)
            if not data:
                time.sleep(0.0002)
                continue
            pending += data
            if b"OpenCard(0) -> 1\n" in pending:
                open_ns = now_ns()
        os.symlink(run_dir.file("no-log"), log + ".new")
        os.rename(log + ".new", log)
        while os.read(log_fd, 4096):
            pass
        os.close(log_fd)

        lines = []
        buffered = b""
        end_ms = changes[-1][0] + 300
        deadline_ns = open_ns + end_ms * NS_PER_MS
        while now_ns() < deadline_ns:
            ready, _, _ = select.select([out_r], [], [], max(0.0, (deadline_ns - now_ns()) / 1e9))
            if not ready:
                break
            data = os.read(out_r, 4096)
            stamp = now_ns()
            if not data:
                break
            buffered += data
            while b"\n" in buffered:
                line, buffered = buffered.split(b"\n", 1)
                lines.append((stamp, line.decode(errors="replace")))
        hwm = status_field(proc.pid, "VmHWM")
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=10)
        os.close(out_r)
    finally:
        run_dir.close()

    code_lines = [(stamp, line[len("RC Code: "):]) for stamp, line in lines if line.startswith("RC Code: ")]
    seen = []
    cursor = 0
    for at, code in changes:
        while cursor < len(code_lines) and code_lines[cursor][1] != str(code):
            cursor += 1
        if cursor == len(code_lines):
            break
        seen.append((at, code_lines[cursor][0]))
        cursor += 1
    if len(seen) < len(changes):
        raise RuntimeError("only %d of %d changes reached the code field" % (len(seen), len(changes)))

    # The origin is whole milliseconds (the card's clock), at or before the
    # moment the log line was read; no field can change before its key.
    origin_ms = open_ns // NS_PER_MS
    while min(stamp - (origin_ms + at) * NS_PER_MS for at, stamp in seen) < 0:
        origin_ms -= 1
    latencies = sorted((stamp - (origin_ms + at) * NS_PER_MS) / NS_PER_MS for at, stamp in seen)
    figures = {
        "min": latencies[0],
        "median": percentile(latencies, 0.5),
        "p99": percentile(latencies, 0.99),
        "max": latencies[-1],
    }
    table.add("key to field, %d changes at random moments" % len(latencies), figures, "ms",
              "%.2f / %.2f / %.2f / %.2f ms" % (figures["min"], figures["median"], figures["p99"], figures["max"]),
              "min / median / p99 / max; the %d ms poll alone gives 0 to %d" % (POLL_MS, POLL_MS))
    return int(hwm[0]) if hwm else None


def bench_idle(args, table):
    """A silent card in the terminal: what each thread wakes for and burns."""
    run_dir = RunDir(args.build, os.path.join(args.build, "bin", "TavrixRC.dll"))
    with open(run_dir.file("card.script"), "w") as f:
        f.write("# a silent card\n")
    term = Terminal(run_dir, {"TAVRIXRC_SIM_SCRIPT": run_dir.file("card.script")})
    try:
        term.wait_for_caption()
        time.sleep(1.0)
        before = thread_sample(term.proc.pid)
        start = time.monotonic()
        time.sleep(args.idle_seconds)
        after = thread_sample(term.proc.pid)
        seconds = time.monotonic() - start
        hwm = status_field(term.proc.pid, "VmHWM")
        term.press(b"\r")
        term.proc.wait(timeout=10)
    finally:
        term.end()
        run_dir.close()

    pid = term.proc.pid
    for tid in sorted(after, key=lambda t: (t != pid, t)):
        if tid not in before:
            continue
        name = "main" if tid == pid else "worker" if len(after) == 2 else "thread %d (%s)" % (tid, after[tid][0])
        cpu = (after[tid][1] - before[tid][1]) / 1e9 / seconds * 100
        voluntary = (after[tid][2] - before[tid][2]) / seconds
        involuntary = (after[tid][3] - before[tid][3]) / seconds
        table.add("idle, %s thread: wake-ups" % name, round(voluntary, 1), "1/s",
                  "%.1f /s" % voluntary, "voluntary context switches; %.1f /s preempted" % involuntary)
        table.add("idle, %s thread: CPU" % name, round(cpu, 4), "%", "%.3f %%" % cpu,
                  "of one core, over %.0f s" % seconds)
    return int(hwm[0]) if hwm else None


def bench_start_and_close(args, table, label, library, env, runs):
    """Spawn to the first paint that carries the caption, then Enter (the
    focused Close button) to the end of the process."""
    starts = []
    closes = []
    for _ in range(runs):
        run_dir = RunDir(args.build, library)
        term = Terminal(run_dir, env)
        try:
            shown_ns = term.wait_for_caption()
            starts.append((shown_ns - term.start_ns) / NS_PER_MS)
            time.sleep(0.3)
            pressed_ns = now_ns()
            term.press(b"\r")
            term.proc.wait(timeout=15)
            closes.append((now_ns() - pressed_ns) / NS_PER_MS)
        finally:
            term.end()
            run_dir.close()
    starts.sort()
    closes.sort()
    if starts and label == "live":
        table.add("exec to dialog shown", {"median": percentile(starts, 0.5), "max": starts[-1]}, "ms",
                  "%.1f / %.1f ms" % (percentile(starts, 0.5), starts[-1]),
                  "median / max of %d; spawn to the first paint with the caption" % runs)
    table.add("close, %s driver" % label, {"median": percentile(closes, 0.5), "max": closes[-1]}, "ms",
              "%.1f / %.1f ms" % (percentile(closes, 0.5), closes[-1]),
              "median / max of %d; Enter to the end of the process" % runs)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help="a build tree, e.g. build/native-release")
    parser.add_argument("--json", help="also write the figures here")
    parser.add_argument("--changes", type=int, default=1000)
    parser.add_argument("--idle-seconds", type=float, default=10.0)
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()
    for needed in ("bin/RemoteMonitor", "bin/TavrixRC.dll", "fakes/full/TavrixRC.dll"):
        if not os.path.exists(os.path.join(args.build, needed)):
            sys.exit("tool_bench: %s/%s is missing; build the tree first" % (args.build, needed))

    table = Table("tool")
    hwm_kb = [bench_latency(args, table), bench_idle(args, table)]
    bench_start_and_close(args, table, "live", os.path.join(args.build, "bin", "TavrixRC.dll"), {}, args.runs)
    bench_start_and_close(args, table, "stuck in GetRemoteCode", os.path.join(args.build, "fakes", "full", "TavrixRC.dll"),
                          {"TAVRIXRC_FAKE_STUCK": "sleep"}, max(2, args.runs // 4))
    peak = max(kb for kb in hwm_kb if kb is not None)
    table.add("peak RSS", peak, "KiB", "%.1f MiB" % (peak / 1024), "VmHWM, the larger of the pipe and terminal runs")

    if args.json:
        with open(args.json, "w") as f:
            json.dump({"suite": table.suite, "figures": table.figures}, f, indent=2)


if __name__ == "__main__":
    main()

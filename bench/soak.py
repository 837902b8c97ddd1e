#!/usr/bin/env python3
"""A long run of the app under load, measured by hand (CI runs it for a few seconds only).

The app starts in a scratch home, on an X server of its own (Xvfb with openbox, when both are
installed; offscreen otherwise, or with --offscreen). The hook scripts are installed into the
scratch home's ~/.tandrel/bin as the AI Tools tab installs them, and run at the given rate as the
agents run them: Claude Code hook payloads on stdin to tandrel-event (four sessions) and Codex
notify payloads to tandrel-codex-notify (two sessions). Every --blocking seconds a blocking request
goes through tandrel-hook-claude; nobody answers it, so it times out after 120 s (one still waiting
when the load ends is stopped, as an agent that quits, and the app withdraws its request).

At each sample it prints the app's RSS, its CPU seconds per minute since the last sample, its
descriptors and threads, the sizes of the bridge file and the approval audit log (with their
moved-aside parts) and the socket's answer time (a request the app ends at once). At the end it
prints the slopes over the samples after the warm-up, and RSS after an idle period.

    bench/soak.py [--binary build/bin/tandrel] [--rate 5] [--minutes 10] [--sample 60]
                  [--warmup 15] [--idle 5] [--blocking 30] [--display 289] [--offscreen]
                  [--heaptrack FILE] [--keep]

Goal for a two-hour run at 5 events a second: after a 15-minute warm-up RSS grows less than
2 MB an hour, and is below 60 MB after five idle minutes.
"""

import argparse
import json
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPTS = os.path.join(HERE, "..", "src", "hooks", "scripts")
TICK = os.sysconf("SC_CLK_TCK")


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--binary", default=os.path.join(HERE, "..", "build", "bin", "tandrel"))
    parser.add_argument("--rate", type=float, default=5.0, help="hook runs a second")
    parser.add_argument("--minutes", type=float, default=10.0, help="length of the loaded run")
    parser.add_argument("--sample", type=float, default=60.0, help="seconds between samples")
    parser.add_argument("--warmup", type=float, default=15.0, help="minutes left out of the slopes")
    parser.add_argument("--idle", type=float, default=5.0, help="idle minutes after the load")
    parser.add_argument("--blocking", type=float, default=30.0, help="seconds between blocking requests (0: none)")
    parser.add_argument("--display", type=int, default=289, help="Xvfb display number")
    parser.add_argument("--offscreen", action="store_true", help="no X server")
    parser.add_argument("--heaptrack", metavar="FILE", help="run the app under heaptrack, writing FILE")
    parser.add_argument("--keep", action="store_true", help="keep the scratch home")
    return parser.parse_args()


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def rss_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def size_mb(*paths):
    return sum(os.path.getsize(p) for p in paths if os.path.exists(p)) / (1024 * 1024)


def slope_per_hour(points):
    """Least-squares slope of (seconds, value) points, per hour; 0 with fewer than two."""
    if len(points) < 2:
        return 0.0
    mean_t = statistics.fmean(t for t, _ in points)
    mean_v = statistics.fmean(v for _, v in points)
    spread = sum((t - mean_t) ** 2 for t, _ in points)
    if spread == 0:
        return 0.0
    return sum((t - mean_t) * (v - mean_v) for t, v in points) / spread * 3600


class Soak:
    def __init__(self, args):
        self.args = args
        self.home = tempfile.mkdtemp(prefix="tandrel-soak-")
        self.started = []  # (process, what) of the helpers started here, ended by pid at the end
        self.hooks = []
        self.blocking = []
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("TANDREL_", "XDG_", "QT_", "DISPLAY", "WAYLAND", "DBUS_"))}
        self.env.update({
            "HOME": self.home,
            "XDG_DATA_HOME": os.path.join(self.home, ".local/share"),
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "XDG_RUNTIME_DIR": os.path.join(self.home, "run"),
        })
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700)
        self.bridge = os.path.join(self.env["XDG_DATA_HOME"], "Tandrel", "events.jsonl")
        self.audit = os.path.join(self.home, ".tandrel", "audit.jsonl")
        self.sock = os.path.join(self.home, ".tandrel", "tandrel.sock")
        self.bin = os.path.join(self.home, ".tandrel", "bin")
        os.makedirs(self.bin)
        for name in ("tandrel-event", "tandrel-codex-notify", "tandrel-hook-claude"):
            target = os.path.join(self.bin, name)
            shutil.copyfile(os.path.join(SCRIPTS, name), target)
            os.chmod(target, 0o755)
        self.app = None
        self.counter = 0

    def start_display(self):
        if self.args.offscreen or not shutil.which("Xvfb"):
            self.env["QT_QPA_PLATFORM"] = "offscreen"
            return "offscreen"
        display = ":%d" % self.args.display
        xvfb = subprocess.Popen(["Xvfb", display, "-noreset", "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.started.append((xvfb, "Xvfb"))
        socket_path = "/tmp/.X11-unix/X%d" % self.args.display
        deadline = time.monotonic() + 10
        while not os.path.exists(socket_path):
            if time.monotonic() > deadline or xvfb.poll() is not None:
                sys.exit("Xvfb did not start on %s (is the display taken?)" % display)
            time.sleep(0.05)
        self.env["DISPLAY"] = display
        self.env["QT_QPA_PLATFORM"] = "xcb"
        if shutil.which("openbox"):
            wm = subprocess.Popen(["openbox"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.started.append((wm, "openbox"))
        return "Xvfb %s" % display

    def start_app(self):
        command = [self.args.binary]
        if self.args.heaptrack:
            command = ["heaptrack", "-o", self.args.heaptrack] + command
        log = open(os.path.join(self.home, "app.log"), "w")
        self.app = subprocess.Popen(command, env=self.env, stdout=log, stderr=log)
        deadline = time.monotonic() + 30
        while self.answer_ms() is None:
            if time.monotonic() > deadline or self.app.poll() is not None:
                sys.exit("the app did not start listening (log: %s)" % log.name)
            time.sleep(0.05)

    def app_pid(self):
        """The app's own process (heaptrack runs it as a child)."""
        if not self.args.heaptrack:
            return self.app.pid
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    with open("/proc/%s/stat" % entry) as f:
                        fields = f.read().rsplit(")", 1)[1].split()
                    with open("/proc/%s/comm" % entry) as f:
                        comm = f.read().strip()
                except OSError:
                    continue
                if comm == os.path.basename(self.args.binary)[:15] and self.descends_from(int(entry)):
                    return int(entry)
        return self.app.pid

    def descends_from(self, pid):
        while pid > 1:
            if pid == self.app.pid:
                return True
            try:
                with open("/proc/%d/stat" % pid) as f:
                    pid = int(f.read().rsplit(")", 1)[1].split()[1])
            except OSError:
                return False
        return False

    def answer_ms(self):
        """Round trip of a request the app ends at once (time-out 0), in ms; None without an answer."""
        self.counter += 1
        request = json.dumps({"v": 1, "type": "hook.request", "request_id": "soak-probe-%d" % self.counter,
                              "agent": "claude_code", "session_id": "soak-probe", "agent_pid": os.getpid(),
                              "kind": "permission_request", "timeout_seconds": 0,
                              "payload": {"tool": "Bash", "command": "true", "cwd": self.home}}) + "\n"
        started = time.perf_counter()
        try:
            with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as s:
                s.settimeout(5)
                s.connect(self.sock)
                s.sendall(request.encode())
                data = b""
                while not data.endswith(b"\n"):
                    chunk = s.recv(65536)
                    if not chunk:
                        break
                    data += chunk
        except OSError:
            return None
        return (time.perf_counter() - started) * 1000 if data else None

    def run_hook(self):
        """One hook run, as an agent makes it; not waited for (reaped later)."""
        self.counter += 1
        n = self.counter
        if n % 3 == 2:
            session = "019a0000-0000-7000-8000-00000000000%d" % (n % 2)
            payload = json.dumps({"type": "agent-turn-complete", "thread-id": session, "turn-id": str(n),
                                  "cwd": "/home/u/app-%d" % (n % 2), "input-messages": ["Fix test %d" % n],
                                  "last-assistant-message": "Turn %d: the flaky test now polls." % n})
            command, stdin = [os.path.join(self.bin, "tandrel-codex-notify"), payload], b""
        else:
            session = "5f1c2d3e-0000-4000-8000-00000000000%d" % (n % 4)
            kind = ["UserPromptSubmit", "PreToolUse", "PostToolUse", "Notification", "Stop"][n % 5]
            payload = {"session_id": session, "cwd": "/home/u/proj-%d" % (n % 4), "hook_event_name": kind,
                       "transcript_path": "/home/u/.claude/projects/-home-u-proj/%s.jsonl" % session,
                       "tool_name": "Bash", "tool_input": {"command": "npm test -- --shard=%d" % n},
                       "prompt": "Run the tests, round %d" % n, "message": "Claude needs your attention"}
            command, stdin = [os.path.join(self.bin, "tandrel-event"), "--source", "claude_code"], json.dumps(payload).encode()
        self.spawn(command, stdin)

    def run_blocking(self):
        self.counter += 1
        payload = {"session_id": "5f1c2d3e-0000-4000-8000-000000000009", "cwd": "/home/u/proj",
                   "hook_event_name": "PermissionRequest", "tool_name": "Bash",
                   "tool_input": {"command": "rm -rf build-%d" % self.counter}}
        self.blocking.append(self.spawn([os.path.join(self.bin, "tandrel-hook-claude")], json.dumps(payload).encode()))
        self.blocking = [p for p in self.blocking if p.poll() is None]

    def spawn(self, command, stdin):
        process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, env=self.env, cwd=self.home)
        try:
            process.stdin.write(stdin)
            process.stdin.close()
        except OSError:
            pass
        self.hooks.append(process)
        self.hooks = [p for p in self.hooks if p.poll() is None]
        return process

    def sample(self, since, last):
        pid = self.app_pid()
        now = time.monotonic()
        cpu = cpu_seconds(pid)
        answers = [a for a in (self.answer_ms() for _ in range(3)) if a is not None]
        row = {
            "t": now - since,
            "rss": rss_mb(pid),
            "cpu_per_min": (cpu - last["cpu"]) / max(1e-9, now - last["at"]) * 60 if last else 0.0,
            "fds": len(os.listdir("/proc/%d/fd" % pid)),
            "threads": len(os.listdir("/proc/%d/task" % pid)),
            "bridge": size_mb(self.bridge, self.bridge + ".1"),
            "audit": size_mb(self.audit, self.audit + ".1"),
            "answer": statistics.median(answers) if answers else float("nan"),
        }
        print("%7.1f min  RSS %6.1f MB  CPU %6.2f s/min  fds %3d  threads %3d  bridge %7.2f MB  audit %6.3f MB  answer %6.2f ms"
              % (row["t"] / 60, row["rss"], row["cpu_per_min"], row["fds"], row["threads"], row["bridge"],
                 row["audit"], row["answer"]), flush=True)
        return row, {"cpu": cpu, "at": now}

    def run(self):
        where = self.start_display()
        self.start_app()
        print("app pid %d on %s, home %s; %.1f hook runs a second for %.1f min, a sample every %.0f s"
              % (self.app_pid(), where, self.home, self.args.rate, self.args.minutes, self.args.sample), flush=True)
        since = time.monotonic()
        rows = []
        row, last = self.sample(since, None)
        rows.append(row)
        end = since + self.args.minutes * 60
        next_hook = next_blocking = since
        next_sample = since + self.args.sample
        while time.monotonic() < end:
            now = time.monotonic()
            if now >= next_hook:
                self.run_hook()
                next_hook += 1 / self.args.rate
            if self.args.blocking and now >= next_blocking:
                self.run_blocking()
                next_blocking += self.args.blocking
            if now >= next_sample:
                row, last = self.sample(since, last)
                rows.append(row)
                next_sample += self.args.sample
            time.sleep(max(0.0, min(next_hook, next_sample, end) - time.monotonic()))
        for process in self.blocking:
            if process.poll() is None:
                process.terminate()
        for process in self.hooks:
            process.wait()
        loaded_end = time.monotonic()
        idle_rows = []
        while time.monotonic() < loaded_end + self.args.idle * 60:
            time.sleep(min(self.args.sample, max(0.0, loaded_end + self.args.idle * 60 - time.monotonic())))
            row, last = self.sample(since, last)
            idle_rows.append(row)
        self.summary(rows, idle_rows)

    def summary(self, rows, idle_rows):
        warm = [r for r in rows if r["t"] >= self.args.warmup * 60] or rows
        print("after %.0f min of warm-up (%d samples):" % (self.args.warmup, len(warm)))
        for key, unit in (("rss", "MB"), ("fds", "descriptors"), ("threads", "threads"), ("bridge", "MB"),
                          ("audit", "MB"), ("answer", "ms")):
            print("  %-8s slope %+9.3f %s an hour" % (key, slope_per_hour([(r["t"], r[key]) for r in warm]), unit))
        loaded = [r["cpu_per_min"] for r in warm if r["cpu_per_min"]]
        if loaded:
            print("  CPU      %.2f s a minute under load (median)" % statistics.median(loaded))
        answers = [r["answer"] for r in rows + idle_rows if r["answer"] == r["answer"]]
        if answers:
            print("  answer   median %.2f ms, slowest %.2f ms" % (statistics.median(answers), max(answers)))
        if idle_rows:
            print("  idle     RSS %.1f MB after %.1f idle minutes, CPU %.2f s a minute"
                  % (idle_rows[-1]["rss"], self.args.idle, idle_rows[-1]["cpu_per_min"]))

    def stop(self):
        for process in self.hooks:
            if process.poll() is None:
                process.kill()
                process.wait()
        if self.app is not None and self.app.poll() is None:
            self.app.send_signal(signal.SIGTERM)
            try:
                self.app.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.app.kill()
                self.app.wait()
        for process, _ in reversed(self.started):
            process.terminate()
            process.wait()
        if self.args.keep:
            print("scratch home kept at %s" % self.home)
        else:
            shutil.rmtree(self.home, ignore_errors=True)


def main():
    args = parse_arguments()
    if not os.access(args.binary, os.X_OK):
        sys.exit("no executable at %s (pass it with --binary)" % args.binary)
    soak = Soak(args)
    try:
        soak.run()
    finally:
        soak.stop()


if __name__ == "__main__":
    main()

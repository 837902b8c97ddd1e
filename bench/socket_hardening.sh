#!/bin/sh
# The hook socket and the pending actions under abuse, measured by hand (not run in CI). The app
# runs offscreen in a temporary home each time:
#   idle      1,000 clients connect and send nothing: descriptors, threads, RSS and CPU while they
#             wait and after the server has closed them (10 s without a whole request);
#   fds       under `ulimit -n 256`, 300 hooks wait for an answer: CPU and log lines over 5 s, and
#             how long 20 new hooks then take to be answered or to fall back (end of stream, or
#             the connection refused);
#   timeouts  under `ulimit -n 1024`, 400 hooks wait with a 4 s time-out: how many got their
#             "timed_out" reply, and how many request and reply lines the approval audit holds;
#   churn     20,000 requests, one after another, each ended at once (time-out 0): RSS before,
#             after and its peak.
#
#   bench/socket_hardening.sh [path/to/tandrel] [scenario…]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
binary=${1:-"$here/../build/bin/tandrel"}
[ -x "$binary" ] || { echo "no executable at $binary (pass the path as the first argument)" >&2; exit 2; }
[ $# -gt 0 ] && shift
scenarios=${*:-"idle fds timeouts churn"}

exec /usr/bin/python3 - "$binary" $scenarios <<'EOF'
import json, os, resource, shutil, signal, socket, subprocess, sys, tempfile, time

binary, scenarios = sys.argv[1], sys.argv[2:]
tick = os.sysconf("SC_CLK_TCK")
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))  # this side holds the clients


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / tick


def status_kb(pid, key):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def snapshot(pid):
    return {"fds": len(os.listdir("/proc/%d/fd" % pid)), "threads": len(os.listdir("/proc/%d/task" % pid)),
            "rss_mb": status_kb(pid, "VmRSS") / 1024, "cpu_s": cpu_seconds(pid)}


def show(label, s, cpu_since=None):
    cpu = "" if cpu_since is None else ", CPU %.3f s over the interval" % (s["cpu_s"] - cpu_since)
    print("  %-34s fds %5d, threads %3d, RSS %6.1f MB%s" % (label, s["fds"], s["threads"], s["rss_mb"], cpu))


class App:
    def __init__(self, nofile=None):
        self.home = tempfile.mkdtemp()
        env = {k: v for k, v in os.environ.items() if not k.startswith(("TANDREL_", "XDG_", "QT_", "DISPLAY", "WAYLAND"))}
        env.update({"HOME": self.home, "QT_QPA_PLATFORM": "offscreen",
                    "XDG_DATA_HOME": os.path.join(self.home, ".local/share"),
                    "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
                    "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
                    "XDG_RUNTIME_DIR": os.path.join(self.home, "run")})
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
        self.sock = os.path.join(self.home, ".tandrel", "tandrel.sock")
        self.audit = os.path.join(self.home, ".tandrel", "audit.jsonl")
        self.log = open(os.path.join(self.home, "app.log"), "w+")
        limit = (lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (nofile, nofile))) if nofile else None
        self.proc = subprocess.Popen([binary], env=env, stdout=self.log, stderr=self.log, preexec_fn=limit)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                probe = self.connect()
                probe.close()
                return
            except OSError:
                time.sleep(0.01)
        raise SystemExit("the app did not start listening")

    def connect(self):
        s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        s.connect(self.sock)
        return s

    def log_lines(self):
        self.log.flush()
        with open(self.log.name) as f:
            return f.read().splitlines()

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
        shutil.rmtree(self.home, ignore_errors=True)


def request(rid, timeout, pid=os.getpid()):
    return (json.dumps({"v": 1, "type": "hook.request", "request_id": rid, "agent": "claude_code",
                        "session_id": "s-" + rid, "agent_pid": pid, "kind": "permission_request",
                        "timeout_seconds": timeout,
                        "payload": {"tool": "Bash", "command": "ls", "cwd": "/tmp"}}) + "\n").encode()


def read_line(s, timeout):
    s.settimeout(timeout)
    data = b""
    try:
        while not data.endswith(b"\n"):
            chunk = s.recv(65536)
            if not chunk:
                return data, "end of stream"
            data += chunk
    except socket.timeout:
        return data, "time-out"
    return data, "reply"


def idle():
    print("== 1,000 idle clients ==")
    app = App()
    pid = app.proc.pid
    base = snapshot(pid)
    show("before", base)
    clients = [app.connect() for _ in range(1000)]
    time.sleep(2)
    during = snapshot(pid)
    show("1,000 connected (2 s)", during, base["cpu_s"])
    closed = 0
    deadline = time.monotonic() + 15
    for c in clients:
        c.settimeout(max(0.01, deadline - time.monotonic()))
        try:
            if c.recv(1) == b"":
                closed += 1
        except OSError:
            pass
    after = snapshot(pid)
    show("after the server closed %d" % closed, after, during["cpu_s"])
    for c in clients:
        c.close()
    time.sleep(1)
    show("clients gone", snapshot(pid))
    print("  log lines: %d" % len([l for l in app.log_lines() if "no complete request" in l]))
    app.stop()


def fds():
    print("== ulimit -n 256, 300 waiting hooks ==")
    app = App(nofile=256)
    pid = app.proc.pid
    base = snapshot(pid)
    lines_before = len(app.log_lines())
    hooks, fell_back = [], 0
    refused = 0
    for i in range(300):
        try:
            s = app.connect()
        except OSError:
            refused += 1  # the socket is closed while descriptors run short: the hook falls back
            continue
        try:
            s.sendall(request("wait-%d" % i, 120))
        except OSError:
            pass  # closed at once already
        hooks.append(s)
    time.sleep(1)
    for s in hooks:
        s.setblocking(False)
        try:
            if s.recv(1) == b"":
                fell_back += 1
        except BlockingIOError:
            pass
        except OSError:
            fell_back += 1
    mid = snapshot(pid)
    show("300 hooks sent", mid, base["cpu_s"])
    print("  hooks refused: %d, closed at once: %d (both fall back), waiting: %d"
          % (refused, fell_back, 300 - refused - fell_back))
    time.sleep(5)
    after = snapshot(pid)
    show("5 s later", after, mid["cpu_s"])
    lines = app.log_lines()[lines_before:]
    print("  log lines in those 6 s: %d" % len(lines))
    kinds = {}
    for line in lines:
        kind = line.split(":")[0][:70]
        kinds[kind] = kinds.get(kind, 0) + 1
    for kind, count in sorted(kinds.items(), key=lambda item: -item[1]):
        print("    %4d  %s" % (count, kind))
    outcomes, slowest = {}, 0.0
    for i in range(20):
        started = time.monotonic()
        try:
            s = app.connect()
        except OSError:
            how = "refused"
        else:
            try:
                s.sendall(request("new-%d" % i, 120))
                data, how = read_line(s, 130)
            except OSError:
                how = "end of stream"
            s.close()
        slowest = max(slowest, time.monotonic() - started)
        outcomes[how] = outcomes.get(how, 0) + 1
    print("  20 new hooks, one after another: %s; the slowest after %.1f ms" % (outcomes, slowest * 1000))
    for h in hooks:
        h.close()
    time.sleep(1)
    started = time.monotonic()
    while True:
        try:
            s = app.connect()
            break
        except OSError:
            if time.monotonic() - started > 10:
                raise
            time.sleep(0.01)
    s.sendall(request("after", 0))
    data, how = read_line(s, 10)
    print("  once the 300 have hung up, a hook with time-out 0: %s (%s) after %.1f ms"
          % (how, data.decode(errors="replace").strip()[:60], (time.monotonic() - started) * 1000))
    app.stop()


def timeouts():
    print("== ulimit -n 1024, 400 hooks waiting for their 4 s time-out ==")
    app = App(nofile=1024)
    hooks = []
    for i in range(400):
        s = app.connect()
        s.sendall(request("t-%d" % i, 4))
        hooks.append(s)
    show("400 waiting (1 s)", (time.sleep(1), snapshot(app.proc.pid))[1])
    answered = {}
    for s in hooks:
        data, how = read_line(s, 20)
        answered[how + ":" + (json.loads(data).get("decision", "?") if how == "reply" else "")] = \
            answered.get(how + ":" + (json.loads(data).get("decision", "?") if how == "reply" else ""), 0) + 1
        s.close()
    print("  outcomes: %s" % answered)
    time.sleep(0.5)
    roles = {}
    with open(app.audit) as f:
        for line in f:
            record = json.loads(line)
            key = record["role"] + ":" + record.get("status", "")
            roles[key] = roles.get(key, 0) + 1
    print("  audit lines: %s" % roles)
    app.stop()


def churn():
    print("== 20,000 requests in one session ==")
    app = App()
    pid = app.proc.pid
    time.sleep(0.5)
    base = snapshot(pid)
    show("before", base)
    for batch in range(200):
        socks = []
        for i in range(100):
            s = app.connect()
            s.sendall(request("c-%d-%d" % (batch, i), 0))
            socks.append(s)
        for s in socks:
            read_line(s, 10)
            s.close()
        if batch == 99:
            show("after 10,000", snapshot(pid), base["cpu_s"])
    time.sleep(1)
    after = snapshot(pid)
    show("after 20,000", after, base["cpu_s"])
    print("  peak RSS %.1f MB" % (status_kb(pid, "VmHWM") / 1024))
    app.stop()


for name in scenarios:
    globals()[name]()
EOF

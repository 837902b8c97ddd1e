#!/bin/sh
# Start-up and idle cost of the app, measured by hand (not run in CI):
#   - time from exec to the agent socket accepting connections;
#   - CPU seconds used over an idle period (default 60 s) after that;
#   - peak resident memory (VmHWM) at the end.
# The app runs in a temporary home whose bridge file holds 500 events: offscreen; offscreen again
# with live usage of two tools (Claude and Codex found on PATH, a fresh Claude transcript and a
# Codex rollout), so that the collapsed ticker rotates through messages and usage meters; then on
# an X server (Xvfb, 3840 x 1080 split into two monitors, with openbox) showing an island panel on
# each of the two screens.
#
#   bench/startup_idle.sh [path/to/tandrel] [idle seconds]
#
# Targets: under 150 ms to listening, under 0.06 s of CPU per idle minute; under 60 MB offscreen
# and under 80 MB with the panels shown.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
binary=${1:-"$here/../build/bin/tandrel"}
idle=${2:-60}
[ -x "$binary" ] || { echo "no executable at $binary (pass the path as the first argument)" >&2; exit 2; }

xvfb_pid=
openbox_pid=
home=
cleanup() {
  [ -n "$openbox_pid" ] && kill "$openbox_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$home" ] && rm -rf "$home"
  return 0
}
trap cleanup EXIT INT TERM

# measure <label> <display or "offscreen"> <RSS target in MB> [usage]
measure() {
home=$(mktemp -d)
echo "== $1 =="
/usr/bin/python3 - "$binary" "$idle" "$home" "$2" "$3" "${4:-}" <<'EOF'
import datetime, json, os, signal, socket, subprocess, sys, time

binary, idle, home, display, rss_target, usage = sys.argv[1], float(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6]
env = {k: v for k, v in os.environ.items() if not k.startswith(("TANDREL_", "XDG_", "QT_", "DISPLAY", "WAYLAND"))}
env.update({
    "HOME": home,
    "XDG_DATA_HOME": os.path.join(home, ".local/share"),
    "XDG_CONFIG_HOME": os.path.join(home, ".config"),
    "XDG_CACHE_HOME": os.path.join(home, ".cache"),
    "XDG_RUNTIME_DIR": os.path.join(home, "run"),
})
if display == "offscreen":
    env["QT_QPA_PLATFORM"] = "offscreen"
else:
    env["QT_QPA_PLATFORM"] = "xcb"
    env["DISPLAY"] = display
    # An island on every screen.
    os.makedirs(os.path.join(env["XDG_CONFIG_HOME"], "Tandrel"))
    with open(os.path.join(env["XDG_CONFIG_HOME"], "Tandrel", "defaults.json"), "w") as out:
        json.dump({"displayPolicy": {"type": "string", "value": "all"}}, out)
os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)

if usage:
    # Two agents on PATH and their own files, read by the local scanners: both usage meters are
    # eligible and the collapsed ticker rotates through them.
    tools = os.path.join(home, "bin")
    os.makedirs(tools)
    for name in ("claude", "codex"):
        with open(os.path.join(tools, name), "w") as out:
            out.write("#!/bin/sh\nexit 0\n")
        os.chmod(os.path.join(tools, name), 0o755)
    env["PATH"] = tools + ":" + env.get("PATH", "/usr/bin:/bin")
    now = datetime.datetime.now(datetime.timezone.utc)
    stamp = now.strftime("%Y-%m-%dT%H:%M:%S.000Z")
    sessions = os.path.join(home, ".codex", "sessions", now.strftime("%Y/%m/%d"))
    os.makedirs(sessions)
    with open(os.path.join(sessions, "rollout-bench.jsonl"), "w") as out:
        out.write(json.dumps({"timestamp": stamp, "type": "event_msg", "payload": {
            "type": "token_count",
            "info": {"model_context_window": 128000,
                     "last_token_usage": {"input_tokens": 1800, "output_tokens": 200, "total_tokens": 2000},
                     "total_token_usage": {"input_tokens": 8000, "output_tokens": 800, "total_tokens": 8800}},
            "rate_limits": {"primary": {"used_percent": 42, "resets_at": int(now.timestamp()) + 3600, "window_minutes": 300},
                            "secondary": {"used_percent": 18, "resets_at": int(now.timestamp()) + 86400, "window_minutes": 10080}}}}) + "\n")
    project = os.path.join(home, ".claude", "projects", "-home-user-project")
    os.makedirs(project)
    with open(os.path.join(project, "bench-session.jsonl"), "w") as out:
        out.write(json.dumps({"type": "assistant", "timestamp": stamp, "requestId": "req-1", "message": {
            "id": "msg-1", "usage": {"input_tokens": 1200, "output_tokens": 300,
                                     "cache_creation_input_tokens": 0, "cache_read_input_tokens": 0}}}) + "\n")

bridge = os.path.join(env["XDG_DATA_HOME"], "Tandrel", "events.jsonl")
os.makedirs(os.path.dirname(bridge))
kinds = ["task_started", "task_updated", "task_completed", "permission_request", "tool_call"]
with open(bridge, "w") as out:
    for i in range(500):
        out.write(json.dumps({
            "event_id": "bench-%d" % i,
            "event_type": kinds[i % len(kinds)],
            "source": ["claude_code", "codex", "cursor"][i % 3],
            "session_id": "session-%d" % (i % 20),
            "title": "Event %d" % i,
            "message": "Benchmark event number %d with a short message" % i,
            "cwd": "/home/user/project-%d" % (i % 7),
            "timestamp": "2027-01-15T08:%02d:%02dZ" % (i // 60 % 60, i % 60),
        }) + "\n")

sock_path = os.path.join(home, ".tandrel", "tandrel.sock")
tick = os.sysconf("SC_CLK_TCK")

def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / tick  # utime + stime

def status_kb(pid, key):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0

started = time.monotonic()
app = subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
listening_ms = None
while time.monotonic() - started < 10:
    probe = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        probe.connect(sock_path)
        listening_ms = (time.monotonic() - started) * 1000
        break
    except OSError:
        time.sleep(0.0005)
    finally:
        probe.close()
if listening_ms is None or app.poll() is not None:
    app.kill()
    sys.exit("the app did not start listening: " + app.stderr.read().decode(errors="replace"))

cpu_at_listening = cpu_seconds(app.pid)
if display != "offscreen":
    time.sleep(1)
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(app.pid)],
                           env=env, capture_output=True, text=True).stdout.split()
    print("island panels shown:       %d" % len(found))
    cpu_at_listening = cpu_seconds(app.pid)
time.sleep(idle)
cpu_idle = cpu_seconds(app.pid) - cpu_at_listening
peak_rss_mb = status_kb(app.pid, "VmHWM") / 1024
app.send_signal(signal.SIGTERM)
status = app.wait(timeout=10)

print("time to listening:        %7.1f ms   (target < 150 ms)" % listening_ms)
print("CPU at start-up:          %7.2f s" % cpu_at_listening)
print("CPU over %3.0f s idle:      %7.3f s    (target < %.3f s)" % (idle, cpu_idle, 0.06 * idle / 60))
print("peak RSS:                 %7.1f MB   (target < %s MB)" % (peak_rss_mb, rss_target))
print("exit status after SIGTERM: %d; socket file left behind: %s" % (status, os.path.exists(sock_path)))
EOF
rm -rf "$home"
home=
}

measure "offscreen" offscreen 60
measure "offscreen, collapsed, usage of two tools rotating" offscreen 60 usage

# A free display number, an X server with two side-by-side monitors, and a window manager.
n=171
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -noreset -screen 0 3840x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
DISPLAY=":$n" xrandr --setmonitor left 1920/508x1080/286+0+0 screen >/dev/null
DISPLAY=":$n" xrandr --setmonitor right 1920/508x1080/286+1920+0 none >/dev/null
DISPLAY=":$n" openbox >/dev/null 2>&1 &
openbox_pid=$!
sleep 1
measure "X11, two screens, panels shown" ":$n" 80

#!/bin/sh
# Idle cost of the desktop companion, measured by hand (not run in CI): the app on an X server
# (Xvfb 1920 x 1080 with openbox) showing the roaming companion, once with the pet moving and once
# with reduce motion on. Reports the CPU seconds used per minute (utime + stime from /proc) after
# a few seconds of settling, and the resident memory (VmRSS, and the peak VmHWM) at the end.
#
#   bench/companion_idle.sh [path/to/tandrel] [seconds]
#
# Targets: under 0.3 CPU-s per minute while roaming, under 0.06 with reduce motion on.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
binary=${1:-"$here/../build/bin/tandrel"}
seconds=${2:-60}
[ -x "$binary" ] || { echo "no executable at $binary (pass the path as the first argument)" >&2; exit 2; }

xvfb_pid=
openbox_pid=
cleanup() {
  [ -n "$openbox_pid" ] && kill "$openbox_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  return 0
}
trap cleanup EXIT INT TERM

# A free display number, an X server and a window manager.
n=$((150 + $$ % 50))
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -noreset -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
DISPLAY=":$n" openbox >/dev/null 2>&1 &
openbox_pid=$!
sleep 1

# measure <label> <reduce motion: true|false>
measure() {
/usr/bin/python3 - "$binary" "$seconds" ":$n" "$1" "$2" <<'PY'
import json, os, shutil, signal, subprocess, sys, tempfile, time

binary, seconds, display, label, reduce_motion = sys.argv[1], float(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5] == "true"
home = tempfile.mkdtemp()
env = {k: v for k, v in os.environ.items() if not k.startswith(("TANDREL_", "XDG_", "QT_", "DISPLAY", "WAYLAND"))}
env.update({
    "HOME": home, "DISPLAY": display, "QT_QPA_PLATFORM": "xcb",
    "XDG_DATA_HOME": os.path.join(home, ".local/share"),
    "XDG_CONFIG_HOME": os.path.join(home, ".config"),
    "XDG_CACHE_HOME": os.path.join(home, ".cache"),
    "XDG_RUNTIME_DIR": os.path.join(home, "run"),
})
os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
os.makedirs(os.path.join(env["XDG_CONFIG_HOME"], "Tandrel"))
with open(os.path.join(env["XDG_CONFIG_HOME"], "Tandrel", "defaults.json"), "w") as out:
    json.dump({"desktopCompanionMode": {"type": "bool", "value": True},
               "companionDisplayMode": {"type": "string", "value": "roaming"},
               "reduceMotion": {"type": "bool", "value": reduce_motion}}, out)

tick = os.sysconf("SC_CLK_TCK")
def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / tick

def status_mb(pid, key):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1]) / 1024
    return 0

app = subprocess.Popen([binary], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
time.sleep(5)
if app.poll() is not None:
    sys.exit("the app exited early")
shown = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "Tandrel Companion"],
                       env=env, capture_output=True, text=True).stdout.split()
start = cpu_seconds(app.pid)
time.sleep(seconds)
used = cpu_seconds(app.pid) - start
rss, hwm = status_mb(app.pid, "VmRSS"), status_mb(app.pid, "VmHWM")
app.send_signal(signal.SIGTERM)
app.wait(timeout=10)
shutil.rmtree(home, ignore_errors=True)
target = 0.06 if reduce_motion else 0.3
print("%-32s companion windows %d; %.3f CPU-s per minute (target < %.2f); RSS %.1f MB, peak %.1f MB"
      % (label, len(shown), used * 60 / seconds, target, rss, hwm))
PY
}

measure "roaming" false
measure "roaming, reduce motion on" true

#!/bin/sh
# Cost of one hook call through the installed python scripts (the event writer, the Codex notify
# bridge and the Claude status line), next to a bare interpreter start
# (`python3 -c pass`), measured by hand (not run in CI). Every case runs 30 times, taking turns
# with the others, after one warm-up run (which also fills the compiled-code cache); the figures
# are the median wall time and the median CPU time (user and system) of a run. On a busy machine
# the CPU times are the steadier figure.
#
#   bench/event_writer_bench.sh [python3]
#
# Target: every case within 1.5x the bare start.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
python=${1:-/usr/bin/python3}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT INT TERM

"$python" - "$python" "$here/../src/hooks/scripts" "$home" <<'EOF'
import json, os, statistics, subprocess, sys, time

python, scripts, home = sys.argv[1], sys.argv[2], sys.argv[3]
env = {k: v for k, v in os.environ.items() if not k.startswith(("TANDREL_", "XDG_"))}
env.update({"HOME": home, "XDG_DATA_HOME": os.path.join(home, "data"),
            "XDG_CACHE_HOME": os.path.join(home, "cache")})
event = os.path.join(scripts, "tandrel-event")
notify = os.path.join(scripts, "tandrel-codex-notify")
status_line = os.path.join(scripts, "tandrel-claude-statusline")
# The notify bridge and the status line run the installed event writer.
os.makedirs(os.path.join(home, ".tandrel", "bin"))
with open(event, "rb") as source, open(os.path.join(home, ".tandrel", "bin", "tandrel-event"),
                                       "wb") as installed:
    installed.write(source.read())

claude_pre_tool_use = json.dumps({
    "session_id": "5f1c2d3e-0000-4000-8000-000000000001", "cwd": "/home/u/proj",
    "transcript_path": "/home/u/.claude/projects/-home-u-proj/5f1c2d3e.jsonl",
    "permission_mode": "default", "hook_event_name": "PreToolUse", "tool_name": "Bash",
    "tool_input": {"command": "npm test -- --watch=false", "description": "Run the tests"}})
codex_notify = json.dumps({
    "type": "agent-turn-complete", "thread-id": "019a0000-0000-7000-8000-000000000001",
    "turn-id": "12", "cwd": "/home/u/app", "input-messages": ["Fix the flaky login test"],
    "last-assistant-message": "The login test waited on a fixed sleep; it now polls."})
claude_status = json.dumps({
    "session_id": "5f1c2d3e-0000-4000-8000-000000000001", "cwd": "/home/u/proj",
    "model": {"id": "claude-opus-4-1", "display_name": "Opus 4.1"},
    "workspace": {"current_dir": "/home/u/proj", "project_dir": "/home/u/proj"},
    "context_window": {"context_window_size": 200000, "total_input_tokens": 512000,
                       "total_output_tokens": 4000, "used_percentage": 41.6,
                       "current_usage": {"input_tokens": 1200, "output_tokens": 300,
                                         "cache_creation_input_tokens": 2000,
                                         "cache_read_input_tokens": 80000}},
    "rate_limits": {"five_hour": {"used_percentage": 12, "resets_at": 1800000000},
                    "seven_day": {"used_percentage": 3, "resets_at": 1800500000}}})

cases = [
    ("python3 -c pass", [python, "-c", "pass"], b""),
    ("tandrel-event, Claude PreToolUse on stdin", [python, event, "--source", "claude_code"],
     claude_pre_tool_use.encode()),
    ("tandrel-event, Codex notify argument", [python, event, "--source", "codex", codex_notify],
     b""),
    ("tandrel-event, options only (wrapper)",
     [python, event, "--source", "cursor", "--event-type", "task_started", "--severity", "info",
      "--title", "cursor started", "--message", "agent -p 'fix it'", "--cwd", "/home/u/proj",
      "--status", "running", "--session-id", "run-1", "--pid", "4242"], b""),
    ("tandrel-codex-notify (no chained command)", [python, notify, codex_notify], b""),
    ("tandrel-claude-statusline (default line)", [python, status_line],
     claude_status.encode()),
]


def once(command, stdin):
    """Wall time and CPU time (user and system) of one run, in milliseconds."""
    started = time.perf_counter()
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                               env=env, cwd=home)
    process.stdin.write(stdin)
    process.stdin.close()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit("%s exited with %d" % (command, process.returncode))
    return ((time.perf_counter() - started) * 1000, (usage.ru_utime + usage.ru_stime) * 1000)


# The cases take turns, so that a change in the machine's load touches them all alike.
first = [once(command, stdin)[0] for _, command, stdin in cases]
runs = [[] for _ in cases]
for _ in range(30):
    for index, (_, command, stdin) in enumerate(cases):
        runs[index].append(once(command, stdin))
wall = [statistics.median(run[0] for run in case_runs) for case_runs in runs]
cpu = [statistics.median(run[1] for run in case_runs) for case_runs in runs]
print("%-46s %18s %18s" % ("median of 30", "wall time", "CPU time"))
for index, (name, _, _) in enumerate(cases):
    line = "%-46s %7.2f ms %5.2fx  %7.2f ms %5.2fx" % (name, wall[index], wall[index] / wall[0],
                                                       cpu[index], cpu[index] / cpu[0])
    if index:
        line += "   (first run %.1f ms)" % first[index]
    print(line)
EOF

"""Tests of the event writer tandrel-event: its builders, its helpers, its command line and how
it writes (and refuses to write) bridge records."""

import json
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import unittest
from unittest import mock

from script_support import (PYTHON, TERMINAL_VARIABLES, ScriptTest, load_script, sample,
                            script_path)

EVENT = "tandrel-event"
UUID4 = re.compile(r"^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")
TIMESTAMP = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d{6})?Z$")


def module():
    """The event writer's functions, loaded once, with a temporary home and cache (loading
    caches the compiled program)."""
    if not hasattr(module, "namespace"):
        home = tempfile.TemporaryDirectory()
        module.home = home  # removed when the tests end
        environment = {"HOME": home.name, "XDG_CACHE_HOME": os.path.join(home.name, "cache")}
        with mock.patch.dict(os.environ, environment):
            module.namespace = load_script(script_path(EVENT), "tandrel_event")
    return module.namespace


class EventWriterTest(ScriptTest):
    def write(self, args=(), payload=None, env=None, cwd=None):
        """Runs the writer as a hook does and returns the one record it appended."""
        stdin = b"" if payload is None else json.dumps(payload).encode("utf-8")
        before = len(self.records())
        result = self.run_script(EVENT, args, stdin, env, cwd)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, b"")
        self.assertEqual(self.errors(), [])
        records = self.records()
        self.assertEqual(len(records), before + 1)
        return records[-1]


class ArgumentBuilderTest(EventWriterTest):
    def test_defaults_without_payload(self):
        for name, args, stdin in (("nothing", [], b""), ("blank input", [], b" \n\t"),
                                  ("empty object", ["{}"], b""), ("empty array", [], b"[]")):
            with self.subTest(name):
                self.fresh_home()
                result = self.run_script(EVENT, args, stdin)
                self.assertEqual(result.returncode, 0, result.stderr)
                [record] = self.records()
                self.assertEqual(set(record), {"source", "source_type", "project", "cwd",
                                               "event_type", "severity", "title", "message",
                                               "status", "event_id", "timestamp"})
                self.assert_subset({"source": "claude_code", "source_type": "cli_agent",
                                    "event_type": "task_updated", "severity": "info",
                                    "title": "claude_code event", "message": "",
                                    "status": "task_updated", "cwd": self.home,
                                    "project": os.path.basename(self.home)}, record)
                self.assertRegex(record["event_id"], UUID4)
                self.assertRegex(record["timestamp"], TIMESTAMP)

    def test_options(self):
        cases = [
            ("wrapper start",
             ["--source", "cursor", "--event-type", "task_started", "--severity", "info",
              "--title", "cursor started", "--message", "agent -p 'fix it'", "--cwd", "/w/proj",
              "--status", "running", "--session-id", "run-1", "--pid", "4242", "--project", "P"],
             {"source": "cursor", "event_type": "task_started", "title": "cursor started",
              "message": "agent -p 'fix it'", "cwd": "/w/proj", "project": "P",
              "status": "running", "session_id": "run-1", "pid": "4242", "usage": None,
              "action": None, "options": None, "response": None, "preview": None}),
            ("status line usage",
             ["--source", "claude_code", "--notify-policy", "usage_only", "--data-source",
              "statusline", "--context-total", "200000", "--context-remaining-percent", "58.4",
              "--input-tokens", "10", "--cost-amount=0.25", "--limit-5h-label", "12% used",
              "--limit-5h-percent", "12", "--limit-5h-reset", "2027-01-01T05:00:00Z",
              "--cwd", "/w"],
             {"notify_policy": "usage_only",
              "usage": {"data_source": "statusline", "context_total": "200000",
                        "context_remaining_percent": 58.4, "input_tokens": 10,
                        "cost_amount": 0.25, "limit_5h_label": "12% used",
                        "limit_5h_percent": 12, "limit_5h_reset": "2027-01-01T05:00:00Z",
                        "cost_estimate": False, "rate_limit_blocked": False,
                        "rate_limit_warning": False}}),
            ("flags alone make a usage object",
             ["--rate-limit-blocked", "--usage-detail", "d", "--cost-estimate"],
             {"usage": {"detail": "d", "cost_estimate": True, "rate_limit_blocked": True,
                        "rate_limit_warning": False}}),
            ("a detail alone makes none", ["--usage-detail", "d", "--observed-at", "x"],
             {"usage": None}),
            ("action with computed risk",
             ["--command", "sudo rm -rf /", "--action-kind", "shell"],
             {"action": {"kind": "shell", "command": "sudo rm -rf /", "file_path": None,
                         "risk": "high"}}),
            ("action with a file and given risk", ["--file-path", "/w/a.txt", "--risk", "low"],
             {"action": {"kind": None, "command": None, "file_path": "/w/a.txt",
                         "risk": "low"}}),
            ("choices and answer channel",
             ["--option", "yes=Yes please", "--option", "=no id", "--option", "bad",
              "--option", "b=B=C", "--response-file", "/tmp/r.json", "--note-enabled",
              "--note-placeholder", "Why?"],
             {"options": [{"id": "yes", "label": "Yes please"}, {"id": "b", "label": "B=C"}],
              "response": {"response_file": "/tmp/r.json", "note_enabled": True,
                           "note_placeholder": "Why?"}}),
            ("previews and snippet",
             ["--user-message", "hi  there", "--assistant-message", "done.",
              "--event-type", "task_completed"],
             {"preview": {"user": "hi there", "agent": ""}, "completion_snippet": "done.",
              "status": "task_completed"}),
            ("text jump target and terminal",
             ["--jump-target", "https://example.com/run/1", "--terminal", "kitty",
              "--raw-event-name", "Custom", "--turn-id", "t", "--task-key", "k",
              "--phase", "p", "--milestone", "m", "--tool-name", "Edit"],
             {"jump_target": "https://example.com/run/1", "terminal": "kitty",
              "raw_event_name": "Custom", "turn_id": "t", "task_key": "k", "phase": "p",
              "milestone": "m", "tool_name": "Edit"}),
        ]
        for name, args, expected in cases:
            with self.subTest(name):
                self.assert_subset(expected, self.write(args), name)

    def test_secret_and_long_message(self):
        record = self.write(["--message", "deploy with token: abc123 now"])
        self.assertEqual(record["message"], "deploy with token=... now")
        record = self.write(["--message", "m" * 300])
        self.assertEqual(record["message"], "m" * 237 + "...")

    def test_malformed_command_lines(self):
        for args, complaint in ((["--quota-percent", "lots"], "invalid number value"),
                                (["--input-tokens", "nan"], "invalid number value"),
                                (["--no-such-option"], "unrecognized arguments"),
                                (["--title"], "expected one argument"),
                                (["{}", "{}"], "unrecognized arguments")):
            with self.subTest(args):
                result = self.run_script(EVENT, args)
                self.assertEqual(result.returncode, 2)
                self.assertIn(complaint, result.stderr.decode())
                self.assertIn("usage: tandrel-event", result.stderr.decode())
                self.assertEqual(self.records(), [])
                self.assertEqual(self.errors(), [])
        help_text = self.run_script(EVENT, ["--help"]).stdout.decode()
        self.assertIn("Write a Tandrel event to the local JSONL bridge.", help_text)

    def test_quick_parser_agrees_with_argparse(self):
        events = module()
        command_lines = [
            [], ["{}"], ["--source", "codex", '{"a": 1}'], ['{"a": 1}', "--source=codex"],
            ["--title", "", "--message", "x y"], ["--option", "a=b", "--option=c=d"],
            ["--quota-percent", "42", "--cost-amount", "0.5", "--input-tokens", " 7 "],
            ["--note-enabled", "--cost-estimate", "--rate-limit-blocked", "--rate-limit-warning"],
            ["--source", "a", "--source", "b"],
        ]
        for argv in command_lines:
            with self.subTest(argv):
                quick = vars(events["parse_quick"](argv))
                self.assertEqual(quick, vars(events["parse_with_argparse"](argv)))
        # Command lines the quick parser leaves to argparse, which reads them its own way.
        for argv, key, value in ((["--sev", "warning"], "severity", "warning"),
                                 (["--message", "-5"], "message", "-5"),
                                 (["--", "{}"], "payload", "{}")):
            with self.subTest(argv):
                with self.assertRaises(events["_Defer"]):
                    events["parse_quick"](argv)
                self.assertEqual(getattr(events["parse_arguments"](argv), key), value)


class HelperTest(unittest.TestCase):
    def setUp(self):
        self.events = module()

    def test_sanitize(self):
        sanitize = self.events["sanitize"]
        cases = [
            (None, 240, ""),
            ("  a \n\t b  ", 240, "a b"),
            ("key sk-abcdefghij1234 and sk-short", 240, "key sk-... and sk-short"),
            ("API_KEY = 'abc def' Api-Key:x apikey=y", 240, "API_KEY=... def' Api-Key=... apikey=..."),
            ('{"password": "hunter2", "Secret":"s"}', 240, '{"password=...", "Secret=..."}'),
            ("access_token=xyz&mode=1", 240, "access_token=..."),
            ("tokens: 5", 240, "tokens: 5"),
            (12.5, 240, "12.5"),
            (True, 240, "true"),
            ({"a": [1, None]}, 240, '{"a":[1,null]}'),
            ("abcdefghij", 8, "abcde..."),
            ("abcdefgh", 8, "abcdefgh"),
        ]
        for value, limit, expected in cases:
            with self.subTest(value=value):
                self.assertEqual(sanitize(value, limit), expected)

    def test_numbers_and_flags(self):
        parse_number, parse_percent = self.events["parse_number"], self.events["parse_percent"]
        parse_bool = self.events["parse_bool"]
        for value, number in ((3, 3), (2.5, 2.5), (True, 1), (False, 0), ("1,234 tokens", 1234),
                              ("used -12.5%", -12.5), ("v2.", 2), ("x", None), (None, None),
                              (float("nan"), None), ([1], None), ("7.25e3", 7.25)):
            with self.subTest(value=value):
                self.assertEqual(parse_number(value), number)
        # Percents are on the 0-100 scale as written: 0.42 is less than half a percent.
        for value, percent in ((0.42, 0.42), ("0.5", 0.5), (1, 1), (0, 0), (87, 87), ("42%", 42)):
            with self.subTest(percent=value):
                self.assertEqual(parse_percent(value), percent)
        for value, flag in ((True, True), (1, True), (0, False), (2, None), (" Yes ", True),
                            ("OFF", False), ("maybe", None), (None, None)):
            with self.subTest(flag=value):
                self.assertEqual(parse_bool(value), flag)

    def test_text_from_content_and_find_first(self):
        text = self.events["text_from_content"]
        cases = [
            ("plain", "plain"), (5, "5"),
            ([{"type": "text", "text": "a"}, {"type": "image", "text": "no"}, "", "b"], "a b"),
            ({"type": "tool_result", "content": "x"}, ""),
            ({"role": "user", "content": [{"type": "input_text", "text": "hi"}]}, "hi"),
            ({"summary": "s"}, "s"), (None, ""), (["x"] * 30, " ".join(["x"] * 24)),
        ]
        for value, expected in cases:
            with self.subTest(value=value):
                self.assertEqual(text(value), expected)
        find_first = self.events["find_first"]
        payload = {"a": {"name": "deep"}, "b": "", "name": None, "list": [{"b": "in list"}]}
        self.assertEqual(find_first(payload, ("name",)), "deep")
        self.assertEqual(find_first(payload, ("b",)), "in list")
        self.assertEqual(find_first({"x": 0, "y": {"x": 1}}, ("x",)), 0)
        self.assertIsNone(find_first(payload, ("missing",)))
        find_dict = self.events["find_first_dict"]
        self.assertEqual(find_dict({"u": {}, "deep": {"usage": {"input": 1}}}, ("usage",)),
                         {"input": 1})
        self.assertIsNone(find_dict({"deep": {"usage": {}}}, ("usage",)))
        basename = self.events["basename"]
        self.assertEqual([basename("/a/b/"), basename("/"), basename("rel")],
                         ["b", "Workspace", "rel"])

    def test_names_of_sources(self):
        label, tool_id = self.events["source_label"], self.events["tool_identifier"]
        display, source_type = self.events["display_name"], self.events["source_type_for"]
        cases = [  # source, label, tool id, display name, source type
            ("claude_code", "Claude Code", "claude-code", "Claude Code", "cli_agent"),
            ("claude-app", "Claude App", "claude-app", "Claude App", "desktop_app"),
            ("codex", "Codex CLI", "codex-cli", "Codex CLI", "cli_agent"),
            ("cursor_glass", "Cursor Glass", "cursor-glass", "Cursor IDE", "cli_agent"),
            ("cursor-agent", "Cursor Agent", "cursor-agent-cli", "Cursor Agent CLI", "cli_agent"),
            ("cursor", "Cursor", "cursor-ide", "Cursor IDE", "cli_agent"),
            ("trae_agent_cli", "Trae Agent", "trae-agent-cli", "Trae Agent CLI", "cli_agent"),
            ("trae-solo", "Trae SOLO", "trae-solo", "Trae SOLO", "remote_agent"),
            ("trae", "Trae", "trae-ide", "Trae IDE", "cli_agent"),
            ("opencode", "OpenCode", "opencode-cli", "OpenCode CLI", "cli_agent"),
            ("gemini", "Gemini", "gemini", "Gemini CLI", "cli_agent"),
            ("copilot-vscode", "copilot-vscode", "copilot-vscode", "Copilot VS Code Extension",
             "desktop_app"),
            ("copilot_coding_agent", "copilot_coding_agent", "copilot-coding-agent",
             "Copilot Coding Agent", "remote_agent"),
            ("kilo", "Kilo Code", "kilo", "Kilo Code", "cli_agent"),
            ("roo-cline", "Roo Code", "roo-cline", "Roo Code", "cli_agent"),
            ("cline", "Cline", "cline", "Cline", "cli_agent"),
            ("pi", "pi", "pi", "Pi", "cli_agent"),
            ("factory_droid", "factory_droid", "factory-droid", "Factory Droid", "cli_agent"),
            ("kimi", "kimi", "kimi", "Kimi App / Web", "cli_agent"),
            ("my-wrapper", "my-wrapper", "my-wrapper", "my-wrapper", "wrapper"),
            ("", "Agent", "agent", "Agent", "cli_agent"),
        ]
        for source, expected_label, expected_id, expected_display, expected_type in cases:
            with self.subTest(source=source):
                self.assertEqual(label(source), expected_label)
                self.assertEqual(tool_id(source), expected_id)
                self.assertEqual(display(source), expected_display)
                self.assertEqual(source_type(source, {}), expected_type)
        self.assertEqual(source_type("codex", {"meta": {"sourceType": "remote_agent"}}),
                         "remote_agent")

    def test_risk(self):
        risk = self.events["computed_risk"]
        cases = [
            ("rm -rf build", None, "high"), ("/bin/rm   -rf /", None, "high"),
            ("rm -rfv x", None, "low"), ("sudo apt install x", None, "high"),
            ("pseudo x", None, "low"), ("chmod 777 f", None, "high"), ("dd if=/dev/zero", None, "high"),
            ("mkfs.ext4 /dev/sda", None, "high"), ("killall node", None, "high"),
            ("npm install left-pad", None, "medium"), ("pip  install x", None, "medium"),
            ("npm installer", None, "low"), ("git push origin", None, "medium"),
            ("curl https://x", None, "medium"), ("cp a b", None, "medium"),
            ("scp a b", None, "low"), ("ls -la", None, "low"), (None, "/w/.env.local", "high"),
            (None, "/home/u/.ssh/id_rsa", "high"), (None, "/w/a.py", "medium"), (None, None, "low"),
        ]
        for command, path, expected in cases:
            with self.subTest(command=command, path=path):
                self.assertEqual(risk(command, path), expected)

    def test_terminal_and_jump_detection(self):
        detect, name = self.events["detected_jump_target"], self.events["terminal_name"]
        cases = [
            ("nothing", {}, None, None),
            ("iTerm2 session", {"ITERM_SESSION_ID": "w0t1p0:ABC", "TERM_PROGRAM": "iTerm.app"},
             {"kind": "terminal_window", "terminal": "iTerm2", "cwd": "/w",
              "sessionId": "w0t1p0:ABC"}, "iTerm2"),
            ("Apple Terminal with a device", {"TERM_PROGRAM": "Apple_Terminal",
                                             "TTY": "/dev/ttys003", "CMUX_TAB_ID": "left over"},
             {"kind": "terminal_window", "terminal": "Terminal", "cwd": "/w",
              "tabId": "/dev/ttys003"}, "Apple_Terminal"),
            ("tmux pane", {"TMUX": "/tmp/tmux-1000/default,77,0", "TMUX_PANE": "%3",
                           "TERM_PROGRAM": "tmux"},
             {"kind": "terminal_window", "terminal": "tmux", "cwd": "/w", "sessionId": "%3",
              "socket": "/tmp/tmux-1000/default"},
             "tmux"),
            ("tmux pane on a server of its own", {"TMUX": "/tmp/my,sockets/work,77,0", "TMUX_PANE": "%0",
                                                  "DISPLAY": ":1", "WINDOWID": "41943"},
             {"kind": "terminal_window", "terminal": "tmux", "cwd": "/w", "sessionId": "%0",
              "socket": "/tmp/my,sockets/work"},
             None),
            ("kitty window", {"KITTY_WINDOW_ID": "5", "TERMINAL_EMULATOR": "kitty"},
             {"kind": "terminal_window", "terminal": "kitty", "cwd": "/w", "windowId": "5",
              "pid": 4242},
             "kitty"),
            ("kitty with remote control", {"KITTY_WINDOW_ID": "5", "KITTY_LISTEN_ON": "unix:@kitty-9"},
             {"kind": "terminal_window", "terminal": "kitty", "cwd": "/w", "windowId": "5",
              "socket": "unix:@kitty-9", "pid": 4242},
             None),
            ("xterm on a display", {"DISPLAY": ":1", "WINDOWID": "41943"},
             {"kind": "terminal_window", "terminal": "x-terminal-emulator", "cwd": "/w",
              "pid": 4242, "windowId": "41943"},
             None),
            ("a terminal that names itself", {"WAYLAND_DISPLAY": "wayland-0", "TERM_PROGRAM": "vscode"},
             {"kind": "terminal_window", "terminal": "vscode", "cwd": "/w", "pid": 4242},
             "vscode"),
            ("WezTerm pane", {"WEZTERM_PANE": "12", "TERM_PROGRAM": "WezTerm"},
             {"kind": "terminal_window", "terminal": "WezTerm", "cwd": "/w", "sessionId": "12"},
             "WezTerm"),
            ("cmux", {"CMUX_TAB_ID": "tab", "CMUX_WINDOW_ID": "win", "TERM_PROGRAM": "x"},
             {"kind": "cmux", "cwd": "/w", "sessionId": "tab", "windowId": "win"}, "cmux"),
            ("chosen terminal", {"TANDREL_TERMINAL": "Ghostty", "TERM_PROGRAM": "tmux"},
             None, "Ghostty"),
        ]
        clean = {k: v for k, v in os.environ.items() if k not in TERMINAL_VARIABLES}
        for case, env, target, terminal in cases:
            with self.subTest(case):
                with mock.patch.dict(os.environ, dict(clean, **env), clear=True), \
                        mock.patch.dict(detect.__globals__, {"agent_process_id": lambda: 4242}):
                    self.assertEqual(detect("/w"), target)
                    self.assertEqual(name(), terminal)

    def test_the_agent_is_the_nearest_ancestor_that_outlives_the_hook(self):
        # An agent ("timeout" here) runs its hook command through a shell; the writer is Python.
        program = ("import sys; sys.path.insert(0, sys.argv[2]); from script_support import load_script;"
                   "print(load_script(sys.argv[1], 'writer')['agent_process_id']())")
        agent = subprocess.Popen(
            ["timeout", "30", "sh", "-c", '"$0" -c "$1" "$2" "$3"; true', PYTHON, program,
             script_path(EVENT), os.path.dirname(os.path.abspath(__file__))],
            stdout=subprocess.PIPE, text=True)
        output, _ = agent.communicate(timeout=60)
        self.assertEqual(agent.returncode, 0)
        self.assertEqual(output.strip(), str(agent.pid))


CLAUDE_BASE = {"session_id": "5f1c-2d", "transcript_path": "/home/u/.claude/projects/p/5f1c.jsonl",
               "cwd": "/home/u/proj", "permission_mode": "default"}


def claude(hook, **fields):
    return dict(CLAUDE_BASE, hook_event_name=hook, **fields)


class ClaudeBuilderTest(EventWriterTest):
    def test_hook_payloads(self):
        bash = {"command": "rm -rf build", "description": "Remove the build folder"}
        cases = [
            ("pre tool use of Bash", claude("PreToolUse", tool_name="Bash", tool_input=bash),
             {"event_type": "task_updated", "severity": "info",
              "title": "Claude Code running tool", "message": "Bash - rm -rf build",
              "status": "running_tool", "tool_name": "Bash", "session_id": "5f1c-2d",
              "transcript_path": CLAUDE_BASE["transcript_path"], "cwd": "/home/u/proj",
              "project": "proj", "raw_event_name": "PreToolUse", "source": "claude_code",
              "action": {"kind": "shell", "command": "rm -rf build", "risk": "high"},
              "notify_policy": None, "usage": None}),
            ("permission request of Bash", claude("PermissionRequest", tool_name="Bash",
                                                  tool_input=bash),
             {"event_type": "permission_request", "severity": "warning",
              "title": "Run: rm -rf build", "message": "Bash", "status": "waiting_approval"}),
            ("permission request of Edit",
             claude("PermissionRequest", tool_name="Edit",
                    tool_input={"file_path": "/home/u/proj/src/app.py", "old_string": "a",
                                "new_string": "b"}),
             {"title": "Edit: /home/u/proj/src/app.py", "message": "Edit",
              "action": {"kind": "file", "file_path": "/home/u/proj/src/app.py",
                         "risk": "medium"}}),
            # Titles hold the first 60 characters of a path or command.
            ("permission request of Edit on a 60-character path",
             claude("PermissionRequest", tool_name="Edit", tool_input={"file_path": "/" + "p" * 59}),
             {"title": "Edit: /" + "p" * 59}),
            ("permission request of a long Bash command",
             claude("PermissionRequest", tool_name="Bash", tool_input={"command": "echo " + "x" * 70}),
             {"title": "Run: echo " + "x" * 55}),
            ("question", claude("PreToolUse", tool_name="AskUserQuestion", tool_input={
                "questions": [{"question": "Which database?", "header": "DB",
                               "options": [{"label": "Postgres", "description": "SQL"}],
                               "multiSelect": False}]}),
             {"message": "Which database?", "action": {"kind": "AskUserQuestion",
                                                       "risk": "low"}}),
            ("notification", claude("Notification",
                                    message="Claude needs your permission to use Bash"),
             {"event_type": "waiting_input", "title": "Claude Code needs attention",
              "message": "Claude needs your permission to use Bash", "action": None}),
            ("prompt", claude("UserPromptSubmit", prompt="Add a login page"),
             {"event_type": "task_started", "title": "Claude Code received a prompt",
              "status": "thinking", "message": "Lifecycle event captured locally.",
              "preview": {"user": "Add a login page", "agent": None}}),
            ("stop", claude("Stop", stop_hook_active=False, assistant_message="All tests pass."),
             {"event_type": "task_completed", "severity": "success",
              "title": "Claude Code completed", "completion_snippet": "All tests pass."}),
            ("session end", claude("SessionEnd", reason="exit"),
             {"event_type": "task_completed", "title": "Claude Code session ended"}),
            ("tool failure", claude("PostToolUseFailure", tool_name="Bash",
                                    tool_input={"command": "make"}),
             {"event_type": "task_failed", "severity": "critical",
              "title": "Claude Code tool failed", "status": "failed",
              "completion_snippet": None}),
            ("other hook", claude("SubagentStop"),
             {"event_type": "task_updated", "title": "Claude Code SubagentStop",
              "status": "running_tool"}),
            ("usage without a hook name", {"cwd": "/w", "input_tokens": 10, "output_tokens": 5},
             {"raw_event_name": "Usage", "title": "Claude Code Usage",
              "usage": {"input_tokens": 10, "output_tokens": 5, "total_tokens": 15,
                        "data_source": "hook", "tool_id": "claude-code"}}),
            ("usage limit", claude("StopFailure", error={"type": "rate_limit_error",
                                                         "message": "Rate limited"}),
             {"event_type": "task_updated", "severity": "warning",
              "title": "Claude Code paused by usage limit", "message": "Paused by usage limit.",
              "status": "usage_limited",
              "usage": {"data_source": "hook", "tool_id": "claude-code",
                        "rate_limit_blocked": True, "rate_limit_label": "Blocked",
                        "detail": "Captured from Claude hook payload. Exact quota is shown "
                                  "only if Claude provides it."}}),
            ("a limit talked about in the prompt is no limit",
             claude("UserPromptSubmit", prompt="why do we hit the rate limit (429)?"),
             {"event_type": "task_started", "status": "thinking", "usage": None}),
        ]
        for name, payload, expected in cases:
            with self.subTest(name):
                self.assert_subset(expected, self.write(["--source", "claude_code"], payload),
                                   name)

    def test_self_approving_modes(self):
        cases = [("bypassPermissions", "Notification", "silent"),
                 (" BYPASSPERMISSIONS ", "PermissionRequest", "silent"),
                 ("bypassPermissions", "Stop", None),
                 ("bypassPermissions", "PreToolUse", None),
                 ("acceptEdits", "Notification", None),
                 ("plan", "Notification", None)]
        for mode, hook, policy in cases:
            with self.subTest(mode=mode, hook=hook):
                payload = claude(hook, tool_name="Bash", tool_input={"command": "ls"})
                payload["permission_mode"] = mode
                self.assertEqual(self.write(["--source", "claude"], payload).get("notify_policy"),
                                 policy)


CODEX_NOTIFY = {"type": "agent-turn-complete", "thread-id": "019a-thread", "turn-id": "7",
                "cwd": "/w/app", "input-messages": ["Fix the failing test"],
                "last-assistant-message": "Fixed it; retries on 429 and capacity checks added."}


class CodexBuilderTest(EventWriterTest):
    def rollout(self, session, lines, name=None, days=("2027", "01", "15")):
        folder = os.path.join(self.home, ".codex", "sessions", *days)
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name or "rollout-2027-01-15T08-00-00-%s.jsonl" % session)
        with open(path, "w", encoding="utf-8") as out:
            for line in lines:
                out.write((line if isinstance(line, str) else json.dumps(line)) + "\n")
        return path

    @staticmethod
    def said(role, text):
        kind = "input_text" if role == "user" else "output_text"
        return {"timestamp": "2027-01-15T08:00:00Z", "type": "response_item",
                "payload": {"type": "message", "role": role,
                            "content": [{"type": kind, "text": text}]}}

    def codex(self, payload):
        return self.write(["--source", "codex", json.dumps(payload)])

    def test_payloads(self):
        cases = [
            ("turn end from notify", CODEX_NOTIFY,
             {"source": "codex", "event_type": "task_updated", "severity": "info",
              "title": "Codex CLI turn finished", "status": "running_tool",
              "message": "Fixed it; retries on 429 and capacity checks added.",
              "session_id": "019a-thread", "turn_id": "7", "cwd": "/w/app", "project": "app",
              "raw_event_name": "agent-turn-complete", "usage": None,
              "preview": {"user": "Fix the failing test",
                          "agent": "Fixed it; retries on 429 and capacity checks added."}}),
            ("permission request hook",
             {"session_id": "s1", "cwd": "/w", "hook_event_name": "PermissionRequest",
              "turn_id": "t1", "tool_name": "Bash",
              "tool_input": {"command": "git push origin main", "description": "Push"}},
             {"event_type": "permission_request", "severity": "warning",
              "title": "Codex CLI needs approval", "message": "Bash - git push origin main",
              "status": "waiting_approval", "tool_name": "Bash", "turn_id": "t1",
              "action": {"kind": "shell", "command": "git push origin main", "risk": "medium"},
              "notify_policy": None}),
            ("prompt hook", {"hook_event_name": "UserPromptSubmit", "prompt": "Add tests",
                             "session_id": "s1", "cwd": "/w"},
             {"event_type": "task_started", "message": "Prompt received.",
              "preview": {"user": "Add tests", "agent": None}}),
            ("stop hook", {"hook_event_name": "Stop", "session_id": "s1", "cwd": "/w",
                           "last_assistant_message": "All done."},
             {"event_type": "task_completed", "title": "Codex CLI completed",
              "message": "All done."}),
            ("usage limit in the error", {"type": "error", "thread-id": "t",
                                          "error": {"message": "429 Too Many Requests"}},
             {"event_type": "task_updated", "severity": "warning",
              "title": "Codex paused by usage limit", "message": "Paused by usage limit.",
              "status": "usage_limited",
              "usage": {"data_source": "notify", "tool_id": "codex-cli",
                        "rate_limit_blocked": True, "rate_limit_label": "Blocked",
                        "detail": "Captured from Codex notify payload. Exact quota is shown "
                                  "only if Codex provides it."}}),
            ("a failure that is not a limit", {"type": "error", "thread-id": "t",
                                               "message": "exit code 14290"},
             {"event_type": "task_failed", "title": "Codex CLI failed",
              "message": "exit code 14290"}),
            ("usage in the payload", {"type": "token-count", "thread-id": "t",
                                      "usage": {"input_tokens": 900, "output_tokens": 100}},
             {"title": "Codex CLI update", "message": "Lifecycle event captured locally.",
              "usage": {"input_tokens": 900, "output_tokens": 100, "total_tokens": 1000,
                        "data_source": "notify", "tool_id": "codex-cli"}}),
        ]
        for name, payload, expected in cases:
            with self.subTest(name):
                self.assert_subset(expected, self.codex(payload), name)

    def test_self_approving_configuration(self):
        request = {"hook_event_name": "PermissionRequest", "tool_name": "Bash",
                   "tool_input": {"command": "ls"}, "session_id": "s"}
        cases = [
            ("never at the top", 'model = "gpt-5"\napproval_policy = "never"\n', "silent"),
            ("full access at the top", "sandbox_mode='danger-full-access' # yolo\n", "silent"),
            ("after an array value", 'notify = [\n  "a",\n  ["b"],\n]\napproval_policy = "never"\n',
             "silent"),
            ("only in a profile",
             'approval_policy = "on-request"\n[profiles.yolo]\napproval_policy = "never"\n'
             'sandbox_mode = "danger-full-access"\n', None),
            ("commented out", '# approval_policy = "never"\n', None),
            ("asking policy", 'approval_policy = "untrusted"\n', None),
            ("no file", None, None),
        ]
        config = os.path.join(self.home, ".codex", "config.toml")
        for name, text, policy in cases:
            with self.subTest(name):
                if text is None:
                    os.remove(config)
                else:
                    os.makedirs(os.path.dirname(config), exist_ok=True)
                    with open(config, "w") as out:
                        out.write(text)
                self.assertEqual(self.codex(request).get("notify_policy"), policy)
        # Lifecycle records are never silenced.
        with open(config, "w") as out:
            out.write('approval_policy = "never"\n')
        self.assertNotIn("notify_policy", self.codex(CODEX_NOTIFY))

    def test_rollout_preview(self):
        self.rollout("sid-1", [self.said("user", "Please fix login"), "not json",
                               {"type": "event_msg", "payload": {"type": "token_count"}},
                               self.said("assistant", "Looking at auth.py"),
                               self.said("assistant", "Fixed the login bug.")])
        request = {"hook_event_name": "PermissionRequest", "session_id": "sid-1",
                   "tool_name": "Bash", "tool_input": {"command": "pytest"}}
        record = self.codex(request)
        self.assertEqual(record["preview"], {"user": "Please fix login",
                                             "agent": "Fixed the login bug."})
        self.assertEqual(record["message"], "Bash - pytest")
        # A turn end without texts of its own takes the rollout's answer as its message.
        record = self.codex({"type": "agent-turn-complete", "thread-id": "sid-1"})
        self.assertEqual(record["message"], "Fixed the login bug.")
        # The newest of several rollouts of a session wins; other sessions do not count.
        newer = self.rollout("sid-1", [self.said("assistant", "Second run.")],
                             days=("2027", "01", "16"))
        os.utime(newer, (time.time() + 5, time.time() + 5))
        self.rollout("sid-2", [self.said("assistant", "Other session.")])
        record = self.codex({"type": "agent-turn-complete", "thread-id": "sid-1"})
        self.assertEqual(record["preview"], {"user": None, "agent": "Second run."})

    def test_title_generation_is_no_preview(self):
        self.rollout("sid-t", [self.said("user", "Generate a short title for this task"),
                               self.said("assistant", '{"title":"Fix login"}')])
        record = self.codex({"type": "agent-turn-complete", "thread-id": "sid-t"})
        self.assertNotIn("preview", record)
        self.assertEqual(record["message"], "Lifecycle event captured locally.")

    def test_title_thread_turn_writes_no_record(self):
        # Codex names the user's task on a background thread of its own; its notify is no
        # turn of the user's session.
        title_turn = {"type": "agent-turn-complete", "thread-id": "01a25fd8-9f4c",
                      "turn-id": "01a25fd8-9f91", "cwd": "/w", "client": "codex-tui",
                      "input-messages": ["Generate a concise, single-line task title of at most "
                                         "36 characters and under five words where possible."
                                         "\n\nUser prompt:\nmake x"],
                      "last-assistant-message": "Create x"}
        result = self.run_script(EVENT, ["--source", "codex", json.dumps(title_turn)])
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual((self.records(), self.errors()), ([], []))
        # The user's own turns that ask for a title are recorded.
        for asked in ("Change the task title", "Generate a title for the post"):
            own = dict(CODEX_NOTIFY, **{"input-messages": [asked]})
            self.assertEqual(self.codex(own)["event_type"], "task_updated", asked)

    def test_prompt_record_never_carries_the_previous_answer(self):
        earlier = [self.said("user", "First question"), self.said("assistant", "First answer.")]
        prompt = {"hook_event_name": "UserPromptSubmit", "prompt": "Second question",
                  "session_id": "sid-p", "turn_id": "t2", "cwd": "/w"}
        cases = [("rollout not caught up", earlier),
                 ("rollout holds the prompt", earlier + [self.said("user", "Second question")])]
        for name, lines in cases:
            with self.subTest(name):
                self.fresh_home()
                self.rollout("sid-p", lines)
                self.assertEqual(self.codex(prompt)["preview"],
                                 {"user": "Second question", "agent": None})
        # Once the turn has an answer, records after it pair the prompt with that answer.
        self.rollout("sid-p", earlier + [self.said("user", "Second question"),
                                         self.said("assistant", "Second answer.")])
        request = {"hook_event_name": "PermissionRequest", "session_id": "sid-p",
                   "tool_name": "Bash", "tool_input": {"command": "make"}}
        self.assertEqual(self.codex(request)["preview"],
                         {"user": "Second question", "agent": "Second answer."})

    def test_long_rollout_reads_its_tail(self):
        filler = "x" * 1000
        lines = [self.said("user", "old question")]
        lines += [self.said("assistant", filler) for _ in range(700)]
        lines += [self.said("user", "latest question é"), self.said("assistant", "latest answer")]
        path = self.rollout("sid-big", lines)
        self.assertGreater(os.path.getsize(path), 524288)
        record = self.codex({"type": "agent-turn-complete", "thread-id": "sid-big"})
        self.assertEqual(record["preview"], {"user": "latest question é",
                                             "agent": "latest answer"})


class GenericBuilderTest(EventWriterTest):
    def test_payloads(self):
        cases = [
            ("completion with a summary", "gemini",
             {"event_type": "task_completed", "summary": "Refactored auth", "session_id": "g1",
              "cwd": "/w/g"},
             {"source": "gemini", "source_type": "cli_agent", "event_type": "task_completed",
              "severity": "success", "title": "Gemini CLI completed",
              "message": "Refactored auth", "completion_snippet": "Refactored auth",
              "session_id": "g1", "project": "g", "raw_event_name": "task_completed",
              "notify_policy": None}),
            ("webhook approval", "copilot_coding_agent",
             {"type": "approval_required", "tool_name": "shell",
              "action": {"command": "npm install x"}, "title": "Approve install",
              "status": "blocked", "conversationId": "c9", "run_id": "r1", "taskKey": "k"},
             {"source_type": "remote_agent", "event_type": "permission_request",
              "title": "Approve install", "status": "blocked", "message": "shell - npm install x",
              "session_id": "c9", "turn_id": "r1", "task_key": "k",
              "action": {"kind": "shell", "command": "npm install x", "risk": "medium"}}),
            ("wrapper usage report", "cursor",
             {"usage": {"input_tokens": 100, "output_tokens": 20}, "cwd": "/w",
              "session_id": "run", "hook_event_name": "Usage", "project": "Proj"},
             {"title": "Cursor IDE update", "project": "Proj", "raw_event_name": "Usage",
              "usage": {"input_tokens": 100, "output_tokens": 20, "total_tokens": 120,
                        "data_source": "wrapper", "tool_id": "cursor-ide"}}),
            ("a wrapped Gemini report's token counts are neither a prompt nor a tool", "gemini",
             {"response": "Refactored utils.ts", "hook_event_name": "Usage", "cwd": "/w",
              "stats": {"models": {"gemini-2.5-pro": {"tokens": {
                  "prompt": 15234, "candidates": 812, "total": 17046, "tool": 0}}}}},
             {"raw_event_name": "Usage", "message": "Lifecycle event captured locally.",
              "preview": None, "action": None}),
            ("Gemini's quota error", "gemini",
             {"hook_event_name": "failed", "error": "RetryableQuotaError: Resource has been "
                                                     "exhausted (e.g. check quota)."},
             {"title": "Gemini CLI paused by usage limit", "status": "usage_limited",
              "usage": {"data_source": "wrapper", "tool_id": "gemini",
                        "rate_limit_blocked": True, "rate_limit_label": "Blocked"}}),
            ("usage limit in the status", "kimi_cli", {"status": "rate_limited", "cwd": "/w"},
             {"title": "Kimi CLI paused by usage limit", "status": "usage_limited",
              "event_type": "task_updated", "message": "Paused by usage limit.",
              "usage": {"data_source": "wrapper", "tool_id": "kimi-cli",
                        "rate_limit_blocked": True, "rate_limit_label": "Blocked"}}),
            ("completion answered by the preview", "opencode",
             {"type": "completed", "assistant_response": "Shipped it.", "message": "m"},
             {"message": "Shipped it.", "completion_snippet": "Shipped it.",
              "preview": {"user": None, "agent": "Shipped it."}}),
            ("choices and answer channel", "droid",
             {"type": "choice_request", "message": "Pick one",
              "options": [{"id": "a", "label": "Alpha", "detail": "first", "risk": "high"},
                          {"id": "", "label": "no id"}, {"id": "b", "label": "Beta",
                                                         "risk": "odd"}],
              "response": {"response_file": "/tmp/answer.json", "note_enabled": "yes",
                           "note_max_length": "200"}},
             {"event_type": "waiting_input", "title": "Factory Droid needs a choice",
              "options": [{"id": "a", "label": "Alpha", "description": "first",
                           "risk": "high"}, {"id": "b", "label": "Beta"}],
              "response": {"response_file": "/tmp/answer.json", "note_enabled": True,
                           "note_max_length": 200}}),
            ("jump target and terminal from the payload", "pi",
             {"type": "tool_call", "tool_name": "read", "pid": 321, "terminal": "foot",
              "jump_target": {"kind": "url", "url": "https://x"}},
             {"jump_target": {"kind": "url", "url": "https://x"}, "terminal": "foot",
              "pid": 321, "message": "Tool event captured locally.",
              "action": {"kind": "read", "risk": "low"}}),
        ]
        for name, source, payload, expected in cases:
            with self.subTest(name):
                record = self.write(["--source", source], payload)
                self.assert_subset(expected, record, name)


def gemini_output(name):
    """The JSON objects of a recorded Gemini CLI output: the whole text when it is one object,
    else one a line."""
    with open(sample(name), encoding="utf-8") as recorded:
        text = recorded.read()
    try:
        return [json.loads(text)]
    except ValueError:
        return [json.loads(line) for line in text.splitlines() if line.strip()]


class UsageExtractionTest(unittest.TestCase):
    def test_usage_objects(self):
        extract = module()["extract_usage"]
        cases = [
            ({"input_tokens": 10, "output_tokens": 5}, {"input_tokens": 10, "output_tokens": 5,
                                                         "total_tokens": 15}),
            ({"quota_percent": 0.42}, {"limit_5h_percent": 0.42, "limit_5h_label": "0%"}),
            ({"quota_percent": 42}, {"limit_5h_percent": 42, "limit_5h_label": "42%"}),
            ({"context_used": "50,000", "context_total": 200000},
             {"context_used": "50,000", "context_total": "200000", "context_percent": 25}),
            ({"context_window_used": 1000, "context_window": 200000},
             {"context_used": "1000", "context_total": "200000", "context_percent": 0.5}),
            ({"contextPercent": "0.3"}, {"context_percent": 0.3}),
            ({"cost_usd": 0.12}, {"cost_amount": 0.12, "cost_currency": "USD"}),
            ({"cost": "1.50", "currency": "EUR", "estimated": "Yes"},
             {"cost_amount": 1.5, "cost_currency": "EUR", "cost_estimate": True}),
            ({"message": "5-hour limit: 80% used. Weekly usage near limit."},
             {"limit_5h_percent": 80, "limit_5h_label": "80%", "weekly_label": "Near limit"}),
            ({"status": {"text": "5h window at 12.5 %, daily 40%, weekly 9%"}},
             {"limit_5h_percent": 12.5, "limit_5h_label": "12%", "daily_percent": 40,
              "daily_label": "40%", "weekly_percent": 9}),
            ({"daily_percent": "35%", "dailyResets": "tomorrow 9am", "weeklyLimitLabel": "W"},
             {"daily_percent": 35, "daily_label": "35%", "daily_reset": "tomorrow 9am",
              "weekly_label": "W"}),
            ({"tokens": {"input": 100, "output": 20, "cache": {"read": 5}}},
             {"input_tokens": 100, "output_tokens": 20, "cache_read_tokens": 5,
              "total_tokens": 125}),
            ({"usage": {"input_tokens": 3, "total": 9}}, {"input_tokens": 3, "total_tokens": 9}),
            ({"rate_limit_reset": "2027-01-01T00:00:00Z", "dataSource": "x"},
             {"rate_limit_reset": "2027-01-01T00:00:00Z", "data_source": "x"}),
            # Gemini CLI's --output-format json: every model's tokens, summed; the routing
            # model's come first.
            (gemini_output("gemini-output-json.txt")[0],
             {"input_tokens": 1241, "output_tokens": 59, "cache_read_tokens": 100,
              "reasoning_tokens": 12, "total_tokens": 1312}),
            # --output-format stream-json: the totals of its last line, the "result".
            (gemini_output("gemini-output-stream-json.txt")[-1],
             {"input_tokens": 1241, "output_tokens": 59, "cache_read_tokens": 100,
              "total_tokens": 1312}),
            ({"stats": {"models": {"m": {"tokens": {"prompt": True, "candidates": "5"}}}}},
             None),
            ({}, None), ({"message": "hello"}, None),
            # Percents in prompts, replies and tool output are not usage.
            ({"prompt": "5-hour window: 80%", "tool_response": {"stdout": "daily 40%"},
              "last_assistant_message": "weekly usage near limit"}, None),
        ]
        for payload, expected in cases:
            with self.subTest(payload=payload):
                self.assertEqual(extract(payload), expected)


class WritingTest(EventWriterTest):
    def test_failures_go_to_the_error_log(self):
        cases = [(b"{not json", "payload is not JSON"),
                 (b'"just a text"', "payload is not a JSON object"),
                 (b"[1, 2]", "payload is not a JSON object"),
                 (b'{"a": 1} trailing', "extra data")]
        for stdin, text in cases:
            with self.subTest(stdin=stdin):
                self.fresh_home()
                result = self.run_script(EVENT, ["--source", "codex"], stdin)
                self.assertEqual((result.returncode, result.stdout, result.stderr),
                                 (0, b"", b""))
                self.assertEqual(self.records(), [])
                [line] = self.errors()
                stamp, message = line.split(" ", 1)
                self.assertRegex(stamp, TIMESTAMP)
                self.assertIn(text, message)

    def test_unwritable_bridge_file(self):
        os.makedirs(self.bridge)  # a folder where the file should be
        result = self.run_script(EVENT, ["--title", "t"])
        self.assertEqual(result.returncode, 0)
        [line] = self.errors()
        self.assertIn("Is a directory", line)

    def test_bridge_location_and_modes(self):
        result = self.run_script(EVENT, [], env={"XDG_DATA_HOME": "relative/data"})
        self.assertEqual(result.returncode, 0)
        default = os.path.join(self.home, ".local", "share", "Tandrel", "events.jsonl")
        with open(default) as written:
            self.assertEqual(len(json.loads(written.read())), 11)
        self.assertEqual(stat.S_IMODE(os.stat(default).st_mode), 0o600)
        self.assertEqual(stat.S_IMODE(os.stat(os.path.dirname(default)).st_mode), 0o700)
        for value, expected in (("  ~/elsewhere/e.jsonl ", "elsewhere/e.jsonl"),
                                ("sub/rel.jsonl", "work/sub/rel.jsonl")):
            with self.subTest(value):
                os.makedirs(os.path.join(self.home, "work"), exist_ok=True)
                self.run_script(EVENT, [], env={"TANDREL_EVENT_FILE": value},
                                cwd=os.path.join(self.home, "work"))
                self.assertTrue(os.path.exists(os.path.join(self.home, expected)))
        # An existing file keeps its mode.
        os.makedirs(os.path.dirname(self.bridge))
        open(self.bridge, "w").close()
        os.chmod(self.bridge, 0o644)
        self.write()
        self.assertEqual(stat.S_IMODE(os.stat(self.bridge).st_mode), 0o644)

    def test_text_encoding(self):
        record = self.write(["--message", "héllo ✓", "--pid", "1"],
                            env={"PYTHONIOENCODING": "ascii", "LC_ALL": "C"})
        self.assertEqual(record["message"], "héllo ✓")
        with open(self.bridge, "rb") as raw:
            line = raw.read()
        self.assertIn("héllo ✓".encode("utf-8"), line)
        self.assertEqual(line, (json.dumps(record, separators=(",", ":"), ensure_ascii=False)
                                + "\n").encode("utf-8"))
        result = self.run_script(EVENT, ["--source", "gemini"],
                                 b'{"message": "x", "pid": NaN, "n": Infinity}')
        self.assertEqual(result.returncode, 0)
        self.assertNotIn("pid", self.records()[-1])
        with open(self.bridge, "rb") as raw:
            self.assertNotIn(b"NaN", raw.read())

    def test_terminal_input_is_not_waited_for(self):
        import pty
        controller, terminal = pty.openpty()
        self.addCleanup(os.close, controller)
        try:
            environment = dict(self.env)
            result = subprocess.run([PYTHON, script_path(EVENT), "--title", "typed"],
                                    stdin=terminal, env=environment, cwd=self.home,
                                    capture_output=True, timeout=20)
        finally:
            os.close(terminal)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(self.records()[-1]["title"], "typed")

    def test_concurrent_appends_keep_every_line_whole(self):
        # 20 writers at once, each appending 5 records of about 64 KiB (the payload's jump
        # target is written unchanged).
        processes = []
        for writer in range(20):
            payload = json.dumps({"type": "tool_call", "jump_target": {
                "kind": "url", "url": "https://example.com/" + chr(97 + writer) * 65536}})
            command = "; ".join(['"$0" "$1" --source gemini "$2"'] * 5)
            processes.append(subprocess.Popen(
                ["/bin/sh", "-c", command, PYTHON, script_path(EVENT), payload],
                env=self.env, cwd=self.home, stdin=subprocess.DEVNULL))
        for process in processes:
            self.assertEqual(process.wait(timeout=120), 0)
        with open(self.bridge, "rb") as raw:
            lines = raw.read().split(b"\n")
        self.assertEqual(lines[-1], b"")
        records = [json.loads(line) for line in lines[:-1]]
        self.assertEqual(len(records), 100)
        self.assertEqual(len({record["event_id"] for record in records}), 100)
        counts = {}
        for record in records:
            url = record["jump_target"]["url"]
            writer = url[len("https://example.com/")]
            self.assertEqual(url, "https://example.com/" + writer * 65536)
            counts[writer] = counts.get(writer, 0) + 1
        self.assertEqual(counts, {chr(97 + writer): 5 for writer in range(20)})
        self.assertEqual(self.errors(), [])


class CompiledCodeCacheTest(EventWriterTest):
    def test_cache_is_made_checked_and_renewed(self):
        folder = os.path.join(self.home, "scripts")
        os.makedirs(folder)
        copy = os.path.join(folder, EVENT)
        with open(script_path(EVENT), encoding="utf-8") as source:
            text = source.read()
        with open(copy, "w", encoding="utf-8") as out:
            out.write(text)
        folder_of_caches = os.path.join(self.home, "cache", "Tandrel")

        def run(*args):
            result = subprocess.run([PYTHON, copy, *args], env=self.env, cwd=self.home,
                                    capture_output=True, timeout=60, stdin=subprocess.DEVNULL)
            self.assertEqual(result.returncode, 0, result.stderr)
            return self.records()[-1]

        self.assertEqual(run("--title", "first")["title"], "first")
        [name] = os.listdir(folder_of_caches)
        self.assertTrue(name.startswith("%s.%s." % (EVENT, sys.implementation.cache_tag)))
        cache = os.path.join(folder_of_caches, name)
        # Another copy of the script keeps a cache of its own.
        self.write(["--title", "from the source folder"])
        self.assertEqual(len(os.listdir(folder_of_caches)), 2)
        self.assertEqual(stat.S_IMODE(os.stat(cache).st_mode), 0o600)
        with open(cache, "rb") as cached:
            self.assertIn(copy.encode(), cached.readline())
        # A damaged cache is compiled again and replaced.
        with open(cache, "r+b") as cached:
            cached.seek(-40, os.SEEK_END)
            cached.write(b"\0" * 40)
        self.assertEqual(run("--title", "second")["title"], "second")
        # An edited script is not run from the old cache.
        edited = text.replace('"title": args.title or args.source + " event"',
                              '"title": "edited " + (args.title or "")')
        self.assertNotEqual(edited, text)
        with open(copy, "w", encoding="utf-8") as out:
            out.write(edited)
        self.assertEqual(run("--title", "third")["title"], "edited third")
        # Without a usable cache folder the script still runs.
        shutil.rmtree(folder_of_caches)
        open(folder_of_caches, "w").close()
        self.assertEqual(run("--title", "fourth")["title"], "edited fourth")


if __name__ == "__main__":
    unittest.main()

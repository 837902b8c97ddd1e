"""Tests of the blocking hook clients tandrel-hook-claude and tandrel-hook-codex.

Each test runs a script against a small socket server in a temporary home and checks the request
it sends, what it prints and that it always exits with status 0.
"""

import importlib.machinery
import importlib.util
import io
import json
import os
import socket
import subprocess
import sys
import threading
import time
import unittest

from script_support import temporary_home

SOURCE_DIR = os.environ.get(
    "TANDREL_SOURCE_DIR",
    os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
SCRIPTS = os.path.join(SOURCE_DIR, "src", "hooks", "scripts")
CLAUDE = os.path.join(SCRIPTS, "tandrel-hook-claude")
CODEX = os.path.join(SCRIPTS, "tandrel-hook-codex")
PYTHON = "/usr/bin/python3"


def load_script(path, without_c_json=False):
    """Imports a hook script as a module; optionally as if the interpreter had no _json."""
    name = "hook_" + os.path.basename(path).replace("-", "_") + ("_plain" if without_c_json else "")
    saved = sys.modules.get("_json")
    if without_c_json:
        sys.modules["_json"] = None  # makes "import _json" fail
    try:
        loader = importlib.machinery.SourceFileLoader(name, path)
        module = importlib.util.module_from_spec(importlib.util.spec_from_loader(name, loader))
        loader.exec_module(module)
    finally:
        if without_c_json:
            if saved is None:
                del sys.modules["_json"]
            else:
                sys.modules["_json"] = saved
    return module


def reply_line(request, raw_agent_payload):
    reply = {"v": 1, "type": "hook.reply", "request_id": request["request_id"],
             "decision": "allow", "mode": "once"}
    if raw_agent_payload is not None:
        reply["raw_agent_payload"] = raw_agent_payload
    return json.dumps(reply).encode("utf-8") + b"\n"


class FakeApp:
    """Accepts one connection, reads one request line and answers with `respond`."""

    def __init__(self, path, respond):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        self.path = path
        self.respond = respond
        self.requests = []
        self.release = threading.Event()
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.bind(path)
        self.sock.listen(4)
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        self.sock.settimeout(20)
        try:
            conn, _ = self.sock.accept()
        except OSError:
            return
        with conn:
            conn.settimeout(20)
            data = b""
            while b"\n" not in data:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                data += chunk
            if not data:
                return
            self.requests.append(data)
            request = json.loads(data.split(b"\n", 1)[0].decode("utf-8"))
            self.respond(self, conn, request)

    def close(self):
        self.release.set()
        if not self.requests:
            # Wake a thread still waiting in accept.
            with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as poke:
                try:
                    poke.connect(self.path)
                except OSError:
                    pass
        self.sock.close()
        self.thread.join(20)


class HookClientTest(unittest.TestCase):
    def setUp(self):
        self.fresh_home()

    def fresh_home(self):
        """A new temporary home (and socket path), so that one test can run several exchanges."""
        self.home = temporary_home()
        self.addCleanup(self.home.cleanup)
        self.socket_path = os.path.join(self.home.name, ".tandrel", "tandrel.sock")

    def serve(self, respond):
        app = FakeApp(self.socket_path, respond)
        self.addCleanup(app.close)
        return app

    def run_hook(self, script, stdin=b"", args=(), env=None):
        environment = {k: v for k, v in os.environ.items() if k != "CLAUDE_PID"}
        environment.update({"HOME": self.home.name, "PWD": "/pwd/dir"})
        environment.update(env or {})
        started = time.monotonic()
        result = subprocess.run([PYTHON, script, *args], input=stdin, env=environment,
                                capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.decode("utf-8"), time.monotonic() - started

    def sent_request(self, app):
        self.assertEqual(len(app.requests), 1)
        line = app.requests[0]
        self.assertTrue(line.endswith(b"\n"))
        self.assertEqual(line.count(b"\n"), 1)
        request = json.loads(line.decode("utf-8"))
        # Compact, keys sorted, UTF-8.
        self.assertEqual(line[:-1].decode("utf-8"),
                         json.dumps(request, sort_keys=True, separators=(",", ":"),
                                    ensure_ascii=False))
        return request


def answer(raw):
    return lambda app, conn, request: conn.sendall(reply_line(request, raw))


class RequestTest(HookClientTest):
    def exchange(self, script, stdin=b"", args=(), env=None):
        app = self.serve(answer("{}"))
        output, _ = self.run_hook(script, stdin, args, env)
        self.assertEqual(output, "{}\n")
        return self.sent_request(app)

    def test_claude_requests(self):
        cases = [
            ("pre tool use of Bash",
             {"hook_event_name": "PreToolUse", "tool_name": "Bash", "session_id": "s-1",
              "tool_input": {"command": "rm -rf build"}, "cwd": "/w",
              "transcript_path": "/t.jsonl"},
             {"kind": "permission_request", "session_id": "s-1"},
             {"tool": "Bash", "command": "rm -rf build", "cwd": "/w",
              "transcript_path": "/t.jsonl", "prompt": None, "multiline": False,
              "options": None,
              "extras": {"hook_event_name": "PreToolUse",
                         "request_key": "9598a826796e64dc3fa720b72df39d6d"}}),
            ("stop with two options",
             {"hook_event_name": "Stop",
              "options": [{"id": "a", "label": "A"}, {"id": "b", "label": "B"}]},
             {"kind": "waiting_choice", "session_id": ""},
             {"options": [{"id": "a", "label": "A"}, {"id": "b", "label": "B"}],
              "cwd": "/pwd/dir", "extras": {"hook_event_name": "Stop"}}),
            ("stop without options", {"hook_event_name": "stop", "options": []},
             {"kind": "waiting_input"}, {"options": []}),
            ("stop with the agent's last message",
             {"hook_event_name": "Stop", "last_assistant_message": "Done.\nShall I push?"},
             {"kind": "waiting_input"},
             {"extras": {"hook_event_name": "Stop", "last_assistant_message": "Done.\nShall I push?"}}),
            ("a long last message keeps its end",
             {"hook_event_name": "Stop", "last_assistant_message": "a" * 5000 + "Shall I push?"},
             {"kind": "waiting_input"},
             {"extras": {"hook_event_name": "Stop",
                         "last_assistant_message": "\u2026" + ("a" * 5000 + "Shall I push?")[-3999:]}}),
            ("a blank last message is left out",
             {"hook_event_name": "Stop", "last_assistant_message": " \n"},
             {"kind": "waiting_input"}, {"extras": {"hook_event_name": "Stop"}}),
            ("prompt over two lines",
             {"hookEventName": "UserPromptSubmit", "prompt": "one\ntwo"},
             {"kind": "waiting_input"},
             {"prompt": "one\ntwo", "multiline": True,
              "extras": {"hook_event_name": "UserPromptSubmit"}}),
            ("user_prompt and tool_input.name",
             {"hook_event_name": "Other", "user_prompt": "hi", "tool_input": {"name": "Edit"},
              "session_id": 42},
             {"kind": "permission_request", "session_id": "42"},
             {"prompt": "hi", "tool": "Edit", "multiline": False}),
            ("no event name", {},
             {"kind": "permission_request"}, {"extras": None, "tool": None}),
        ]
        for name, payload, top, expected_payload in cases:
            with self.subTest(name):
                self.fresh_home()
                request = self.exchange(CLAUDE, json.dumps(payload).encode("utf-8"))
                self.assertEqual(request["v"], 1)
                self.assertEqual(request["type"], "hook.request")
                self.assertEqual(request["agent"], "claude_code")
                self.assertEqual(request["timeout_seconds"], 120)
                self.assertEqual(len(request["request_id"]), 36)
                self.assertEqual(request["request_id"][14], "4")
                self.assertEqual(request["agent_pid"], os.getpid())
                for key, value in top.items():
                    self.assertEqual(request[key], value, key)
                for key, value in expected_payload.items():
                    self.assertEqual(request["payload"][key], value, key)

    def test_claude_agent_pid(self):
        cases = [("1234", 1234), ("abc", os.getpid()), ("0", os.getpid()), ("\u00b2", os.getpid()),
                 ("99999999999", os.getpid()), (" 77 ", 77)]
        for value, expected in cases:
            with self.subTest(value):
                self.fresh_home()
                request = self.exchange(CLAUDE, b"{}", env={"CLAUDE_PID": value})
                self.assertEqual(request["agent_pid"], expected)

    def test_codex_requests(self):
        cases = [
            ("permission request on standard input", ["--event", "PermissionRequest"],
             {"tool_name": "Bash", "tool_input": {"command": "git push"}, "session_id": "c-1"},
             {"kind": "permission_request", "session_id": "c-1"},
             {"tool": "Bash", "command": "git push",
              "extras": {"hook_event_name": "PermissionRequest",
                         "request_key": "cdd66f633ee0e7fea04c32211d48b70b"}}),
            ("argument merged under standard input",
             ["--event=Stop", '{"conversation_id": "conv", "tool": "shell", "cwd": "/a"}'],
             {"cwd": "/b", "prompt": "x\ny"},
             {"kind": "waiting_input", "session_id": "conv"},
             {"tool": "shell", "cwd": "/b", "prompt": "x\ny", "multiline": True}),
            ("stop with the agent's last message", ["--event", "Stop"],
             {"last_assistant_message": "All tests pass."},
             {"kind": "waiting_input"},
             {"extras": {"hook_event_name": "Stop", "last_assistant_message": "All tests pass."}}),
            ("older keys", ["--event", "userpromptsubmit", "--other", "1"],
             {"command_kind": "exec", "command": "ls"},
             {"kind": "waiting_input", "session_id": ""},
             {"tool": "exec", "command": "ls", "cwd": "/pwd/dir",
              "extras": {"hook_event_name": "userpromptsubmit"}}),
            ("unknown event and no event", [], {},
             {"kind": "permission_request", "agent": "codex"}, {"extras": None}),
        ]
        for name, args, stdin, top, expected_payload in cases:
            with self.subTest(name):
                self.fresh_home()
                request = self.exchange(CODEX, json.dumps(stdin).encode("utf-8"), args)
                self.assertEqual(request["agent"], "codex")
                self.assertEqual(request["agent_pid"], os.getpid())
                for key, value in top.items():
                    self.assertEqual(request[key], value, key)
                for key, value in expected_payload.items():
                    self.assertEqual(request["payload"][key], value, key)

    def test_codex_ignores_invalid_standard_input(self):
        request = self.exchange(CODEX, b"not json", ["--event", "Stop", '{"session_id": "s"}'])
        self.assertEqual(request["session_id"], "s")
        self.assertEqual(request["kind"], "waiting_input")


# What the real agents hand their PermissionRequest hooks (Claude Code 2.1, Codex 0.171).
CLAUDE_PERMISSION = {
    "session_id": "94f5a9c6-c7db-4455-be90-45a99ddfdce5", "cwd": "/w/proj",
    "transcript_path": "/h/.claude/projects/-w-proj/94f5a9c6.jsonl",
    "prompt_id": "0e3bad92-238b-4afa-8903-9b40e975ca8b", "permission_mode": "default",
    "effort": {"level": "medium"}, "hook_event_name": "PermissionRequest", "tool_name": "Bash",
    "tool_input": {"command": "touch x", "description": "Run a command"},
    "permission_suggestions": [{"type": "setMode", "mode": "acceptEdits",
                                "destination": "session"}]}
CODEX_PERMISSION = {
    "session_id": "01a25fd8-9cd8-79e2-9b93-febc5245d492",
    "turn_id": "01a25fd8-9e00-7893-b066-be3bbe69524e", "cwd": "/w/proj",
    "hook_event_name": "PermissionRequest", "model": "gpt-5-mock", "permission_mode": "default",
    "tool_name": "Bash", "tool_input": {"command": "touch x", "description": "Need to write"}}


class RequestKeyTest(HookClientTest):
    """The bridge record of a request and the blocking request itself carry the same key, so
    that the island can answer the card and clear it when the request ends."""

    def key_pair(self, script, payload, args=()):
        app = self.serve(answer("{}"))
        self.run_hook(script, json.dumps(payload).encode("utf-8"), args)
        request_key = self.sent_request(app)["payload"]["extras"].get("request_key")
        bridge = os.path.join(self.home.name, "events.jsonl")
        subprocess.run([PYTHON, os.path.join(SCRIPTS, "tandrel-event"), "--source",
                        "codex" if script == CODEX else "claude_code"],
                       input=json.dumps(payload).encode("utf-8"), capture_output=True,
                       env={"HOME": self.home.name, "TANDREL_EVENT_FILE": bridge,
                            "XDG_CACHE_HOME": os.path.join(self.home.name, "cache")},
                       check=True, timeout=60)
        with open(bridge, encoding="utf-8") as records:
            [record] = [json.loads(line) for line in records]
        return request_key, record.get("request_key")

    def test_record_and_request_share_the_key(self):
        unicode_input = dict(CLAUDE_PERMISSION, tool_name="Write",
                             tool_input={"file_path": "/w/é.txt", "content": "a\nb", "n": 1.5,
                                         "flags": [True, None], "z": {"b": 1, "a": 2}})
        cases = [("claude", CLAUDE, CLAUDE_PERMISSION, ()),
                 ("claude writing a file", CLAUDE, unicode_input, ()),
                 ("codex", CODEX, CODEX_PERMISSION, ("--event", "PermissionRequest")),
                 ("claude stop", CLAUDE, {"session_id": "s", "prompt_id": "p",
                                          "hook_event_name": "Stop"}, ())]
        keys = set()
        for name, script, payload, args in cases:
            with self.subTest(name):
                self.fresh_home()
                sent, recorded = self.key_pair(script, payload, args)
                self.assertRegex(sent or "", "^[0-9a-f]{32}$")
                self.assertEqual(sent, recorded)
                keys.add(sent)
        self.assertEqual(len(keys), len(cases))

    def test_requests_that_follow_each_other_differ(self):
        claude = load_script(CLAUDE)
        codex = load_script(CODEX)
        base = claude.request_key(CLAUDE_PERMISSION, "")
        changes = [("another command", {"tool_input": {"command": "touch y"}}),
                   ("another prompt", {"prompt_id": "other"}),
                   ("another session", {"session_id": "other"}),
                   ("another tool", {"tool_name": "Edit"})]
        for name, change in changes:
            with self.subTest(name):
                self.assertNotEqual(claude.request_key(dict(CLAUDE_PERMISSION, **change), ""), base)
        # Both clients derive it alike; a payload without a session has none.
        self.assertEqual(codex.request_key(CLAUDE_PERMISSION, "x"), base)
        self.assertIsNone(claude.request_key({"tool_name": "Bash"}, "PermissionRequest"))
        # A record of a hook event that never blocks carries no key.
        self.fresh_home()
        _, recorded = self.key_pair(CLAUDE, dict(CLAUDE_PERMISSION, hook_event_name="PreToolUse"))
        self.assertIsNone(recorded)


class ReplyTest(HookClientTest):
    def test_replies_and_failures(self):
        def chunks(*parts):
            def respond(app, conn, request):
                for part in parts:
                    conn.sendall(part(request) if callable(part) else part)
                    time.sleep(0.02)
            return respond

        def close_now(app, conn, request):
            pass

        cases = [
            ("object payload printed compact", answer({"decision": "block", "reason": "é"}),
             '{"decision":"block","reason":"é"}\n'),
            ("text payload printed unchanged",
             answer('{"hookSpecificOutput": {"permissionDecision": "allow"}}'),
             '{"hookSpecificOutput": {"permissionDecision": "allow"}}\n'),
            ("reply split across receives, bytes after the line ignored",
             chunks(lambda r: reply_line(r, "PAYLOAD")[:10],
                    lambda r: reply_line(r, "PAYLOAD")[10:] + b"garbage"),
             "PAYLOAD\n"),
            ("missing payload", answer(None), "{}\n"),
            ("empty payload", answer(""), "{}\n"),
            ("garbage reply", chunks(b"\x00not json\n"), "{}\n"),
            ("closed without reply", close_now, "{}\n"),
            ("closed inside the line", chunks(b'{"raw_agent_payload":"x"'), "{}\n"),
        ]
        for script in (CLAUDE, CODEX):
            for name, respond, expected in cases:
                with self.subTest(script=os.path.basename(script), case=name):
                    self.fresh_home()
                    self.serve(respond)
                    output, _ = self.run_hook(script, b'{"hook_event_name": "Stop"}',
                                              ["--event", "Stop"] if script == CODEX else [])
                    self.assertEqual(output, expected)

    def test_no_app_running(self):
        # No socket file at all, then a stale socket file nobody listens on.
        for stale in (False, True):
            with self.subTest(stale=stale):
                if stale:
                    os.makedirs(os.path.dirname(self.socket_path), exist_ok=True)
                    leftover = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                    leftover.bind(self.socket_path)
                    leftover.close()
                for script in (CLAUDE, CODEX):
                    output, elapsed = self.run_hook(script, b"{}")
                    self.assertEqual(output, "{}\n")
                    self.assertLess(elapsed, 5)

    def test_invalid_claude_input_never_connects(self):
        app = self.serve(answer("never"))
        output, _ = self.run_hook(CLAUDE, b"{not json")
        self.assertEqual(output, "{}\n")
        app.close()
        self.assertEqual(app.requests, [])

    def run_in_process(self, script, stdin, request_timeout, grace, args=()):
        """Runs a client's main() in this process with short time-outs; (printed, seconds)."""
        module = load_script(script)
        module.SOCKET_PATH = self.socket_path
        module.REQUEST_TIMEOUT = request_timeout
        module.REPLY_GRACE = grace
        saved = sys.stdin, sys.stdout, sys.argv
        sys.stdin = io.TextIOWrapper(io.BytesIO(stdin))
        sys.stdout = io.TextIOWrapper(io.BytesIO(), encoding="utf-8")
        sys.argv = [script, *args]
        try:
            started = time.monotonic()
            status = module.main()
            elapsed = time.monotonic() - started
            sys.stdout.flush()
            printed = sys.stdout.buffer.getvalue()
        finally:
            sys.stdin, sys.stdout, sys.argv = saved
        self.assertEqual(status, 0)
        return printed, elapsed

    def test_the_app_answer_after_the_request_time_out_still_arrives(self):
        """The client waits the request's time-out plus its grace, then gives up with "{}"."""
        def late(app, conn, request):
            # The app answers when the request's own time-out has run out.
            time.sleep(request["timeout_seconds"] + 0.2)
            conn.sendall(reply_line(request, {"late": True}))

        def hang(app, conn, request):
            app.release.wait(20)

        cases = [
            (CLAUDE, b'{"hook_event_name": "PermissionRequest"}', ()),
            (CODEX, b"{}", ("--event", "Stop")),
        ]
        for script, stdin, args in cases:
            for respond, expected in ((late, b'{"late":true}\n'), (hang, b"{}\n")):
                with self.subTest(script=os.path.basename(script), app=respond.__name__):
                    self.fresh_home()
                    app = self.serve(respond)
                    printed, elapsed = self.run_in_process(script, stdin, 0.3, 0.6, args)
                    app.close()
                    self.assertEqual(printed, expected)
                    self.assertEqual(json.loads(app.requests[0])["timeout_seconds"], 0.3)
                    if respond is hang:
                        self.assertGreaterEqual(elapsed, 0.85)
                    self.assertLess(elapsed, 5)


class JsonTest(unittest.TestCase):
    """The scripts' quick JSON helpers agree with the json module, with and without _json."""

    def test_helpers_match_the_json_module(self):
        value = {"b": [1, -2.5, None, True, False, "é\n\"/\u2028"], "a": {"z": {}, "y": []},
                 "ü": 10**20}
        expected = json.dumps(value, sort_keys=True, separators=(",", ":"), ensure_ascii=False)
        invalid = ["", "   ", "{", "[1] x", "{'a': 1}", "tru"]
        for script in (CLAUDE, CODEX):
            for plain in (False, True):
                with self.subTest(script=os.path.basename(script), without_c_json=plain):
                    module = load_script(script, without_c_json=plain)
                    self.assertEqual(hasattr(module, "_json"), not plain)
                    self.assertEqual(module.json_dumps(value, sort_keys=True), expected)
                    self.assertEqual(module.json_dumps({"b": 1, "a": 2}), '{"b":1,"a":2}')
                    self.assertEqual(module.json_loads(" \n" + expected + "\n "), value)
                    for text in invalid:
                        with self.assertRaises(ValueError, msg=text):
                            module.json_loads(text)


if __name__ == "__main__":
    unittest.main()

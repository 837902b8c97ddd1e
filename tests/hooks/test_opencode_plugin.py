"""Tests of the OpenCode plug-in tandrel.js, loaded by node the way OpenCode loads it: an ES
module whose exported TandrelPlugin returns the event handler."""

import json
import os
import shutil
import subprocess
import unittest

from script_support import ScriptTest, script_path

NODE = shutil.which("node") or shutil.which("nodejs")

# Loads the plug-in (argument 1), starts it on a project folder (argument 2), then hands each
# event of argument 3 to its handler, one after the other, and prints the module's exports.
HARNESS = """
import { pathToFileURL } from "url";
const plugin = await import(pathToFileURL(process.argv[1]).href);
const exported = Object.keys(plugin);
const hooks = await plugin.TandrelPlugin({ directory: process.argv[2] });
for (const event of JSON.parse(process.argv[3])) {
  await hooks.event(event === "no argument" ? undefined : { event });
}
console.log(JSON.stringify(exported));
"""

SESSION = {"id": "ses_1", "directory": "/w/site", "time": {"created": 1799999000000,
                                                          "updated": 1800000000123},
           "tokens": {"input": 100, "output": 20, "reasoning": 0, "cache": {"read": 5,
                                                                            "write": 0}},
           "cost": 0.0125, "model": {"id": "claude-sonnet-4", "providerID": "anthropic"}}


def updated(info, session_id="ses_1"):
    return {"type": "session.updated", "properties": {"sessionID": session_id, "info": info}}


class OpenCodePluginTest(ScriptTest):
    def setUp(self):
        super().setUp()
        self.assertIsNotNone(NODE, "node is needed (Debian package nodejs)")
        folder = os.path.join(self.home, "opencode", "plugins")
        os.makedirs(folder)
        self.plugin = os.path.join(folder, "tandrel.js")
        shutil.copy(script_path("tandrel.js"), self.plugin)
        with open(os.path.join(folder, "package.json"), "w") as out:
            out.write('{"type": "module"}')

    def handle(self, events, env=None, directory="/w/plugin-dir"):
        environment = dict(self.env)
        environment.update(env or {})
        result = subprocess.run([NODE, "--input-type=module", "-e", HARNESS, self.plugin,
                                 directory, json.dumps(events)], env=environment,
                                cwd=self.home, capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"")
        self.assertEqual(json.loads(result.stdout), ["TandrelPlugin"])

    def test_session_usage_record(self):
        self.handle([updated(SESSION)])
        [record] = self.records()
        self.assertEqual(list(record), [
            "event_id", "source", "source_type", "project", "cwd", "event_type", "severity",
            "title", "message", "status", "notify_policy", "timestamp", "session_id",
            "raw_event_name", "usage"])
        self.assertEqual(record, {
            "event_id": "opencode-ses_1-1800000000123", "source": "opencode-cli",
            "source_type": "cli_agent", "project": "site", "cwd": "/w/site",
            "event_type": "task_updated", "severity": "info", "title": "OpenCode usage updated",
            "message": "OpenCode session usage snapshot.", "status": "usage",
            "notify_policy": "usage_only", "timestamp": "2027-01-15T08:00:00.123Z",
            "session_id": "ses_1", "raw_event_name": "session.updated",
            "usage": {"data_source": "opencode-plugin", "tool_id": "opencode-cli",
                      "observed_at": "2027-01-15T08:00:00.123Z", "input_tokens": 100,
                      "output_tokens": 20, "reasoning_tokens": 0, "cache_read_tokens": 5,
                      "cache_write_tokens": 0, "total_tokens": 125, "cost_amount": 0.0125,
                      "cost_currency": "USD", "model": "claude-sonnet-4",
                      "provider": "anthropic"}})
        with open(self.bridge, "rb") as raw:
            self.assertEqual(raw.read(), json.dumps(record, separators=(",", ":")).encode()
                             + b"\n")

    def test_events(self):
        cases = [
            ("cost only, the session's own id", [updated({"id": "s2", "cost": 1.5}, None)],
             [{"event_id_prefix": "opencode-s2-", "cwd": "/w/plugin-dir",
               "usage": {"data_source": "opencode-plugin", "tool_id": "opencode-cli",
                         "cost_amount": 1.5, "cost_currency": "USD"}}]),
            ("given total, no session id", [{"type": "session.updated", "properties": {
                "info": {"tokens": {"input": 1, "total": 50}, "time": {"updated": "soon"}}}}],
             [{"event_id_prefix": "opencode-session-", "session_id": None,
               "usage": {"data_source": "opencode-plugin", "tool_id": "opencode-cli",
                         "input_tokens": 1, "total_tokens": 50}}]),
            ("same update twice", [updated(SESSION), updated(SESSION)],
             [{"event_id": "opencode-ses_1-1800000000123"}] * 2),
            ("nothing to report", [updated({"id": "s3", "cost": "1.5"}),
                                   {"type": "session.idle", "properties": {"sessionID": "s"}},
                                   {"type": "session.updated"}, None, "no argument", 7], []),
        ]
        for name, events, expected in cases:
            with self.subTest(name):
                self.fresh_home()
                self.handle(events)
                records = self.records()
                self.assertEqual(len(records), len(expected))
                for record, fields in zip(records, expected):
                    fields = dict(fields)
                    prefix = fields.pop("event_id_prefix", None)
                    if prefix:
                        self.assertTrue(record["event_id"].startswith(prefix), record)
                    usage = fields.pop("usage", None)
                    if usage:  # compared whole, but for the time of the update
                        self.assertRegex(record["usage"].pop("observed_at"),
                                         r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$")
                        self.assertEqual(record["usage"], usage)
                    self.assert_subset(fields, record, name)
                self.assertEqual(self.errors(), [])

    def test_bridge_file_from_the_environment(self):
        target = os.path.join(self.home, "elsewhere", "deep", "events.jsonl")
        self.handle([updated(SESSION)], env={"TANDREL_EVENT_FILE": target})
        self.assertEqual(len(self.records()), 0)
        with open(target) as written:
            self.assertEqual(json.loads(written.read())["session_id"], "ses_1")
        self.assertEqual(os.stat(os.path.dirname(target)).st_mode & 0o777, 0o700)
        self.assertEqual(os.stat(target).st_mode & 0o777, 0o600)

    def test_a_failing_write_is_caught_and_logged(self):
        os.makedirs(self.bridge)  # a folder where the file should be
        self.handle([updated(SESSION)])  # the handler does not throw
        [line] = self.errors()
        self.assertRegex(line, r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z .*EISDIR")


if __name__ == "__main__":
    unittest.main()

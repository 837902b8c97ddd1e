"""What the tests of the installed python scripts share: their paths, a temporary home with a
clean environment, running a script as an agent would and reading the bridge file."""

import json
import os
import subprocess
import tempfile
import unittest

SOURCE_DIR = os.environ.get(
    "TANDREL_SOURCE_DIR",
    os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
SCRIPTS = os.path.join(SOURCE_DIR, "src", "hooks", "scripts")
PYTHON = "/usr/bin/python3"

# Variables a script reads from the agent's terminal; tests start without any of them.
TERMINAL_VARIABLES = (
    "ITERM_SESSION_ID", "ITERM_PROFILE", "TERM_PROGRAM", "LC_TERMINAL", "TANDREL_TERMINAL",
    "TANDREL_TERMINAL_TTY", "TTY", "TERMINAL_EMULATOR", "CMUX_WORKSPACE_ID", "CMUX_TAB_ID",
    "CMUX_SESSION_ID", "CMUX_WINDOW_ID", "CMUX_SOCKET_PATH", "TMUX", "TMUX_PANE",
    "KITTY_WINDOW_ID", "KITTY_LISTEN_ON", "WEZTERM_PANE", "WINDOWID", "DISPLAY", "WAYLAND_DISPLAY")


def temporary_home():
    """A temporary folder for a test's home. Tests put sockets below it and a Unix socket's path
    holds at most 107 bytes, so a long TMPDIR is passed over for /tmp."""
    base = tempfile.gettempdir()
    return tempfile.TemporaryDirectory(dir=base if len(os.fsencode(base)) <= 48 else "/tmp")


def script_path(name):
    return os.path.join(SCRIPTS, name)


def sample(name):
    """A file of recorded agent output beside the tests."""
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), "samples", name)


def load_script(path, namespace_name="script_under_test"):
    """Runs a script's text as a module (its main does not run) and returns its namespace."""
    namespace = {"__name__": namespace_name, "__file__": path}
    with open(path, encoding="utf-8") as source:
        exec(compile(source.read(), path, "exec"), namespace)
    return namespace


def read_lines(path):
    """The JSON objects of a JSON-lines file; [] when it does not exist."""
    if not os.path.exists(path):
        return []
    with open(path, "rb") as lines:
        return [json.loads(line) for line in lines.read().decode("utf-8").splitlines() if line]


class ScriptTest(unittest.TestCase):
    """Each test gets a temporary home; its environment points HOME and the XDG folders there."""

    def setUp(self):
        self.fresh_home()

    def fresh_home(self):
        self._home = temporary_home()
        self.addCleanup(self._home.cleanup)
        self.home = self._home.name
        self.data = os.path.join(self.home, "data")
        self.bridge = os.path.join(self.data, "Tandrel", "events.jsonl")
        self.error_log = os.path.join(self.data, "Tandrel", "hook-errors.log")
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith(("TANDREL_", "XDG_", "CLAUDE_")) and
                    k not in TERMINAL_VARIABLES}
        self.env.update({"HOME": self.home, "XDG_DATA_HOME": self.data,
                         "XDG_CACHE_HOME": os.path.join(self.home, "cache"),
                         "XDG_CONFIG_HOME": os.path.join(self.home, "config")})

    def run_script(self, name, args=(), stdin=b"", env=None, cwd=None, timeout=60):
        environment = dict(self.env)
        environment.update(env or {})
        return subprocess.run([PYTHON, script_path(name), *args], input=stdin, env=environment,
                              cwd=cwd or self.home, capture_output=True, timeout=timeout)

    def records(self):
        return read_lines(self.bridge)

    def errors(self):
        if not os.path.exists(self.error_log):
            return []
        with open(self.error_log, encoding="utf-8") as log:
            return log.read().splitlines()

    def assert_subset(self, expected, actual, context=""):
        """Every key of `expected` is in `actual` with that value; a value of None means the
        key must be absent."""
        for key, value in expected.items():
            if value is None:
                self.assertNotIn(key, actual, "%s: %s" % (context, key))
            else:
                self.assertIn(key, actual, "%s: %s" % (context, key))
                self.assertEqual(actual[key], value, "%s: %s" % (context, key))

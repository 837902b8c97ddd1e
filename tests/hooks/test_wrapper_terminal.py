"""The wrapper run from a terminal, as a user runs an interactive agent through it: the command
gets a terminal of the outer size that follows resizes, keys such as Ctrl-C and Ctrl-Z act on it,
and the user's terminal modes are back when the wrapper ends."""

import fcntl
import os
import select
import signal
import struct
import subprocess
import termios
import time
import unittest

from script_support import PYTHON, script_path
from test_agent_bridges import BridgeTest

# Reports what it runs on, then the window size at each SIGWINCH and each continue, and echoes
# what it reads; Ctrl-C ends it by its default action.
PROGRAM = r"""
import fcntl, os, signal, struct, sys, termios
def size(*_):
    rows, cols = struct.unpack("HHHH", fcntl.ioctl(1, termios.TIOCGWINSZ, b"\0" * 8))[:2]
    os.write(1, b"size %d %d\n" % (rows, cols))
signal.signal(signal.SIGWINCH, size)
signal.signal(signal.SIGCONT, lambda *_: os.write(1, b"continued\n"))
os.write(1, b"tty %d %d %d " % tuple(os.isatty(fd) for fd in (0, 1, 2)))
size()
os.write(2, b"on stderr\n")
for line in sys.stdin:
    os.write(1, b"read " + line.strip().encode() + b"\n")
"""


class TerminalTest(BridgeTest):
    def start(self, *command, rows=37, cols=123):
        """The wrapper on a new terminal of its own (its controlling terminal), `rows` x `cols`."""
        self.master, slave = os.openpty()
        self.addCleanup(os.close, self.master)
        self.addCleanup(os.close, slave)
        self.resize(rows, cols)
        self.modes = termios.tcgetattr(slave)
        self.slave = slave
        process = subprocess.Popen(
            [PYTHON, script_path("tandrel-wrap"), "--source", "gemini", "--", *command],
            stdin=slave, stdout=slave, stderr=slave, env=self.env, cwd=self.home,
            start_new_session=True, preexec_fn=lambda: fcntl.ioctl(0, termios.TIOCSCTTY, 0))
        self.addCleanup(lambda: process.poll() is None and process.kill())
        self.output = b""
        return process

    def resize(self, rows, cols):
        fcntl.ioctl(self.master, termios.TIOCSWINSZ, struct.pack("HHHH", rows, cols, 0, 0))

    def expect(self, text, timeout=20):
        """Reads the terminal until `text` has appeared."""
        deadline = time.monotonic() + timeout
        while text.encode() not in self.output:
            remaining = deadline - time.monotonic()
            self.assertGreater(remaining, 0, "waited for %r, got %r" % (text, self.output))
            if select.select([self.master], [], [], remaining)[0]:
                self.output += os.read(self.master, 4096)

    def test_interactive_command_sees_the_terminal(self):
        process = self.start(PYTHON, "-c", PROGRAM)
        self.expect("tty 1 1 1 size 37 123")
        self.expect("on stderr")
        self.assertNotEqual(termios.tcgetattr(self.slave), self.modes)  # raw while it runs
        os.write(self.master, b"hello\r")
        self.expect("read hello")
        self.resize(50, 140)
        self.expect("size 50 140")
        os.write(self.master, b"\x03")  # Ctrl-C
        self.assertEqual(process.wait(timeout=20), -signal.SIGINT)  # as the command ended
        self.assertEqual(termios.tcgetattr(self.slave), self.modes)
        started, ended = self.records()
        self.assert_subset({"event_type": "task_started", "status": "running"}, started)
        self.assert_subset({"event_type": "task_cancelled", "severity": "info",
                            "status": "cancelled", "title": "gemini stopped",
                            "session_id": started["session_id"]}, ended)

    def test_ctrl_z_stops_and_continues_the_run(self):
        process = self.start(PYTHON, "-c", PROGRAM)
        self.expect("size 37 123")
        os.write(self.master, b"\x1a")  # Ctrl-Z
        _, status = os.waitpid(process.pid, os.WUNTRACED)
        self.assertTrue(os.WIFSTOPPED(status))
        self.assertEqual(termios.tcgetattr(self.slave), self.modes)  # back for the shell
        self.resize(30, 100)
        os.kill(process.pid, signal.SIGCONT)  # what the shell's fg does
        self.expect("continued")
        self.expect("size 30 100")
        os.write(self.master, b"\x04")  # end of input
        self.assertEqual(process.wait(timeout=20), 0)
        self.assertEqual(termios.tcgetattr(self.slave), self.modes)
        self.assertEqual(self.records()[-1]["event_type"], "task_completed")

    def test_failure_and_usage_read_through_the_terminal(self):
        # Output on a terminal arrives with carriage returns and colours; the report and the
        # error text are read without them.
        script = (r"""printf '\033[1m{\r\n  "stats": {"total_tokens": 9}\r\n}\033[0m\r\n'; """
                  r"printf '\033[31mfatal: \033[0mno model\r\n' >&2; exit 2")
        process = self.start("sh", "-c", script)
        self.assertEqual(process.wait(timeout=20), 2)
        _, usage, failed = self.records()
        self.assertEqual(usage["usage"]["total_tokens"], 9)
        self.assertEqual(failed["event_type"], "task_failed")
        self.assertTrue(failed["message"].endswith(" exited 2: fatal: no model"),
                        failed["message"])

    def test_command_that_cannot_start(self):
        process = self.start("no-such-agent")
        self.assertEqual(process.wait(timeout=20), 127)
        self.expect("tandrel-wrap: no-such-agent: No such file or directory")
        self.assertEqual(termios.tcgetattr(self.slave), self.modes)
        self.assertEqual([r["event_type"] for r in self.records()],
                         ["task_started", "task_failed"])


if __name__ == "__main__":
    unittest.main()

"""Runs the filter as the mail server (FilterSession) and an administrator (run) do; every
read has a deadline, every output line must end with LF and a log line stay under 4000 bytes."""
import contextlib
import os
import re
import select
import subprocess
import tempfile
import time
from collections import namedtuple

READY = "* Ready to receive INTF command."
TIMEOUT = 60
# Every filter session runs with this many workers when it is set (ctest runs the filter-mode
# tests once without and once with it).
WORKERS = os.environ.get("VERROWICK_E2E_WORKERS")
Reply = namedtuple("Reply", "answer log")
Run = namedtuple("Run", "lines stderr status")
# A conversion's scratch directory inside wmd_temp; its name is random.
SCRATCH = re.compile(rb"(/wmd_temp)/conversion-\d+-[A-Za-z0-9]{6}(?=/)")


def is_log(line):
    return line.startswith("* ")


def _lines(data):
    """The lines of the output DATA as text, after checking that the last ends with LF and that
    no log line is too long. A path in a scratch directory is shown as in wmd_temp itself."""
    if data and not data.endswith(b"\n"):
        raise AssertionError(f"the output ends without a line end: {data[-200:]!r}")
    lines = data.split(b"\n")[:-1]
    for raw in lines:
        if raw.startswith(b"* ") and len(raw) + 1 >= 4000:
            raise AssertionError(f"a log line of {len(raw) + 1} bytes: {raw[:200]!r}...")
    return [SCRATCH.sub(rb"\1", raw).decode("utf-8", "surrogateescape") for raw in lines]


class FilterSession:
    """A filter-mode run of PROGRAM (a ProgramDir) in BASE; startup holds the lines up to Ready."""

    def __init__(self, program, base, args=(), argv0=None):
        self.stderr = tempfile.TemporaryFile()
        if WORKERS:
            args = [*args, "--workers", WORKERS]
        self.process = subprocess.Popen(
            [argv0 or program.binary, *args], executable=program.binary, cwd=base,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.stderr)
        self._pending, self._eof = b"", False
        self.startup = []
        while not self.startup or self.startup[-1] != READY:
            self.startup.append(self._next_line())
            if self.startup[-1] is None:
                raise AssertionError(f"the filter ended during start-up: {self.startup}")

    def _next_line(self):
        """The next line of standard output without its LF; None at its end."""
        deadline = time.monotonic() + TIMEOUT
        fd = self.process.stdout.fileno()
        while b"\n" not in self._pending and not self._eof:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                self.kill()
                raise AssertionError(f"no output line within {TIMEOUT} s: {self._pending[:200]!r}")
            chunk = os.read(fd, 65536)
            self._eof, self._pending = not chunk, self._pending + chunk
        line, lf, self._pending = self._pending.partition(b"\n")
        return _lines(line + lf)[0] if line or lf else None

    def send(self, data):
        self.process.stdin.write(data.encode("utf-8", "surrogateescape"))
        self.process.stdin.flush()

    def reply(self):
        """Reads log lines up to and including the next answer line."""
        log = []
        for line in iter(self._next_line, None):
            if not is_log(line):
                return Reply(line, log)
            log.append(line)
        raise AssertionError(f"the filter ended without answering; its log: {log}")

    def replies(self, count):
        """Reads COUNT answers, which may come in any order: answer number -> Reply, in the
        order they came. Each number must be answered once."""
        replies = {}
        for _ in range(count):
            reply = self.reply()
            number = reply.answer.split(" ", 1)[0]
            if number in replies:
                raise AssertionError(f"{number} answered twice: {replies[number]}, {reply}")
            replies[number] = reply
        return replies

    def request(self, line):
        self.send(line + "\n")
        return self.reply()

    def finish(self):
        """Closes standard input, reads to the end and returns the Run of the rest."""
        self.process.stdin.close()
        lines = list(iter(self._next_line, None))
        status = self.process.wait(TIMEOUT)
        self.stderr.seek(0)
        return Run(lines, self.stderr.read().decode("utf-8", "surrogateescape"), status)

    def kill(self):
        """Ends the filter if it still runs and closes the pipes (after each test)."""
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        for stream in (self.process.stdin, self.process.stdout, self.stderr):
            with contextlib.suppress(OSError):
                stream.close()


def run(program, args=(), cwd=None, argv0=None):
    """Runs the filter PROGRAM (a ProgramDir) to its end and returns the Run."""
    done = subprocess.run([argv0 or program.binary, *args], executable=program.binary, cwd=cwd,
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=TIMEOUT)
    return Run(_lines(done.stdout), done.stderr.decode("utf-8", "surrogateescape"),
               done.returncode)

"""Runs the filter binary the way the mail server and an administrator do.

FilterSession plays the mail server in filter mode: it starts the filter as a
child with real pipes and the server's base directory as working directory,
sends one request line at a time and collects the answer with the log lines
("* ...") written before it. Every read has a deadline, so a filter that hangs
fails the test instead of stalling it. run() runs the filter to its end, for
start-up and batch-mode tests.
"""
import os
import select
import subprocess
import threading
import time
from dataclasses import dataclass, field

READY = "* Ready to receive INTF command."
DEFAULT_TIMEOUT = 60
MAX_LOG_LINE = 4000  # every log line is shorter, line end included


def is_log(line):
    """Whether an output line is a log line rather than a protocol answer."""
    return line.startswith("* ")


def _decode(raw):
    return raw.decode("utf-8", "surrogateescape")


def _checked(raw):
    """One output line (bytes, without LF) as text, after checking a log line's length."""
    if raw.startswith(b"* ") and len(raw) + 1 >= MAX_LOG_LINE:
        raise AssertionError(f"a log line of {len(raw) + 1} bytes: {raw[:200]!r}...")
    return _decode(raw)


@dataclass
class Reply:
    """The answer to one request and the log lines the filter wrote before it."""
    answer: str
    log: list = field(default_factory=list)


@dataclass
class Run:
    """A finished run: standard output as lines, standard error as text, exit status."""
    lines: list
    stderr: str
    status: int


class FilterSession:
    """One filter-mode run of PROGRAM (a ProgramDir) in BASE, the server's base directory.

    argv0 replaces the first argument (the program path by default); the
    child's output up to the "Ready" log line is kept in startup.
    """

    def __init__(self, program, base, args=(), argv0=None, timeout=DEFAULT_TIMEOUT):
        self.timeout = timeout
        self.process = subprocess.Popen(
            [argv0 or program.binary, *args], executable=program.binary, cwd=base,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self._pending = b""
        self._eof = False
        self._stderr = []
        self._stderr_reader = threading.Thread(target=self._drain_stderr, daemon=True)
        self._stderr_reader.start()
        self.startup = []
        while True:
            line = self._next_line(self.timeout)
            if line is None:
                raise AssertionError(f"the filter ended during start-up: {self.startup}")
            self.startup.append(line)
            if line == READY:
                break

    def _drain_stderr(self):
        for chunk in iter(lambda: self.process.stderr.read1(65536), b""):
            self._stderr.append(chunk)

    def _next_line(self, timeout):
        """The next line of standard output without its LF; None at its end."""
        deadline = time.monotonic() + timeout
        fd = self.process.stdout.fileno()
        while b"\n" not in self._pending and not self._eof:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                self.kill()
                raise AssertionError(f"no complete output line from the filter within {timeout} s"
                                     f" (so far: {self._pending[:200]!r})")
            chunk = os.read(fd, 65536)
            self._eof = not chunk
            self._pending += chunk
        if b"\n" in self._pending:
            line, self._pending = self._pending.split(b"\n", 1)
            return _checked(line)
        if self._pending:
            line, self._pending = self._pending, b""
            raise AssertionError(f"the filter's output ends without a line end: {line!r}")
        return None

    def send(self, data):
        """Writes raw bytes (or text) to the filter's standard input."""
        if isinstance(data, str):
            data = data.encode("utf-8", "surrogateescape")
        self.process.stdin.write(data)
        self.process.stdin.flush()

    def reply(self, timeout=None):
        """Reads log lines up to and including the next answer line."""
        log = []
        while True:
            line = self._next_line(timeout or self.timeout)
            if line is None:
                raise AssertionError(f"the filter ended without answering; its log: {log}")
            if not is_log(line):
                return Reply(line, log)
            log.append(line)

    def request(self, line, end="\n", timeout=None):
        """Sends one request line ended by END and returns the Reply."""
        self.send(line + end)
        return self.reply(timeout)

    def finish(self, timeout=None):
        """Closes standard input, reads to the end and returns the Run of the rest."""
        if not self.process.stdin.closed:
            self.process.stdin.close()
        lines = []
        while (line := self._next_line(timeout or self.timeout)) is not None:
            lines.append(line)
        try:
            status = self.process.wait(timeout or self.timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError("the filter did not end after its standard output closed")
        self._stderr_reader.join(timeout or self.timeout)
        return Run(lines, _decode(b"".join(self._stderr)), status)

    def hang_up(self):
        """Closes the reading end of the filter's standard output, as a server that
        stops listening does; after it only wait() is of use."""
        self.process.stdout.close()

    def wait(self, timeout=None):
        """Closes standard input and returns the exit status once the filter has ended."""
        if not self.process.stdin.closed:
            self.process.stdin.close()
        try:
            return self.process.wait(timeout or self.timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError("the filter did not end")

    def kill(self):
        """Ends the child if it still runs and closes the pipes (on failures and after a test)."""
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self._stderr_reader.join(self.timeout)
        for stream in (self.process.stdin, self.process.stdout, self.process.stderr):
            try:
                stream.close()
            except OSError:
                pass

def run(program, args=(), cwd=None, argv0=None, timeout=DEFAULT_TIMEOUT, stdin=b""):
    """Runs the filter PROGRAM (a ProgramDir or a path) to its end and returns the Run."""
    binary = getattr(program, "binary", program)
    try:
        done = subprocess.run([argv0 or binary, *args], executable=binary, cwd=cwd, input=stdin,
                              capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired as e:
        raise AssertionError(f"the filter ran longer than {timeout} s") from e
    if done.stdout and not done.stdout.endswith(b"\n"):
        raise AssertionError(f"the filter's output ends without a line end: {done.stdout[-200:]!r}")
    lines = [_checked(line) for line in done.stdout.split(b"\n")[:-1]]
    return Run(lines, _decode(done.stderr), done.returncode)

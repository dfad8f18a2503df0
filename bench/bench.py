"""End-to-end figures of the filter, each beside a baseline from the same run.

  big message    a message whose winmail.dat carries one 100 MB attachment,
                 converted in batch mode; baseline: base64 -d of the body,
                 tnef, base64 of the extracted file, cat into the output
  peak RSS       of the filter process (filter mode) for 10 MB and 100 MB messages
  request rate   filter mode: 10 KB messages without winmail.dat, and with a
                 small one
  batch          mailboxes of 2,000 and 20,000 small messages: time per message,
                 less the time of a run over an empty mailbox
  workers        --workers 2 beside --workers 1: the latency of small requests
                 behind a 100 MB message and beside a tnef that sleeps 5 s on one
                 message; request rate and batch mode with small winmail.dat
                 files; with --baseline, --workers 1 beside an earlier build
Each figure is the median of several runs.

Usage: bench.py BUILD_DIR WORK_DIR [--quick] [--baseline EARLIER_BUILD_DIR]
"""

import base64
import os
import shutil
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from tnef_writer import write_tnef  # noqa: E402

BOUNDARY = "bench-boundary"


def message(text_part, tnef_path=None):
    """A multipart/mixed message with a text part and, optionally, winmail.dat."""
    head = (
        "From: Sender <sender@example.com>\nTo: rcpt@example.com\nSubject: bench\n"
        "MIME-Version: 1.0\n"
        f'Content-Type: multipart/mixed; boundary="{BOUNDARY}"\n\n'
        f"--{BOUNDARY}\nContent-Type: text/plain\n\n{text_part}\n"
    )
    return head, tnef_path


def write_base64(out, path):
    """Writes the file at path to the binary file out as 76-column Base64 lines."""
    with open(path, "rb") as data:
        while True:
            block = data.read(57 * 4096)
            if not block:
                break
            out.write(base64.encodebytes(block))


def write_message(path, text_part, tnef_path=None, envelope=False):
    """Writes the message; the winmail.dat body is Base64 in 76-column lines."""
    with open(path, "wb") as out:
        if envelope:
            out.write(b"P I 01-01-2026 12:00:00 0000 ____ ____ <sender@example.com>\n"
                      b"R W 01-01-2026 12:00:00 0000 ____ _FY_ <rcpt@example.com>\n\n")
        head, _ = message(text_part, tnef_path)
        out.write(head.encode())
        if tnef_path:
            out.write(f"--{BOUNDARY}\nContent-Type: application/ms-tnef; name=\"winmail.dat\"\n"
                      "Content-Transfer-Encoding: base64\n\n".encode())
            write_base64(out, tnef_path)
            out.write(b"\n")
        out.write(f"--{BOUNDARY}--\n".encode())


def median_time(fn, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        fn()
        times.append(time.perf_counter() - start)
    return statistics.median(times), times


def spread(values, unit, scale=1.0, digits=2):
    """The range of the runs behind a median, for judging the noise."""
    return f"runs {min(values) * scale:.{digits}f}-{max(values) * scale:.{digits}f} {unit}"


def run(cmd, **kw):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, **kw)


def small_tnef(path):
    with open(path, "wb") as out:
        write_tnef(out, [("notes.txt", b"Some notes.\n" * 50),
                         ("table.csv", b"a,b,c\n1,2,3\n" * 20)])
    return path


class Session:
    """A filter-mode run that notes when each request was sent and when it was answered."""

    def __init__(self, program, base, args=()):
        self.proc = subprocess.Popen([program, *args], cwd=base, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        while not self.proc.stdout.readline().startswith(b"* Ready"):
            pass
        self.sent, self.answered = {}, {}
        self.reader = threading.Thread(target=self._read)
        self.reader.start()

    def _read(self):
        for line in self.proc.stdout:
            if not line.startswith(b"* "):
                self.answered[int(line.split(b" ", 1)[0])] = time.perf_counter()

    def send(self, number, request):
        self.sent[number] = time.perf_counter()
        self.proc.stdin.write(f"{number} {request}\n".encode())
        self.proc.stdin.flush()

    def close(self):
        """Ends the input and waits for every answer."""
        self.proc.stdin.close()
        self.reader.join()
        self.proc.wait()

    def latency(self, number):
        return self.answered[number] - self.sent[number]


class Bench:
    def __init__(self, build, work, quick, baseline=None):
        self.build, self.work, self.quick = os.path.abspath(build), os.path.abspath(work), quick
        self.program = os.path.join(self.build, "verrowick")
        self.baseline = baseline and os.path.join(os.path.abspath(baseline), "verrowick")
        self.rows = []

    def row(self, name, value, baseline, ratio, note=""):
        self.rows.append((name, value, baseline, ratio, note))
        print(f"{name:<44} {value:>16} {baseline:>20} {ratio:>7}  {note}", flush=True)

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def big_message(self):
        size = 100 << 20 if not self.quick else 10 << 20
        tnef = self.path("big.tnef")
        with open(tnef, "wb") as out:
            write_tnef(out, [("big.bin", os.urandom(size))])
        source = self.path("big.msg")
        write_message(source, "Big attachment inside.", tnef)
        # The baseline's input: the winmail.dat body alone, and the rest.
        body = self.path("big.body")
        with open(body, "wb") as out:
            write_base64(out, tnef)

        head = self.path("big.head")
        with open(head, "w") as out:
            out.write(message("Big attachment inside.")[0])

        mbox = self.path("mbox-big")

        def ours():
            shutil.rmtree(mbox, ignore_errors=True)
            os.mkdir(mbox)
            shutil.copyfile(source, os.path.join(mbox, "1"))
            # Earlier writes still on their way to the disk would slow this run's.
            os.sync()
            start = time.perf_counter()
            run([self.program, "-p", mbox])
            return time.perf_counter() - start

        def tools():
            out = self.path("tools")
            shutil.rmtree(out, ignore_errors=True)
            os.mkdir(out)
            os.sync()
            start = time.perf_counter()
            run(["sh", "-c",

                 f"base64 -d {body} > {out}/winmail.dat && "
                 f"tnef -f {out}/winmail.dat --directory={out} && "
                 f"base64 {out}/big.bin > {out}/big.b64 && "
                 f"cat {head} {out}/big.b64 > {out}/message"])
            return time.perf_counter() - start

        runs = 3 if self.quick else 5
        ours_runs = [ours() for _ in range(runs)]
        tools_runs = [tools() for _ in range(runs)]
        ours_t, tools_t = statistics.median(ours_runs), statistics.median(tools_runs)
        mb = size >> 20
        self.row(f"big message ({mb} MB attachment), batch", f"{ours_t:.2f} s",
                 f"tools {tools_t:.2f} s", f"{ours_t / tools_t:.2f}",
                 f"target <= 1.30; {spread(ours_runs, 's')}, tools {spread(tools_runs, 's')}")
        shutil.rmtree(mbox, ignore_errors=True)
        shutil.rmtree(self.path("tools"), ignore_errors=True)
        for f in (tnef, source, body, head):
            os.remove(f)

    def filter_session(self, base, requests, args=(), program=None):
        """Runs a filter-mode session; returns (seconds, answers, peak RSS kB)."""
        proc = subprocess.Popen([program or self.program, *args], cwd=base, stdin=subprocess.PIPE,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        # Wait for the loop to be ready before timing.
        while not proc.stdout.readline().startswith(b"* Ready"):
            pass
        start = time.perf_counter()
        proc.stdin.write("".join(requests).encode())
        proc.stdin.flush()
        answers = 0
        while answers < len(requests):
            line = proc.stdout.readline()
            if not line:
                break
            if not line.startswith(b"* "):
                answers += 1
        elapsed = time.perf_counter() - start
        with open(f"/proc/{proc.pid}/status") as status:
            hwm = next(int(l.split()[1]) for l in status if l.startswith("VmHWM"))
        proc.stdin.close()
        proc.stdout.read()
        proc.wait()
        return elapsed, answers, hwm

    def base_dir(self, name):
        base = self.path(name)
        shutil.rmtree(base, ignore_errors=True)
        os.makedirs(os.path.join(base, "Queue"))
        os.makedirs(os.path.join(base, "Submitted"))
        return base

    def peak_rss(self):
        sizes = [10, 100] if not self.quick else [1, 10]
        peaks = {}
        for mb in sizes:
            base = self.base_dir(f"rss{mb}")
            tnef = self.path("rss.tnef")
            with open(tnef, "wb") as out:
                write_tnef(out, [("data.bin", os.urandom(mb << 20))])
            write_message(os.path.join(base, "Queue", "1.msg"), "Hello.", tnef, envelope=True)
            os.remove(tnef)
            samples = [self.filter_session(base, ["1 FILE Queue/1.msg\n"])[2] for _ in range(3)]
            peaks[mb] = statistics.median(samples)
            shutil.rmtree(base)
        small, large = sizes
        self.row(f"peak RSS, {small} MB message", f"{peaks[small] / 1024:.1f} MB", "", "",
                 "target < 16 MB")
        self.row(f"peak RSS, {large} MB message", f"{peaks[large] / 1024:.1f} MB",
                 f"{small} MB msg {peaks[small] / 1024:.1f} MB",
                 f"{peaks[large] / peaks[small]:.2f}", "target < 16 MB, flat")

    def request_rate(self):
        text = ("A line of an ordinary message body, nothing to convert here.\n" * 160)[:10 * 1024]
        cases = [("10 KB messages, no winmail.dat", 2000, None, 10000),
                 ("messages with a small winmail.dat", 200, "small", 300)]
        for name, count, kind, target in cases:
            base = self.base_dir("rate")
            tnef = None
            if kind:
                tnef = small_tnef(self.path("small.tnef"))
            files = min(count, 200)
            for i in range(files):
                write_message(os.path.join(base, "Queue", f"{i}.msg"), text, tnef, envelope=True)
            requests = [f"{i + 1} FILE Queue/{i % files}.msg\n" for i in range(count)]
            rates = []
            for _ in range(3 if self.quick else 5):
                shutil.rmtree(os.path.join(base, "Submitted"))
                os.mkdir(os.path.join(base, "Submitted"))
                elapsed, answers, _ = self.filter_session(base, requests)
                assert answers == count, f"{answers} answers for {count} requests"
                rates.append(count / elapsed)
            rate = statistics.median(rates)
            self.row(f"filter rate, {name}", f"{rate:.0f} req/s", f"target {target} req/s",
                     f"{rate / target:.2f}",
                     f"ratio >= 1 meets the target; {spread(rates, 'req/s', digits=0)}")
            shutil.rmtree(base)
            if tnef:
                os.remove(tnef)

    def batch(self):
        counts = [2000, 20000] if not self.quick else [500, 5000]
        per_message, ranges = {}, {}
        text = "A short message.\n" * 20
        # The program's start and end are no part of the time per message.
        empty = self.path("mbox-empty")
        os.makedirs(empty, exist_ok=True)
        fixed, _ = median_time(lambda: run([self.program, "-p", empty]), 5)
        os.rmdir(empty)
        for count in counts:
            mbox = self.path(f"mbox{count}")
            shutil.rmtree(mbox, ignore_errors=True)
            os.mkdir(mbox)
            template = self.path("template.msg")
            write_message(template, text)
            for i in range(count):
                sub = os.path.join(mbox, f"d{i % 10}")
                os.makedirs(sub, exist_ok=True)
                shutil.copyfile(template, os.path.join(sub, str(i)))
            elapsed, times = median_time(lambda: run([self.program, "-p", mbox]), 3)
            per_message[count] = (elapsed - fixed) / count
            ranges[count] = spread([t - fixed for t in times], "us/msg", 1e6 / count, 1)

            shutil.rmtree(mbox)
        small, large = counts
        self.row(f"batch, {large} small messages",
                 f"{per_message[large] * 1e6:.0f} us/msg",
                 f"{small} msgs {per_message[small] * 1e6:.0f} us/msg",
                 f"{per_message[large] / per_message[small]:.2f}",
                 f"~1.00 is linear; {ranges[large]}, {small}: {ranges[small]}")


    def workers(self):
        print("with workers (the filter serves requests on 2 threads, or on 1)", flush=True)
        self.behind_big_message()
        self.beside_sleeping_tnef()
        self.worker_rate()
        self.worker_batch()

    def latencies(self, program, base, args, first, others, pause=0.0):
        """Sends FILE FIRST, then FILE for each of OTHERS, PAUSE seconds apart; returns the
        first's latency and the largest of the others', in ms."""
        session = Session(program, base, args)
        session.send(1, f"FILE {first}")
        for n, path in enumerate(others, 2):
            time.sleep(pause)
            session.send(n, f"FILE {path}")
        session.close()
        rest = max(session.latency(n) for n in range(2, len(others) + 2))
        return session.latency(1) * 1e3, rest * 1e3

    def behind_big_message(self):
        size = 100 << 20 if not self.quick else 10 << 20
        base = self.base_dir("behind-big")
        tnef = self.path("big.tnef")
        with open(tnef, "wb") as out:
            write_tnef(out, [("big.bin", os.urandom(size))])
        write_message(os.path.join(base, "Queue", "big"), "Big attachment inside.", tnef, True)
        os.remove(tnef)
        write_message(os.path.join(base, "Queue", "small"), "Nothing to convert.", None, True)
        figures = {}
        for workers in ("1", "2"):
            runs = [self.latencies(self.program, base, ["-w", workers], "Queue/big",
                                   ["Queue/small"] * 20) for _ in range(3)]
            figures[workers] = (statistics.median(r[1] for r in runs),
                                statistics.median(r[0] for r in runs))
            for name in os.listdir(os.path.join(base, "Submitted")):
                os.remove(os.path.join(base, "Submitted", name))
        (small2, big2), (small1, _) = figures["2"], figures["1"]
        self.row(f"20 small behind a {size >> 20} MB msg, -w 2", f"last {small2:.0f} ms",
                 f"-w 1: {small1:.0f} ms", "", f"target <= 50 ms; the big one {big2:.0f} ms")
        shutil.rmtree(base)

    def beside_sleeping_tnef(self):
        base = self.base_dir("beside-sleep")
        program_dir = self.path("sleeping-tnef")
        os.makedirs(program_dir, exist_ok=True)
        os.symlink(self.program, os.path.join(program_dir, "verrowick"))
        fake = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e",
                            "fake_tnef.sh")
        with open(os.path.join(program_dir, "tnef"), "w") as f:
            f.write(f'#!/bin/sh\nFAKE_TNEF_SLEEP=5 exec sh {os.path.abspath(fake)} slow "$@"\n')
        os.chmod(os.path.join(program_dir, "tnef"), 0o755)
        for name in ("slow", "fast"):
            payload = self.path(f"{name}.tnef")
            with open(payload, "wb") as out:
                out.write(name.encode())
            write_message(os.path.join(base, "Queue", name), "Hello.", payload, True)
            os.remove(payload)
        program = os.path.join(program_dir, "verrowick")
        figures = {w: self.latencies(program, base, ["-w", w], "Queue/slow", ["Queue/fast"] * 20,
                                     0.2) for w in ("1", "2")}
        self.row("others beside a tnef asleep 5 s, -w 2", f"last {figures['2'][1]:.0f} ms",
                 f"-w 1: {figures['1'][1]:.0f} ms", "",
                 f"target <= 100 ms; the slow one {figures['2'][0]:.0f} ms")
        shutil.rmtree(base)
        shutil.rmtree(program_dir)

    def worker_rate(self):
        base = self.base_dir("worker-rate")
        tnef = small_tnef(self.path("small.tnef"))
        files = 100
        for i in range(files):
            write_message(os.path.join(base, "Queue", f"{i}.msg"), "Hello.", tnef, envelope=True)
        os.remove(tnef)
        count = 200 if self.quick else 400
        requests = [f"{i + 1} FILE Queue/{i % files}.msg\n" for i in range(count)]
        programs = [("1", self.program), ("2", self.program)]
        if self.baseline:
            programs.append(("earlier", self.baseline))
        rates = {}
        for _ in range(3 if self.quick else 5):
            for label, program in programs:
                shutil.rmtree(os.path.join(base, "Submitted"))
                os.mkdir(os.path.join(base, "Submitted"))
                args = () if label == "earlier" else ("-w", label)
                elapsed, answers, _ = self.filter_session(base, requests, args, program)
                assert answers == count, f"{answers} answers for {count} requests"
                rates.setdefault(label, []).append(count / elapsed)
        rate = {label: statistics.median(r) for label, r in rates.items()}
        self.row("filter rate, small winmail.dat, -w 2", f"{rate['2']:.0f} req/s",
                 f"-w 1: {rate['1']:.0f} req/s", f"{rate['2'] / rate['1']:.2f}",
                 f"target >= 1.60; {spread(rates['2'], 'req/s', digits=0)}")
        if self.baseline:
            self.row("filter rate, small winmail.dat, -w 1", f"{rate['1']:.0f} req/s",
                     f"earlier {rate['earlier']:.0f} req/s",
                     f"{rate['1'] / rate['earlier']:.2f}", "target >= 0.95")
        shutil.rmtree(base)

    def worker_batch(self):
        count = 500 if self.quick else 2000
        template = self.path("template.msg")
        write_message(template, "Hello.", small_tnef(self.path("small.tnef")))
        os.remove(self.path("small.tnef"))
        mbox = self.path("mbox-workers")

        def once(program, args):
            shutil.rmtree(mbox, ignore_errors=True)
            for i in range(count):
                sub = os.path.join(mbox, f"d{i % 10}")
                os.makedirs(sub, exist_ok=True)
                shutil.copyfile(template, os.path.join(sub, str(i)))
            os.sync()
            start = time.perf_counter()
            subprocess.run([program, "-p", mbox, *args], stdout=subprocess.DEVNULL)
            return time.perf_counter() - start

        programs = [("1", self.program), ("2", self.program)]
        if self.baseline:
            programs.append(("earlier", self.baseline))
        times = {}
        for _ in range(3):
            for label, program in programs:
                args = () if label == "earlier" else ("-w", label)
                times.setdefault(label, []).append(once(program, args))
        t = {label: statistics.median(r) for label, r in times.items()}
        self.row(f"batch, {count} small winmail.dat, -w 2", f"{t['2']:.2f} s",
                 f"-w 1: {t['1']:.2f} s", f"{t['1'] / t['2']:.2f}",
                 f"target >= 1.60; {spread(times['2'], 's')}")
        if self.baseline:
            self.row(f"batch, {count} small winmail.dat, -w 1", f"{t['1']:.2f} s",
                     f"earlier {t['earlier']:.2f} s", f"{t['earlier'] / t['1']:.2f}",
                     "target >= 0.95")
        shutil.rmtree(mbox)
        os.remove(template)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    baseline = None
    if "--baseline" in sys.argv:
        baseline = sys.argv[sys.argv.index("--baseline") + 1]
    bench = Bench(sys.argv[1], sys.argv[2], "--quick" in sys.argv, baseline)
    print(f"{'figure':<44} {'value':>16} {'baseline':>20} {'ratio':>7}")
    bench.big_message()
    bench.peak_rss()
    bench.request_rate()
    bench.batch()
    bench.workers()


if __name__ == "__main__":
    main()

"""End-to-end figures of the filter, each beside a baseline from the same run.

Usage: bench.py BUILD_DIR WORK_DIR [--quick]

  big message    a message whose winmail.dat carries one 100 MB attachment,
                 converted in batch mode; baseline: base64 -d of the body,
                 tnef, base64 of the extracted file, cat into the output
  peak RSS       of the filter process (filter mode) for 10 MB and 100 MB messages
  request rate   filter mode: 10 KB messages without winmail.dat, and with a
                 small one
  batch          mailboxes of 2,000 and 20,000 small messages: time per message,
                 less the time of a run over an empty mailbox
Each figure is the median of several runs.
"""

import base64
import os
import shutil
import statistics
import subprocess
import sys
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


class Bench:
    def __init__(self, build, work, quick):
        self.build, self.work, self.quick = os.path.abspath(build), os.path.abspath(work), quick
        self.program = os.path.join(self.build, "verrowick")
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

    def filter_session(self, base, requests):
        """Runs a filter-mode session; returns (seconds, answers, peak RSS kB)."""
        proc = subprocess.Popen([self.program], cwd=base, stdin=subprocess.PIPE,
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
                tnef = self.path("small.tnef")
                with open(tnef, "wb") as out:
                    write_tnef(out, [("notes.txt", b"Some notes.\n" * 50),
                                     ("table.csv", b"a,b,c\n1,2,3\n" * 20)])
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



def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    bench = Bench(sys.argv[1], sys.argv[2], "--quick" in sys.argv)
    print(f"{'figure':<44} {'value':>16} {'baseline':>20} {'ratio':>7}")
    bench.big_message()
    bench.peak_rss()
    bench.request_rate()
    bench.batch()


if __name__ == "__main__":
    main()

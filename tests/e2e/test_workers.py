"""Filter mode with several workers: a slow message holds up no other, QUIT and the end of
input wait for the requests in flight, a flood of requests keeps memory flat, and
conversions at once, in one filter or in two that share a program directory, keep to their own
files."""
import os
import re
import threading
from unittest import mock

from cases import EndToEndCase, split_queue_file
from install import made
from messages import envelope, plain_message, render, shaped
from reference import parse

WORKERS = ("--workers", "4")
QUIT_ANSWER = 'OK "Filter is shut down and waiting for standard output to be closed"'
REJECTED = 'REJECTED "QUIT command received, filter is shut down. Please restart the filter."'


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))


class WorkersTest(EndToEndCase):
    def test_a_slow_message_holds_up_no_other(self):
        # The fake tnef sleeps for a winmail.dat that holds "slow". QUIT and the end of input
        # wait for the requests in flight.
        program = self.new_program(tnef="slow")
        slow, fast = (self.queue(name, envelope() + render(shaped("mixed", name.encode())))
                      for name in ("slow", "fast"))
        session = self.start(program, WORKERS)
        session.send(f"1 FILE {slow}\n" + "".join(
            f"{n} FILE {fast}\n" for n in range(2, 8)) + "8 INTF 3\n")
        replies = session.replies(8)
        self.assertEqual(list(replies)[-1], "1", "the slow message was not answered last")
        self.assertEqual({r.answer for r in replies.values()},
                         {f"{n} DISCARD" for n in range(1, 8)} | {"8 INTF 3"})
        # Each request's log lines come together, before its answer.
        logs = {tuple(line.replace(f"[{n}]", "[N]") for line in r.log)
                for n, r in replies.items() if n not in ("1", "8")}
        self.assertEqual(len(logs), 1, logs)
        self.assertEqual(logs.pop()[-3:], ('* Inserting file "report.txt"',
                                           "* Submitting new message and discarding original",
                                           "* [N] Discarding message"))
        session.send(f"9 FILE {slow}\n10 FILE {fast}\n11 QUIT\n12 FILE {fast}\n")
        replies = session.replies(4)
        self.assertEqual([r.answer for r in replies.values()],
                         ["10 DISCARD", "9 DISCARD", f"11 {QUIT_ANSWER}", f"12 {REJECTED}"])
        self.assertEqual(replies["11"].log, ["* 11: Filter is shutting down..."])
        self.finish(session, program)
        session = self.start(program, WORKERS)
        session.send(f"1 FILE {slow}\n2 FILE {fast}\n")
        self.finish(session, program, ["2 DISCARD", "1 DISCARD"])
        self.assertEqual(len(self.take_submitted()), 11)

    def test_flood_is_answered_once_each_in_flat_memory(self):
        # Long request lines (the path made long with "./"): kept all at once they would
        # take 40 MB.
        count = 10000
        path = "Queue/" + "./" * 2000 + self.queue("plain", render(plain_message()))[6:]
        program = self.new_program()
        # AddressSanitizer would keep the memory freed in a quarantine that grows for a while.
        asan = os.environ.get("ASAN_OPTIONS", "")
        with mock.patch.dict(os.environ, {"ASAN_OPTIONS": asan + ":quarantine_size_mb=0"}):
            session = self.start(program, WORKERS)
        writer = threading.Thread(target=session.send, args=(
            "".join(f"{n} FILE {path}\n" for n in range(1, count + 1)),))
        writer.start()
        rss, replies = [], {}
        for _ in range(10):
            replies.update(session.replies(count // 10))
            rss.append(rss_kib(session.process.pid))
        writer.join()
        self.assertEqual({n: r.answer for n, r in replies.items()},
                         {str(n): f"{n} OK" for n in range(1, count + 1)})
        self.assertLess(max(rss) - rss[0], 8 * 1024, f"resident KiB after each 1000: {rss}")
        self.finish(session, program)

    def test_conversions_at_once_stay_apart(self):
        # Every message has an RTF body (tnef saves it as saved_body.rtf) and a file of its own;
        # two filters share the program directory.
        program = self.new_program()
        sessions = [self.start(program, WORKERS), self.start(program, WORKERS)]
        for n in range(1, 9):
            tnef = made([(f"file-{n}.txt", f"content {n}\n".encode())],
                        body_rtf=rb"{\rtf1\ansi body of message " + str(n).encode() + rb"\par}")
            data = render(shaped("mixed", tnef))
            sessions[n % 2].send(f"{n} FILE {self.queue(str(n), envelope() + data)}\n")
        self.assertEqual({r.answer for s in sessions for r in s.replies(4).values()},
                         {f"{n} DISCARD" for n in range(1, 9)})
        found = {}  # file name -> (its content, what the HTML body says)
        for _, data in self.take_submitted():
            files = {p.get_filename(): p.get_payload(decode=True)
                     for p in parse(split_queue_file(data)[3]).walk() if p.get_filename()}
            html = files.pop("saved_body.html")
            [(name, content)] = files.items()
            found[name] = (content, re.findall(rb"body of message \d+", html))
        self.assertEqual(found, {f"file-{n}.txt": (f"content {n}\n".encode(),
                                                   [f"body of message {n}".encode()])
                                 for n in range(1, 9)})
        self.finish(sessions[0])
        self.finish(sessions[1], program)

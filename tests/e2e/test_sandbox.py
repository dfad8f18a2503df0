"""The converters' sandbox seen through the filter: run as root, it runs them as another user,
and under Landlock a converter touches nothing but its own scratch directory. The start-up
lines that tell of the converters' user are in test_startup."""
import os
import socket
import unittest

from cases import EndToEndCase, split_queue_file
from install import converter_user, no_landlock
from messages import envelope, render, shaped
from reference import parse

ATTEMPTS = ["write the program directory", "write the base directory", "write /tmp",
            "write another conversion's scratch directory", "read /etc/shadow",
            "connect to 127.0.0.1"]


@unittest.skipUnless(os.geteuid() == 0, "the filter changes the converters' user only as root")
class SandboxTest(EndToEndCase):
    def test_what_a_converter_may_do(self):
        # Another user alone keeps the converter out of root's files, not out of /tmp, the network
        # or the scratch directories of that user; Landlock keeps it in its own.
        listener = socket.create_server(("127.0.0.1", 0))
        self.addCleanup(listener.close)
        port = listener.getsockname()[1]
        self.addCleanup(lambda: os.path.exists(f"/tmp/verrowick-escape-{port}")
                        and os.remove(f"/tmp/verrowick-escape-{port}"))
        user = converter_user()
        for landlock in [True] * (not no_landlock()) + [False]:
            with self.subTest(landlock=landlock):
                if not landlock:
                    self.without_landlock()
                program = self.new_program(f"prog {landlock}", tnef="spy")
                session = self.start(program)
                self.assertEqual(not landlock, "* The converters run without a file-system "
                                 "sandbox: Landlock is turned off by VERROWICK_NO_LANDLOCK"
                                 in session.startup)
                victim = os.path.join(program.work_dir, "conversion-1-victim")
                os.mkdir(victim)
                os.chown(victim, user.pw_uid, user.pw_gid)
                data = render(shaped("mixed", f"{port} {victim}\n".encode()))
                reply = session.request("1 FILE " + self.queue("spy.msg", envelope() + data))
                self.assertEqual(reply.answer, "1 DISCARD")
                *_, converted = split_queue_file(self.only_queue_file())
                [report] = [p for p in parse(converted).walk() if p.get_filename() == "report.txt"]
                lines = report.get_payload(decode=True).decode().splitlines()
                done = [] if landlock else ATTEMPTS[2:4] + ATTEMPTS[5:]
                self.assertEqual(dict(line.split(": ", 1) for line in lines), {
                    **{a: "done" if a in done else "denied" for a in ATTEMPTS},
                    "uid": str(user.pw_uid)})
                self.finish(session)

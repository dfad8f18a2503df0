"""The converters' sandbox seen through the filter: run as root, it runs them as another user,
and under Landlock a converter touches nothing but its own scratch directory."""
import os
import socket
import unittest

from cases import EndToEndCase, split_queue_file
from install import converter_user, no_landlock, sandbox_lines
from messages import envelope, render, shaped
from reference import FOUND, parse

NOT_RUN = ("* Unable to start the tnef binary, unable to extract winmail.dat attachments. "
           "Message will be left unscanned: ")
ATTEMPTS = ["write the program directory", "write the base directory", "write /tmp",
            "write another conversion's scratch directory", "read /etc/shadow",
            "connect to 127.0.0.1"]
NO_YTNEF = ("* ytnef binary not found, calendar items, tasks and contacts will keep their "
            "winmail.dat")


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

    def test_start_up_lines(self):
        user = converter_user()
        cases = [  # (arguments, tnef script or "real", start-up lines, log of a conversion)
            (["--converter-user", "no such user"], "real", [
                "* The converter user no such user does not exist: no such user; messages with "
                "winmail.dat attachments pass unchanged", "* Found tnef binary", NO_YTNEF],
             [FOUND, NOT_RUN + "the converter user no such user does not exist"]),
            ([], "#!/nonexistent/interp\n", sandbox_lines() + ["* Found tnef binary",
                f"* The tnef binary cannot be run by user {user.pw_name}: No such file or "
                "directory", NO_YTNEF], [FOUND, NOT_RUN + "No such file or directory"]),
        ]
        for n, (args, tnef, lines, log) in enumerate(cases):
            with self.subTest(args=args, tnef=tnef):
                program = self.new_program(f"prog{n}", tnef="real" if tnef == "real" else None,
                                           rtf2html=False)
                if tnef != "real":
                    program.put("tnef", tnef)
                session = self.start(program, ["--ignore-rtf-body", *args])
                self.assertEqual(session.startup[4:-1], lines)
                queued = self.queue(f"{n}.msg", render(shaped("mixed", b"x")))
                self.assertEqual(session.request("1 FILE " + queued),
                                 ("1 OK", log + ["* [1] Accepting message"]))
                self.finish(session)

"""The converters' sandbox seen through the filter: run as root, it runs them as another user,
and under Landlock a converter touches nothing but its own scratch directory."""
import glob
import os
import socket
import time
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


@unittest.skipUnless(os.geteuid() == 0, "the filter changes the converters' user only as root")
class SandboxTest(EndToEndCase):
    def setUp(self):
        super().setUp()
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.setblocking(False)
        self.addCleanup(self.listener.close)
        self.port = self.listener.getsockname()[1]
        self.escapes = [os.path.join(self.base, "escape"), f"/tmp/verrowick-escape-{self.port}"]
        for path in self.escapes:
            self.addCleanup(lambda p=path: os.path.exists(p) and os.remove(p))

    def spy(self, session, victim):
        """What the spying tnef of SESSION reports, given VICTIM as another scratch directory;
        the message is converted as its listing says."""
        data = render(shaped("mixed", f"{self.port} {victim}\n".encode()))
        reply = session.request("1 FILE " + self.queue("spy.msg", envelope() + data))
        self.assertEqual(reply.answer, "1 DISCARD")
        *_, converted = split_queue_file(self.only_queue_file())
        [report] = [p for p in parse(converted).walk() if p.get_filename() == "report.txt"]
        lines = report.get_payload(decode=True).decode().splitlines()
        self.assertEqual(session.request("2 INTF 3").answer, "2 INTF 3")
        return dict(line.split(": ", 1) for line in lines)

    def connected(self):
        try:
            self.listener.accept()[0].close()
            return True
        except BlockingIOError:
            return False

    @unittest.skipIf(no_landlock(), f"the converters run without Landlock: {no_landlock()}")
    def test_only_its_own_scratch_directory(self):
        program = self.new_program(tnef="spy")
        holder, spy = self.start(program), self.start(program)
        # The holder's tnef keeps its scratch directory while the spy's runs.
        holder.send("1 FILE " + self.queue("hold.msg", envelope()
                                           + render(shaped("mixed", b"hold\n"))) + "\n")
        pattern = os.path.join(program.work_dir, f"conversion-{holder.process.pid}-*")
        for _ in range(100):
            if glob.glob(pattern):
                break
            time.sleep(0.05)
        [victim] = glob.glob(pattern)
        self.assertEqual(self.spy(spy, victim), {**dict.fromkeys(ATTEMPTS, "denied"),
                                                 "uid": str(converter_user().pw_uid)})
        # The holder's conversion found nothing but its own report.
        self.assertEqual(holder.reply(), ("1 DISCARD", [
            FOUND, "* Extracted 1 file(s) from winmail.dat",
            "* Creating a new message with the extracted attachments",
            '* Inserting file "report.txt"', "* Submitting new message and discarding original",
            "* [1] Discarding message"]))
        self.assertFalse(self.connected())
        for session in (holder, spy):
            self.finish(session)
        for path in self.escapes + [os.path.join(program.path, "escape")]:
            self.assertFalse(os.path.exists(path), path)

    def test_without_landlock(self):
        # Another user alone keeps the converter out of root's files, not out of /tmp, the
        # network or the scratch directories of that user.
        self.without_landlock()
        program = self.new_program(tnef="spy")
        session = self.start(program)
        self.assertIn("* The converters run without a file-system sandbox: Landlock is turned "
                      "off by VERROWICK_NO_LANDLOCK", session.startup)
        victim = os.path.join(program.work_dir, "conversion-1-victim")
        os.mkdir(victim)
        os.chown(victim, converter_user().pw_uid, converter_user().pw_gid)
        report = self.spy(session, victim)
        self.assertEqual(report, {**dict.fromkeys(ATTEMPTS[:2] + ATTEMPTS[4:5], "denied"),
                                  **dict.fromkeys(ATTEMPTS[2:4] + ATTEMPTS[5:], "done"),
                                  "uid": str(converter_user().pw_uid)})
        self.assertTrue(self.connected())
        self.finish(session)

    def test_start_up_lines(self):
        user = converter_user()
        no_ytnef = ("* ytnef binary not found, calendar items, tasks and contacts will keep "
                    "their winmail.dat")
        cases = [  # (arguments, tnef script or "real", start-up lines, log of a conversion)
            (["--converter-user", "no such user"], "real", [
                "* The converter user no such user does not exist: no such user; messages with "
                "winmail.dat attachments pass unchanged", "* Found tnef binary", no_ytnef],
             [FOUND, NOT_RUN + "the converter user no such user does not exist"]),
            ([], "#!/nonexistent/interp\n", sandbox_lines() + ["* Found tnef binary",
                f"* The tnef binary cannot be run by user {user.pw_name}: No such file or "
                "directory", no_ytnef], [FOUND, NOT_RUN + "No such file or directory"]),
        ]
        for n, (args, tnef, lines, log) in enumerate(cases):
            with self.subTest(args=args, tnef=tnef):
                program = self.new_program(f"prog{n}", tnef="real" if tnef == "real" else None,
                                           rtf2html=False)
                if tnef != "real":
                    with open(os.path.join(program.path, "tnef"), "w") as f:
                        f.write(tnef)
                    os.chmod(f.name, 0o755)
                session = self.start(program, ["--ignore-rtf-body", *args])
                self.assertEqual(session.startup[4:-1], lines)
                queued = self.queue(f"{n}.msg", render(shaped("mixed", b"x")))
                self.assertEqual(session.request("1 FILE " + queued),
                                 ("1 OK", log + ["* [1] Accepting message"]))
                self.finish(session)

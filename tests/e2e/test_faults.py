"""Faults around the conversion: a full disk, converters that cannot run or crash. The message
always stays intact and the filter answers the next request."""
import io
import os
import resource
import sys

import driver
from cases import EndToEndCase
from install import REPOSITORY, sample
from messages import envelope, plain_message, render, shaped
from reference import FOUND

LOADER = "it exited with status 127, as when a shared library is missing"

sys.path.insert(0, os.path.join(REPOSITORY, "tools"))
from tnef_writer import write_tnef  # noqa: E402


def big_message():
    """A message whose winmail.dat fits under 16 KiB and its conversion does not."""
    tnef = io.BytesIO()
    write_tnef(tnef, [("figures.bin", os.urandom(12000))])
    return render(shaped("mixed", tnef.getvalue()))

RTF_ATTACHED = ['* Extracted 1 file(s) from winmail.dat', "* Creating a new message with the"
                " extracted attachments", '* Inserting file "saved_body.rtf"',
                "* Submitting new message and discarding original", "* [1] Discarding message"]
NOT_RTF2HTML = "* Unable to start the rtf2html binary. RTF attachments will not be decoded: "
# (contents of rtf2html, or None for none, and the log lines of the conversion before it ends)
RTF2HTML = [
    (None, [NOT_RTF2HTML + "No such file or directory"]),
    ("#!/bin/sh\nkill -SEGV $$\n", ["* rtf2html ended with signal 11"]),
    ("not a program", [NOT_RTF2HTML + "Exec format error"]),
    ("#!/nonexistent/interp\n", [NOT_RTF2HTML + "No such file or directory"]),
    ("#!/bin/sh\nexit 127\n", [NOT_RTF2HTML + LOADER]),
]
NOT_TNEF = ("* Unable to start the tnef binary, unable to extract winmail.dat attachments. "
            "Message will be left unscanned: ")
# A tnef that cannot be executed: (contents, file mode, why). Exit status 127 is the loader's
# when a shared library is missing.
TNEF_NOT_RUN = [
    ("#!/nonexistent/interp\n", 0o755, "No such file or directory"),
    ("#!/bin/sh\n", 0o644, "Permission denied"),
    ("#!/bin/sh\nexit 127\n", 0o755, LOADER),
]


class FaultTest(EndToEndCase):
    def full_disk(self, limit):
        """Limits the size of files the filter started next may write (its converters get their
        own limit), until the test ends."""
        old = resource.getrlimit(resource.RLIMIT_FSIZE)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, old[1]))
        self.addCleanup(resource.setrlimit, resource.RLIMIT_FSIZE, old)

    def test_full_disk_in_filter_mode(self):
        program = self.new_program()
        path = self.queue("1.msg", envelope() + big_message())
        self.queue("2.msg", envelope() + render(plain_message()))
        os.makedirs(os.path.join(self.base, "Submitted"))
        self.full_disk(16384)
        session = self.start(program)
        reply = session.request("1 FILE " + path)
        self.assertEqual(reply.answer, "1 OK")
        self.assertRegex(reply.log[-2], r"^\* Unable to write the queue file Submitted/"
                         r"quillmeremailer_\d+_-?\d+\.tmp: File too large, the message passes "
                         r"unchanged$")
        self.assertEqual(self.submitted(), [])
        self.assertEqual(session.request("2 FILE Queue/2.msg").answer, "2 OK")
        self.finish(session, program)

    def test_full_disk_in_batch_mode(self):
        program = self.new_program()
        mailbox = os.path.join(self.root, "mailbox")
        os.makedirs(mailbox)
        data = big_message()
        with open(os.path.join(mailbox, "1"), "wb") as f:
            f.write(data)
        self.full_disk(16384)
        run = driver.run(program, ["-p", mailbox], cwd=self.root)
        self.assertIn(f"* Unable to write {mailbox}/1.tmp: File too large, {mailbox}/1 is left "
                      "unchanged", run.lines)
        self.assertEqual(os.listdir(mailbox), ["1"])
        with open(os.path.join(mailbox, "1"), "rb") as f:
            self.assertEqual(f.read(), data)

    def tnef_not_run(self, n, script, mode):
        program = self.new_program(f"prog {n}", tnef=None)
        with open(os.path.join(program.path, "tnef"), "w") as f:
            f.write(script)
        os.chmod(f.name, mode)
        return program

    def test_tnef_not_run_in_filter_mode(self):
        # The message passes as it came, also with --always-remove-winmail.
        for n, (script, mode, why) in enumerate(TNEF_NOT_RUN):
            for args in ((), ("--always-remove-winmail",)):
                with self.subTest(script=script, args=args):
                    session = self.start(self.tnef_not_run(f"{n}{args}", script, mode), args)
                    queued = self.queue("1.msg", render(shaped("mixed", b"x")))
                    self.assertEqual(session.request("1 FILE " + queued),
                                     ("1 OK", [FOUND, NOT_TNEF + why, "* [1] Accepting message"]))
                    self.assertEqual(self.submitted(), [])
                    self.assertEqual(session.request("2 INTF 3").answer, "2 INTF 3")
                    self.finish(session)

    def test_tnef_not_run_in_batch_mode(self):
        data = render(shaped("mixed", sample("one-file")))
        for n, (script, mode, why) in enumerate(TNEF_NOT_RUN):
            for args in ((), ("--always-remove-winmail",)):
                with self.subTest(script=script, args=args):
                    program = self.tnef_not_run(f"{n}{args}", script, mode)
                    mailbox = os.path.join(self.root, f"mailbox {n}{args}")
                    os.makedirs(mailbox)
                    with open(os.path.join(mailbox, "1"), "wb") as f:
                        f.write(data)
                    run = driver.run(program, ["-p", mailbox, *args], cwd=self.root)
                    self.assertEqual(run.lines[-3:], [
                        FOUND, NOT_TNEF + why, "* Batch done: 1 processed, 0 converted, "
                        "1 unchanged, 0 failed, 0 skipped"])
                    self.assertEqual(os.listdir(mailbox), ["1"])
                    with open(os.path.join(mailbox, "1"), "rb") as f:
                        self.assertEqual(f.read(), data)

    def test_rtf2html_missing_crashing_or_not_a_program(self):
        for n, (script, log) in enumerate(RTF2HTML):
            with self.subTest(rtf2html=script):
                program = self.new_program(name=f"prog {n}", rtf2html=False)
                if script is not None:
                    with open(os.path.join(program.path, "rtf2html"), "w") as f:
                        f.write(script)
                    os.chmod(f.name, 0o755)
                session = self.start(program)
                path = self.queue("rtf.msg", render(shaped("mixed", sample("rtf"))))
                reply = session.request("1 FILE " + path)
                self.assertEqual(reply, ("1 DISCARD", [FOUND, *log, *RTF_ATTACHED]))
                self.assertEqual(len(self.take_submitted()), 1)
                self.finish(session, program)

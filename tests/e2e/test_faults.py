"""Faults around the conversion: a full disk, converters that cannot run or crash. The message
always stays intact and the filter answers the next request. And the converters' sandbox: run
as root, the filter runs them as another user, and under Landlock a converter touches nothing
but its own scratch directory."""
import contextlib
import os
import resource
import socket
import unittest

import driver
from cases import EndToEndCase, expect, split_queue_file
from install import converter_user, made, no_landlock, sample
from messages import envelope, plain_message, render, shaped
from reference import FOUND, New, Outcome, extracted, parse

LOADER = "it exited with status 127, as when a shared library is missing"
NOT_TNEF = ("* Unable to start the tnef binary, unable to extract winmail.dat attachments. "
            "Message will be left unscanned: ")
NOT_RTF2HTML = "* Unable to start the rtf2html binary. RTF attachments will not be decoded: "
RTF_BODY = New("saved_body.rtf", "285e04e771fe")


def not_run(why):
    return Outcome([], [NOT_TNEF + why], True)


# Converters that cannot run or crash: (tnef: a script (and its file mode), or None for the
# real one; rtf2html: a script, or None for the project's; arguments; sample; the Outcome). The
# message passes as it came, also with --always-remove-winmail; an RTF body stays RTF.
CONVERTERS = [
    (("#!/nonexistent/interp\n",), None, (), "one-file", not_run("No such file or directory")),
    (("#!/nonexistent/interp\n",), None, ("--always-remove-winmail",), "one-file",
     not_run("No such file or directory")),
    (("#!/bin/sh\n", 0o644), None, (), "one-file", not_run("Permission denied")),
    (("#!/bin/sh\nexit 127\n",), None, (), "one-file", not_run(LOADER)),
    (None, ("#!/bin/sh\nkill -SEGV $$\n",), (), "rtf",
     Outcome([RTF_BODY], ["* rtf2html ended with signal 11", extracted(1)])),
    (None, ("#!/bin/sh\nexit 127\n",), (), "rtf",
     Outcome([RTF_BODY], [NOT_RTF2HTML + LOADER, extracted(1)])),
]
# What a converter tries, and whether another user alone keeps it from doing so.
ATTEMPTS = {"write the program directory": True, "write the base directory": True,
            "write /tmp": False, "write another conversion's scratch directory": False,
            "read /etc/shadow": True, "connect to 127.0.0.1": False}


@contextlib.contextmanager
def full_disk():
    """Files that the filters started inside may write hold at most 16 KiB (the converters get
    their own limit)."""
    old = resource.getrlimit(resource.RLIMIT_FSIZE)
    resource.setrlimit(resource.RLIMIT_FSIZE, (16384, old[1]))
    try:
        yield
    finally:
        resource.setrlimit(resource.RLIMIT_FSIZE, old)


class FaultTest(EndToEndCase):
    def batch(self, program, data, args=(), disk=contextlib.nullcontext()):
        """The console lines of a batch run of PROGRAM on a mailbox holding DATA alone, after
        checking that it holds DATA alone still; DISK, a context, holds the run."""
        mailbox = os.path.join(self.root, "mailbox of " + os.path.basename(program.path))
        os.makedirs(mailbox)
        with open(os.path.join(mailbox, "1"), "wb") as f:
            f.write(data)
        with disk:
            run = driver.run(program, ["-p", mailbox, *args], cwd=self.root)
        self.assertEqual(os.listdir(mailbox), ["1"])
        with open(f.name, "rb") as f:
            self.assertEqual(f.read(), data)
        return [line.replace(mailbox, "MAILBOX") for line in run.lines]

    def test_full_disk(self):
        # A winmail.dat that fits in 16 KiB and whose conversion does not.
        data = render(shaped("mixed", made([("figures.bin", os.urandom(12000))])))
        program = self.new_program()
        path = self.queue("1.msg", envelope() + data)
        self.queue("2.msg", envelope() + render(plain_message()))
        os.makedirs(os.path.join(self.base, "Submitted"))
        with full_disk():
            session = self.start(program)
        reply = session.request("1 FILE " + path)
        self.assertEqual(reply.answer, "1 OK")
        self.assertRegex(reply.log[-2], r"^\* Unable to write the queue file Submitted/"
                         r"quillmeremailer_\d+_-?\d+\.tmp: File too large, the message passes "
                         r"unchanged$")
        self.assertEqual(self.submitted(), [])
        self.assertEqual(session.request("2 FILE Queue/2.msg").answer, "2 OK")
        self.finish(session, program)
        self.assertIn("* Unable to write MAILBOX/1.tmp: File too large, MAILBOX/1 is left "
                      "unchanged", self.batch(program, data, disk=full_disk()))

    def test_converters_that_cannot_run(self):
        for n, (tnef, rtf2html, args, name, outcome) in enumerate(CONVERTERS):
            with self.subTest(tnef=tnef, rtf2html=rtf2html, args=args):
                program = self.new_program(f"prog {n}", tnef=None if tnef else "real",
                                           rtf2html=not rtf2html)
                for converter, script in (("tnef", tnef), ("rtf2html", rtf2html)):
                    if script:
                        program.put(converter, *script)
                session = self.start(program, args)
                data = render(shaped("mixed", sample(name)))
                self.check_filtered(session, 1, data, expect(data, [outcome]))
                self.assertEqual(session.request("2 INTF 3").answer, "2 INTF 3")
                self.finish(session, program)
                if tnef:
                    self.assertEqual(self.batch(program, data, args)[-3:], [
                        FOUND, *outcome.log, "* Batch done: 1 processed, 0 converted, "
                        "1 unchanged, 0 failed, 0 skipped"])


@unittest.skipUnless(os.geteuid() == 0, "the filter changes the converters' user only as root")
class SandboxTest(EndToEndCase):
    def test_what_a_converter_may_do(self):
        # Landlock keeps a converter in its own scratch directory.
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
                self.assertEqual(dict(line.split(": ", 1) for line in lines), {
                    **{a: "denied" if landlock or kept else "done" for a, kept in ATTEMPTS.items()},
                    "uid": str(user.pw_uid)})
                self.finish(session)

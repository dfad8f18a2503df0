"""The base class of the end-to-end tests and the checks they share."""
import os
import unittest

import driver
from install import Workspace
from judge import Judge, split_queue_file
from reference import expect, printable


class EndToEndCase(unittest.TestCase):
    """A test with its own workspace (self.ws) and helpers to drive the filter."""

    maxDiff = None

    def setUp(self):
        self.ws = Workspace(self)
        self.judge = Judge(self)

    def start(self, program, args=(), **kwargs):
        """A FilterSession of PROGRAM in the workspace's base directory, killed after the test."""
        session = driver.FilterSession(program, kwargs.pop("cwd", self.ws.base), args, **kwargs)
        self.addCleanup(session.kill)
        return session

    def finish(self, session, program=None, answers=()):
        """Ends SESSION and checks a clean end: status 0, nothing on standard error, only log
        lines and ANSWERS after the answers read and, given PROGRAM, no wmd_temp left."""
        run = session.finish()
        self.assertEqual((run.status, run.stderr), (0, ""))
        self.assertEqual([l for l in run.lines if not driver.is_log(l)], list(answers))
        if program is not None:
            self.assertFalse(os.path.exists(program.work_dir), "wmd_temp is left behind")
        return run

    def take_submitted(self):
        """The files in Submitted as (name, bytes), removed."""
        taken = []
        for name in self.ws.submitted():
            path = os.path.join(self.ws.base, "Submitted", name)
            with open(path, "rb") as f:
                taken.append((name, f.read()))
            os.remove(path)
        return taken

    def only_queue_file(self, taken=None):
        """The bytes of the one file in TAKEN (by default, taken from Submitted now)."""
        taken = self.take_submitted() if taken is None else taken
        self.assertEqual(len(taken), 1, f"files in Submitted: {[name for name, _ in taken]}")
        self.assertRegex(taken[0][0], r"^quillmeremailer_\d+_-?\d+\.tmp\.sub$")
        return taken[0][1]

    def expectation(self, message, args, program, label="reference"):
        """What the filter run from PROGRAM with ARGS should make of MESSAGE (bytes)."""
        return expect(message, args, program.rtf2html,
                      os.path.join(self.ws.root, label))

    def check_filtered(self, session, seq, queued, message, exp, sender="sender@example.com",
                       recipients=("rcpt@example.com",)):
        """Sends FILE for QUEUED holding MESSAGE and checks the log, the answer and, when the
        message is to be rewritten, the file in Submitted, whose message it returns."""
        reply = session.request(f"{seq} FILE {queued}")
        taken = self.take_submitted()
        if not exp.rewritten:
            self.assertEqual(reply.log, exp.log + [f"* [{seq}] Accepting message"])
            self.assertEqual((reply.answer, taken), (f"{seq} OK", []))
            return None
        inserted = [f'* Inserting file "{printable(name)}"' for name in exp.inserted()]
        self.assertEqual(reply.log, exp.log
                         + ["* Creating a new message with the extracted attachments"] + inserted
                         + ["* Submitting new message and discarding original",
                            f"* [{seq}] Discarding message"])
        self.assertEqual(reply.answer, f"{seq} DISCARD")
        return_path, rcpts, count, converted = split_queue_file(self.only_queue_file(taken))
        self.assertEqual((return_path, rcpts, count), (sender, list(recipients), exp.records))
        self.judge.converted(message, converted, exp)
        return converted

"""The base class of the end-to-end tests and the checks they share."""
import os
import re
import unittest

import driver
from install import Workspace
from judge import Judge, split_queue_file
from reference import Options, expect, printable

QUEUE_NAME = re.compile(r"quillmeremailer_\d+_-?\d+\.tmp\.sub")


class EndToEndCase(unittest.TestCase):
    """A test with its own workspace (self.ws) and helpers to drive the filter."""

    maxDiff = None

    def setUp(self):
        self.ws = Workspace(self)
        self.judge = Judge(self)

    def start(self, program, args=(), **kwargs):
        """A FilterSession of PROGRAM in the workspace's base directory, killed after the test."""
        session = driver.FilterSession(program, self.ws.base, args, **kwargs)
        self.addCleanup(session.kill)
        return session

    def finish(self, session, program=None, answers=()):
        """Ends SESSION and checks a clean end: status 0, nothing on standard error, no
        lines but log lines and ANSWERS after the answers read and, given PROGRAM, no
        work directory left."""
        run = session.finish()
        self.assertEqual(run.status, 0)
        self.assertEqual(run.stderr, "")
        self.assertEqual([l for l in run.lines if not driver.is_log(l)], list(answers))
        if program is not None:
            self.assertFalse(os.path.exists(program.work_dir), "wmd_temp is left behind")
        return run

    def take_submitted(self):
        """The files in Submitted, removed: a list of (name, bytes)."""
        taken = []
        for name in self.ws.submitted():
            path = os.path.join(self.ws.base, "Submitted", name)
            with open(path, "rb") as f:
                taken.append((name, f.read()))
            os.remove(path)
        return taken

    def only_queue_file(self, taken):
        """The bytes of the one file in TAKEN (from take_submitted), whose name is checked."""
        self.assertEqual(len(taken), 1, f"files in Submitted: {[name for name, _ in taken]}")
        self.assertRegex(taken[0][0], QUEUE_NAME)
        return taken[0][1]

    def take_one_submitted(self):
        """The bytes of the one new file in Submitted, whose name is checked; it is removed."""
        return self.only_queue_file(self.take_submitted())

    def expectation(self, message, args, program, label="reference"):
        """What the filter run from PROGRAM with ARGS should make of MESSAGE (bytes)."""
        return expect(message, Options.from_args(args), program.rtf2html,
                      os.path.join(self.ws.root, label))

    def check_filtered(self, session, seq, queued, message, exp, sender="sender@example.com",
                       recipients=("rcpt@example.com",)):
        """Sends FILE for the queued file QUEUED holding MESSAGE and checks the log, the answer
        and, when the message is to be rewritten, the file in Submitted."""
        reply = session.request(f"{seq} FILE {queued}")
        taken = self.take_submitted()
        if not exp.rewritten:
            self.assertEqual(reply.log, exp.log + [f"* [{seq}] Accepting message"])
            self.assertEqual(reply.answer, f"{seq} OK")
            self.assertEqual(taken, [])
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

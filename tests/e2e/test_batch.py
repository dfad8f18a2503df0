"""Batch mode with the real tnef: a mailbox directory converted in place."""
import os
import re
import socket
import stat
import unittest

import driver
from cases import EndToEndCase
from install import sample
from messages import envelope, plain_message, render, shaped
from reference import expect

BANNER_LINES = 7  # four banner lines, the tnef, ytnef and rtf2html lines
MAILBOX = {  # path in the mailbox -> content
    "1001": render(shaped("mixed", sample("two-files"))),
    "1002": render(plain_message()),
    "1003": render(shaped("alternative_after_html", sample("MAPI_OBJECT")), eol="\r\n"),
    "1004": envelope() + render(shaped("nested", sample("rtf"))),
    "1005": render(shaped("two_in_a_row", sample("garbage-at-end"), sample("one-file"))),
    "empty": b"",
    "notes.txt": render(shaped("mixed", sample("two-files"))),
    "sub/2001": render(shaped("alternative", sample("triples"))),
    "sub/deeper/3001": render(shaped("tight", sample("long-filename")), final_eol=False),
    ".hidden/4001": render(shaped("mixed", sample("two-files"))),
    ".4002": render(shaped("mixed", sample("two-files"))),
}


def snapshot(root):
    """Every file below ROOT (links not followed): relative path -> (bytes or None, mode)."""
    files = {}
    for directory, _, names in os.walk(root):
        for name in names:
            path = os.path.join(directory, name)
            info = os.lstat(path)
            data = None
            if stat.S_ISREG(info.st_mode):
                with open(path, "rb") as f:
                    data = f.read()
            files[os.path.relpath(path, root)] = (data, info.st_mode)
    return files


class BatchTest(EndToEndCase):
    """Options on fresh copies of one mailbox; every file is checked."""

    def make_mailbox(self, name):
        root = os.path.join(self.root, name)
        for relative, data in MAILBOX.items():
            os.makedirs(os.path.dirname(os.path.join(root, relative)), exist_ok=True)
            with open(os.path.join(root, relative), "wb") as f:
                f.write(data)
        os.chmod(os.path.join(root, "1001"), 0o640)
        os.symlink("..", os.path.join(root, "sub", "loop"))
        # A socket is listed like a file but cannot be opened, even by root.
        unopenable = socket.socket(socket.AF_UNIX)
        self.addCleanup(unopenable.close)
        unopenable.bind(os.path.join(root, "sock"))
        return root

    def test_options(self):
        program = self.new_program()
        # (arguments, the mailbox as given: absolute, or relative with a trailing slash)
        for n, (args, relative) in enumerate([((), False), (("-k", "-r", "-n"), True),
                                              (("--ignore-rtf-body", "--always-remove-winmail"),
                                               False)]):
            with self.subTest(args=args):
                mailbox = self.make_mailbox(f"mbox{n}")
                given = f"mbox{n}/" if relative else mailbox
                before = snapshot(mailbox)
                run = driver.run(program, ["-p", given, *args], cwd=self.root)
                # The socket cannot be opened: a failed message.
                self.assertEqual((run.status, run.stderr), (1, ""))
                self.check_mailbox(program, given, args, before, snapshot(mailbox), run.lines)
                self.assertFalse(os.path.exists(program.work_dir))
        self.assertEqual(os.listdir(self.base), ["Queue"])

    def check_mailbox(self, program, given, args, before, after, lines):
        blocks = {}  # console lines by the file they are about
        for line in lines[BANNER_LINES:-1]:
            for opening in ("* Processing ", "* Skipping non-mdir file "):
                if line.startswith(opening):
                    self.assertNotIn(line[len(opening):], blocks, "a file was visited twice")
                    blocks[line[len(opening):]] = []
            blocks[list(blocks)[-1]].append(line)
        expected = {}
        counts = dict.fromkeys(("processed", "converted", "unchanged", "failed", "skipped"), 0)
        for n, (relative, (data, mode)) in enumerate(sorted(before.items())):
            path = f"{given}/{relative}"
            if relative.startswith(".") or "/." in relative or ("/" in relative and "-n" in args):
                continue
            counts["skipped" if "." in os.path.basename(relative) else "processed"] += 1
            if "." in os.path.basename(relative):
                expected[path] = [f"* Skipping non-mdir file {path}"]
            elif data is None:
                counts["failed"] += 1
                expected[path] = [f"* Processing {path}", f"* Unable to open file {path}"]
            else:
                message = data.split(b"\n\n", 1)[1] if data.startswith(b"P I ") else data
                exp = expect(message, args, program.rtf2html,
                             os.path.join(self.root, f"ref-{len(args)}-{n}"))
                expected[path] = ([f"* Processing {path}"] + exp.log
                                  + [f'* Inserting file "{name}"' for name in exp.inserted()])
                counts["converted" if exp.rewritten else "unchanged"] += 1
                if exp.rewritten and relative in after:
                    converted, new_mode = after[relative]
                    self.assertEqual(new_mode, mode, relative)
                    self.assertNotIn(b"\r", converted)
                    # The marker that makes a later run skip the file.
                    marker = re.match(rb"X-WinmailDat: \d+ attachments extracted\.\n", converted)
                    self.assertTrue(marker, relative)
                    converted = converted[marker.end():]
                    with self.subTest(args=args, file=relative):
                        self.judge(message, converted, exp)
                    after[relative] = before[relative]
        self.assertEqual(blocks, expected)
        self.assertEqual(after, before, "files changed, made or removed")
        self.assertEqual(lines[-1], "* Batch done: {processed} processed, {converted} converted, "
                                    "{unchanged} unchanged, {failed} failed, {skipped} skipped"
                         .format(**counts))


class RepeatedRunTest(EndToEndCase):
    def test_second_and_third_runs_skip_a_converted_message(self):
        # tnef complains about the byte after the end, so the winmail.dat part stays as well.
        program = self.new_program()
        mailbox = os.path.join(self.root, "mailbox")
        os.makedirs(mailbox)
        path = os.path.join(mailbox, "1")
        with open(path, "wb") as f:
            f.write(render(shaped("mixed", sample("two-files") + b"\0")))
        converted = None
        for n in range(3):
            run = driver.run(program, ["-p", mailbox], cwd=self.root)
            self.assertEqual((run.status, run.stderr), (0, ""))
            with open(path, "rb") as f:
                data = f.read()
            if n == 0:
                converted = data
                self.assertTrue(data.startswith(b"X-WinmailDat: 1 attachments extracted.\n"))
                self.assertEqual(run.lines[-1], "* Batch done: 1 processed, 1 converted,"
                                                " 0 unchanged, 0 failed, 0 skipped")
            else:
                self.assertEqual(data, converted)
                self.assertIn("* This file has already been processed, skipping", run.lines)
                self.assertEqual(run.lines[-1], "* Batch done: 1 processed, 0 converted,"
                                                " 1 unchanged, 0 failed, 0 skipped")


class BatchFailureTest(EndToEndCase):
    """A message whose replacement cannot be put in place is left as it was."""

    def test_blocked_names(self):
        cases = [
            ("1.tmp", "* Unable to write {p}.tmp: Is a directory, {p} is left unchanged"),
            ("1.old", "* Unable to rename {p}: Is a directory, it is left unchanged"),
        ]
        program = self.new_program()
        for n, (blocker, line) in enumerate(cases):
            with self.subTest(blocker):
                mailbox = os.path.join(self.root, f"mbox{n}")
                os.makedirs(os.path.join(mailbox, blocker, "inside"))
                with open(os.path.join(mailbox, "1"), "wb") as f:
                    f.write(render(shaped("mixed", sample("one-file"))))
                before = snapshot(mailbox)
                run = driver.run(program, ["-p", mailbox], cwd=self.base)
                self.assertIn(line.format(p=f"{mailbox}/1"), run.lines)
                self.assertEqual(run.status, 1)
                self.assertEqual(run.lines[-1], "* Batch done: 1 processed, 0 converted,"
                                                " 0 unchanged, 1 failed, 0 skipped")
                self.assertEqual(snapshot(mailbox), before)


if __name__ == "__main__":
    unittest.main()

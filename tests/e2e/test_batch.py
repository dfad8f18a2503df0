"""Batch mode with the real tnef: a mailbox directory converted in place."""
import os
import socket
import stat
import unittest

import driver
from cases import EndToEndCase
from install import sample
from messages import envelope, plain_message, render, shaped
from reference import Options, expect

BANNER_LINES = 6  # four banner lines, the tnef line and the rtf2html line


def mailbox_messages():
    """The mailbox's files: path relative to the mailbox -> content."""
    return {
        "1001": render(shaped("mixed", [sample("two-files")])),
        "1002": render(plain_message()),
        "1003": render(shaped("alternative", [sample("rtf")])),
        "1004": render(shaped("mixed", [sample("one-file")]), eol="\r\n"),
        "1005": envelope() + render(shaped("nested", [sample("MAPI_ATTACH_DATA_OBJ")])),
        "1006": render(shaped("alternative_after_html", [sample("data-before-name")])),
        "1007": render(shaped("mixed", [sample("garbage-at-end")])),
        "1008": render(shaped("by_filename", [sample("body")])),
        "empty": b"",
        "notes.txt": render(shaped("mixed", [sample("two-files")])),
        "1009.tmp": render(shaped("mixed", [sample("one-file")])),
        "sub/2001": render(shaped("preamble_epilogue", [sample("multi-value-attribute")])),
        "sub/2002": render(shaped("two_in_a_row", [sample("one-file")])),
        "sub/deeper/3001": render(shaped("tight", [sample("long-filename")]), final_eol=False),
        "sub/deeper/3002": render(shaped("folded", [sample("unicode-mapi-attr-name")])),
        ".hidden/4001": render(shaped("mixed", [sample("two-files")])),
        ".4002": render(shaped("mixed", [sample("two-files")])),
    }


def without_envelope(data):
    """A mailbox file's message, after the envelope block if it has one."""
    if len(data) > 2 and data[:1].isalpha() and data[1:2].isspace():
        return data.split(b"\n\n", 1)[1]
    return data


def no_recurse(args):
    """Whether ARGS keep the walk out of subdirectories."""
    return "-n" in args or "--no-recurse" in args


def snapshot(root):
    """Every file below ROOT (links not followed): relative path -> (bytes, mode)."""
    files = {}
    for directory, _, names in os.walk(root):
        for name in names:
            path = os.path.join(directory, name)
            info = os.lstat(path)
            if stat.S_ISREG(info.st_mode):
                with open(path, "rb") as f:
                    files[os.path.relpath(path, root)] = (f.read(), stat.S_IMODE(info.st_mode))
            else:
                files[os.path.relpath(path, root)] = (None, stat.S_IFMT(info.st_mode))
    return files


class BatchTest(EndToEndCase):
    """Each option on a fresh copy of one mailbox; every file is checked."""

    runs = 0

    def make_mailbox(self, name):
        root = os.path.join(self.ws.root, name)
        for relative, data in mailbox_messages().items():
            path = os.path.join(root, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        os.chmod(os.path.join(root, "1001"), 0o640)
        os.symlink("..", os.path.join(root, "sub", "loop"))
        # A socket is listed like a file but cannot be opened, even by root.
        unopenable = socket.socket(socket.AF_UNIX)
        self.addCleanup(unopenable.close)
        unopenable.bind(os.path.join(root, "sock"))
        return root

    def blocks(self, lines):
        """Console lines after the banner, by the file they are about; and the summary line."""
        blocks, current = {}, None
        for line in lines[BANNER_LINES:-1]:
            for opening in ("* Processing ", "* Skipping non-mdir file "):
                if line.startswith(opening):
                    current = line[len(opening):]
                    self.assertNotIn(current, blocks, "a file was visited twice")
                    blocks[current] = []
            blocks[current].append(line)
        return blocks, lines[-1]

    def convert(self, program, mailbox, args, before):
        """Runs batch mode and checks every file against BEFORE (a snapshot); returns
        the number of converted files."""
        run = driver.run(program, ["-p", mailbox, *args], cwd=self.ws.base)
        self.assertEqual((run.status, run.stderr), (0, ""))
        blocks, summary = self.blocks(run.lines)
        after = snapshot(mailbox)
        self.assertEqual(sorted(after), sorted(before), "files made or removed")
        options = Options.from_args(args)
        counts = dict(processed=0, converted=0, unchanged=0, failed=0, skipped=0)
        walked = set()
        for relative, (data, mode) in sorted(before.items()):
            path = f"{mailbox}/{relative}"
            hidden = any(p.startswith(".") for p in relative.split("/"))
            if not hidden and not ("/" in relative and no_recurse(args)):
                walked.add(path)
            with self.subTest(args=args, file=relative):
                if path not in walked:
                    self.assertNotIn(path, blocks)
                    self.assertEqual(after[relative], (data, mode))
                elif "." in os.path.basename(relative):
                    counts["skipped"] += 1
                    self.assertEqual(blocks.get(path), [f"* Skipping non-mdir file {path}"])
                    self.assertEqual(after[relative], (data, mode))
                elif data is None:
                    counts["processed"] += 1
                    counts["failed"] += 1
                    self.assertEqual(blocks.get(path), [f"* Processing {path}",
                                                        f"* Unable to open file {path}"])
                else:
                    counts["processed"] += 1
                    message = without_envelope(data)
                    self.runs += 1
                    exp = expect(message, options, program.rtf2html,
                                 os.path.join(self.ws.root, f"reference{self.runs}"))
                    inserted = [f'* Inserting file "{name}"' for name in exp.inserted()]
                    self.assertEqual(blocks.get(path),
                                     [f"* Processing {path}"] + exp.log + inserted)
                    if exp.rewritten:
                        counts["converted"] += 1
                        converted, new_mode = after[relative]
                        self.assertEqual(new_mode, mode)
                        self.assertNotIn(b"\r", converted)
                        self.judge.converted(message, converted, exp)
                    else:
                        counts["unchanged"] += 1
                        self.assertEqual(after[relative], (data, mode))
        self.assertEqual(sorted(blocks), sorted(walked), "files visited")
        self.assertEqual(summary, "* Batch done: {processed} processed, {converted} converted, "
                                  "{unchanged} unchanged, {failed} failed, {skipped} skipped"
                         .format(**counts))
        return after, counts["converted"]

    def test_each_option(self):
        program = self.ws.program()
        for n, args in enumerate([(), ("-k",), ("-r",), ("--ignore-rtf-body",),
                                  ("--always-remove-winmail",), ("-n",), ("--no-recurse", "-k")]):
            with self.subTest(args=args):
                mailbox = self.make_mailbox(f"mbox{n}")
                self.convert(program, mailbox, args, snapshot(mailbox))
                self.assertFalse(os.path.exists(program.work_dir))

    def test_second_run(self):
        for args, converts_again in (((), False), (("-k",), True)):
            with self.subTest(args=args):
                program = self.ws.program(f"prog{len(args)}")
                mailbox = self.make_mailbox(f"mbox{len(args)}")
                first, converted = self.convert(program, mailbox, args, snapshot(mailbox))
                self.assertEqual(converted, 10)
                _, again = self.convert(program, mailbox, args, first)
                self.assertEqual(again, converted if converts_again else 0)

    def test_relative_mailbox_path_with_trailing_slash(self):
        program = self.ws.program()
        mailbox = os.path.join(self.ws.base, "box")
        os.makedirs(os.path.join(mailbox, "sub"))
        message = render(shaped("mixed", [sample("one-file")]))
        for name in ("1", "sub/2"):
            with open(os.path.join(mailbox, name), "wb") as f:
                f.write(message)
        run = driver.run(program, ["-p", "box/"], cwd=self.ws.base)
        self.assertIn("* Processing box//1", run.lines)
        self.assertIn("* Processing box//sub/2", run.lines)
        self.assertEqual(run.lines[-1], "* Batch done: 2 processed, 2 converted, 0 unchanged,"
                                        " 0 failed, 0 skipped")


class BatchFailureTest(EndToEndCase):
    """A message whose replacement cannot be put in place is left as it was."""

    def test_missing_mailbox(self):
        program = self.ws.program()
        for path in ("no-such-dir", "Queue/1"):
            with self.subTest(path=path):
                self.ws.queue("1", render(shaped("mixed", [sample("one-file")])))
                run = driver.run(program, ["-p", path], cwd=self.ws.base)
                self.assertEqual((run.status, run.stderr), (0, ""))
                self.assertEqual(run.lines[BANNER_LINES:], [
                    "* Batch done: 0 processed, 0 converted, 0 unchanged, 0 failed, 0 skipped"])

    def test_blocked_names(self):
        message = render(shaped("mixed", [sample("one-file")]))
        cases = [
            ("1.tmp", "* Unable to write {p}.tmp: Is a directory, {p} is left unchanged"),
            ("1.old", "* Unable to rename {p}: Is a directory, it is left unchanged"),
        ]
        program = self.ws.program()
        for n, (blocker, line) in enumerate(cases):
            with self.subTest(blocker):
                mailbox = os.path.join(self.ws.root, f"mbox{n}")
                os.makedirs(os.path.join(mailbox, blocker, "inside"))
                with open(os.path.join(mailbox, "1"), "wb") as f:
                    f.write(message)
                before = snapshot(mailbox)
                run = driver.run(program, ["-p", mailbox], cwd=self.ws.base)
                path = f"{mailbox}/1"
                self.assertIn(line.format(p=path), run.lines)
                self.assertEqual(run.lines[-1], "* Batch done: 1 processed, 0 converted,"
                                                " 0 unchanged, 1 failed, 0 skipped")
                self.assertEqual(snapshot(mailbox), before)


if __name__ == "__main__":
    unittest.main()

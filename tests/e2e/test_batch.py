"""Batch mode with the real tnef: a mailbox directory converted in place."""
import os
import pathlib
import re
import socket
import stat
import unittest
from dataclasses import replace

import driver
from cases import EndToEndCase, expect
from install import sample, sandbox_lines
from messages import envelope, plain_message, render, shaped
from reference import GARBAGE, SAMPLES, Outcome, extracted

# Four banner lines, the sandbox's, the tnef, ytnef and rtf2html lines.
BANNER_LINES = 7 + len(sandbox_lines())
TWO_FILES = render(shaped("mixed", sample("two-files")))
# Path in the mailbox -> (content, the Outcome of each winmail.dat part; None: no mdir file).
MAILBOX = {
    "1001": (TWO_FILES, [SAMPLES["two-files"]]),
    "1002": (render(plain_message()), []),
    "1003": (render(shaped("alternative_after_html", sample("one-file")), eol="\r\n"),
             [SAMPLES["one-file"]]),
    "1004": (envelope() + render(shaped("nested", sample("one-file"))), [SAMPLES["one-file"]]),
    # tnef complains about the byte after the end, so the winmail.dat part stays as well.
    "1005": (render(shaped("mixed", sample("two-files") + b"\0")),
             [Outcome(SAMPLES["two-files"].parts, [GARBAGE, extracted(2)], True)]),
    "1006": (TWO_FILES, [SAMPLES["two-files"]]),
    "1007": (TWO_FILES, [SAMPLES["two-files"]]),
    "empty": (b"", []),
    "notes.txt": (TWO_FILES, None),
    "sub/2001": (render(shaped("alternative", sample("triples"))), [SAMPLES["triples"]]),
    "sub/deeper/3001": (render(shaped("tight", sample("one-file")), final_eol=False),
                        [SAMPLES["one-file"]] * 2),
    ".hidden/4001": (TWO_FILES, None),
    ".4002": (TWO_FILES, None),
}
# A converted message whose replacement cannot be put in place is left as it was.
BLOCKED = {"1006": ("1006.tmp", "* Unable to write {p}.tmp: Is a directory, {p} is left unchanged"),
           "1007": ("1007.old", "* Unable to rename {p}: Is a directory, it is left unchanged")}


def snapshot(root):
    """Every file below ROOT (links not followed): relative path -> (bytes or None, mode)."""
    files = {}
    for directory, _, names in os.walk(root):
        for path in (pathlib.Path(directory, name) for name in names):
            mode = path.lstat().st_mode
            data = path.read_bytes() if stat.S_ISREG(mode) else None
            files[str(path.relative_to(root))] = (data, mode)
    return files


def summary(processed=0, converted=0, unchanged=0, failed=0, skipped=0):
    return (f"* Batch done: {processed} processed, {converted} converted, {unchanged} unchanged, "
            f"{failed} failed, {skipped} skipped")


class BatchTest(EndToEndCase):
    def make_mailbox(self, name):
        root = os.path.join(self.root, name)
        for relative, (data, _) in MAILBOX.items():
            os.makedirs(os.path.dirname(os.path.join(root, relative)), exist_ok=True)
            with open(os.path.join(root, relative), "wb") as f:
                f.write(data)
        os.chmod(os.path.join(root, "1001"), 0o640)
        for blocker, _ in BLOCKED.values():
            os.makedirs(os.path.join(root, blocker, "inside"))
        os.symlink("..", os.path.join(root, "sub", "loop"))
        # A socket is listed like a file but cannot be opened, even by root.
        unopenable = socket.socket(socket.AF_UNIX)
        self.addCleanup(unopenable.close)
        unopenable.bind(os.path.join(root, "sock"))
        return root

    def test_runs(self):
        program = self.new_program()
        # (arguments, the mailbox as given: absolute, or relative with a trailing slash, the
        # summary of the first run and of a second one, which finds the messages marked)
        for n, (args, relative, first, second) in enumerate([
                (("-w", "4"), False, summary(11, 6, 2, 3, 1), summary(11, 0, 8, 3, 1)),
                (("-k", "-n"), True, summary(9, 4, 2, 3, 1), summary(9, 0, 6, 3, 1))]):
            with self.subTest(args=args):
                mailbox = self.make_mailbox(f"mbox{n}")
                given = f"mbox{n}/" if relative else mailbox
                before = snapshot(mailbox)
                run = driver.run(program, ["-p", given, *args], cwd=self.root)
                # Failed messages: the socket cannot be opened, two cannot be replaced.
                self.assertEqual((run.status, run.stderr, run.lines[-1]), (1, "", first))
                self.check_run(given, args, before, snapshot(mailbox), run.lines)
                self.assertFalse(os.path.exists(program.work_dir))
                after = snapshot(mailbox)
                run = driver.run(program, ["-p", given, *args], cwd=self.root)
                self.assertEqual((snapshot(mailbox), run.lines[-1]), (after, second))

    def check_run(self, given, args, before, after, lines):
        """Checks a run with ARGS over the mailbox GIVEN, whose files were BEFORE and are AFTER,
        that said LINES."""
        expected = {}  # the lines about each file, which come together in any order
        for relative, (data, mode) in sorted(before.items()):
            path = f"{given}/{relative}"
            outcomes = MAILBOX.get(relative, (None, []))[1]
            if relative.startswith(".") or "/." in relative or ("/" in relative and "-n" in args):
                continue  # hidden, or below the mailbox with -n
            if outcomes is None:
                expected[path] = [f"* Skipping non-mdir file {path}"]
                continue
            expected[path] = [f"* Processing {path}"]
            if data is None:
                expected[path].append(f"* Unable to open file {path}")
                continue
            message = data.split(b"\n\n", 1)[1] if data.startswith(b"P I ") else data
            # With -k every winmail.dat part stays after its files.
            outcomes = [replace(o, keep=o.keep or "-k" in args) for o in outcomes]
            exp = expect(message, outcomes)
            expected[path] += exp.log + [f'* Inserting file "{new.name}"' for o in outcomes
                                         for new in o.parts]
            if relative in BLOCKED:
                expected[path].append(BLOCKED[relative][1].format(p=path))
            elif exp.count:
                converted, new_mode = after[relative]
                marker = f"X-WinmailDat: {exp.count} attachments extracted.\n".encode()
                self.assertEqual((new_mode, converted[:len(marker)]), (mode, marker), relative)
                self.assertNotIn(b"\r", converted)
                with self.subTest(args=args, file=relative):
                    self.judge(message, converted[len(marker):], exp)
                after[relative] = before[relative]
        blocks = {}
        for line in lines[BANNER_LINES:-1]:
            opening = re.match(r"\* (?:Processing|Skipping non-mdir file) (.*)", line)
            if opening:
                path = opening.group(1)
                self.assertNotIn(path, blocks, "visited twice")
                blocks[path] = []
            blocks[path].append(line)
        self.assertEqual(blocks, expected)
        self.assertEqual(after, before, "files changed, made or removed")


if __name__ == "__main__":
    unittest.main()

"""tnef that misbehaves (fake_tnef.sh), and damaged winmail.dat files with the real tnef."""
import os
import unittest

import driver

from cases import EndToEndCase, split_queue_file
from install import sample
from messages import envelope, message, multipart, render, shaped, text_part, tnef_part
from reference import FOUND, SUFFIX, Expectation, NewPart, Outcome, parse

NOTHING = "* This winmail.dat doesn't contain extractable attachments"
UNLISTED = "* tnef wrote files that its listing does not name, the winmail.dat attachment is kept"
CHECKSUM = "* ERROR: invalid checksum, input file may be corrupted" + SUFFIX
STDERR = ["* WARNING: odd attribute", "* at offset 12\\x01 in C:\\x5Ctemp" + SUFFIX]
REPORT = NewPart("report.txt", b"quarterly report\n")
SENTINEL = b"outside the work directory\n"


def ignoring(path, reason):
    return f'* Ignoring "{path}" from the tnef listing: {reason}'


def extracted(n):
    return f"* Extracted {n} file(s) from winmail.dat"


OUTSIDE = "it is not a file in the work directory"
# A good part, a nested bad one (fake error_line), a good one: the ERROR line ends the
# nested multipart and drops what was found before unless --always-remove-winmail.
ERROR_MESSAGE = render(message(multipart("mixed", "=_outer", [
    tnef_part(b"first"), multipart("mixed", "=_inner", [text_part(), tnef_part(b"error")]),
    tnef_part(b"second")])))
ERROR_LOG = [FOUND, extracted(1), FOUND, CHECKSUM, FOUND, extracted(1)]

# (fake tnef, arguments, message, scan log with {work} for the work directory,
#  {place of a replaced part: (new parts, received part kept)} or None for OK)
CASES = [
    ("outside", (), None, [FOUND, ignoring("/etc/passwd", OUTSIDE),
                           ignoring("{work}/../sentinel", OUTSIDE),
                           ignoring("{work}/../sentinel", OUTSIDE), extracted(1)],
     {(1,): ([REPORT], False)}),
    ("symlink", ("--always-remove-winmail",), None, [
        FOUND, ignoring("{work}/link.txt", "it is not a regular file"), UNLISTED, extracted(1)],
     {(1,): ([REPORT], False)}),
    ("unlisted", (), None, [FOUND, UNLISTED, extracted(1)], {(1,): ([REPORT], True)}),
    ("workfile", (), None, [FOUND, ignoring("{work}/winmail.dat", "it is the work file"),
                            extracted(1)], {(1,): ([REPORT], False)}),
    ("twice", (), None, [FOUND, ignoring("{work}/report.txt", "it is listed twice"),
                         extracted(1)], {(1,): ([REPORT], False)}),
    ("two_columns", (), None, [FOUND, extracted(2)],
     {(1,): ([REPORT, NewPart("notes.txt", b"some notes\n")], False)}),
    ("odd_name", (), None, [FOUND, extracted(1)],
     {(1,): ([NewPart('say "hi" \\\\ bye.txt', b"odd\n")], False)}),
    ("error_line", (), ERROR_MESSAGE, ERROR_LOG,
     {(2,): ([NewPart("second.txt", b"second")], False)}),
    ("error_line", ("--always-remove-winmail",), ERROR_MESSAGE, ERROR_LOG,
     {(0,): ([NewPart("first.txt", b"first")], False),
      (2,): ([NewPart("second.txt", b"second")], False)}),
    ("stderr_text", (), None, [FOUND, *STDERR, extracted(1)], {(1,): ([REPORT], True)}),
    ("flood_stderr", (), None, [FOUND, "* " + "e" * 1000 + "..." + SUFFIX, extracted(1)],
     {(1,): ([REPORT], True)}),
    # A tnef stopped or ended by a signal is reported once, with what it said; the part stays.
    ("abort", (), None, [FOUND, "* tnef ended with signal 6", "* assertion failed" + SUFFIX],
     None),
    ("abort", ("--always-remove-winmail",), None, [
        FOUND, "* tnef ended with signal 6", "* assertion failed" + SUFFIX], {}),
    ("flood_stdout", (), None, [
        FOUND, "* tnef listed more than 4 MiB of files and was stopped"], None),
    ("long_lines", (), None, [
        FOUND, lambda work, scratch: ignoring((f"{work}/" + "x" * 3000)[:200 - len(scratch)] + "...",
                                       OUTSIDE),
        "* " + ("ERROR: " + "y" * 5000)[:1000] + "..." + SUFFIX], None),
]


class FakeTnefTest(EndToEndCase):
    """Whatever tnef does, the filter touches nothing outside wmd_temp and goes on serving,
    also when no sandbox stops tnef from making links or reading /proc."""

    def setUp(self):
        super().setUp()
        self.without_landlock()

    def test_cases(self):
        with open("/etc/passwd", "rb") as f:
            passwd = f.read()
        for n, (how, args, data, scan_log, replaced) in enumerate(CASES):
            with self.subTest(how=how, args=args):
                data = data or render(shaped("mixed", b"fake winmail.dat"))
                program = self.new_program(f"prog {n}", tnef=how)
                sentinel = os.path.join(program.path, "sentinel")
                with open(sentinel, "wb") as f:
                    f.write(SENTINEL)
                session = self.start(program, args)
                queued = self.queue(f"{n}.msg", envelope() + data)
                # The path shown is cut after 200 bytes, the scratch directory's name included.
                scratch = f"/conversion-{session.process.pid}-XXXXXX"
                log = [line(program.work_dir, scratch) if callable(line) else
                       line.format(work=program.work_dir) for line in scan_log]
                outcomes = {place: Outcome(True, parts, keep)
                            for place, (parts, keep) in (replaced or {}).items()}
                exp = Expectation(outcomes, log, rewritten=replaced is not None)
                self.check_filtered(session, 1, queued, data, exp)
                self.assertEqual(session.request("2 INTF 3").answer, "2 INTF 3")
                self.finish(session, program)
                with open(sentinel, "rb") as f:
                    self.assertEqual(f.read(), SENTINEL)
                with open("/etc/passwd", "rb") as f:
                    self.assertEqual(f.read(), passwd)
                with open(os.path.join(self.base, queued), "rb") as f:
                    self.assertEqual(f.read(), envelope() + data, "the queued file was changed")

    def test_no_descriptor_reaches_tnef(self):
        program = self.new_program(tnef="descriptors")
        session = self.start(program)
        queued = self.queue("1.msg", envelope() + render(shaped("mixed", b"x")))
        self.assertEqual(session.request(f"1 FILE {queued}").answer, "1 DISCARD")
        self.finish(session, program)
        self.assertEqual(tnef_descriptors(self.only_queue_file()),
                         [f"{program.work_dir}/report.txt"])


def tnef_descriptors(queue_file):
    """What the descriptors of the fake tnef that wrote the report in QUEUE_FILE led to, but
    for its standard input and error and the directory that ls itself reads."""
    *_, converted = split_queue_file(queue_file)
    report = [p for p in parse(converted).walk() if p.get_filename() == "report.txt"]
    lines = report[0].get_payload(decode=True).decode().splitlines()
    targets = [line.split(" -> ")[1] for line in lines if " -> " in line]
    kept = [t for t in targets if not t.startswith(("pipe:", "/proc/"))]
    if len(targets) - len(kept) != 3:
        raise AssertionError(f"descriptors: {targets}")
    return [driver.SCRATCH.sub(rb"\1", t.encode()).decode() for t in kept]


class DamagedWinmailTest(EndToEndCase):
    """The real tnef on winmail.dat files that are not whole."""

    def test_with_reference(self):
        damaged = bytearray(sample("one-file"))
        damaged[damaged.index(b"Authors of tnef")] ^= 0x01
        bad_base64 = tnef_part(sample("two-files"))
        bad_base64.body.insert(-1, "%%%% not base64 %%%%")
        not_tnef = os.path.join(self.root, "prog3", "wmd_temp", "Seems not to be a TNEF file")
        cases = [  # (arguments, message, a log line the reference cannot know: the second)
            ((), render(shaped("mixed", bytes(damaged))), None),
            (("--always-remove-winmail",), render(shaped("mixed", bytes(damaged))), None),
            ((), render(message(multipart("mixed", "=_b", [text_part(), bad_base64]))),
             "* unable to decode the attachment, data is corrupted"),
            ((), render(shaped("mixed", b"Hello, this is no TNEF file.\n")),
             ignoring(not_tnef, OUTSIDE)),
        ]
        for n, (args, data, extra) in enumerate(cases):
            with self.subTest(n=n):
                program = self.new_program(f"prog{n}")
                session = self.start(program, args)
                exp = self.expectation(data, args, program, f"ref{n}")
                self.assertIn([CHECKSUM, CHECKSUM, FOUND, NOTHING][n], exp.log)
                exp.log[1:1] = [extra] if extra else []
                self.check_filtered(session, 1, self.queue(f"{n}.msg", envelope() + data),
                                    data, exp)
                self.finish(session, program)


if __name__ == "__main__":
    unittest.main()

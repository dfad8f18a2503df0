"""tnef that misbehaves (fake_tnef.sh), and damaged winmail.dat files with the real tnef."""
import os
import unittest

from cases import EndToEndCase, expect
from install import sample
from messages import envelope, message, multipart, render, shaped, text_part, tnef_part
from reference import NOTHING, SAMPLES, SUFFIX, New, Outcome, extracted

UNLISTED = "* tnef wrote files that its listing does not name, the winmail.dat attachment is kept"
CHECKSUM = "* ERROR: invalid checksum, input file may be corrupted" + SUFFIX
SIGNAL = ["* tnef ended with signal 6", "* assertion failed" + SUFFIX]
REPORT = New("report.txt", b"quarterly report\n")
SENTINEL = b"outside the work directory\n"


def ignoring(path, reason="it is not a file in the work directory"):
    return f'* Ignoring "{path}" from the tnef listing: {reason}'


def report(*log, keep=False):
    return [Outcome([REPORT], [*log, extracted(1)], keep)]


DAMAGED = bytearray(sample("one-file"))
DAMAGED[DAMAGED.index(b"Authors of tnef")] ^= 0x01
BAD_BASE64 = tnef_part(sample("two-files"))
BAD_BASE64.body.insert(-1, "%%%% not base64 %%%%")
# A good part, a nested bad one (fake error_line) and one after it, a good one: the ERROR line
# ends the nested multipart, whose next part stays unread, and drops what was found before
# unless --always-remove-winmail.
ERROR_MESSAGE = render(message(multipart("mixed", "=_outer", [
    tnef_part(b"first"), multipart("mixed", "=_inner", [text_part(), tnef_part(b"error"),
                                                        tnef_part(b"unread")]),
    tnef_part(b"second")])))
SECOND = Outcome([New("second.txt", b"second")], [extracted(1)])

# (tnef: a behaviour of the fake one or "real", arguments, message (None: one part of fake
# data), the Outcome of each winmail.dat part with {work} for the work directory and {cut} for
# a long path cut, and the X-WinmailDat count when it is not that of the parts replaced)
CASES = [
    ("outside", (), None, report(ignoring("/etc/passwd"), *[ignoring("{work}/../sentinel")] * 2)),
    ("symlink", ("--always-remove-winmail",), None,
     report(ignoring("{work}/link.txt", "it is not a regular file"), UNLISTED)),
    ("unlisted", (), None, report(UNLISTED, keep=True)),
    ("workfile", (), None, report(ignoring("{work}/winmail.dat", "it is the work file"))),
    ("twice", (), None, report(ignoring("{work}/report.txt", "it is listed twice"))),
    ("two_columns", (), None,
     [Outcome([REPORT, New("notes.txt", b"some notes\n")], [extracted(2)])]),
    ("odd_name", (), None, [Outcome([New('say "hi" \\\\ bye.txt', b"odd\n")], [extracted(1)])]),
    ("error_line", (), ERROR_MESSAGE,
     [Outcome([], [extracted(1)], True), Outcome([], [CHECKSUM], True), None, SECOND]),
    ("error_line", ("--always-remove-winmail",), ERROR_MESSAGE,
     [Outcome([New("first.txt", b"first")], [extracted(1)]), Outcome([], [CHECKSUM], True),
      None, SECOND]),
    ("stderr_text", (), None, report("* WARNING: odd attribute",
                                     "* at offset 12\\x01 in C:\\x5Ctemp" + SUFFIX, keep=True)),
    ("flood_stderr", (), None, report("* " + "e" * 1000 + "..." + SUFFIX, keep=True)),
    # A tnef stopped or ended by a signal is reported once, with what it said; the part stays.
    ("abort", (), None, [Outcome([], SIGNAL, True)]),
    ("abort", ("--always-remove-winmail",), None, [Outcome([], SIGNAL, True)], 0),
    # ls, as tnef, has its standard input, output and error and the directory it reads, no more.
    ("descriptors", (), None, [Outcome([New("report.txt", b"0 1 2 3 ")], [extracted(1)])]),
    ("flood_stdout", (), None,
     [Outcome([], ["* tnef listed more than 4 MiB of files and was stopped"], True)]),
    ("long_lines", (), None, [Outcome([], [ignoring("{cut}..."), "* " + (
        "ERROR: " + "y" * 5000)[:1000] + "..." + SUFFIX], True)]),
    ("real", (), render(shaped("mixed", bytes(DAMAGED))),
     [Outcome([], [CHECKSUM, NOTHING], True)]),
    ("real", ("--always-remove-winmail",), render(shaped("mixed", bytes(DAMAGED))),
     [Outcome([], [CHECKSUM, NOTHING])]),
    ("real", (), render(message(multipart("mixed", "=_b", [text_part(), BAD_BASE64]))),
     [Outcome(SAMPLES["two-files"].parts,
              ["* unable to decode the attachment, data is corrupted", extracted(2)])]),
    ("real", (), render(shaped("mixed", b"Hello, this is no TNEF file.\n")),
     [Outcome([], [ignoring("{work}/Seems not to be a TNEF file"), NOTHING], True)]),
]


class HostileTnefTest(EndToEndCase):
    """Whatever tnef does or is given, the filter touches nothing outside wmd_temp and goes on
    serving, also when no sandbox stops tnef from making links or reading /proc."""

    def setUp(self):
        super().setUp()
        self.without_landlock()

    def test_cases(self):
        with open("/etc/passwd", "rb") as f:
            passwd = f.read()
        for n, (how, args, data, outcomes, *count) in enumerate(CASES):
            with self.subTest(how=how, args=args):
                data = data or render(shaped("mixed", b"fake winmail.dat"))
                program = self.new_program(f"prog {n}", tnef=how)
                sentinel = os.path.join(program.path, "sentinel")
                with open(sentinel, "wb") as f:
                    f.write(SENTINEL)
                session = self.start(program, args)
                expected = expect(data, outcomes, *count)
                # A path shown is cut after 200 bytes, the scratch directory's name included.
                cut = (program.work_dir + "/" + "x" * 3000)[:200 - len(
                    f"/conversion-{session.process.pid}-XXXXXX")]
                expected.log = [line.format(work=program.work_dir, cut=cut)
                                for line in expected.log]
                self.check_filtered(session, 1, data, expected)
                self.assertEqual(session.request("2 INTF 3").answer, "2 INTF 3")
                self.finish(session, program)
                with open(sentinel, "rb") as f:
                    self.assertEqual(f.read(), SENTINEL)
                with open("/etc/passwd", "rb") as f:
                    self.assertEqual(f.read(), passwd)
                with open(os.path.join(self.base, "Queue", "1.msg"), "rb") as f:
                    self.assertEqual(f.read(), envelope() + data, "the queued file was changed")


if __name__ == "__main__":
    unittest.main()

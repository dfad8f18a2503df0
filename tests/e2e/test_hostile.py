"""tnef that misbehaves (fake_tnef.sh), and damaged winmail.dat files with the real tnef.

Whatever tnef does, the filter must touch nothing outside its work directory,
write only log lines and answers, and go on serving.
"""
import base64
import os
import unittest

from cases import EndToEndCase
from install import sample
from judge import split_queue_file
from messages import (envelope, message, multipart, render, shaped, text_part, tnef_part,
                      written_attachment)
from reference import FOUND, SUFFIX, Expectation, NewPart, Outcome, Reference, parse

NOTHING = "* This winmail.dat doesn't contain extractable attachments"
UNLISTED = "* tnef wrote files that its listing does not name, the winmail.dat attachment is kept"
NO_START = ("* Unable to start the tnef binary, unable to extract winmail.dat attachments."
            " Message will be left unscanned")
CHECKSUM = "* ERROR: invalid checksum, input file may be corrupted" + SUFFIX
STDERR = ["* WARNING: odd attribute", "* at offset 12\\x01 in C:\\x5Ctemp" + SUFFIX]
REPORT = NewPart("report.txt", data=b"quarterly report\n")
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
     {(1,): ([REPORT, NewPart("notes.txt", data=b"some notes\n")], False)}),
    ("odd_name", (), None, [FOUND, extracted(1)],
     {(1,): ([NewPart('say "hi" \\ bye.txt', data=b"odd\n")], False)}),
    ("error_line", (), ERROR_MESSAGE, ERROR_LOG,
     {(2,): ([NewPart("second.txt", data=b"second")], False)}),
    ("error_line", ("--always-remove-winmail",), ERROR_MESSAGE, ERROR_LOG,
     {(0,): ([NewPart("first.txt", data=b"first")], False),
      (2,): ([NewPart("second.txt", data=b"second")], False)}),
    ("stderr_text", (), None, [FOUND, *STDERR, extracted(1)], {(1,): ([REPORT], True)}),
    ("flood_stderr", (), None, [FOUND, "* " + "e" * 1000 + "..." + SUFFIX, extracted(1)],
     {(1,): ([REPORT], True)}),
    ("abort", (), None, [FOUND, "* tnef ended with signal 6", NO_START], None),
    ("abort", ("--always-remove-winmail",), None, [
        FOUND, "* tnef ended with signal 6", NO_START], {}),
    ("flood_stdout", (), None, [
        FOUND, "* tnef listed more than 4 MiB of files and was stopped", NO_START], None),
]


class FakeTnefTest(EndToEndCase):
    """Each fake tnef in its own program directory, with a sentinel file beside wmd_temp."""

    def test_cases(self):
        with open("/etc/passwd", "rb") as f:
            passwd = f.read()
        for n, (how, args, data, scan_log, replaced) in enumerate(CASES):
            with self.subTest(how=how, args=args):
                data = data or render(shaped("mixed", b"fake winmail.dat"))
                program = self.ws.program(f"prog {n}", tnef=how)
                sentinel = os.path.join(program.path, "sentinel")
                with open(sentinel, "wb") as f:
                    f.write(SENTINEL)
                session = self.start(program, args)
                queued = self.ws.queue(f"{n}.msg", envelope() + data)
                log = [line.format(work=program.work_dir) for line in scan_log]
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
                with open(os.path.join(self.ws.base, queued), "rb") as f:
                    self.assertEqual(f.read(), envelope() + data, "the queued file was changed")

    def test_long_lines_are_cut(self):
        program = self.ws.program(tnef="long_lines")
        session = self.start(program)
        reply = session.request(f"1 FILE {self.ws.queue('1.msg', render(shaped('mixed', b'x')))}")
        name = f"{program.work_dir}/" + "x" * 3000
        self.assertEqual(reply.log, [
            FOUND, ignoring(name[:200] + "...", OUTSIDE),
            "* " + ("ERROR: " + "y" * 5000)[:1000] + "..." + SUFFIX, "* [1] Accepting message"])
        self.assertEqual(reply.answer, "1 OK")
        self.finish(session, program)

    def test_no_descriptor_reaches_tnef(self):
        program = self.ws.program(tnef="descriptors")
        session = self.start(program)
        queued = self.ws.queue("1.msg", envelope() + render(shaped("mixed", b"x")))
        self.assertEqual(session.request(f"1 FILE {queued}").answer, "1 DISCARD")
        self.finish(session, program)
        *_, converted = split_queue_file(self.only_queue_file())
        report = [p for p in parse(converted).walk() if p.get_filename() == "report.txt"]
        lines = report[0].get_payload(decode=True).decode().splitlines()
        targets = {left.rsplit(" ", 1)[1]: target
                   for left, target in (line.split(" -> ") for line in lines if " -> " in line)}
        self.assertRegex(targets.pop("0"), r"^pipe:")
        self.assertEqual(targets.pop("1"), f"{program.work_dir}/report.txt")
        self.assertRegex(targets.pop("2"), r"^pipe:")
        # What remains is the directory that ls itself reads.
        self.assertEqual([t for t in targets.values() if not t.startswith("/proc/")], [])


class DamagedWinmailTest(EndToEndCase):
    """The real tnef on winmail.dat files that are not whole."""

    def test_with_reference(self):
        damaged = bytearray(sample("one-file"))
        damaged[damaged.index(b"Authors of tnef")] ^= 0x01
        bad_base64 = tnef_part(sample("two-files"))
        bad_base64.body.insert(-1, "%%%% not base64 %%%%")
        cases = [  # (arguments, message, log lines the reference cannot know, at their place)
            ((), render(shaped("mixed", bytes(damaged))), {}),
            (("--always-remove-winmail",), render(shaped("mixed", bytes(damaged))), {}),
            ((), render(message(multipart("mixed", "=_b", [text_part(), bad_base64]))),
             {1: "* unable to decode the attachment, data is corrupted"}),
        ]
        for n, (args, data, extra) in enumerate(cases):
            with self.subTest(n=n):
                program = self.ws.program(f"prog{n}")
                session = self.start(program, args)
                exp = self.expectation(data, args, program, f"ref{n}")
                if n < 2:
                    self.assertIn(CHECKSUM, exp.log)
                for place, line in extra.items():
                    exp.log.insert(place, line)
                self.check_filtered(session, 1, self.ws.queue(f"{n}.msg", envelope() + data),
                                    data, exp)
                self.finish(session, program)

    def test_not_a_tnef_file(self):
        program = self.ws.program()
        session = self.start(program)
        data = render(shaped("mixed", b"Hello, this is no TNEF file.\n"))
        reply = session.request(f"1 FILE {self.ws.queue('1.msg', envelope() + data)}")
        self.assertEqual(reply.log, [
            FOUND, ignoring(f"{program.work_dir}/Seems not to be a TNEF file", OUTSIDE),
            NOTHING, "* [1] Accepting message"])
        self.assertEqual((reply.answer, self.ws.submitted()), ("1 OK", []))
        self.finish(session, program)

    def test_message_ends_inside_the_winmail_part(self):
        original = shaped("mixed", sample("two-files"))
        start = original.body.index("--=_mixed_1", 1)
        head = original.headers + [""] + original.body[:start]
        text = base64.b64encode(sample("two-files")).decode()
        n = 0
        for cut, tail_end in ((56 * 76, "\n"), (56 * 76 + 30, "")):
            kept = original.body[start:start + 4] + [text[i:i + 76] for i in range(0, cut, 76)]
            data = ("\n".join(head + kept) + tail_end).encode()
            payload = base64.b64decode(text[:cut] + "=" * (-cut % 4))
            for args in ((), ("--always-remove-winmail",)):
                n += 1
                with self.subTest(cut=cut, args=args):
                    outcome = Reference(os.path.join(self.ws.root, f"ref{n}"),
                                        args, None).unpack(payload, False, False)
                    self.assertEqual([p.name for p in outcome.new_parts], ["AUTHORS"])
                    self.assertTrue(outcome.keep or args, "tnef did not complain")
                    program = self.ws.program(f"prog{n}")
                    session = self.start(program, args)
                    reply = session.request(f"1 FILE {self.ws.queue(f'{n}', envelope() + data)}")
                    self.assertEqual(reply.log, outcome.log + [
                        "* Creating a new message with the extracted attachments",
                        '* Inserting file "AUTHORS"',
                        "* Submitting new message and discarding original",
                        "* [1] Discarding message"])
                    self.finish(session, program)
                    lines = head + written_attachment("AUTHORS", outcome.new_parts[0].data,
                                                      "=_mixed_1")
                    if outcome.keep:
                        # Copied like every input that ends with a line end: one more
                        # empty line after it.
                        lines += kept + ([""] if tail_end else [])
                    *_, count, converted = split_queue_file(self.only_queue_file())
                    self.assertEqual((count, converted.decode()), (1, "\n".join(lines) + "\n"))


if __name__ == "__main__":
    unittest.main()

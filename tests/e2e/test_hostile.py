"""tnef that misbehaves, and damaged winmail.dat files.

Fake tnef scripts (fake_tnef/) list paths outside the work directory, links,
the work file, the same file twice, error lines; they complain, crash and
flood their output. Whatever they do, the filter must touch nothing outside its
work directory, write only log lines and answers, and go on serving.
"""
import base64
import os
import unittest

from cases import EndToEndCase
from install import sample
from judge import split_queue_file
from messages import (envelope, message, multipart, render, shaped, text_part, tnef_part,
                      written_attachment)
from reference import (SUFFIX, Expectation, NewPart, Options, Outcome, Reference, parse,
                       printable)

FOUND = "* Found a winmail.dat attachment, unpacking"
NOTHING = "* This winmail.dat doesn't contain extractable attachments"
UNLISTED = "* tnef wrote files that its listing does not name, the winmail.dat attachment is kept"
NO_START = ("* Unable to start the tnef binary, unable to extract winmail.dat attachments."
            " Message will be left unscanned")
REPORT = NewPart("report.txt", data=b"quarterly report\n")
SENTINEL = b"outside the work directory\n"


def ignoring(path, reason):
    """The log line for a listed path that the filter does not use."""
    return f'* Ignoring "{path}" from the tnef listing: {reason}'


def extracted(n):
    """The log line for a winmail.dat part that gave N files."""
    return f"* Extracted {n} file(s) from winmail.dat"


NOT_LISTED_FILE = ignoring("{work}/Seems not to be a TNEF file",
                           "it is not a file in the work directory")


def one_part(payload=b"fake winmail.dat"):
    """A message with one winmail.dat part holding PAYLOAD."""
    return render(shaped("mixed", [payload]))


def error_after_good():
    """Two winmail.dat parts in a row; for the fake error_line the second is bad."""
    return render(shaped("two_in_a_row", [b"good data", b"error"]))


def error_nested_then_good():
    """A bad winmail.dat part in a nested multipart, then a good one in the outer."""
    inner = multipart("mixed", "=_inner", [text_part(), tnef_part(b"error")])
    return render(message(multipart("mixed", "=_outer", [inner, tnef_part(b"good data")])))


# (fake tnef, arguments, message, scan log with {work} for the work directory,
#  {place of a replaced part: (new parts, received part kept)} or None for OK)
CASES = [
    ("outside", (), one_part(), [
        FOUND,
        ignoring("/etc/passwd", "it is not a file in the work directory"),
        ignoring("{work}/../sentinel", "it is not a file in the work directory"),
        ignoring("{work}/../sentinel", "it is not a file in the work directory"),
        extracted(1)], {(1,): ([REPORT], False)}),
    ("symlink", (), one_part(), [
        FOUND, ignoring("{work}/link.txt", "it is not a regular file"), UNLISTED, extracted(1)],
     {(1,): ([REPORT], True)}),
    ("symlink", ("--always-remove-winmail",), one_part(), [
        FOUND, ignoring("{work}/link.txt", "it is not a regular file"), UNLISTED, extracted(1)],
     {(1,): ([REPORT], False)}),
    ("workfile", (), one_part(), [
        FOUND, ignoring("{work}/winmail.dat", "it is the work file"), extracted(1)],
     {(1,): ([REPORT], False)}),
    ("twice", (), one_part(), [
        FOUND, ignoring("{work}/report.txt", "it is listed twice"), extracted(1)],
     {(1,): ([REPORT], False)}),
    ("not_tnef", (), one_part(), [
        FOUND, NOT_LISTED_FILE, NOTHING], None),
    ("not_tnef", ("--always-remove-winmail",), one_part(), [
        FOUND, NOT_LISTED_FILE, NOTHING], {(1,): ([], False)}),
    ("two_columns", (), one_part(), [FOUND, extracted(2)],
     {(1,): ([REPORT, NewPart("notes.txt", data=b"some notes\n")], False)}),
    ("error_line", (), error_after_good(), [
        FOUND, extracted(1), FOUND,
        "* ERROR: invalid checksum, input file may be corrupted" + SUFFIX], None),
    ("error_line", ("--always-remove-winmail",), error_after_good(), [
        FOUND, extracted(1), FOUND,
        "* ERROR: invalid checksum, input file may be corrupted" + SUFFIX],
     {(1,): ([NewPart("report.txt", data=b"good data")], False)}),
    ("error_line", (), error_nested_then_good(), [
        FOUND, "* ERROR: invalid checksum, input file may be corrupted" + SUFFIX,
        FOUND, extracted(1)],
     {(1,): ([NewPart("report.txt", data=b"good data")], False)}),
    ("stderr_text", (), one_part(), [
        FOUND, "* WARNING: odd attribute",
        "* at offset 12\\x01 in C:\\x5Ctemp" + SUFFIX, extracted(1)], {(1,): ([REPORT], True)}),
    ("stderr_text", ("--always-remove-winmail",), one_part(), [
        FOUND, "* WARNING: odd attribute",
        "* at offset 12\\x01 in C:\\x5Ctemp" + SUFFIX, extracted(1)], {(1,): ([REPORT], False)}),
    ("stderr_text", ("-k",), one_part(), [
        FOUND, "* WARNING: odd attribute",
        "* at offset 12\\x01 in C:\\x5Ctemp" + SUFFIX, extracted(1)], {(1,): ([REPORT], True)}),
    ("unlisted", (), one_part(), [FOUND, UNLISTED, extracted(1)], {(1,): ([REPORT], True)}),
    ("abort", (), one_part(), [FOUND, "* tnef ended with signal 6", NO_START], None),
    ("abort", ("--always-remove-winmail",), one_part(), [
        FOUND, "* tnef ended with signal 6", NO_START], {}),
    ("flood_stderr", (), one_part(), [FOUND, "* " + "e" * 1000 + "..." + SUFFIX, extracted(1)],
     {(1,): ([REPORT], True)}),
    ("odd_name", (), one_part(), [FOUND, extracted(1)],
     {(1,): ([NewPart('say "hi" \\ bye.txt', data=b"odd\n")], False)}),
    ("flood_stdout", (), one_part(), [
        FOUND, "* tnef listed more than 4 MiB of files and was stopped", NO_START], None),
]


class FakeTnefTest(EndToEndCase):
    """Each fake tnef in its own program directory, with a sentinel file beside wmd_temp."""

    def run_case(self, n, script, args, data, scan_log, replaced):
        program = self.ws.program(f"prog{n}", tnef=script)
        sentinel = os.path.join(program.path, "sentinel")
        with open(sentinel, "wb") as f:
            f.write(SENTINEL)
        with open("/etc/passwd", "rb") as f:
            passwd = f.read()
        session = self.start(program, args)
        queued = self.ws.queue(f"{n}.msg", envelope() + data)
        reply = session.request(f"1 FILE {queued}")
        taken = self.take_submitted()
        log = [line.format(work=program.work_dir) for line in scan_log]
        if replaced is None:
            self.assertEqual(reply.log, log + ["* [1] Accepting message"])
            self.assertEqual((reply.answer, taken), ("1 OK", []))
        else:
            inserted = [f'* Inserting file "{printable(p.name)}"' for parts, _ in replaced.values()
                        for p in parts]
            self.assertEqual(reply.log, log + [
                "* Creating a new message with the extracted attachments", *inserted,
                "* Submitting new message and discarding original", "* [1] Discarding message"])
            self.assertEqual(reply.answer, "1 DISCARD")
            *_, count, converted = split_queue_file(self.only_queue_file(taken))
            self.assertEqual(count, len(replaced))
            outcomes = {place: Outcome(True, parts, keep)
                        for place, (parts, keep) in replaced.items()}
            self.judge.converted(data, converted, Expectation(True, len(replaced), outcomes, []))
        self.assertEqual(session.request("2 INTF 3").answer, "2 INTF 3")
        self.finish(session, program)
        with open(sentinel, "rb") as f:
            self.assertEqual(f.read(), SENTINEL)
        with open("/etc/passwd", "rb") as f:
            self.assertEqual(f.read(), passwd)
        with open(os.path.join(self.ws.base, queued), "rb") as f:
            self.assertEqual(f.read(), envelope() + data, "the queued file was changed")

    def test_cases(self):
        for n, (script, args, data, log, replaced) in enumerate(CASES):
            with self.subTest(script=script, args=args):
                self.run_case(n, script, args, data, log, replaced)

    def test_long_lines_are_cut(self):
        program = self.ws.program(tnef="long_lines")
        session = self.start(program)
        reply = session.request(f"1 FILE {self.ws.queue('1.msg', one_part())}")
        name = f"{program.work_dir}/" + "x" * 3000
        self.assertEqual(reply.log, [
            FOUND, ignoring(name[:200] + "...", "it is not a file in the work directory"),
            "* " + ("ERROR: " + "y" * 5000)[:1000] + "..." + SUFFIX, "* [1] Accepting message"])
        self.assertEqual(reply.answer, "1 OK")
        self.finish(session, program)

    def test_no_descriptor_reaches_tnef(self):
        program = self.ws.program(tnef="descriptors")
        session = self.start(program)
        reply = session.request(f"1 FILE {self.ws.queue('1.msg', envelope() + one_part())}")
        self.assertEqual(reply.answer, "1 DISCARD")
        self.finish(session, program)
        *_, converted = split_queue_file(self.take_one_submitted())
        report = [p for p in parse(converted).walk() if p.get_filename() == "report.txt"]
        lines = report[0].get_payload(decode=True).decode().splitlines()
        targets = dict(line.split(" ")[-3::2] for line in lines if " -> " in line)
        self.assertRegex(targets.pop("0"), r"^pipe:")
        self.assertEqual(targets.pop("1"), f"{program.work_dir}/report.txt")
        self.assertRegex(targets.pop("2"), r"^pipe:")
        # What remains is the directory that ls itself reads.
        self.assertEqual([t for t in targets.values() if not t.startswith("/proc/")], [])

    @unittest.skipIf(os.geteuid() == 0, "root may read any file")
    def test_unreadable_extracted_file(self):
        program = self.ws.program(tnef="unreadable")
        session = self.start(program)
        reply = session.request(f"1 FILE {self.ws.queue('1.msg', envelope() + one_part())}")
        self.assertEqual(reply.log[:5], [
            FOUND, extracted(1), "* Creating a new message with the extracted attachments",
            '* Inserting file "report.txt"', '* Unable to read the extracted file "report.txt"'])
        self.assertRegex(reply.log[5], r"^\* Unable to write the queue file .*, the message passes"
                                       r" unchanged$")
        self.assertEqual(reply.log[6:], ["* [1] Accepting message"])
        self.assertEqual((reply.answer, self.take_submitted()), ("1 OK", []))
        self.finish(session, program)

    @unittest.skip("a tnef that never ends is stopped only after 120 s")
    def test_tnef_that_hangs(self):
        pass


class DamagedWinmailTest(EndToEndCase):
    """The real tnef on winmail.dat files that are not whole."""

    def filtered(self, args, data):
        """Runs one FILE request for DATA; returns (reply, bytes written to Submitted or None)."""
        program = self.ws.program(f"prog{len(os.listdir(self.ws.root))}")
        session = self.start(program, args)
        queued = self.ws.queue("1.msg", envelope() + data)
        reply = session.request(f"1 FILE {queued}")
        taken = self.take_submitted()
        self.assertEqual(session.request("2 INTF 3").answer, "2 INTF 3")
        self.finish(session, program)
        return program, reply, (taken[0][1] if taken else None)

    def test_not_a_tnef_file(self):
        program, reply, written = self.filtered((), one_part(b"Hello, this is no TNEF file.\n"))
        self.assertEqual(reply.log, [
            FOUND, ignoring(f"{program.work_dir}/Seems not to be a TNEF file",
                            "it is not a file in the work directory"),
            NOTHING, "* [1] Accepting message"])
        self.assertEqual((reply.answer, written), ("1 OK", None))

    def test_corrupted_checksum(self):
        damaged = bytearray(sample("one-file"))
        damaged[damaged.index(b"Authors of tnef")] ^= 0x01
        data = render(shaped("mixed", [bytes(damaged)]))
        for args in ((), ("--always-remove-winmail",)):
            with self.subTest(args=args):
                program = self.ws.program(f"prog{len(args)}")
                session = self.start(program, args)
                exp = self.expectation(data, args, program, f"ref{len(args)}")
                self.assertIn("* ERROR: invalid checksum, input file may be corrupted" + SUFFIX,
                              exp.log)
                queued = self.ws.queue("1.msg", envelope() + data)
                self.check_filtered(session, 1, queued, data, exp)
                self.finish(session, program)

    def test_bad_base64_line(self):
        part = tnef_part(sample("two-files"))
        part.body.insert(-1, "%%%% not base64 %%%%")
        data = render(message(multipart("mixed", "=_b", [text_part(), part])))
        program = self.ws.program()
        session = self.start(program)
        exp = self.expectation(data, (), program)
        exp.log.insert(1, "* unable to decode the attachment, data is corrupted")
        self.check_filtered(session, 1, self.ws.queue("1.msg", envelope() + data), data, exp)
        self.finish(session, program)

    def test_message_ends_inside_the_winmail_part(self):
        original = shaped("mixed", [sample("two-files")])
        start = original.body.index("--=_mixed_1", 1)
        head = original.headers + [""] + original.body[:start]
        text = base64.b64encode(sample("two-files")).decode()
        for cut, tail_end in ((56 * 76, "\n"), (56 * 76 + 30, "")):
            kept = original.body[start:start + 4] + [text[i:i + 76] for i in range(0, cut, 76)]
            data = ("\n".join(head + kept) + tail_end).encode()
            payload = base64.b64decode(text[:cut] + "=" * (-cut % 4))
            for args in ((), ("--always-remove-winmail",)):
                with self.subTest(cut=cut, args=args):
                    reference = Reference(os.path.join(self.ws.root, f"ref{cut}{len(args)}"),
                                          Options.from_args(args), None)
                    outcome = reference.unpack(payload, False, False)
                    self.assertEqual([p.name for p in outcome.new_parts], ["AUTHORS"])
                    self.assertTrue(outcome.keep or args, "tnef did not complain")
                    program, reply, written = self.filtered(args, data)
                    self.assertEqual(reply.log, outcome.log + [
                        "* Creating a new message with the extracted attachments",
                        '* Inserting file "AUTHORS"',
                        "* Submitting new message and discarding original",
                        "* [1] Discarding message"])
                    new_part = written_attachment("AUTHORS", outcome.new_parts[0].data, "=_mixed_1")
                    lines = head + new_part
                    if outcome.keep:
                        # Copied like every input that ends with a line end: one more
                        # empty line after it.
                        lines += kept + ([""] if tail_end else [])
                    expected = "\n".join(lines) + "\n"
                    *_, count, converted = split_queue_file(written)
                    self.assertEqual(count, 1)
                    self.assertEqual(converted.decode(), expected)


if __name__ == "__main__":
    unittest.main()

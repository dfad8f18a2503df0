"""Filter mode with the real tnef: the file written into Submitted, envelopes,
already converted messages, several winmail.dat parts in one message, messages
with nothing to convert, and a Submitted directory that cannot take the file."""
import os
import unittest

import messages
from cases import EndToEndCase
from install import sample
from judge import split_queue_file
from messages import Part, envelope, message, multipart, render, shaped, text_part, tnef_part
from reference import Options, expect, parse


class QueueFileTest(EndToEndCase):
    """The envelope lines and the layout of the file written into Submitted."""

    def convert(self, queued_bytes, args=()):
        """Converts the queued file QUEUED_BYTES in a new filter; returns what it submitted."""
        program = self.ws.program(f"prog{len(os.listdir(self.ws.root))}")
        session = self.start(program, args)
        queued = self.ws.queue("1.msg", queued_bytes)
        self.assertEqual(session.request(f"1 FILE {queued}").answer, "1 DISCARD")
        self.finish(session, program)
        return self.take_one_submitted()

    def test_envelopes(self):
        def block(*lines, eol="\n"):
            return (eol.join(lines) + eol + eol).encode()

        p = "P I 01-01-2010 12:00:00 0000 ____ ____ "
        r = "R W 01-01-2010 12:00:00 0000 ____ _FY_ "
        cases = [
            ("mixed case", block(p + "<Sender@Example.COM>", r + "<Rcpt@Example.com>"),
             "sender@example.com", ["rcpt@example.com"]),
            ("same recipient twice", block(p + "<s@x.org>", r + "<B@x.org>", r + "<a@x.org>",
                                           r + "<b@X.ORG>"), "s@x.org", ["a@x.org", "b@x.org"]),
            ("byte order", block(p + "<s@x>", r + "<zed@x>", r + "<Alpha@x>", r + "<_u@x>"),
             "s@x", ["_u@x", "alpha@x", "zed@x"]),
            ("cr lf", block(p + "<S@X>", r + "<R@X>", eol="\r\n"), "s@x", ["r@x"]),
            ("other and broken lines", block("S 1 2 3 <no@x>", p + "<first@x>", r + "no brackets",
                                             r + "<unclosed@x", p + "<Last@x>", "R <x@y> <real@z>"),
             "last@x", ["real@z"]),
            ("no envelope", b"", "", []),
        ]
        body = render(shaped("mixed", [sample("one-file")]))
        for label, env, return_path, recipients in cases:
            with self.subTest(label):
                got = split_queue_file(self.convert(env + body))
                self.assertEqual(got[:3], (return_path, recipients, 1))
                self.assertEqual(parse(got[3]).items(), parse(body).items())

    def expected_queue_file(self, keep):
        """The whole file submitted for one-file.tnef in the mixed shape, with or without -k."""
        original = shaped("mixed", [sample("one-file")])
        reference = expect(render(original), Options(), None,
                           os.path.join(self.ws.root, f"reference-{keep}"))
        authors = reference.outcomes[(1,)].new_parts[0].data
        delimiter = original.body.index("--=_mixed_1", 1)
        new_part = messages.written_attachment("AUTHORS", authors, "=_mixed_1")
        kept = original.body[delimiter:-1] if keep else []
        lines = (["Return-Path: sender@example.com", "Envelope-To: rcpt@example.com",
                  "X-WinmailDat: 1 attachments extracted.", "X-ExtScanner: Quillmere's Verrowick"]
                 + original.headers + [""] + original.body[:delimiter] + new_part + kept
                 + ["--=_mixed_1--", ""])
        return ("\n".join(lines) + "\n").encode()

    def test_exact_layout(self):
        for args, keep in (((), False), (("-k",), True)):
            with self.subTest(args=args):
                queued = envelope() + render(shaped("mixed", [sample("one-file")]))
                self.assertEqual(self.convert(queued, args).decode(),
                                 self.expected_queue_file(keep).decode())


class AlreadyProcessedTest(EndToEndCase):
    """A message carrying an X-WinmailDat field is never converted again."""

    def test_submitted_file_fed_back(self):
        program = self.ws.program()
        session = self.start(program)
        queued = self.ws.queue("1.msg", envelope() + render(shaped("mixed", [sample("two-files")])))
        self.assertEqual(session.request(f"1 FILE {queued}").answer, "1 DISCARD")
        again = self.ws.queue("again.msg", self.take_one_submitted())
        reply = session.request(f"2 FILE {again}")
        self.assertEqual(reply.log, ["* This file has already been processed, skipping",
                                     "* [2] Accepting message"])
        self.assertEqual(reply.answer, "2 OK")
        self.assertEqual(self.ws.submitted(), [])
        self.finish(session, program)

    def test_marked_message_and_marked_nested_part(self):
        marked_inner = multipart("mixed", "=_inner", [text_part(), tnef_part(sample("two-files"))])
        marked_inner.headers.insert(0, "x-winmaildat: 1 attachments extracted.")
        nested = render(message(multipart("mixed", "=_outer", [
            text_part(), marked_inner, tnef_part(sample("one-file"))])))
        marked = render(shaped("mixed", [sample("one-file")]))
        marked = b"X-WINMAILDAT: 1 attachments extracted.\n" + marked
        program = self.ws.program()
        session = self.start(program)
        for seq, data in enumerate((nested, marked), 1):
            with self.subTest(seq=seq):
                queued = self.ws.queue(f"{seq}.msg", envelope() + data)
                exp = self.expectation(data, (), program, f"ref{seq}")
                self.assertIn("* This file has already been processed, skipping", exp.log)
                self.check_filtered(session, seq, queued, data, exp)
        self.finish(session, program)


class SeveralWinmailPartsTest(EndToEndCase):
    """Two winmail.dat parts in one message each bring their own files."""

    CASES = [
        (("rtf", "triples"), "auto", ["saved_body.html", "saved_body.1.html"]),
        (("rtf", "triples"), None, ["saved_body.rtf", "saved_body.rtf.1"]),
        (("one-file", "one-file"), "auto", ["AUTHORS", "AUTHORS.1"]),
        (("two-files", "MAPI_OBJECT"), "auto",
         ["AUTHORS", "README", "Untitled_Attachment", "saved_body.html"]),
    ]

    def test_each_part_keeps_its_own_files(self):
        for n, (names, rtf2html, files) in enumerate(self.CASES):
            with self.subTest(names=names, rtf2html=rtf2html):
                program = self.ws.program(f"prog{n}", rtf2html=rtf2html)
                session = self.start(program)
                data = render(shaped("two_in_a_row", [sample(x) for x in names]))
                queued = self.ws.queue(f"{n}.msg", envelope() + data)
                exp = self.expectation(data, (), program, f"ref{n}")
                converted = self.check_filtered(session, 1, queued, data, exp)
                self.assertEqual([p.get_filename() for p in parse(converted).walk()
                                  if p.get_filename()], files)
                self.finish(session, program)


class NothingToConvertTest(EndToEndCase):
    """Messages without a winmail.dat part to replace pass with OK and leave no file."""

    def test_messages(self):
        tnef_body = Part(['Content-Type: application/ms-tnef; name="winmail.dat"',
                          "Content-Transfer-Encoding: base64"],
                         messages.base64_lines(sample("one-file")))
        cases = [
            ("plain multipart", render(messages.plain_message()), []),
            ("not multipart", render(message(text_part())), []),
            ("tnef as the whole message", render(message(tnef_body)), []),
            ("multipart without boundary",
             render(message(Part(["Content-Type: multipart/mixed"], ["--x", "", "text", "--x--"]))),
             []),
            ("upper-case WINMAIL.DAT under octet-stream", render(message(multipart(
                "mixed", "b", [Part(["Content-Type: application/octet-stream",
                                     'Content-Disposition: attachment; filename="WINMAIL.DAT"'],
                                    messages.base64_lines(sample("one-file")))]))), []),
            ("empty file", b"", []),
        ]
        program = self.ws.program()
        session = self.start(program)
        for seq, (label, data, log) in enumerate(cases, 1):
            with self.subTest(label):
                queued = self.ws.queue(f"{seq}.msg", envelope() + data)
                reply = session.request(f"{seq} FILE {queued}")
                self.assertEqual(reply.log, log + [f"* [{seq}] Accepting message"])
                self.assertEqual(reply.answer, f"{seq} OK")
                self.assertEqual(self.ws.submitted(), [])
        self.finish(session, program)


class SubmittedFailureTest(EndToEndCase):
    """When the replacement cannot be written the message passes unchanged and the
    filter goes on serving."""

    def check_passes(self, program, reason):
        session = self.start(program)
        queued = self.ws.queue("1.msg", envelope() + render(shaped("mixed", [sample("one-file")])))
        reply = session.request(f"1 FILE {queued}")
        self.assertEqual(reply.answer, "1 OK")
        self.assertEqual(reply.log[-1], "* [1] Accepting message")
        self.assertRegex(reply.log[-2], r"^\* Unable to write the queue file Submitted/"
                                        r"quillmeremailer_\d+_-?\d+\.tmp: "
                                        rf"{reason}, the message passes unchanged$")
        self.assertEqual(session.request("2 INTF 3").answer, "2 INTF 3")
        self.finish(session, program)

    def test_submitted_is_a_file(self):
        path = os.path.join(self.ws.base, "Submitted")
        with open(path, "w") as f:
            f.write("not a directory")
        self.check_passes(self.ws.program(), "Not a directory")
        with open(path) as f:
            self.assertEqual(f.read(), "not a directory")

    def test_submitted_is_a_dangling_link(self):
        os.symlink("gone", os.path.join(self.ws.base, "Submitted"))
        self.check_passes(self.ws.program(), "No such file or directory")
        self.assertFalse(os.path.exists(os.path.join(self.ws.base, "gone")))

    @unittest.skipIf(os.geteuid() == 0, "root may write anywhere")
    def test_submitted_is_read_only(self):
        path = os.path.join(self.ws.base, "Submitted")
        os.mkdir(path, 0o555)
        self.addCleanup(os.chmod, path, 0o755)
        self.check_passes(self.ws.program(), "Permission denied")
        self.assertEqual(self.ws.submitted(), [])


class ProgramPathWithBlankTest(EndToEndCase):
    """A program directory whose path holds blanks reaches tnef unquoted."""

    def test_conversion(self):
        program = self.ws.program("my filter dir")
        session = self.start(program)
        data = render(shaped("mixed", [sample("MAPI_ATTACH_DATA_OBJ")]))
        queued = self.ws.queue("1.msg", envelope() + data)
        self.check_filtered(session, 1, queued, data, self.expectation(data, (), program))
        self.finish(session, program)


class LimitsTest(EndToEndCase):
    """Messages past the scan's limits pass unchanged, with a log line that says why."""

    @staticmethod
    def nested(levels):
        """A message of LEVELS multiparts one inside the other, a winmail.dat part innermost."""
        part = tnef_part(sample("one-file"))
        for level in range(levels - 1):
            part = multipart("mixed", f"=_level_{level}", [part])
        return message(multipart("mixed", "=_top", [text_part(), part]))

    def test_limits(self):
        long_field = render(shaped("mixed", [sample("one-file")]))
        long_field = b"X-Long: " + b"a" * (1 << 20) + b"\n" + long_field
        folded_field = message(multipart("mixed", "=_f",
                                         [text_part(), tnef_part(sample("one-file"))]))
        folded_field.headers += ["X-Folded: start"] + ["\t" + "b" * 1000] * 1100
        cases = [
            ("header field over 1 MiB", long_field, "A header field is longer than 1 MiB"),
            ("folded field over 1 MiB", render(folded_field),
             "A header field is longer than 1 MiB"),
            ("boundary over 998 bytes", render(message(multipart(
                "mixed", "b" * 999, [text_part(), tnef_part(sample("one-file"))]))),
             "A boundary is longer than 998 bytes"),
            ("65 levels of multiparts", render(self.nested(65)),
             "Multiparts are nested more than 64 deep"),
        ]
        program = self.ws.program()
        session = self.start(program)
        for seq, (label, data, why) in enumerate(cases, 1):
            with self.subTest(label):
                reply = session.request(f"{seq} FILE {self.ws.queue(f'{seq}.msg', data)}")
                self.assertEqual(reply.log, [f"* {why}, the message is left unchanged",
                                             f"* [{seq}] Accepting message"])
                self.assertEqual((reply.answer, self.take_submitted()), (f"{seq} OK", []))
        data = render(self.nested(64))
        exp = self.expectation(data, (), program)
        self.check_filtered(session, 9, self.ws.queue("deep.msg", data), data, exp,
                            sender="", recipients=())
        self.finish(session, program)


class SharedProgramDirectoryTest(EndToEndCase):
    """Two filter processes started from one program directory share wmd_temp safely."""

    def test_two_filters(self):
        program = self.ws.program()
        first, second = self.start(program), self.start(program)
        data = {name: render(shaped("mixed", [sample(name)]))
                for name in ("MAPI_OBJECT", "MAPI_ATTACH_DATA_OBJ", "two-files")}
        for n, name in enumerate(data):
            self.ws.queue(f"{name}.msg", envelope() + data[name])
        for round_ in range(2):
            first.send("1 FILE Queue/MAPI_OBJECT.msg\n")
            second.send("2 FILE Queue/MAPI_ATTACH_DATA_OBJ.msg\n")
            self.assertEqual(first.reply().answer, "1 DISCARD")
            self.assertEqual(second.reply().answer, "2 DISCARD")
            written = sorted((split_queue_file(d)[3] for _, d in self.take_submitted()), key=len)
            for name, converted in zip(("MAPI_ATTACH_DATA_OBJ", "MAPI_OBJECT"), written):
                with self.subTest(round=round_, name=name):
                    exp = self.expectation(data[name], (), program, f"ref-{round_}-{name}")
                    self.judge.converted(data[name], converted, exp)
        self.finish(first)
        exp = self.expectation(data["two-files"], (), program, "ref-last")
        self.check_filtered(second, 3, "Queue/two-files.msg", data["two-files"], exp)
        self.finish(second, program)


class ProjectRtf2htmlTest(EndToEndCase):
    """The project's own rtf2html, once built, makes the HTML bodies (skipped before)."""

    def test_bodies(self):
        program = self.ws.program(rtf2html="real")
        session = self.start(program)
        seq = 0
        for shape in ("mixed", "alternative", "two_in_a_row"):
            for name in ("rtf", "triples", "MAPI_OBJECT", "long-filename"):
                seq += 1
                with self.subTest(shape=shape, sample=name):
                    data = render(shaped(shape, [sample(name), sample("rtf")]))
                    exp = self.expectation(data, (), program, f"ref{seq}")
                    queued = self.ws.queue(f"{seq}.msg", envelope() + data)
                    self.check_filtered(session, seq, queued, data, exp)
        self.finish(session, program)


if __name__ == "__main__":
    unittest.main()

"""Filter mode with the real tnef: conversions of every message shape, sample and
option judged against what tnef itself extracts; the file written into
Submitted; messages already converted, with nothing to convert or past limits."""
import io
import os
import sys
import unittest

import messages
from cases import EndToEndCase
from install import REPOSITORY, sample, sample_names
from judge import split_queue_file
from messages import Part, envelope, message, multipart, render, shaped, text_part, tnef_part
from reference import expect, parse

sys.path.insert(0, os.path.join(REPOSITORY, "tools"))
from tnef_writer import write_tnef  # noqa: E402

# (arguments, whether rtf2html is there, [(shape, sample A, sample B or None, rendering)]):
# each shape, sample, option and rendering at least once.
CONFIGURATIONS = [
    ((), True, [("mixed", "two-files", None, "lf"),
                ("by_filename", "body", None, "crlf"),
                ("nested", "MAPI_ATTACH_DATA_OBJ", None, "cut"),
                ("alternative_after_html", "rtf", None, "lf"),
                ("alternative", "triples", None, "crlf"),
                ("two_in_a_row", "data-before-name", "triples", "lf"),
                ("tight", "long-filename", "missing-filenames", "cut"),
                ("preamble_epilogue", "garbage-at-end", None, "crlf"),
                ("folded", "unicode-mapi-attr-name", None, "lf")]),
    (("-k",), True, [("two_in_a_row", "one-file", "garbage-at-end", "lf"),
                     ("alternative", "multi-value-attribute", None, "cut")]),
    (("-r",), True, [("alternative_after_html", "MAPI_OBJECT", None, "lf")]),
    (("--ignore-rtf-body",), True, [("alternative", "data-before-name", None, "crlf"),
                                    ("mixed", "rtf", None, "lf")]),
    (("--always-remove-winmail",), True, [("mixed", "multi-name-property", None, "lf"),
                                          ("tight", "garbage-at-end", "one-file", "crlf")]),
    ((), False, [("nested", "test", None, "lf"), ("alternative", "unicode-mapi-attr", None, "lf"),
                 ("mixed", "MAPI_OBJECT", None, "cut")]),
]
RENDERINGS = {"lf": {}, "crlf": {"eol": "\r\n"}, "cut": {"final_eol": False}}


class ConversionTest(EndToEndCase):
    def test_shapes_samples_and_options(self):
        used = {(s, x) for _, _, cases in CONFIGURATIONS for s, a, b, _ in cases for x in (a, b)}
        self.assertEqual({s for s, _ in used}, set(messages.SHAPES))
        self.assertEqual({x for _, x in used} - {None}, set(sample_names()))
        for n, (args, rtf2html, cases) in enumerate(CONFIGURATIONS):
            program = self.ws.program(f"prog {n}", rtf2html=rtf2html)
            session = self.start(program, args)
            for seq, (shape, a, b, rendering) in enumerate(cases, 1):
                with self.subTest(args=args, rtf2html=rtf2html, shape=shape, a=a, b=b):
                    how = RENDERINGS[rendering]
                    data = render(shaped(shape, sample(a), b and sample(b)), **how)
                    queued = self.ws.queue(f"{n}-{seq}", envelope(eol=how.get("eol", "\n")) + data)
                    exp = self.expectation(data, args, program, f"ref{n}-{seq}")
                    converted = self.check_filtered(session, seq, queued, data, exp)
                    self.assertNotIn(b"\r", converted or b"")
            self.assertEqual(session.request("0 INTF 3").answer, "0 INTF 3")
            self.finish(session, program)

    def test_two_rtf_bodies_keep_their_own_files(self):
        program = self.ws.program()
        session = self.start(program)
        data = render(shaped("two_in_a_row", sample("rtf"), sample("triples")))
        converted = self.check_filtered(session, 1, self.ws.queue("1.msg", envelope() + data),
                                        data, self.expectation(data, (), program))
        self.assertEqual([p.get_filename() for p in parse(converted).walk() if p.get_filename()],
                         ["saved_body.html", "saved_body.1.html"])
        self.finish(session, program)

    def test_html_in_rtf_body(self):
        html = ('<html><head><title>Q3</title></head><body><p class="x">Caf\u00e9 &amp; '
                '<b>M\u00e8re</b></p></body></html>')
        rtf = (rb"{\rtf1\ansi\ansicpg1252\fromhtml1 \deff0{\fonttbl{\f0\fswiss Arial;}}"
               rb"{\*\htmltag19 <html>}{\*\htmltag34 <head>}{\*\htmltag177 <title>}Q3"
               rb"{\*\htmltag185 </title>}{\*\htmltag41 </head>}{\*\htmltag50 <body>}"
               rb"\htmlrtf \f0\fs20 \htmlrtf0 {\*\htmltag64 <p class=" b'"x"' rb">}\htmlrtf "
               rb"{\htmlrtf0 Caf\'e9 {\*\htmltag84 &amp;}\htmlrtf &\htmlrtf0  {\*\htmltag148 <b>}"
               rb"M\'e8re{\*\htmltag156 </b>}\htmlrtf\par}\htmlrtf0 {\*\htmltag72 </p>}"
               rb"{\*\htmltag58 </body>}{\*\htmltag27 </html>}}")
        tnef = io.BytesIO()
        write_tnef(tnef, [("a.txt", b"the attachment\n")], body_rtf=rtf)
        program = self.ws.program()
        session = self.start(program)
        data = render(shaped("alternative", tnef.getvalue()))
        queued = self.ws.queue("1.msg", envelope() + data)
        converted = parse(self.check_filtered(session, 1, queued, data,
                                              self.expectation(data, (), program)))
        parts = [p for p in converted.walk() if p.get_content_type() == "text/html"]
        self.assertEqual([p.get_payload(decode=True).decode() for p in parts],
                         [html.replace("<head>", '<head><meta charset="utf-8">')])
        self.finish(session, program)


class QueueFileTest(EndToEndCase):
    """The envelope lines and the layout of the file written into Submitted."""

    def test_envelopes(self):
        def block(*lines, eol="\n"):
            return (eol.join(lines) + eol + eol).encode()

        p = "P I 01-01-2010 12:00:00 0000 ____ ____ "
        r = "R W 01-01-2010 12:00:00 0000 ____ _FY_ "
        cases = [  # (envelope, return path, recipients: lower case, each once, in byte order)
            (block(p + "<S@x.org>", r + "<zed@x>", r + "<B@x.org>", r + "<_u@x>", r + "<b@X.ORG>"),
             "s@x.org", ["_u@x", "b@x.org", "zed@x"]),
            (block("S 1 2 3 <no@x>", p + "<first@x>", r + "no brackets", r + "<unclosed@x",
                   p + "<Last@x>", "R <x@y> <real@z>"), "last@x", ["real@z"]),
            (block(p + "<S@X>", r + "<R@X>", eol="\r\n"), "s@x", ["r@x"]),
            (b"", "", []),
        ]
        body = render(shaped("mixed", sample("one-file")))
        program = self.ws.program()
        session = self.start(program)
        for seq, (env, return_path, recipients) in enumerate(cases, 1):
            with self.subTest(return_path=return_path):
                reply = session.request(f"{seq} FILE {self.ws.queue(f'{seq}.msg', env + body)}")
                self.assertEqual(reply.answer, f"{seq} DISCARD")
                got = split_queue_file(self.only_queue_file())
                self.assertEqual(got[:3], (return_path, recipients, 1))
                self.assertEqual(parse(got[3]).items(), parse(body).items())
        self.finish(session, program)

    def test_exact_layout(self):
        original = shaped("mixed", sample("one-file"))
        authors = expect(render(original), (), None,
                         os.path.join(self.ws.root, "ref")).outcomes[(1,)].new_parts[0].data
        delimiter = original.body.index("--=_mixed_1", 1)
        for keep in (False, True):
            with self.subTest(keep=keep):
                program = self.ws.program(f"prog{keep}")
                session = self.start(program, ["-k"] if keep else [])
                queued = self.ws.queue("1.msg", envelope() + render(original))
                self.assertEqual(session.request(f"1 FILE {queued}").answer, "1 DISCARD")
                self.finish(session, program)
                lines = (["Return-Path: sender@example.com", "Envelope-To: rcpt@example.com",
                          "X-WinmailDat: 1 attachments extracted.",
                          "X-ExtScanner: Quillmere's Verrowick"]
                         + original.headers + [""] + original.body[:delimiter]
                         + messages.written_attachment("AUTHORS", authors, "=_mixed_1")
                         + (original.body[delimiter:-1] if keep else []) + ["--=_mixed_1--", ""])
                self.assertEqual(self.only_queue_file().decode(), "\n".join(lines) + "\n")


class PassingTest(EndToEndCase):
    """Messages that pass unchanged: OK, and nothing in Submitted."""

    def test_converted_message_fed_back_and_marked_parts(self):
        program = self.ws.program()
        session = self.start(program)
        queued = self.ws.queue("1.msg", envelope() + render(shaped("mixed", sample("two-files"))))
        self.assertEqual(session.request(f"1 FILE {queued}").answer, "1 DISCARD")
        reply = session.request(f"2 FILE {self.ws.queue('2.msg', self.only_queue_file())}")
        self.assertEqual(reply.log, ["* This file has already been processed, skipping",
                                     "* [2] Accepting message"])
        self.assertEqual((reply.answer, self.ws.submitted()), ("2 OK", []))
        # A marked nested multipart is skipped; the rest of the message is not.
        inner = multipart("mixed", "=_inner", [text_part(), tnef_part(sample("two-files"))])
        inner.headers.insert(0, "x-winmaildat: 1 attachments extracted.")
        data = render(message(multipart("mixed", "=_outer", [
            text_part(), inner, tnef_part(sample("one-file"))])))
        exp = self.expectation(data, (), program)
        self.assertIn("* This file has already been processed, skipping", exp.log)
        self.check_filtered(session, 3, self.ws.queue("3.msg", envelope() + data), data, exp)
        self.finish(session, program)

    def test_nothing_to_convert(self):
        upper_case = Part(["Content-Type: application/octet-stream",
                           'Content-Disposition: attachment; filename="WINMAIL.DAT"'],
                          messages.base64_lines(sample("one-file")))
        cases = [
            render(messages.plain_message()),
            render(message(tnef_part(sample("one-file")))),  # not in a multipart
            render(message(Part(["Content-Type: multipart/mixed"], ["--x", "", "text", "--x--"]))),
            render(message(multipart("mixed", "b", [upper_case]))),
            b"",
        ]
        program = self.ws.program()
        session = self.start(program)
        for seq, data in enumerate(cases, 1):
            with self.subTest(seq=seq):
                reply = session.request(f"{seq} FILE {self.ws.queue(f'{seq}.msg', data)}")
                self.assertEqual((reply.log, reply.answer),
                                 ([f"* [{seq}] Accepting message"], f"{seq} OK"))
        self.finish(session, program)
        self.assertEqual(self.ws.submitted(), [])

    def test_submitted_unusable(self):
        with open(os.path.join(self.ws.base, "Submitted"), "w") as f:
            f.write("not a directory")
        program = self.ws.program()
        session = self.start(program)
        queued = self.ws.queue("1.msg", envelope() + render(shaped("mixed", sample("one-file"))))
        reply = session.request(f"1 FILE {queued}")
        self.assertEqual(reply.answer, "1 OK")
        self.assertRegex(reply.log[-2], r"^\* Unable to write the queue file Submitted/"
                         r"quillmeremailer_\d+_-?\d+\.tmp: Not a directory, the message passes"
                         r" unchanged$")
        self.assertEqual(reply.log[-1], "* [1] Accepting message")
        self.assertEqual(session.request("2 INTF 3").answer, "2 INTF 3")
        self.finish(session, program)
        with open(os.path.join(self.ws.base, "Submitted")) as f:
            self.assertEqual(f.read(), "not a directory")

    def test_limits(self):
        def nested(levels):
            part = tnef_part(sample("one-file"))
            for level in range(levels - 1):
                part = multipart("mixed", f"=_level_{level}", [part])
            return render(message(multipart("mixed", "=_top", [text_part(), part])))

        folded = shaped("mixed", sample("one-file"))
        folded.headers += ["X-Folded: start"] + ["\t" + "b" * 1000] * 1100
        cases = [
            (render(folded), "A header field is longer than 1 MiB"),
            (render(message(multipart("mixed", "b" * 999, [tnef_part(sample("one-file"))]))),
             "A boundary is longer than 998 bytes"),
            (nested(65), "Multiparts are nested more than 64 deep"),
        ]
        program = self.ws.program()
        session = self.start(program)
        for seq, (data, why) in enumerate(cases, 1):
            with self.subTest(why):
                reply = session.request(f"{seq} FILE {self.ws.queue(f'{seq}.msg', data)}")
                self.assertEqual(reply.log, [f"* {why}, the message is left unchanged",
                                             f"* [{seq}] Accepting message"])
                self.assertEqual((reply.answer, self.take_submitted()), (f"{seq} OK", []))
        data = nested(64)
        self.check_filtered(session, 9, self.ws.queue("deep.msg", data), data,
                            self.expectation(data, (), program), sender="", recipients=())
        self.finish(session, program)


class SharedProgramDirectoryTest(EndToEndCase):
    """Two filter processes started from one program directory share wmd_temp safely."""

    def test_two_filters(self):
        program = self.ws.program()
        sessions = [self.start(program), self.start(program)]
        names = ["MAPI_OBJECT", "MAPI_ATTACH_DATA_OBJ"]
        data = [render(shaped("mixed", sample(name))) for name in names]
        for name, d in zip(names, data):
            self.ws.queue(name, envelope() + d)
        for round_ in range(2):
            for session, name in zip(sessions, names):
                session.send(f"1 FILE Queue/{name}\n")
            for session in sessions:
                self.assertEqual(session.reply().answer, "1 DISCARD")
            written = sorted((split_queue_file(d)[3] for _, d in self.take_submitted()),
                             key=len, reverse=True)
            for n, converted in enumerate(written):
                exp = self.expectation(data[n], (), program, f"ref{round_}{n}")
                self.judge.converted(data[n], converted, exp)
        self.finish(sessions[0])
        self.finish(sessions[1], program)


if __name__ == "__main__":
    unittest.main()

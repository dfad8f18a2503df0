"""Filter mode with the real tnef: conversions of every message shape, sample and
option judged against what tnef itself extracts; the file written into
Submitted; messages already converted, with nothing to convert or past limits."""
import base64
import os
import re
import unittest

import messages
from cases import EndToEndCase, split_queue_file
from install import sample, sample_names
from messages import Part, envelope, message, multipart, render, shaped, text_part, tnef_part
from reference import FOUND, Expectation, Reference, parse

# (arguments, whether rtf2html is there, [(shape, sample A, sample B or None, rendering)]):
# each shape, sample, option and rendering at least once.
CONFIGURATIONS = [
    ((), True, [("mixed", "two-files", None, "lf"),
                ("by_filename", "body", None, "crlf"),
                ("nested", "MAPI_ATTACH_DATA_OBJ", None, "cut"),
                ("alternative_after_html", "rtf", None, "lf"),
                ("alternative", "triples", None, "crlf"),
                # Two RTF bodies: saved_body.html and saved_body.1.html.
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
            program = self.new_program(f"prog {n}", rtf2html=rtf2html)
            session = self.start(program, args)
            for seq, (shape, a, b, rendering) in enumerate(cases, 1):
                with self.subTest(args=args, rtf2html=rtf2html, shape=shape, a=a, b=b):
                    how = RENDERINGS[rendering]
                    data = render(shaped(shape, sample(a), b and sample(b)), **how)
                    queued = self.queue(f"{n}-{seq}", envelope(eol=how.get("eol", "\n")) + data)
                    exp = self.expectation(data, args, program, f"ref{n}-{seq}")
                    converted = self.check_filtered(session, seq, queued, data, exp)
                    self.assertNotIn(b"\r", converted or b"")
            self.assertEqual(session.request("0 INTF 3").answer, "0 INTF 3")
            self.finish(session, program)

    def test_two_filters_share_a_program_directory(self):
        program = self.new_program()
        sessions = [self.start(program), self.start(program)]
        data = [render(shaped("mixed", sample(x))) for x in ("MAPI_OBJECT", "MAPI_ATTACH_DATA_OBJ")]
        for round_ in range(2):
            for n, session in enumerate(sessions):
                session.send(f"{n} FILE {self.queue(f'{n}.msg', envelope() + data[n])}\n")
            self.assertEqual([s.reply().answer for s in sessions], ["0 DISCARD", "1 DISCARD"])
            written = sorted((split_queue_file(d)[3] for _, d in self.take_submitted()),
                             key=len, reverse=True)
            for n, converted in enumerate(written):
                self.judge(data[n], converted,
                           self.expectation(data[n], (), program, f"ref{round_}{n}"))
        self.finish(sessions[0])
        self.finish(sessions[1], program)


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
            # UTF-8 addresses keep their bytes; only ASCII letters are lowered.
            (block(p + "<Tu\u011frul.Kaya@Example.COM.tr>", r + "<MiXed@Example.ORG>",
                   r + "<B\u00fcro@\u00d6RNEK.de>", r + "<mixed@example.org>",
                   r + "<\u00c9LISE@\u00e9cole.fr>"), "tu\u011frul.kaya@example.com.tr",
             ["b\u00fcro@\u00d6rnek.de", "mixed@example.org", "\u00c9lise@\u00e9cole.fr"]),
            (b"", "", []),
        ]
        body = render(shaped("mixed", sample("one-file")))
        program = self.new_program()
        session = self.start(program)
        for seq, (env, return_path, recipients) in enumerate(cases, 1):
            with self.subTest(return_path=return_path):
                reply = session.request(f"{seq} FILE {self.queue(f'{seq}.msg', env + body)}")
                self.assertEqual(reply.answer, f"{seq} DISCARD")
                got = split_queue_file(self.only_queue_file())
                self.assertEqual(got[:3], (return_path, recipients, 1))
                self.assertEqual(parse(got[3]).items(), parse(body).items())
        self.finish(session, program)

    def test_exact_layout(self):
        # The whole message with -k, then messages that end inside the winmail.dat part on a
        # line end or within a line: tnef complains, so the part is kept unless
        # --always-remove-winmail, and nothing of it may follow the new parts twice.
        original = shaped("mixed", sample("two-files"))
        start = original.body.index("--=_mixed_1", 1)
        head = original.headers + [""] + original.body[:start]
        text = base64.b64encode(sample("two-files")).decode()
        cases = [(None, ("-k",))] + [(cut, args) for cut in (56 * 76, 56 * 76 + 30)
                                     for args in ((), ("--always-remove-winmail",))]
        for n, (cut, args) in enumerate(cases):
            with self.subTest(cut=cut, args=args):
                if cut is None:
                    part, payload, data = original.body[start:-1], sample("two-files"), None
                else:
                    part = original.body[start:start + 4] + [text[i:i + 76]
                                                             for i in range(0, cut, 76)]
                    payload = base64.b64decode(text[:cut] + "=" * (-cut % 4))
                    data = ("\n".join(head + part) + ("" if cut % 76 else "\n")).encode()
                data = data or render(original)
                outcome = Reference(os.path.join(self.root, f"ref{n}"), args,
                                    None).unpack(payload, False, False)
                self.assertTrue(outcome.keep or args, "tnef did not complain")
                program = self.new_program(f"prog{n}")
                session = self.start(program, args)
                converted = self.check_filtered(session, 1, self.queue(f"{n}", envelope() + data),
                                                data, Expectation({(1,): outcome}, outcome.log))
                self.finish(session, program)
                lines = head + [line for new in outcome.new_parts for line in
                                messages.written_attachment(new.name, new.data, "=_mixed_1")]
                lines += part if outcome.keep else []
                lines += ["--=_mixed_1--"] if cut is None else []
                # Copied like every input that ends with a line end: one more empty line.
                lines += [""] if outcome.keep and not (cut or 0) % 76 else []
                self.assertEqual(converted.decode(), "\n".join(lines) + "\n")


class PassingTest(EndToEndCase):
    """Messages that pass unchanged: OK, and nothing in Submitted."""

    def test_converted_message_fed_back_and_marked_parts(self):
        program = self.new_program()
        session = self.start(program)
        queued = self.queue("1.msg", envelope() + render(shaped("mixed", sample("two-files"))))
        self.assertEqual(session.request(f"1 FILE {queued}").answer, "1 DISCARD")
        reply = session.request(f"2 FILE {self.queue('2.msg', self.only_queue_file())}")
        self.assertEqual(reply.log, ["* This file has already been processed, skipping",
                                     "* [2] Accepting message"])
        self.assertEqual((reply.answer, self.submitted()), ("2 OK", []))
        # A marked nested multipart is skipped; the rest of the message is not.
        inner = multipart("mixed", "=_inner", [text_part(), tnef_part(sample("two-files"))])
        inner.headers.insert(0, "x-winmaildat: 1 attachments extracted.")
        data = render(message(multipart("mixed", "=_outer", [
            text_part(), inner, tnef_part(sample("one-file"))])))
        exp = self.expectation(data, (), program)
        self.assertIn("* This file has already been processed, skipping", exp.log)
        self.check_filtered(session, 3, self.queue("3.msg", envelope() + data), data, exp)
        self.finish(session, program)

    def test_passing_unchanged(self):
        def nested(levels):
            part = tnef_part(sample("one-file"))
            for level in range(levels - 1):
                part = multipart("mixed", f"=_level_{level}", [part])
            return render(message(multipart("mixed", "=_top", [text_part(), part])))

        with open(os.path.join(self.base, "Submitted"), "w") as f:
            f.write("not a directory")
        upper_case = Part(["Content-Type: application/octet-stream",
                           'Content-Disposition: attachment; filename="WINMAIL.DAT"'],
                          messages.base64_lines(sample("one-file")))
        folded = shaped("mixed", sample("one-file"))
        folded.headers += ["X-Folded: start"] + ["\t" + "b" * 1000] * 1100
        unusable = [FOUND, "* Extracted 1 file(s) from winmail.dat",
                    "* Creating a new message with the extracted attachments",
                    '* Inserting file "AUTHORS"', "* Unable to write the queue file Submitted/"
                    "quillmeremailer_N.tmp: Not a directory, the message passes unchanged"]
        left = ", the message is left unchanged"
        cases = [  # (message, log lines before the last); 64 levels are scanned, not 65
            (render(messages.plain_message()), []),
            (render(message(tnef_part(sample("one-file")))), []),  # not in a multipart
            (render(message(Part(["Content-Type: multipart/mixed"], ["--x", "", "--x--"]))), []),
            (render(message(multipart("mixed", "b", [upper_case]))), []),
            (b"", []),
            (render(folded), ["* A header field is longer than 1 MiB" + left]),
            (render(message(multipart("mixed", "b" * 999, [tnef_part(sample("one-file"))]))),
             ["* A boundary is longer than 998 bytes" + left]),
            (nested(65), ["* Multiparts are nested more than 64 deep" + left]),
            (nested(64), unusable),
        ]
        program = self.new_program()
        session = self.start(program)
        for seq, (data, log) in enumerate(cases, 1):
            with self.subTest(seq=seq):
                reply = session.request(f"{seq} FILE {self.queue(f'{seq}.msg', data)}")
                self.assertEqual([re.sub(r"_\d+_-?\d+", "_N", line) for line in reply.log],
                                 log + [f"* [{seq}] Accepting message"])
                self.assertEqual(reply.answer, f"{seq} OK")
        self.finish(session, program)
        with open(os.path.join(self.base, "Submitted")) as f:
            self.assertEqual(f.read(), "not a directory")


if __name__ == "__main__":
    unittest.main()

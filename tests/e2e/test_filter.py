"""Filter mode with the real tnef: every message shape, sample and option, judged against the
results reference.py writes out; the envelope lines of the file written into Submitted;
messages already converted, with nothing to convert or past limits."""
import os
import re
import unittest
from dataclasses import replace

import messages
from cases import EndToEndCase, expect, split_queue_file
from install import sample, sample_names
from messages import Part, message, multipart, render, shaped, text_part, tnef_part
from reference import (AUTHORS, FOUND, GARBAGE, NO_RTF2HTML, NO_YTNEF, NOTHING, OLE, SAMPLES,
                       SUFFIX, New, Outcome, extracted, parse)

S = SAMPLES
UNTITLED = S["MAPI_OBJECT"].parts[0]
PROCESSED = "* This file has already been processed, skipping"
CUT = ["* Unexpected end of input: No such file or directory" + SUFFIX, extracted(1)]
# (arguments, whether rtf2html is there, [(shape, rendering, samples, Outcome of each
# winmail.dat part or None for the samples' own)]): each shape, sample and option at least once.
CONFIGURATIONS = [
    ((), True, [("mixed", "lf", "two-files", None), ("by_filename", "crlf", "long-filename", None),
                ("nested", "cut", "MAPI_ATTACH_DATA_OBJ", None),
                ("alternative", "crlf", "triples", None),
                ("tight", "cut", "missing-filenames one-file", None),
                ("preamble_epilogue", "crlf", "garbage-at-end", None),
                ("folded", "lf", "unicode-mapi-attr-name", None),
                # tnef complains about the end of its input, so the part stays.
                ("mixed", "short", "two-files", [Outcome([AUTHORS], CUT, True)]),
                # After an HTML part of a multipart/alternative the RTF body stays RTF.
                ("alternative_after_html", "lf", "rtf",
                 [Outcome([New("saved_body.rtf", "285e04e771fe")], [extracted(1)])]),
                # Two RTF bodies in one message: saved_body.html and saved_body.1.html.
                ("two_in_a_row", "lf", "data-before-name triples", [S["data-before-name"], Outcome(
                    [New("saved_body.1.html", "1e6321d97ea2", True)], [NO_YTNEF, extracted(1)],
                    True)])]),
    (("-k",), True, [("two_in_a_row", "lf", "one-file garbage-at-end",
                      [replace(S["one-file"], keep=True), S["garbage-at-end"]]),
                     ("alternative", "cut", "multi-value-attribute",
                      [replace(S["multi-value-attribute"], keep=True)])]),
    (("-r",), True, [("alternative_after_html", "lf", "MAPI_OBJECT",
                      [Outcome([UNTITLED], [OLE, extracted(2, ignored=1)], True)])]),
    (("--ignore-rtf-body",), True, [
        ("alternative", "crlf", "data-before-name",
         [Outcome(S["data-before-name"].parts[:3], [extracted(3)])]),
        ("mixed", "lf", "rtf", [Outcome([], [NOTHING], True)])]),
    (("--always-remove-winmail",), True, [
        ("mixed", "lf", "multi-name-property", [Outcome([], [NOTHING])]),
        ("tight", "crlf", "garbage-at-end one-file", [Outcome([], [GARBAGE, NOTHING]),
                                                      S["one-file"]]),
        ("mixed", "shorter", "two-files", [Outcome([AUTHORS], CUT)])]),
    ((), False, [("nested", "lf", "body", None), ("alternative", "lf", "unicode-mapi-attr", None),
                 ("mixed", "cut", "MAPI_OBJECT", [Outcome(
                     [UNTITLED, New("saved_body.rtf", "095da1917ef2")],
                     [OLE, NO_RTF2HTML, extracted(2)], True)])]),
]
# How a message is written: with LF or CR LF, without a line end at its end, or ended inside
# its last part (about 400 bytes before its end) after a line end or within a line.
RENDERINGS = {"lf": render, "crlf": lambda m: render(m, eol="\r\n"),
              "cut": lambda m: render(m, final_eol=False),
              "short": lambda m: render(m)[:render(m).rindex(b"\n", 0, -400) + 1],
              "shorter": lambda m: render(m)[:render(m).rindex(b"\n", 0, -400) + 31]}


class FilterModeTest(EndToEndCase):
    def test_shapes_samples_and_options(self):
        used = [(s, x) for _, _, cases in CONFIGURATIONS for s, _, xs, _ in cases
                for x in xs.split()]
        self.assertEqual({s for s, _ in used}, set(messages.SHAPES))
        self.assertEqual({x for _, x in used}, set(sample_names()))
        for n, (args, rtf2html, cases) in enumerate(CONFIGURATIONS):
            program = self.new_program(f"prog {n}", rtf2html=rtf2html)
            session = self.start(program, args)
            for seq, (shape, rendering, names, outcomes) in enumerate(cases, 1):
                with self.subTest(args=args, rtf2html=rtf2html, shape=shape, names=names):
                    data = RENDERINGS[rendering](shaped(shape, *map(sample, names.split())))
                    outcomes = outcomes or [S[name] for name in names.split()]
                    converted = self.check_filtered(session, seq, data, expect(data, outcomes))
                    self.assertNotIn(b"\r", converted or b"")
            self.assertEqual(session.request("0 INTF 3").answer, "0 INTF 3")
            self.finish(session, program)

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

    def test_passing_unchanged(self):
        # Submitted is no directory: what would be converted passes unchanged as well.
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
        marked, folded = shaped("mixed", sample("one-file")), shaped("mixed", sample("one-file"))
        marked.headers.append("X-WinmailDat: 1 attachments extracted.")
        inner = multipart("mixed", "=_inner", [text_part(), tnef_part(sample("two-files"))])
        inner.headers.insert(0, "x-winmaildat: 1 attachments extracted.")
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
            (render(marked), [PROCESSED]),  # a message converted before
            # A marked nested multipart is skipped; the rest of the message is not.
            (render(message(multipart("mixed", "=_outer", [
                text_part(), inner, tnef_part(sample("one-file"))]))), [PROCESSED, *unusable]),
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

"""What the recipient sees: names in any code page, Content-IDs that HTML bodies reference,
--inline-body, content types by extension and by the type tnef lists, and quoted-printable
HTML bodies in lines of at most 76 characters, with the real tnef on real and generated
winmail.dat files. The common judge checks every name by policy default, every cid: reference
and, with --inline-body, the body and the attachments."""
import os
import unittest
from unittest import mock

from cases import EndToEndCase, split_queue_file
from install import made, sample
from messages import envelope, render, shaped
from reference import parse

DOCX = "application/vnd.openxmlformats-officedocument.wordprocessingml.document"
# An RTF body wrapping HTML that shows the image whose content id is img1@example.
HTML_RTF = (rb"{\rtf1\ansi\ansicpg1252\fromhtml1 \deff0{\fonttbl{\f0\fswiss Arial;}}"
            rb"{\*\htmltag19 <html>}{\*\htmltag50 <body>}{\*\htmltag64 <p>}Look: "
            rb"{\*\htmltag84 <img src=" b'"cid:img1@example"' rb">}{\*\htmltag72 </p>}"
            rb"{\*\htmltag58 </body>}{\*\htmltag27 </html>}}")

NAMES_1252 = made([("Umlaut-\u00e4\u00f6\u00fc \u00df.txt".encode("cp1252"), b"1252\n"),
                   (b"\x80 and \x81.doc", b"undefined byte\n")])
NAMES_1251 = made([("\u041e\u0442\u0447\u0451\u0442.txt".encode("cp1251"), b"1251\n")],
                  code_page=1251)
NAMES_UTF8 = made([("\u65e5\u672c\u8a9e r\u00e9sum\u00e9.pdf", b"utf-8\n")])
NAMES_LONG = made([("Quarterly report " + "\u00fc" * 100 + ".txt", b"long\n"),
                   ("x" * 230 + ".txt", b"long ascii\n")])
NAMES_SPECIAL = made([('say "hi" \\ 100% a/b.txt', b"special\n"), ("100%41.txt", b"%\n"),
                      ("tab\there.txt", b"tab\n")])
UMLAUT = sample("tnefparse-umlaut", real=True)
# An HTML body of paragraphs longer than 5000 characters, in quoted-printable lines.
WORDS = " ".join(["caf\\'e9 and figures,", "a=b", "trailing \\tspace "] * 300).encode()
LONG_LINES = made([("a.txt", b"a\n")], body_rtf=rb"{\rtf1\ansi\ansicpg1252\deff0{\fonttbl"
                  rb"{\f0\fswiss Arial;}}\f0 " + WORDS + rb"\par " + WORDS + rb"\par}")
WITH_IDS = made([("image.qqq", b"\x89PNG not really", "image/x-test", "img1@example"),
                 ("again.qqq", b"same id", "not a type", "img1@example"),
                 ("bad.pdf", b"%PDF", "application/pdf", "has space")], body_rtf=HTML_RTF)

# (arguments, shape, winmail.dat): every case judged by the common judge.
CASES = [
    ((), "mixed", NAMES_1252),
    ((), "mixed", NAMES_1251),
    ((), "by_filename", NAMES_UTF8),
    ((), "mixed", NAMES_LONG),
    ((), "mixed", NAMES_SPECIAL),
    ((), "mixed", WITH_IDS),
    ((), "mixed", UMLAUT),
    ((), "alternative", UMLAUT),
    ((), "alternative", LONG_LINES),
    (("--inline-body",), "mixed", WITH_IDS),
    (("--inline-body",), "mixed", UMLAUT),
    (("--inline-body",), "alternative", UMLAUT),
    (("--inline-body",), "folded", UMLAUT),
    (("--inline-body", "-k"), "preamble_epilogue", UMLAUT),
    (("--inline-body",), "two_in_a_row", WITH_IDS),
    (("--inline-body", "--ignore-rtf-body"), "mixed", UMLAUT),
]

# Upper case, the built-in table before tests/data/mime.types (pot), none found.
TYPES = {"REPORT.PDF": "application/pdf", "Q3.DOCX": DOCX, "notes.rtf": "text/rtf",
         "old.pot": "application/mspowerpoint", "noext": "application/octet-stream",
         "x.unlisted": "application/octet-stream"}
# The type tnef lists counts only for a name whose extension gives none.
LISTED = {"image.qqq": ("image/x-test", "image/x-test"),
          "again.qqq": ("not a type", "application/octet-stream"),
          "b.pdf": ("image/x-test", "application/pdf")}


class RecipientTest(EndToEndCase):
    def test_cases(self):
        sessions = {}
        for n, (args, shape, tnef) in enumerate(CASES):
            if args not in sessions:
                program = self.new_program(f"prog {len(sessions)}")
                sessions[args] = (program, self.start(program, args))
            program, session = sessions[args]
            with self.subTest(n=n, args=args, shape=shape):
                data = render(shaped(shape, tnef))
                queued = self.queue(f"{n}.msg", envelope() + data)
                exp = self.expectation(data, args, program, f"ref{n}")
                self.check_filtered(session, n + 1, queued, data, exp)
        for program, session in sessions.values():
            self.finish(session, program)

    def types_written(self, converted):
        return {p.get_filename(): p.get("Content-Type").split(";")[0]
                for p in parse(converted).walk() if p.get_filename()}

    def test_by_extension_and_listed_type(self):
        files = [(name, f"the file {name}\n".encode()) for name in TYPES]
        files += [(name, b"listed\n", listed, "") for name, (listed, _) in LISTED.items()]
        data = render(shaped("mixed", made(files)))
        program = self.new_program(rtf2html=False)  # notes.rtf stays RTF
        session = self.start(program)
        converted = self.check_filtered(session, 1, self.queue("1.msg", envelope() + data), data,
                                        self.expectation(data, (), program))
        self.assertEqual(self.types_written(converted),
                         {**TYPES, **{n: t for n, (_, t) in LISTED.items()}})
        self.finish(session, program)

    @unittest.skipUnless(os.path.isfile("/etc/mime.types"), "no /etc/mime.types (media-types)")
    def test_the_system_list(self):
        data = render(shaped("mixed", made([("Q3.DOCX", b"x"), ("a.unlisted", b"y")])))
        program = self.new_program()
        with mock.patch.dict(os.environ):
            del os.environ["VERROWICK_MIME_TYPES"]
            session = self.start(program)
        self.assertEqual(session.request(f"1 FILE {self.queue('1.msg', envelope() + data)}")
                         .answer, "1 DISCARD")
        self.assertEqual(self.types_written(split_queue_file(self.only_queue_file())[3]),
                         {"Q3.DOCX": DOCX, "a.unlisted": "application/octet-stream"})
        self.finish(session, program)

"""What the recipient sees: names in any code page, content types by extension (in any letter
case) and by the type tnef lists, Content-IDs that HTML bodies reference, quoted-printable HTML
bodies and --inline-body, with the real tnef on real and generated winmail.dat files. The
common judge checks every name by policy default, every cid: reference, the lines of every
quoted-printable part and, with --inline-body, the body and the attachments."""
import os
import unittest
from unittest import mock

from cases import EndToEndCase, expect
from install import made, sample
from messages import render, shaped
from reference import SAMPLES, New, Outcome, extracted

# An RTF body wrapping HTML that shows the image whose content id is img1@example.
HTML_RTF = (rb"{\rtf1\ansi\ansicpg1252\fromhtml1 \deff0{\fonttbl{\f0\fswiss Arial;}}"
            rb"{\*\htmltag19 <html>}{\*\htmltag50 <body>}{\*\htmltag64 <p>}Look: "
            rb"{\*\htmltag84 <img src=" b'"cid:img1@example"' rb">}{\*\htmltag72 </p>}"
            rb"{\*\htmltag58 </body>}{\*\htmltag27 </html>}}")
# Paragraphs far longer than a quoted-printable line, with bytes it must escape.
WORDS = " ".join(["caf\\'e9 and figures,", "a=b", "trailing \\tspace "] * 300).encode()
LONG_RTF = (rb"{\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fswiss Arial;}}\f0 " + WORDS + rb"\par "
            + WORDS + rb"\par}")
DOCX = "application/vnd.openxmlformats-officedocument.wordprocessingml.document"
OCTET = "application/octet-stream"
# Not .eml: Python's email package parses a message/rfc822 part in Base64 as a message.
TYPES = {"REPORT.PDF": "application/pdf", "Q3.DOCX": DOCX,
         "sheet.xlsx": "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
         "deck.pptx": "application/vnd.openxmlformats-officedocument.presentationml.presentation",
         "text.odt": "application/vnd.oasis.opendocument.text", "data.CSV": "text/csv",
         "invite.ics": "text/calendar", "card.vcf": "text/vcard", "logo.svg": "image/svg+xml",
         "pic.webp": "image/webp", "clip.mp4": "video/mp4", "all.7z": "application/x-7z-compressed",
         "old.pot": "application/mspowerpoint", "noext": OCTET, "x.unlisted": OCTET,
         "a.doc": "application/msword", "page.htm": "text/html", "notes.rtf": "text/rtf",
         "pic.PNG": "image/png", "song.mp3": "audio/mpeg", "photo.jpg": "image/jpeg",
         "x.src": "application/x-wais-source", "read.txt": "text/plain"}
# The type tnef lists counts only for a name whose extension gives none: (listed, written).
LISTED = {"image.qqq": ("image/x-test", "image/x-test"), "again.qqq": ("not a type", OCTET),
          "b.pdf": ("image/x-test", "application/pdf")}

NAMES_1252 = made([("Umlaut-\u00e4\u00f6\u00fc \u00df.txt".encode("cp1252"), b"1252\n"),
                   (b"\x80 and \x81.doc", b"undefined byte\n")])
NAMES_1251 = made([("\u041e\u0442\u0447\u0451\u0442.txt".encode("cp1251"), b"1251\n")],
                  code_page=1251)
NAMES_UTF8 = made([("\u65e5\u672c\u8a9e r\u00e9sum\u00e9.pdf", b"utf-8\n")])
NAMES_LONG = made([("Quarterly report " + "\u00fc" * 100 + ".txt", b"long\n"),
                   ("x" * 230 + ".txt", b"long ascii\n")])
NAMES_SPECIAL = made([('say "hi" \\ 100% a/b.txt', b"special\n"), ("100%41.txt", b"%\n"),
                      ("tab\there.txt", b"tab\n")])
WITH_IDS = made([("image.qqq", b"\x89PNG not really", "image/x-test", "img1@example"),
                 ("again.qqq", b"same id", "not a type", "img1@example"),
                 ("bad.pdf", b"%PDF", "application/pdf", "has space")], body_rtf=HTML_RTF)
TYPED = made([(name, f"the file {name}\n".encode()) for name in TYPES]
             + [(name, b"listed\n", listed, "") for name, (listed, _) in LISTED.items()])
UMLAUT_TNEF = sample("tnefparse-umlaut", real=True)


def files(*parts):
    return Outcome(list(parts), [extracted(len(parts))])


# Content ids: given once, and only when valid.
IDS = [New("image.qqq", b"\x89PNG not really", content_id="img1@example"),
       New("again.qqq", b"same id"), New("bad.pdf", b"%PDF")]
IDS_BODY = New("saved_body.html", "34ac4bc26251")
IDS_INLINE = Outcome([IDS_BODY, *IDS], [extracted(4)], shown=(IDS_BODY.name, "image.qqq"))
UMLAUT = SAMPLES["tnefparse-umlaut"]
PICTURE, IMAGE, TEXT, BODY = UMLAUT.parts
SHOWN = (BODY.name, IMAGE.name)  # with --inline-body: the HTML body and the image it shows
UMLAUT_INLINE = Outcome([BODY, IMAGE, PICTURE, TEXT], UMLAUT.log, shown=SHOWN)
# (arguments, shape, winmail.dat, the Outcome of each winmail.dat part)
CASES = [
    ((), "mixed", NAMES_1252, [files(New("Umlaut-\u00e4\u00f6\u00fc \u00df.txt", b"1252\n"),
                                     New("\u20ac and \ufffd.doc", b"undefined byte\n"))]),
    ((), "mixed", NAMES_1251, [files(New("\u041e\u0442\u0447\u0451\u0442.txt", b"1251\n"))]),
    ((), "by_filename", NAMES_UTF8, [files(New("\u65e5\u672c\u8a9e r\u00e9sum\u00e9.pdf",
                                               b"utf-8\n"))]),
    ((), "mixed", NAMES_LONG, [files(New("Quarterly report " + "\u00fc" * 100 + ".txt", b"long\n"),
                                     New("x" * 230 + ".txt", b"long ascii\n"))]),
    ((), "mixed", NAMES_SPECIAL, [files(New('say "hi" \\ 100% a/b.txt', b"special\n"),
                                        New("100%41.txt", b"%\n"),
                                        New("tab\there.txt", b"tab\n"))]),
    # After an HTML part of a multipart/alternative notes.rtf stays RTF.
    ((), "alternative_after_html", TYPED, [files(
        *[New(name, f"the file {name}\n".encode(), type=t) for name, t in TYPES.items()],
        *[New(name, b"listed\n", type=t) for name, (_, t) in LISTED.items()])]),
    ((), "alternative", made([("a.txt", b"a\n")], body_rtf=LONG_RTF),
     [files(New("a.txt", b"a\n"), New("saved_body.html", "fae86979433f", True))]),
    ((), "mixed", WITH_IDS, [files(*IDS, IDS_BODY)]),
    ((), "mixed", UMLAUT_TNEF, [UMLAUT]),
    ((), "alternative", UMLAUT_TNEF, [UMLAUT]),
    (("--inline-body",), "mixed", WITH_IDS, [IDS_INLINE]),
    (("--inline-body",), "mixed", UMLAUT_TNEF, [UMLAUT_INLINE]),
    (("--inline-body",), "alternative", UMLAUT_TNEF,
     [Outcome([PICTURE, TEXT, BODY, IMAGE], UMLAUT.log, shown=SHOWN)]),
    (("--inline-body",), "folded", UMLAUT_TNEF, [UMLAUT_INLINE]),
    (("--inline-body", "-k"), "preamble_epilogue", UMLAUT_TNEF,
     [Outcome(UMLAUT_INLINE.parts, UMLAUT.log, True, SHOWN)]),
    (("--inline-body",), "two_in_a_row", WITH_IDS,
     [IDS_INLINE, Outcome([New("saved_body.1.html", IDS_BODY.content), *IDS], [extracted(4)],
                          shown=("saved_body.1.html", "image.qqq"))]),
    (("--inline-body", "--ignore-rtf-body"), "mixed", UMLAUT_TNEF, [files(PICTURE, IMAGE, TEXT)]),
]


class RecipientTest(EndToEndCase):
    def test_cases(self):
        sessions = {}
        for n, (args, shape, tnef, outcomes) in enumerate(CASES):
            if args not in sessions:
                program = self.new_program(f"prog {len(sessions)}")
                sessions[args] = (program, self.start(program, args))
            program, session = sessions[args]
            with self.subTest(n=n, args=args, shape=shape):
                data = render(shaped(shape, tnef))
                self.check_filtered(session, n + 1, data, expect(data, outcomes))
        for program, session in sessions.values():
            self.finish(session, program)

    @unittest.skipUnless(os.path.isfile("/etc/mime.types"), "no /etc/mime.types (media-types)")
    def test_types_of_the_system_list(self):
        data = render(shaped("mixed", made([("Q3.DOCX", b"x"), ("a.unlisted", b"y")])))
        program = self.new_program()
        with mock.patch.dict(os.environ):
            del os.environ["VERROWICK_MIME_TYPES"]
            session = self.start(program)
        outcome = files(New("Q3.DOCX", b"x", type=DOCX), New("a.unlisted", b"y", type=OCTET))
        self.check_filtered(session, 1, data, expect(data, [outcome]))
        self.finish(session, program)


if __name__ == "__main__":
    unittest.main()

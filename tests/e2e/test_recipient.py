"""What the recipient sees: names in any code page, Content-IDs that HTML bodies reference,
and --inline-body, with the real tnef on real and generated winmail.dat files. The common
judge checks every name by policy default, every cid: reference and, with --inline-body,
the body and the attachments."""
import io
import os
import sys
import unittest

from cases import EndToEndCase, expect
from install import REPOSITORY
from messages import envelope, render, shaped
from reference import SAMPLES, New, Outcome, extracted

sys.path.insert(0, os.path.join(REPOSITORY, "tools"))
from tnef_writer import write_tnef  # noqa: E402

REAL = os.path.join(REPOSITORY, "tests", "data", "tnef-real")
# An RTF body wrapping HTML that shows the image whose content id is img1@example.
HTML_RTF = (rb"{\rtf1\ansi\ansicpg1252\fromhtml1 \deff0{\fonttbl{\f0\fswiss Arial;}}"
            rb"{\*\htmltag19 <html>}{\*\htmltag50 <body>}{\*\htmltag64 <p>}Look: "
            rb"{\*\htmltag84 <img src=" b'"cid:img1@example"' rb">}{\*\htmltag72 </p>}"
            rb"{\*\htmltag58 </body>}{\*\htmltag27 </html>}}")


def real(name):
    with open(os.path.join(REAL, name + ".tnef"), "rb") as f:
        return f.read()


def generated(attachments, code_page=1252, body_rtf=None):
    out = io.BytesIO()
    write_tnef(out, attachments, code_page=code_page, body_rtf=body_rtf)
    return out.getvalue()


NAMES_1252 = generated([("Umlaut-\u00e4\u00f6\u00fc \u00df.txt".encode("cp1252"), b"1252\n"),
                        (b"\x80 and \x81.doc", b"undefined byte\n")])
NAMES_1251 = generated([("\u041e\u0442\u0447\u0451\u0442.txt".encode("cp1251"), b"1251\n")],
                       code_page=1251)
NAMES_UTF8 = generated([("\u65e5\u672c\u8a9e r\u00e9sum\u00e9.pdf", b"utf-8\n")])
NAMES_LONG = generated([("Quarterly report " + "\u00fc" * 100 + ".txt", b"long\n"),
                        ("x" * 230 + ".txt", b"long ascii\n")])
NAMES_SPECIAL = generated([('say "hi" \\ 100% a/b.txt', b"special\n"), ("100%41.txt", b"%\n"),
                           ("tab\there.txt", b"tab\n")])
WITH_IDS = generated([("image.qqq", b"\x89PNG not really", "image/x-test", "img1@example"),
                      ("again.qqq", b"same id", "not a type", "img1@example"),
                      ("bad.pdf", b"%PDF", "application/pdf", "has space")], body_rtf=HTML_RTF)


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
    ((), "mixed", WITH_IDS, [files(*IDS, IDS_BODY)]),
    ((), "mixed", real("tnefparse-umlaut"), [UMLAUT]),
    ((), "alternative", real("tnefparse-umlaut"), [UMLAUT]),
    (("--inline-body",), "mixed", WITH_IDS, [IDS_INLINE]),
    (("--inline-body",), "mixed", real("tnefparse-umlaut"), [UMLAUT_INLINE]),
    (("--inline-body",), "alternative", real("tnefparse-umlaut"),
     [Outcome([PICTURE, TEXT, BODY, IMAGE], UMLAUT.log, shown=SHOWN)]),
    (("--inline-body",), "folded", real("tnefparse-umlaut"), [UMLAUT_INLINE]),
    (("--inline-body", "-k"), "preamble_epilogue", real("tnefparse-umlaut"),
     [Outcome(UMLAUT_INLINE.parts, UMLAUT.log, True, SHOWN)]),
    (("--inline-body",), "two_in_a_row", WITH_IDS,
     [IDS_INLINE, Outcome([New("saved_body.1.html", IDS_BODY.content), *IDS], [extracted(4)],
                          shown=("saved_body.1.html", "image.qqq"))]),
    (("--inline-body", "--ignore-rtf-body"), "mixed", real("tnefparse-umlaut"),
     [files(PICTURE, IMAGE, TEXT)]),
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
                queued = self.queue(f"{n}.msg", envelope() + data)
                self.check_filtered(session, n + 1, queued, data, expect(data, outcomes))
        for program, session in sessions.values():
            self.finish(session, program)


if __name__ == "__main__":
    unittest.main()

"""Content types by extension, in any letter case, and by the type tnef lists; quoted-printable
HTML bodies in lines of at most 76 characters."""
import io
import os
import re
import sys
import unittest
from unittest import mock

from cases import EndToEndCase, expect, split_queue_file
from install import REPOSITORY
from messages import envelope, render, shaped
from reference import NO_RTF2HTML, New, Outcome, extracted, parse

sys.path.insert(0, os.path.join(REPOSITORY, "tools"))
from tnef_writer import write_tnef  # noqa: E402

DOCX = "application/vnd.openxmlformats-officedocument.wordprocessingml.document"


def tnef_of(files, body_rtf=None):
    out = io.BytesIO()
    write_tnef(out, files, body_rtf=body_rtf)
    return out.getvalue()


class ContentTypeTest(EndToEndCase):
    # Not .eml: Python's email package parses a message/rfc822 part in Base64 as a message.
    NAMES = {"REPORT.PDF": "application/pdf", "Q3.DOCX": DOCX,
             "sheet.xlsx": "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
             "deck.pptx":
                 "application/vnd.openxmlformats-officedocument.presentationml.presentation",
             "text.odt": "application/vnd.oasis.opendocument.text", "data.CSV": "text/csv",
             "invite.ics": "text/calendar", "card.vcf": "text/vcard",
             "logo.svg": "image/svg+xml", "pic.webp": "image/webp", "clip.mp4": "video/mp4",
             "all.7z": "application/x-7z-compressed", "old.pot": "application/mspowerpoint",
             "noext": "application/octet-stream", "x.unlisted": "application/octet-stream",
             "a.doc": "application/msword", "page.htm": "text/html", "notes.rtf": "text/rtf",
             "pic.PNG": "image/png", "song.mp3": "audio/mpeg", "photo.jpg": "image/jpeg",
             "x.src": "application/x-wais-source", "read.txt": "text/plain"}
    # The type tnef lists counts only for a name whose extension gives none.
    LISTED = {"image.qqq": ("image/x-test", "image/x-test"),
              "again.qqq": ("not a type", "application/octet-stream"),
              "b.pdf": ("image/x-test", "application/pdf")}

    def types_written(self, converted):
        return {p.get_filename(): p.get("Content-Type").split(";")[0]
                for p in parse(converted).walk() if p.get_filename()}

    def test_by_extension_and_listed_type(self):
        files = [(name, f"the file {name}\n".encode()) for name in self.NAMES]
        files += [(name, b"listed\n", listed, "") for name, (listed, _) in self.LISTED.items()]
        data = render(shaped("mixed", tnef_of(files)))
        program = self.new_program(rtf2html=False)  # notes.rtf stays RTF
        session = self.start(program)
        outcome = Outcome([New(*f[:2]) for f in files], [NO_RTF2HTML, extracted(len(files))])
        converted = self.check_filtered(session, 1, self.queue("1.msg", envelope() + data), data,
                                        expect(data, [outcome]))
        self.assertEqual(self.types_written(converted),
                         {**self.NAMES, **{n: t for n, (_, t) in self.LISTED.items()}})
        self.finish(session, program)

    @unittest.skipUnless(os.path.isfile("/etc/mime.types"), "no /etc/mime.types (media-types)")
    def test_the_system_list(self):
        data = render(shaped("mixed", tnef_of([("Q3.DOCX", b"x"), ("a.unlisted", b"y")])))
        program = self.new_program()
        with mock.patch.dict(os.environ):
            del os.environ["VERROWICK_MIME_TYPES"]
            session = self.start(program)
        self.assertEqual(session.request(f"1 FILE {self.queue('1.msg', envelope() + data)}")
                         .answer, "1 DISCARD")
        self.assertEqual(self.types_written(split_queue_file(self.only_queue_file())[3]),
                         {"Q3.DOCX": DOCX, "a.unlisted": "application/octet-stream"})
        self.finish(session, program)


class QuotedPrintableTest(EndToEndCase):
    def test_long_paragraphs_of_an_html_body(self):
        words = " ".join(["caf\\'e9 and figures,", "a=b", "trailing \\tspace "] * 300)
        rtf = (rb"{\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fswiss Arial;}}\f0 "
               + words.encode() + rb"\par " + words.encode() + rb"\par}")
        data = render(shaped("alternative", tnef_of([("a.txt", b"a\n")], body_rtf=rtf)))
        program = self.new_program()
        session = self.start(program)
        outcome = Outcome([New("a.txt", b"a\n"), New("saved_body.html", "fae86979433f", True)],
                          [extracted(2)])
        converted = self.check_filtered(session, 1, self.queue("1.msg", envelope() + data), data,
                                        expect(data, [outcome]))
        html = [p for p in parse(converted).walk() if p.get_content_type() == "text/html"]
        self.assertEqual(len(html), 1)
        decoded = html[0].get_payload(decode=True)
        self.assertGreater(max(map(len, decoded.split(b"\n"))), 5000)
        lines = re.split(r"\r\n|\r|\n", html[0].get_payload())
        self.assertEqual(max(map(len, lines)), 76)
        self.finish(session, program)


if __name__ == "__main__":
    unittest.main()

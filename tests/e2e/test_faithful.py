"""Bytes kept as they came: UTF-8 and mixed-case envelope addresses, content types of
upper-case and modern extensions, and quoted-printable HTML bodies in lines of at most 76
characters."""
import io
import os
import re
import sys
import unittest
from unittest import mock

from cases import EndToEndCase, split_queue_file
from install import REPOSITORY, sample
from messages import envelope, render, shaped
from reference import parse

sys.path.insert(0, os.path.join(REPOSITORY, "tools"))
from tnef_writer import write_tnef  # noqa: E402

P = b"P I 01-01-2010 12:00:00 0000 ____ ____ "
R = b"R W 01-01-2010 12:00:00 0000 ____ _FY_ "
DOCX = "application/vnd.openxmlformats-officedocument.wordprocessingml.document"


def tnef_of(files, body_rtf=None):
    out = io.BytesIO()
    write_tnef(out, files, body_rtf=body_rtf)
    return out.getvalue()


class EnvelopeTest(EndToEndCase):
    def test_utf8_and_mixed_case_addresses(self):
        block = b"".join(line + b"\n" for line in [
            P + b"<Tu\xc4\x9frul.Kaya@Example.COM.tr>",
            R + b"<MiXed@Example.ORG>",
            R + b"<B\xc3\xbcro@\xc3\x96RNEK.de>",
            R + b"<mixed@example.org>",
            R + b"<\xc3\x89LISE@\xc3\xa9cole.fr>"]) + b"\n"
        program = self.new_program()
        session = self.start(program)
        data = render(shaped("mixed", sample("one-file")))
        reply = session.request(f"1 FILE {self.queue('1.msg', block + data)}")
        self.assertEqual(reply.answer, "1 DISCARD")
        queued = self.only_queue_file()
        self.assertTrue(queued.startswith(
            b"Return-Path: tu\xc4\x9frul.kaya@example.com.tr\n"
            b"Envelope-To: b\xc3\xbcro@\xc3\x96rnek.de\n"
            b"Envelope-To: mixed@example.org\n"
            b"Envelope-To: \xc3\x89lise@\xc3\xa9cole.fr\n"
            b"X-WinmailDat: 1 attachments extracted.\n"), queued[:300])
        self.assertEqual(parse(split_queue_file(queued)[3]).items(), parse(data).items())
        self.finish(session, program)


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
             "noext": "application/octet-stream", "x.unlisted": "application/octet-stream"}

    def types_written(self, converted):
        return {p.get_filename(): p.get("Content-Type").split(";")[0]
                for p in parse(converted).walk() if p.get_filename()}

    def test_upper_case_and_modern_extensions(self):
        files = [(name, f"the file {name}\n".encode()) for name in self.NAMES]
        data = render(shaped("mixed", tnef_of(files)))
        program = self.new_program()
        session = self.start(program)
        converted = self.check_filtered(session, 1, self.queue("1.msg", envelope() + data), data,
                                        self.expectation(data, (), program))
        self.assertEqual(self.types_written(converted), self.NAMES)
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
        converted = self.check_filtered(session, 1, self.queue("1.msg", envelope() + data), data,
                                        self.expectation(data, (), program))
        html = [p for p in parse(converted).walk() if p.get_content_type() == "text/html"]
        self.assertEqual(len(html), 1)
        decoded = html[0].get_payload(decode=True)
        self.assertGreater(max(map(len, decoded.split(b"\n"))), 5000)
        lines = re.split(r"\r\n|\r|\n", html[0].get_payload())
        self.assertEqual(max(map(len, lines)), 76)
        self.finish(session, program)


if __name__ == "__main__":
    unittest.main()

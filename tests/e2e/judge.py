"""Judges a converted message against the received one, with Python's email package.

Every part but the replaced winmail.dat parts must be unchanged (same header
fields, same decoded content; line ends may have become LF); each replaced
part must give way to exactly the new parts expected, each holding its file,
followed by the received part only when it is to be kept.
"""
import html
import re

from reference import parse

# Content types of the file name extensions among the sample files; others,
# and upper-case ones, give application/octet-stream.
CONTENT_TYPES = {"doc": "application/msword", "pdf": "application/pdf", "htm": "text/html",
                 "html": "text/html", "rtf": "text/rtf", "png": "image/png",
                 "mp3": "audio/mpeg", "src": "application/x-wais-source", "txt": "text/plain"}
ADDED_FIELDS = re.compile(r"X-WinmailDat: (\d+) attachments extracted\.\n"
                          r"X-ExtScanner: Quillmere's Verrowick\n")


def split_queue_file(data):
    """A Submitted file as (return path, recipients, X-WinmailDat count, message bytes)."""
    text = data.decode("utf-8", "surrogateescape")
    envelope = re.match(r"Return-Path: (.*)\n((?:Envelope-To: .*\n)*)", text)
    added = envelope and ADDED_FIELDS.match(text, envelope.end())
    if not added:
        raise AssertionError(f"no envelope and added lines atop the queue file: {text[:300]!r}")
    recipients = [line[len("Envelope-To: "):] for line in envelope.group(2).splitlines()]
    rest = text[added.end():].encode("utf-8", "surrogateescape")
    return envelope.group(1), recipients, int(added.group(1)), rest


def _lf(text):
    return text.replace("\r\n", "\n") if isinstance(text, str) else text.replace(b"\r\n", b"\n")


def _fields(part):
    return [(name, _lf(value)) for name, value in part.items()]


def _content(part):
    data = part.get_payload(decode=True) or b""
    encoding = (part.get("Content-Transfer-Encoding") or "").strip().lower()
    return data if encoding == "base64" else _lf(data)


class Judge:
    """Assertions on converted messages for the unittest.TestCase TEST."""

    def __init__(self, test):
        self.test = test

    def converted(self, received, converted, expectation):
        """RECEIVED and CONVERTED are message bytes; EXPECTATION comes from reference.expect."""
        original, result = parse(received), parse(converted)
        defects = [[type(d).__name__ for p in m.walk() for d in p.defects]
                   for m in (result, original)]
        self.test.assertEqual(*defects, "MIME defects")
        self.test.assertEqual(_fields(result), _fields(original), "the message's header fields")
        self._same_structure(original, result, (), expectation.outcomes)

    def _same_structure(self, original, result, place, outcomes):
        t = self.test
        t.assertEqual(result.is_multipart(), original.is_multipart(), f"kind of part {place}")
        if not original.is_multipart():
            t.assertEqual(_content(result), _content(original), f"content of part {place}")
            return
        t.assertEqual(_lf(result.preamble or ""), _lf(original.preamble or ""), f"preamble {place}")
        t.assertEqual(_lf(result.epilogue or "").rstrip("\n"),
                      _lf(original.epilogue or "").rstrip("\n"), f"epilogue {place}")
        expected = []  # (NewPart or None, the original part, its place)
        for i, child in enumerate(original.get_payload()):
            outcome = outcomes.get(place + (i,))
            if outcome is not None and outcome.replaced:
                expected += [(new, child, place + (i,)) for new in outcome.new_parts]
            if outcome is None or not outcome.replaced or outcome.keep:
                expected.append((None, child, place + (i,)))
        children = result.get_payload()
        t.assertEqual(len(children), len(expected),
                      f"parts of multipart {place}: {[c.get_content_type() for c in children]}")
        for child, (new, want, where) in zip(children, expected):
            if new:
                self.new_part(child, new)
            else:
                t.assertEqual(_fields(child), _fields(want), f"header fields of part {where}")
                self._same_structure(want, child, where, outcomes)

    def new_part(self, part, want):
        """PART (a parsed part) holds the NewPart WANT in the filter's layout."""
        t = self.test
        if want.inline:
            t.assertEqual(part.items(), [("Content-Type", "text/html"),
                                         ("Content-Transfer-Encoding", "quoted-printable")])
        else:
            extension = want.name.rsplit(".", 1)[-1] if "." in want.name else ""
            t.assertEqual(part.get_content_type(),
                          CONTENT_TYPES.get(extension, "application/octet-stream"), want.name)
            t.assertEqual((part.get_param("name"), part.get_filename()), (want.name, want.name))
            t.assertEqual(part.get("Content-Transfer-Encoding"), "base64")
            t.assertEqual(part.get_content_disposition(), "attachment")
        data = part.get_payload(decode=True)
        if want.data is not None:
            t.assertEqual(data, want.data, f"content of the new part {want.name}")
        else:
            t.assertTrue(data.strip(), f"the HTML body {want.name} is empty")
            shown = html.unescape(re.sub(r"<[^>]*>", "", data.decode("utf-8", "replace")))
            for word in want.words:
                t.assertIn(word, " ".join(shown.split()), f"{want.name} lacks a word of its RTF")

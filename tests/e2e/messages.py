"""Messages for the filter to read, built line by line.

The tests need exact control over layout (folded fields, quoted boundaries,
missing empty lines, line ends), so messages are assembled from lists of lines
rather than by a MIME library. A Part is a header block and body lines; a
message is a Part whose header block holds the message's own fields.
"""
import base64
from dataclasses import dataclass

SENDER = "Sender@Example.COM"
RECIPIENT = "Rcpt@Example.com"


@dataclass
class Part:
    """A header block and the body lines after its empty line."""
    headers: list
    body: list

    def lines(self):
        return self.headers + [""] + self.body


def base64_lines(data):
    """DATA in Base64, 76 characters a line."""
    text = base64.b64encode(data).decode("ascii")
    return [text[i:i + 76] for i in range(0, len(text), 76)]


def text_part(text="Hello,\nthe files are attached.", subtype="plain"):
    """A text part in 7 bit."""
    return Part([f"Content-Type: text/{subtype}; charset=us-ascii",
                 "Content-Transfer-Encoding: 7bit"], text.split("\n"))


def html_part(text="<html><body><p>Hello</p></body></html>"):
    """A text/html part."""
    return text_part(text, "html")


def binary_part(data, name="photo.png", content_type="image/png"):
    """An ordinary Base64 attachment."""
    return Part([f'Content-Type: {content_type}; name="{name}"',
                 "Content-Transfer-Encoding: base64",
                 f'Content-Disposition: attachment; filename="{name}"'],
                base64_lines(data) + [""])


def written_attachment(name, data, boundary, content_type="application/octet-stream"):
    """The lines the filter writes for an extracted file NAME holding DATA in a
    multipart with BOUNDARY, its delimiter line first."""
    lines = base64_lines(data)
    if len(data) % 57 == 0:
        lines.append("")
    return [f"--{boundary}", f"Content-Type: {content_type}; ", f'   name="{name}"',
            "Content-Transfer-Encoding: base64", "Content-Disposition: attachment;",
            f'   filename="{name}"', "", *lines, ""]


def tnef_part(data, by="type", blank_after=True):
    """A winmail.dat part holding DATA in Base64.

    by="type" marks it with the content type application/ms-tnef; by="filename"
    only with a Content-Disposition file name under application/octet-stream.
    Without blank_after the next delimiter line follows the last Base64 line.
    """
    if by == "type":
        headers = ['Content-Type: application/ms-tnef; name="winmail.dat"',
                   "Content-Transfer-Encoding: base64"]
    else:
        headers = ["Content-Type: application/octet-stream",
                   "Content-Transfer-Encoding: base64",
                   'Content-Disposition: attachment; filename="winmail.dat"']
    return Part(headers, base64_lines(data) + ([""] if blank_after else []))


def multipart(subtype, boundary, parts, folded=False, quoted=True, preamble=(), epilogue=()):
    """A multipart/SUBTYPE part of PARTS; folded puts the boundary on a continuation line."""
    value = f'"{boundary}"' if quoted else boundary
    if folded:
        headers = [f"Content-Type: multipart/{subtype};", f"\tboundary={value}"]
    else:
        headers = [f"Content-Type: multipart/{subtype}; boundary={value}"]
    body = list(preamble)
    for part in parts:
        body += [f"--{boundary}"] + part.lines()
    body += [f"--{boundary}--"] + list(epilogue)
    return Part(headers, body)


def message(body, subject="Quarterly figures"):
    """A message with the usual header fields whose content is the Part BODY."""
    return Part(["From: Sender <sender@example.com>",
                 "To: Recipient <rcpt@example.com>",
                 f"Subject: {subject}",
                 "Date: Fri, 01 Jan 2010 12:00:00 +0000",
                 "Message-ID: <e2e-test@example.com>",
                 "MIME-Version: 1.0"] + body.headers, body.body)


def render(part, eol="\n", final_eol=True):
    """The bytes of PART with EOL after each line (but the last without final_eol)."""
    text = eol.join(part.lines()) + (eol if final_eol else "")
    return text.encode("utf-8")


def envelope(sender=SENDER, recipients=(RECIPIENT,), eol="\n"):
    """The envelope block that opens a queued message file, with its empty line."""
    lines = [f"P I 01-01-2010 12:00:00 0000 ____ ____ <{sender}>"]
    lines += [f"R W 01-01-2010 12:00:00 0000 ____ _FY_ <{r}>" for r in recipients]
    return (eol.join(lines) + eol + eol).encode("utf-8")


# Message shapes that carry winmail.dat parts: name -> (builder, number of
# winmail.dat parts it takes). Each builder takes that many payloads.
def _mixed(a):
    return message(multipart("mixed", "=_mixed_1", [text_part(), tnef_part(a)]))


def _by_filename(a):
    return message(multipart("mixed", "=_mixed_2", [text_part(), tnef_part(a, by="filename")]))


def _nested(a):
    inner = multipart("mixed", "=_inner_3", [text_part("inner text"), tnef_part(a)])
    return message(multipart("mixed", "=_outer_3", [text_part(), inner, text_part("after")]))


def _alternative_after_html(a):
    alternative = multipart("alternative", "=_alt_4", [text_part(), html_part(), tnef_part(a)])
    return message(multipart("mixed", "=_mixed_4", [alternative, text_part("signature")]))


def _alternative(a):
    return message(multipart("alternative", "=_alt_5", [text_part(), tnef_part(a)]))


def _two_in_a_row(a, b):
    return message(multipart("mixed", "=_mixed_6", [text_part(), tnef_part(a), tnef_part(b)]))


def _tight(a):
    # The delimiter follows each body directly; the second part is the last.
    return message(multipart("mixed", "=_mixed_7", [
        tnef_part(a, blank_after=False), text_part(), tnef_part(a, blank_after=False)]))


def _preamble_epilogue(a):
    return message(multipart("mixed", "=_mixed_8", [text_part(), tnef_part(a)],
                             preamble=["This is a multi-part message in MIME format.", ""],
                             epilogue=["", "Epilogue text."]))


def _folded(a):
    return message(multipart("mixed", "folded boundary 9", [
        text_part(), binary_part(b"\x89PNG\r\n\x1a\n" + bytes(range(256))), tnef_part(a)],
        folded=True))


SHAPES = {
    "mixed": (_mixed, 1),
    "by_filename": (_by_filename, 1),
    "nested": (_nested, 1),
    "alternative_after_html": (_alternative_after_html, 1),
    "alternative": (_alternative, 1),
    "two_in_a_row": (_two_in_a_row, 2),
    "tight": (_tight, 1),
    "preamble_epilogue": (_preamble_epilogue, 1),
    "folded": (_folded, 1),
}


def shaped(shape, payloads):
    """The message of SHAPE built around the winmail.dat PAYLOADS (one is reused as needed)."""
    build, count = SHAPES[shape]
    payloads = list(payloads)
    return build(*(payloads * count)[:count])


def plain_message():
    """A multipart message without any winmail.dat part."""
    return message(multipart("mixed", "=_plain", [text_part(), binary_part(b"not a tnef file")]),
                   subject="No attachment to convert")

"""Messages built line by line, for exact control over their layout."""
import base64
from dataclasses import dataclass


@dataclass
class Part:
    """A header block and the body lines after its empty line."""
    headers: list
    body: list

    def lines(self):
        return self.headers + [""] + self.body


def base64_lines(data):
    text = base64.b64encode(data).decode("ascii")
    return [text[i:i + 76] for i in range(0, len(text), 76)]


def text_part(text="Hello,\nthe files are attached.", subtype="plain"):
    return Part([f"Content-Type: text/{subtype}; charset=us-ascii",
                 "Content-Transfer-Encoding: 7bit"], text.split("\n"))


def binary_part(data):
    return Part(['Content-Type: image/png; name="photo.png"', "Content-Transfer-Encoding: base64",
                 'Content-Disposition: attachment; filename="photo.png"'], base64_lines(data) + [""])


def tnef_part(data, by="type", blank_after=True):
    """A winmail.dat part known by its content type (by="type") or only by its file name."""
    if by == "type":
        headers = ['Content-Type: application/ms-tnef; name="winmail.dat"']
    else:
        headers = ["Content-Type: application/octet-stream",
                   'Content-Disposition: attachment; filename="winmail.dat"']
    return Part(headers + ["Content-Transfer-Encoding: base64"],
                base64_lines(data) + ([""] if blank_after else []))


def multipart(subtype, boundary, parts, folded=False, preamble=(), epilogue=()):
    """A multipart/SUBTYPE of PARTS; folded puts the boundary on a continuation line."""
    value = f'boundary="{boundary}"'
    headers = ([f"Content-Type: multipart/{subtype};", "\t" + value] if folded
               else [f"Content-Type: multipart/{subtype}; {value}"])
    body = list(preamble)
    for part in parts:
        body += [f"--{boundary}"] + part.lines()
    return Part(headers, body + [f"--{boundary}--"] + list(epilogue))


def message(body):
    """A message with the usual header fields whose content is the Part BODY."""
    return Part(["From: Sender <sender@example.com>", "To: Recipient <rcpt@example.com>",
                 "Subject: Quarterly figures", "Date: Fri, 01 Jan 2010 12:00:00 +0000",
                 "Message-ID: <e2e-test@example.com>", "MIME-Version: 1.0"] + body.headers,
                body.body)


def render(part, eol="\n", final_eol=True):
    return (eol.join(part.lines()) + (eol if final_eol else "")).encode("utf-8")


def envelope(eol="\n"):
    """The envelope block that opens a queued message file, with its empty line."""
    return (eol.join(["P I 01-01-2010 12:00:00 0000 ____ ____ <Sender@Example.COM>",
                      "R W 01-01-2010 12:00:00 0000 ____ _FY_ <Rcpt@Example.com>"])
            + eol + eol).encode()


# Message shapes around winmail.dat parts: name -> builder of payloads A and B.
SHAPES = {
    "mixed": lambda a, b: multipart("mixed", "=_mixed_1", [text_part(), tnef_part(a)]),
    "by_filename": lambda a, b: multipart("mixed", "=_m2", [text_part(), tnef_part(a, "name")]),
    # An HTML part outside a multipart/alternative does not keep RTF bodies from conversion.
    "nested": lambda a, b: multipart("mixed", "=_outer_3", [
        text_part(), multipart("mixed", "=_inner_3", [text_part("<p>in</p>", "html"),
                                                      tnef_part(a)]), text_part("after")]),
    "alternative_after_html": lambda a, b: multipart("mixed", "=_mixed_4", [
        multipart("alternative", "=_alt_4",
                  [text_part(), text_part("<p>Hello</p>", "html"), tnef_part(a)]),
        text_part("signature")]),
    "alternative": lambda a, b: multipart("alternative", "=_alt_5", [text_part(), tnef_part(a)]),
    "two_in_a_row": lambda a, b: multipart("mixed", "=_m6", [
        text_part(), tnef_part(a), tnef_part(b)]),
    # The delimiter follows each body directly; the second part is the last.
    "tight": lambda a, b: multipart("mixed", "=_m7", [
        tnef_part(a, blank_after=False), text_part(), tnef_part(b, blank_after=False)]),
    "preamble_epilogue": lambda a, b: multipart(
        "mixed", "=_m8", [text_part(), tnef_part(a)],
        preamble=["This is a multi-part message in MIME format.", ""],
        epilogue=["", "Epilogue text."]),
    "folded": lambda a, b: multipart("mixed", "folded boundary 9", [
        text_part(), binary_part(b"\x89PNG\r\n\x1a\n" + bytes(range(256))), tnef_part(a)],
        folded=True),
}


def shaped(shape, a, b=None):
    """The message of SHAPE around the winmail.dat payloads A and B (A again by default)."""
    return message(SHAPES[shape](a, a if b is None else b))


def plain_message():
    return message(multipart("mixed", "=_plain", [text_part(), binary_part(b"not tnef")]))

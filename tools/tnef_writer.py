"""Writes minimal TNEF (winmail.dat) files: a message with file attachments.

Enough of the format for tnef to extract the attachments: the signature, the
version and code page attributes, and per attachment its rendering data,
title (the file name) and data, each attribute with its checksum. A message
may also carry its class, subject, sender, date and MAPI properties, and an
attachment may be an attached message (a TNEF stream of its own) or an OLE
object.
"""

import io
import struct

SIGNATURE = 0x223E9F78
LEVEL_MESSAGE, LEVEL_ATTACHMENT = 1, 2
ATT_TNEF_VERSION = 0x00089006
ATT_OEM_CODEPAGE = 0x00069007
ATT_ATTACH_REND_DATA = 0x00069002
ATT_ATTACH_TITLE = 0x00018010
ATT_ATTACH_DATA = 0x0006800F
ATT_MAPI_PROPS = 0x00069003
ATT_ATTACHMENT = 0x00069005
ATT_FROM = 0x00008000
ATT_SUBJECT = 0x00018004
ATT_DATE_SENT = 0x00038005
ATT_MESSAGE_CLASS = 0x00078008
PT_LONG, PT_OBJECT, PT_STRING8, PT_SYSTIME, PT_BINARY = 0x0003, 0x000D, 0x001E, 0x0040, 0x0102
PR_RTF_COMPRESSED = 0x1009
PR_MESSAGE_CLASS = 0x001A
PR_ATTACH_DATA_OBJ, PR_ATTACH_METHOD = 0x3701, 0x3705
PR_SENDER_NAME, PR_SENDER_ADDRTYPE, PR_SENDER_EMAIL_ADDRESS = 0x0C1A, 0x0C1E, 0x0C1F
PR_INTERNET_MESSAGE_ID = 0x1035
PR_ATTACH_MIME_TAG, PR_ATTACH_CONTENT_ID = 0x370E, 0x3712
IID_IMESSAGE = bytes.fromhex("0703020000000000c000000000000046")
IID_ISTORAGE = bytes.fromhex("0b00000000000000c000000000000046")
ATTACH_EMBEDDED_MSG, ATTACH_OLE = 5, 6


def _attribute(out, level, attribute, data, checksum=None):
    """Writes one attribute; checksum defaults to the sum of the data bytes."""
    if checksum is None:
        checksum = _checksum(data)
    out.write(struct.pack("<BII", level, attribute, len(data)))
    out.write(data)
    out.write(struct.pack("<H", checksum & 0xFFFF))


def _checksum(data):
    total = 0
    view = memoryview(data)
    for start in range(0, len(view), 1 << 20):
        total += sum(view[start:start + (1 << 20)])
    return total & 0xFFFF


# The dictionary of compressed RTF starts with this text.
_RTF_PREBUFFER = (b"{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman "
                  b"\\fswiss \\fmodern \\fscript \\fdecor MS Sans SerifSymbolArialTimes New "
                  b"RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
                  b"\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx")


def _crc32(data):
    """The CRC of compressed RTF: CRC-32's table, no inversion."""
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ (0xEDB88320 if crc & 1 else 0)
    return crc


def _compress_rtf(rtf):
    """rtf as compressed RTF made of literal runs, ended by the end marker."""
    out = bytearray()
    for start in range(0, len(rtf), 8):
        out.append(0)
        out += rtf[start:start + 8]
    # The end marker: a reference to the dictionary's write position. It takes
    # a control byte of its own when the last run was full.
    end = (len(_RTF_PREBUFFER) + len(rtf)) % 4096
    marker = struct.pack(">H", end << 4)
    if len(rtf) % 8 == 0:
        out += bytes([1]) + marker
    else:
        run = len(rtf) % 8
        out[-(run + 1)] = 1 << run
        out += marker
    header = struct.pack("<IIII", len(out) + 12, len(rtf), 0x75465A4C, _crc32(out))
    return header + bytes(out)


def _rtf_body(rtf):
    """The message property holding rtf as compressed RTF."""
    compressed = _compress_rtf(rtf)
    padding = b"\0" * (-len(compressed) % 4)
    return (struct.pack("<IHHII", 1, PT_BINARY, PR_RTF_COMPRESSED, 1, len(compressed)) +
            compressed + padding)



def _property(prop_id, value):
    """One MAPI property: an int is PT_LONG, a str PT_STRING8, bytes PT_BINARY, and
    (PT_OBJECT, bytes) an object."""
    kind = PT_LONG if isinstance(value, int) else PT_STRING8 if isinstance(value, str) else \
        PT_BINARY
    if isinstance(value, tuple):
        kind, value = value
    head = struct.pack("<HH", kind, prop_id)
    if kind == PT_LONG:
        return head + struct.pack("<I", value)
    if kind == PT_STRING8:
        value = value.encode() + b"\0"
    return head + struct.pack("<II", 1, len(value)) + value + b"\0" * (-len(value) % 4)


def _properties(props):
    """The MAPI property list of props, a list of (id, value)."""
    return struct.pack("<I", len(props)) + b"".join(_property(i, v) for i, v in props)


def _date(when):
    """attDateSent's seven shorts (and the day of the week) for a (y, m, d, h, min, s)."""
    return struct.pack("<7H", *when, 0)


class Embedded:
    """An attached message: the keyword arguments of write_tnef for its own stream."""

    def __init__(self, title="", **message):
        self.title, self.message = title, message

    def stream(self):
        out = io.BytesIO()
        write_tnef(out, **self.message)
        return out.getvalue()


class Ole:
    """An OLE object attachment holding data (the start of a compound file)."""

    def __init__(self, title="", data=b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 504):
        self.title, self.data = title, data


def _write_object(out, attachment):
    """An attached message or OLE object: its rendering, title, and the properties that hold
    its interface and data."""
    if isinstance(attachment, Embedded):
        method, data = ATTACH_EMBEDDED_MSG, IID_IMESSAGE + attachment.stream()
    else:
        method, data = ATTACH_OLE, IID_ISTORAGE + attachment.data
    rend = struct.pack("<HIHHI", 1, 0xFFFFFFFF, 0xFFFF, 0xFFFF, 0)
    _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACH_REND_DATA, rend)
    if attachment.title:
        _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACH_TITLE, attachment.title.encode() + b"\0")
    _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACHMENT, _properties(
        [(PR_ATTACH_METHOD, method), (PR_ATTACH_DATA_OBJ, (PT_OBJECT, data))]))


def write_tnef(out, attachments=(), corrupt_checksum_of=None, body_rtf=None, message_class=None,
               mapi_class=None, subject=None, sender=None, date=None, message_id=None,
               props=(), code_page=1252):
    """Writes a TNEF stream to the binary file out.

    attachments is a list of (file name, bytes), (file name, bytes, mime tag,
    content id), Embedded or Ole; a name given as str is written as UTF-8,
    bytes as they are, in code_page. When
    corrupt_checksum_of names an attachment, the checksum of its data is made
    wrong. body_rtf (bytes) is the message's RTF body. message_class is
    attMessageClass, mapi_class PR_MESSAGE_CLASS; sender is (name, SMTP
    address); date (y, m, d, h, min, s); props more MAPI properties (id, value).
    """
    out.write(struct.pack("<IH", SIGNATURE, 0x0001))
    _attribute(out, LEVEL_MESSAGE, ATT_TNEF_VERSION, struct.pack("<I", 0x00010000))
    _attribute(out, LEVEL_MESSAGE, ATT_OEM_CODEPAGE, struct.pack("<II", code_page, 0))
    if message_class is not None:
        _attribute(out, LEVEL_MESSAGE, ATT_MESSAGE_CLASS, message_class.encode() + b"\0")
    if subject is not None:
        _attribute(out, LEVEL_MESSAGE, ATT_SUBJECT, subject.encode() + b"\0")
    if date is not None:
        _attribute(out, LEVEL_MESSAGE, ATT_DATE_SENT, _date(date))
    props = list(props)
    if mapi_class is not None:
        props.append((PR_MESSAGE_CLASS, mapi_class))
    if sender is not None:
        props += [(PR_SENDER_NAME, sender[0]), (PR_SENDER_ADDRTYPE, "SMTP"),
                  (PR_SENDER_EMAIL_ADDRESS, sender[1])]
    if message_id is not None:
        props.append((PR_INTERNET_MESSAGE_ID, message_id))
    if props:
        _attribute(out, LEVEL_MESSAGE, ATT_MAPI_PROPS, _properties(props))
    if body_rtf is not None:
        _attribute(out, LEVEL_MESSAGE, ATT_MAPI_PROPS, _rtf_body(body_rtf))

    for attachment in attachments:
        if isinstance(attachment, (Embedded, Ole)):
            _write_object(out, attachment)
            continue
        name, data, *tags = attachment
        rend = struct.pack("<HIHHI", 1, 0xFFFFFFFF, 0xFFFF, 0xFFFF, 0)
        _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACH_REND_DATA, rend)
        raw_name = name.encode() if isinstance(name, str) else name
        _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACH_TITLE, raw_name + b"\0")
        checksum = None
        if name == corrupt_checksum_of:
            checksum = _checksum(data) + 1
        _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACH_DATA, data, checksum)
        if tags:
            _attribute(out, LEVEL_ATTACHMENT, ATT_ATTACHMENT, _properties(
                [(PR_ATTACH_MIME_TAG, tags[0]), (PR_ATTACH_CONTENT_ID, tags[1])]))
